// Times bold, strikethrough and clear over a 1 MiB selection of mixed text. Goal: each under
// 30 ms on the development machine.
#include "ui/bench/Measure.h"
#include "ui/editor/EditorFormatCommand.h"
#include "ui/editor/FormatTransforms.h"

#include <QString>
#include <QTextStream>

using namespace Qt::StringLiterals;
using namespace quillon;
using bench::Figure;
using bench::measure;

namespace {

// 1 Mi UTF-16 code units (2 MiB in memory, more than 1 MiB as UTF-8) of ASCII words, accents
// both precomposed and decomposed, emoji sequences and line breaks, ending on a whole fragment.
QString mixedText() {
    const QString fragment = QString::fromUtf16(
        u"Launching our Q3 roadmap: caf\u00e9, na\u00efve, re\u0301sume\u0301, Stra\u00dfe "
        u"\U0001F44D\U0001F3FD \U0001F1E9\U0001F1EA "
        u"\U0001F468\u200D\U0001F469\u200D\U0001F467 2024!\n");
    QString text;
    const qsizetype target = 1024 * 1024;
    text.reserve(target + fragment.size());
    while (text.size() < target) {
        text.append(fragment);
    }
    text.truncate(target - target % fragment.size());
    return text;
}

} // namespace

int main() {
    QTextStream out(stdout);
    const QString text = mixedText();
    const QString bolded =
        formatting::makeFormatEdit(EditorFormatCommand::bold, text, {0, text.size()})->replacement;
    out << "Formatting transforms over one selection of " << text.size() << " UTF-16 code units ("
        << text.toUtf8().size() << " bytes as UTF-8); goal < 30 ms\n";

    struct Case {
        const char* name;
        EditorFormatCommand command;
        const QString* input;
    };
    const Case cases[] = {
        {"bold", EditorFormatCommand::bold, &text},
        {"strikethrough", EditorFormatCommand::strikethrough, &text},
        {"clear (plain text)", EditorFormatCommand::clear, &text},
        {"clear (bold text)", EditorFormatCommand::clear, &bolded},
    };
    for (const Case& c : cases) {
        qsizetype produced = 0;
        const Figure f = measure([&] {
            const auto edit = formatting::makeFormatEdit(c.command, *c.input, {0, c.input->size()});
            produced = edit->replacement.size();
        });
        out << u"  %1: median %2 ms, best %3 ms, worst %4 ms (%5 units in, %6 out)\n"_s
                   .arg(QString::fromLatin1(c.name).leftJustified(20))
                   .arg(f.medianMs, 0, 'f', 2)
                   .arg(f.bestMs, 0, 'f', 2)
                   .arg(f.worstMs, 0, 'f', 2)
                   .arg(c.input->size())
                   .arg(produced);
    }
    return 0;
}
