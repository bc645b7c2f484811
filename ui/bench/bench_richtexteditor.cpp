// Times one keystroke and one formatting command in the editor holding a 100,000-character
// post, each with the repaint that follows. Goal: each within one 16 ms frame.
#include "core/storage/DraftStore.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"
#include "ui/bench/Measure.h"
#include "ui/bench/SamplePost.h"
#include "ui/editor/EditorFormatCommand.h"
#include "ui/editor/RichTextEditor.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextStream>

using namespace Qt::StringLiterals;
using namespace quillon;
using bench::Figure;
using bench::longPost;
using bench::measure;

namespace {

void placeCaret(RichTextEditor& editor, int position, int length = 0) {
    QTextCursor cursor(editor.document());
    cursor.setPosition(position);
    cursor.setPosition(position + length, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    auto defaults = std::make_shared<SqliteUserDefaults>(dir.filePath(u"defaults.sqlite3"_s));
    DraftStore store(std::make_shared<UserDefaultsDraftRepository>(u"drafts"_s, defaults),
                     [](AppTelemetryEvent) {});
    store.setEditorText(longPost(100'000));

    RichTextEditor editor;
    editor.bindText(store);
    editor.resize(640, 480);
    editor.show();
    (void)QTest::qWaitForWindowExposed(&editor);
    editor.setFocus();
    QCoreApplication::processEvents();

    const int runs = 31;
    const int middle = 50'000;
    QTextStream out(stdout);
    out << "Editor holding a post of " << editor.text().size()
        << " UTF-16 code units; each figure includes the repaint; goal < 16 ms\n";
    const auto report = [&](const char* name, Figure f) {
        out << u"  %1: median %2 ms, worst %3 ms\n"_s
                   .arg(QString::fromLatin1(name).leftJustified(40))
                   .arg(f.medianMs, 0, 'f', 2)
                   .arg(f.worstMs, 0, 'f', 2);
        out.flush();
    };

    placeCaret(editor, middle);
    report("keystroke in the middle", measure(
                                          [&] {
                                              QTest::keyClick(&editor, Qt::Key_A);
                                              editor.repaint();
                                          },
                                          runs));

    const auto runCommand = [&](EditorFormatCommand command, int at, int length) {
        placeCaret(editor, at, length);
        editor.setCommand(command);
        while (editor.command()) {
            QCoreApplication::processEvents();
        }
        editor.repaint();
    };
    report("bold over a 40-unit selection",
           measure([&] { runCommand(EditorFormatCommand::bold, middle, 40); }, runs));
    report("strikethrough over a 40-unit selection",
           measure([&] { runCommand(EditorFormatCommand::strikethrough, middle, 40); }, runs));
    report("bullets on the caret's line",
           measure([&] { runCommand(EditorFormatCommand::bullets, middle, 0); }, runs));
    report(
        "bold over the whole post",
        measure([&] { runCommand(EditorFormatCommand::bold, 0, int(editor.text().size())); }, 3));
    return 0;
}
