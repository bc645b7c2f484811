#include "ui/editor/EditorFormatCommand.h"
#include "ui/editor/FormatEdit.h"
#include "ui/editor/FormatTransforms.h"

#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;
using quillon::EditorFormatCommand;
using quillon::FormatEdit;
using quillon::TextRange;
namespace formatting = quillon::formatting;

namespace {

bool isWellFormed(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate()) {
            if (i + 1 == text.size() || !text[i + 1].isLowSurrogate()) {
                return false;
            }
            ++i;
        } else if (text[i].isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

// The command over the whole text gives `expected` and selects all of it.
void verifyWholeTextEdit(EditorFormatCommand command, const QString& text,
                         const QString& expected) {
    const auto edit = formatting::makeFormatEdit(command, text, {0, text.size()});
    QVERIFY(edit);
    QCOMPARE(edit->replacement, expected);
    QCOMPARE(edit->range, (TextRange{0, text.size()}));
    QCOMPARE(edit->selection, (TextRange{0, expected.size()}));
}

const EditorFormatCommand allCommands[] = {
    EditorFormatCommand::bold,          EditorFormatCommand::italic,
    EditorFormatCommand::strikethrough, EditorFormatCommand::underline,
    EditorFormatCommand::code,          EditorFormatCommand::clear,
    EditorFormatCommand::bullets,       EditorFormatCommand::numbered,
};

} // namespace

namespace quillon {
char* toString(const TextRange& range) {
    return QTest::toString(u"{%1, %2}"_s.arg(range.location).arg(range.length));
}
} // namespace quillon

class TestFormatTransforms : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void styledLetters_data();
    void styledLetters();
    void combiningMarks_data();
    void combiningMarks();
    void clear_data();
    void clear();
    void lineRange_data();
    void lineRange();
    void edit_data();
    void edit();
    void everySelectionGivesWellFormedText_data();
    void everySelectionGivesWellFormedText();
};

void TestFormatTransforms::styledLetters_data() {
    QTest::addColumn<EditorFormatCommand>("command");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto bold = EditorFormatCommand::bold;
    const auto italic = EditorFormatCommand::italic;
    QTest::newRow("bold letters, digits, space, punctuation")
        << bold << u"Hello World 2024!"_s
        << u"\U0001D5DB\U0001D5F2\U0001D5F9\U0001D5F9\U0001D5FC \U0001D5EA\U0001D5FC\U0001D5FF"
           u"\U0001D5F9\U0001D5F1 \U0001D7EE\U0001D7EC\U0001D7EE\U0001D7F0!"_s;
    QTest::newRow("italic keeps digits")
        << italic << u"Hello World 2024!"_s
        << u"\U0001D60F\U0001D626\U0001D62D\U0001D62D\U0001D630 \U0001D61E\U0001D630\U0001D633"
           u"\U0001D62D\U0001D625 2024!"_s;
    QTest::newRow("bold ends of the ranges")
        << bold << u"AZaz09"_s << u"\U0001D5D4\U0001D5ED\U0001D5EE\U0001D607\U0001D7EC\U0001D7F5"_s;
    QTest::newRow("italic ends of the ranges")
        << italic << u"AZaz09"_s << u"\U0001D608\U0001D621\U0001D622\U0001D63B09"_s;
    QTest::newRow("bold neighbours of the ranges") << bold << u"@[`{/:"_s << u"@[`{/:"_s;
    QTest::newRow("bold sharp s stays")
        << bold << u"Stra\u00DFe"_s
        << u"\U0001D5E6\U0001D601\U0001D5FF\U0001D5EE\u00DF\U0001D5F2"_s;
    QTest::newRow("bold precomposed accent stays") << bold << u"\u00E9"_s << u"\u00E9"_s;
    QTest::newRow("bold decomposed accent") << bold << u"e\u0301"_s << u"\U0001D5F2\u0301"_s;
    QTest::newRow("bold over italic")
        << bold << u"\U0001D622\U0001D623"_s << u"\U0001D622\U0001D623"_s;
    QTest::newRow("italic over bold")
        << italic << u"\U0001D5EE\U0001D5EF"_s << u"\U0001D5EE\U0001D5EF"_s;
    QTest::newRow("bold other scripts and breaks")
        << bold << u"\u041F\u0440\u0438 \u4E2D\n\t"_s << u"\u041F\u0440\u0438 \u4E2D\n\t"_s;
}

void TestFormatTransforms::styledLetters() {
    QFETCH(EditorFormatCommand, command);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    verifyWholeTextEdit(command, text, expected);
}

void TestFormatTransforms::combiningMarks_data() {
    QTest::addColumn<EditorFormatCommand>("command");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto strike = EditorFormatCommand::strikethrough;
    QTest::newRow("letters and a space")
        << strike << u"ab c"_s << u"a\u0336b\u0336 \u0336c\u0336"_s;
    QTest::newRow("underline") << EditorFormatCommand::underline << u"ab"_s << u"a\u0332b\u0332"_s;
    QTest::newRow("flag") << strike << u"\U0001F1E9\U0001F1EA"_s << u"\U0001F1E9\U0001F1EA\u0336"_s;
    QTest::newRow("two flags and a lone indicator")
        << strike << u"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7\U0001F1EE"_s
        << u"\U0001F1E9\U0001F1EA\u0336\U0001F1EB\U0001F1F7\u0336\U0001F1EE\u0336"_s;
    QTest::newRow("skin tone") << strike << u"\U0001F44D\U0001F3FD"_s
                               << u"\U0001F44D\U0001F3FD\u0336"_s;
    QTest::newRow("family") << strike << u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_s
                            << u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u0336"_s;
    QTest::newRow("joiner before a letter")
        << strike << u"\U0001F468\u200Da"_s << u"\U0001F468\u200D\u0336a\u0336"_s;
    QTest::newRow("keycap and presentation selector")
        << strike << u"1\uFE0F\u20E3\u2764\uFE0F"_s << u"1\uFE0F\u20E3\u0336\u2764\uFE0F\u0336"_s;
    QTest::newRow("hangul syllable and jamo")
        << strike << u"\uD55C\u1112\u1161\u11AB"_s << u"\uD55C\u0336\u1112\u1161\u11AB\u0336"_s;
    QTest::newRow("combining accent") << strike << u"e\u0301x"_s << u"e\u0301\u0336x\u0336"_s;
    QTest::newRow("CR LF is one cluster") << strike << u"a\r\nb"_s << u"a\u0336\r\n\u0336b\u0336"_s;
    QTest::newRow("LF CR is two") << strike << u"\n\r"_s << u"\n\u0336\r\u0336"_s;
    QTest::newRow("struck again") << strike << u"a\u0336"_s << u"a\u0336\u0336"_s;
    QTest::newRow("underline over struck")
        << EditorFormatCommand::underline << u"a\u0336"_s << u"a\u0336\u0332"_s;
}

void TestFormatTransforms::combiningMarks() {
    QFETCH(EditorFormatCommand, command);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    verifyWholeTextEdit(command, text, expected);
}

void TestFormatTransforms::clear_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bold") << u"\U0001D5D4\U0001D5EF \U0001D7EC\U0001D7F5"_s << u"Ab 09"_s;
    QTest::newRow("italic") << u"\U0001D608\U0001D623 09"_s << u"Ab 09"_s;
    QTest::newRow("struck") << u"A\u0336b\u0336 \u03360\u03369\u0336"_s << u"Ab 09"_s;
    QTest::newRow("underlined") << u"A\u0332b\u0332"_s << u"Ab"_s;
    QTest::newRow("bold, struck and underlined")
        << u"\U0001D5D4\u0336\u0332\U0001D5EF\u0336\u0332"_s << u"Ab"_s;
    QTest::newRow("code") << u"`x`"_s << u"x"_s;
    QTest::newRow("backticks inside") << u"a`b``c"_s << u"abc"_s;
    QTest::newRow("precomposed accent decomposes") << u"caf\u00E9"_s << u"cafe\u0301"_s;
    QTest::newRow("hangul decomposes") << u"\uD55C"_s << u"\u1112\u1161\u11AB"_s;
    // Three times longer than the text: more than a first guess at the decomposed size.
    QTest::newRow("long hangul decomposes")
        << u"\uD55C"_s.repeated(40) << u"\u1112\u1161\u11AB"_s.repeated(40);
    QTest::newRow("serif bold stays") << u"\U0001D400"_s << u"\U0001D400"_s;
    QTest::newRow("neighbours of the ranges stay") << u"\U0001D5D3\U0001D63C\U0001D7EB\U0001D7F6"_s
                                                   << u"\U0001D5D3\U0001D63C\U0001D7EB\U0001D7F6"_s;
    QTest::newRow("list prefixes stay") << u"- a\n1. b"_s << u"- a\n1. b"_s;
    QTest::newRow("lone surrogate kept") << u"a\xD800z"_s << u"a\xD800z"_s;
}

void TestFormatTransforms::clear() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    verifyWholeTextEdit(EditorFormatCommand::clear, text, expected);
}

void TestFormatTransforms::lineRange_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("location");
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<qsizetype>("expectedLocation");
    QTest::addColumn<qsizetype>("expectedLength");

    QTest::newRow("caret mid line")
        << u"ab\ncd\nef"_s << qsizetype(4) << qsizetype(0) << qsizetype(3) << qsizetype(3);
    QTest::newRow("caret at line start")
        << u"ab\ncd"_s << qsizetype(3) << qsizetype(0) << qsizetype(3) << qsizetype(2);
    QTest::newRow("caret after final break")
        << u"ab\n"_s << qsizetype(3) << qsizetype(0) << qsizetype(3) << qsizetype(0);
    QTest::newRow("ends just after a terminator")
        << u"ab\ncd"_s << qsizetype(0) << qsizetype(3) << qsizetype(0) << qsizetype(3);
    QTest::newRow("spans lines") << u"ab\ncd\nef"_s << qsizetype(1) << qsizetype(3) << qsizetype(0)
                                 << qsizetype(6);
    QTest::newRow("CR LF ends a line as one")
        << u"ab\r\ncd"_s << qsizetype(1) << qsizetype(0) << qsizetype(0) << qsizetype(4);
    QTest::newRow("caret between CR and LF")
        << u"ab\r\ncd"_s << qsizetype(3) << qsizetype(0) << qsizetype(0) << qsizetype(4);
    QTest::newRow("selection ending on the CR")
        << u"ab\r\ncd"_s << qsizetype(0) << qsizetype(3) << qsizetype(0) << qsizetype(4);
    QTest::newRow("CR alone") << u"ab\rcd"_s << qsizetype(4) << qsizetype(0) << qsizetype(3)
                              << qsizetype(2);
    QTest::newRow("next line") << u"ab\u0085cd"_s << qsizetype(1) << qsizetype(0) << qsizetype(0)
                               << qsizetype(3);
    QTest::newRow("line separator")
        << u"ab\u2028cd"_s << qsizetype(4) << qsizetype(0) << qsizetype(3) << qsizetype(2);
    QTest::newRow("paragraph separator")
        << u"ab\u2029cd"_s << qsizetype(0) << qsizetype(1) << qsizetype(0) << qsizetype(3);
    QTest::newRow("vertical tab is no terminator")
        << u"ab\vcd"_s << qsizetype(4) << qsizetype(0) << qsizetype(0) << qsizetype(5);
    QTest::newRow("empty text") << u""_s << qsizetype(0) << qsizetype(0) << qsizetype(0)
                                << qsizetype(0);
    QTest::newRow("beyond the end")
        << u"ab\ncd"_s << qsizetype(9) << qsizetype(4) << qsizetype(3) << qsizetype(2);
}

void TestFormatTransforms::lineRange() {
    QFETCH(QString, text);
    QFETCH(qsizetype, location);
    QFETCH(qsizetype, length);
    QFETCH(qsizetype, expectedLocation);
    QFETCH(qsizetype, expectedLength);
    QCOMPARE(formatting::lineRange(text, {location, length}),
             (TextRange{expectedLocation, expectedLength}));
}

void TestFormatTransforms::edit_data() {
    QTest::addColumn<EditorFormatCommand>("command");
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextRange>("selection");
    QTest::addColumn<std::optional<FormatEdit>>("expected");

    using C = EditorFormatCommand;
    const auto edit = [](qsizetype at, qsizetype length, const QString& replacement,
                         qsizetype selectAt, qsizetype selectLength) {
        return std::optional<FormatEdit>(
            FormatEdit{{at, length}, replacement, {selectAt, selectLength}});
    };
    const std::optional<FormatEdit> none;

    // Character commands.
    QTest::newRow("bold selection at 5") << C::bold << u"Make abc now"_s << TextRange{5, 3}
                                         << edit(5, 3, u"\U0001D5EE\U0001D5EF\U0001D5F0"_s, 5, 6);
    QTest::newRow("bold unchanged text still edits")
        << C::bold << u"\u00E9!"_s << TextRange{0, 2} << edit(0, 2, u"\u00E9!"_s, 0, 2);
    for (const C command :
         {C::bold, C::italic, C::strikethrough, C::underline, C::code, C::clear}) {
        const QByteArray tag = "caret, character command " + QByteArray::number(int(command));
        QTest::newRow(tag.constData()) << command << u"Hello"_s << TextRange{2, 0} << none;
    }
    QTest::newRow("code one letter")
        << C::code << u"x"_s << TextRange{0, 1} << edit(0, 1, u"`x`"_s, 0, 3);
    QTest::newRow("code around breaks and backticks")
        << C::code << u"a`b\nc"_s << TextRange{0, 5} << edit(0, 5, u"`a`b\nc`"_s, 0, 7);
    QTest::newRow("strikethrough over a break")
        << C::strikethrough << u"ab\ncd"_s << TextRange{1, 3}
        << edit(1, 3, u"b\u0336\n\u0336c\u0336"_s, 1, 6);

    // Line commands prefix exactly the lines the selection touches.
    QTest::newRow("bullets, caret in first of two lines")
        << C::bullets << u"one\ntwo"_s << TextRange{1, 0} << edit(0, 4, u"- one\n"_s, 0, 5);
    QTest::newRow("numbered, caret in first of two lines")
        << C::numbered << u"one\ntwo"_s << TextRange{1, 0} << edit(0, 4, u"1. one\n"_s, 0, 6);
    QTest::newRow("bullets, caret in last line")
        << C::bullets << u"one\ntwo"_s << TextRange{7, 0} << edit(4, 3, u"- two"_s, 4, 5);
    QTest::newRow("bullets, line followed by a break")
        << C::bullets << u"one\n"_s << TextRange{1, 0} << edit(0, 4, u"- one\n"_s, 0, 5);
    QTest::newRow("bullets, caret on empty last line")
        << C::bullets << u"one\n"_s << TextRange{4, 0} << edit(4, 0, u"- "_s, 4, 2);
    QTest::newRow("bullets, empty text")
        << C::bullets << u""_s << TextRange{0, 0} << edit(0, 0, u"- "_s, 0, 2);
    QTest::newRow("numbered, empty text")
        << C::numbered << u""_s << TextRange{0, 0} << edit(0, 0, u"1. "_s, 0, 3);
    QTest::newRow("bullets, selection ending after a break")
        << C::bullets << u"one\ntwo"_s << TextRange{0, 4} << edit(0, 4, u"- one\n"_s, 0, 5);
    QTest::newRow("bullets, selection over two of three lines")
        << C::bullets << u"one\ntwo\nthree"_s << TextRange{2, 4}
        << edit(0, 8, u"- one\n- two\n"_s, 0, 11);
    QTest::newRow("numbered, three lines, middle empty")
        << C::numbered << u"a\n\nc"_s << TextRange{0, 4} << edit(0, 4, u"1. a\n2. \n3. c"_s, 0, 13);
    QTest::newRow("numbered, four lines") << C::numbered << u"a\n\nc\nd"_s << TextRange{0, 6}
                                          << edit(0, 6, u"1. a\n2. \n3. c\n4. d"_s, 0, 18);
    QTest::newRow("numbered, ten lines")
        << C::numbered << u"a\nb\nc\nd\ne\nf\ng\nh\ni\nj"_s << TextRange{0, 19}
        << edit(0, 19, u"1. a\n2. b\n3. c\n4. d\n5. e\n6. f\n7. g\n8. h\n9. i\n10. j"_s, 0, 50);
    QTest::newRow("numbered counts only the touched lines")
        << C::numbered << u"a\nb\nc"_s << TextRange{2, 1} << edit(2, 2, u"1. b\n"_s, 2, 4);
    QTest::newRow("bullets keep CR LF") << C::bullets << u"a\r\nb\r\nc"_s << TextRange{0, 4}
                                        << edit(0, 6, u"- a\r\n- b\r\n"_s, 0, 8);
    QTest::newRow("bullets keep every terminator")
        << C::bullets << u"a\rb\u0085c\u2028d\u2029e"_s << TextRange{0, 9}
        << edit(0, 9, u"- a\r- b\u0085- c\u2028- d\u2029- e"_s, 0, 19);
    QTest::newRow("bullets, caret between CR and LF")
        << C::bullets << u"ab\r\ncd"_s << TextRange{3, 0} << edit(0, 4, u"- ab\r\n"_s, 0, 4);
    QTest::newRow("bullets twice")
        << C::bullets << u"- a"_s << TextRange{0, 0} << edit(0, 3, u"- - a"_s, 0, 5);
    QTest::newRow("numbered over a bullet")
        << C::numbered << u"- a"_s << TextRange{1, 0} << edit(0, 3, u"1. - a"_s, 0, 6);

    // Selections the editor can produce at the edges.
    QTest::newRow("bold from inside a pair") << C::bold << u"a\U0001F600b"_s << TextRange{2, 2}
                                             << edit(1, 3, u"\U0001F600\U0001D5EF"_s, 1, 4);
    QTest::newRow("bold to inside a pair") << C::bold << u"a\U0001F600b"_s << TextRange{0, 2}
                                           << edit(0, 3, u"\U0001D5EE\U0001F600"_s, 0, 4);
    QTest::newRow("strikethrough, caret inside a pair")
        << C::strikethrough << u"a\U0001F600b"_s << TextRange{2, 0} << none;
    QTest::newRow("bullets, caret inside a pair")
        << C::bullets << u"a\U0001F600b"_s << TextRange{2, 0}
        << edit(0, 4, u"- a\U0001F600b"_s, 0, 6);
    QTest::newRow("bold past the end")
        << C::bold << u"abc"_s << TextRange{1, 100} << edit(1, 2, u"\U0001D5EF\U0001D5F0"_s, 1, 4);
    QTest::newRow("bold starting past the end") << C::bold << u"abc"_s << TextRange{10, 5} << none;
    QTest::newRow("bullets past the end")
        << C::bullets << u"ab\ncd"_s << TextRange{10, 0} << edit(3, 2, u"- cd"_s, 3, 4);
    QTest::newRow("negative location")
        << C::code << u"abc"_s << TextRange{-3, 5} << edit(0, 3, u"`abc`"_s, 0, 5);
    QTest::newRow("negative length") << C::italic << u"abc"_s << TextRange{1, -2} << none;
}

void TestFormatTransforms::edit() {
    QFETCH(EditorFormatCommand, command);
    QFETCH(QString, text);
    QFETCH(TextRange, selection);
    QFETCH(std::optional<FormatEdit>, expected);
    const std::optional<FormatEdit> actual = formatting::makeFormatEdit(command, text, selection);
    QCOMPARE(actual.has_value(), expected.has_value());
    if (expected) {
        QCOMPARE(actual->replacement, expected->replacement);
        QCOMPARE(actual->range, expected->range);
        QCOMPARE(actual->selection, expected->selection);
    }
}

void TestFormatTransforms::everySelectionGivesWellFormedText_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("mixed") << u"a\U0001F600\r\n\u00E9e\u0301\U0001F1E9\U0001F1EA\n\u2028`"
                              u"\U0001D5D4\U0001F468\u200D\U0001F469"_s;
    QTest::newRow("empty") << u""_s;
    QTest::newRow("breaks only") << u"\n\r\n\n"_s;
}

void TestFormatTransforms::everySelectionGivesWellFormedText() {
    QFETCH(QString, text);
    const qsizetype size = text.size();
    for (const EditorFormatCommand command : allCommands) {
        for (qsizetype location = -1; location <= size + 1; ++location) {
            for (qsizetype length = -1; length <= size + 2; ++length) {
                const auto edit = formatting::makeFormatEdit(command, text, {location, length});
                const QByteArray where = QByteArray::number(int(command)) + " at " +
                                         QByteArray::number(location) + "+" +
                                         QByteArray::number(length);
                if (!edit) {
                    QVERIFY2(!quillon::isLineCommand(command), where);
                    continue;
                }
                QVERIFY2(edit->range.location >= 0 && edit->range.end() <= size, where);
                QString result = text;
                result.replace(edit->range.location, edit->range.length, edit->replacement);
                QVERIFY2(isWellFormed(result), where);
                QVERIFY2(edit->selection.location == edit->range.location &&
                             edit->selection.end() <=
                                 edit->range.location + edit->replacement.size(),
                         where);
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestFormatTransforms)
#include "tst_formattransforms.moc"
