#include "ui/editor/FormatTransforms.h"

#include "core/model/UnicodeText.h"

#include <algorithm>

namespace quillon::formatting {
namespace {

// Writes one scalar as one or two UTF-16 code units; returns the position after it.
char16_t* writeScalar(char16_t* out, char32_t scalar) {
    if (QChar::requiresSurrogates(scalar)) {
        *out++ = QChar::highSurrogate(scalar);
        *out++ = QChar::lowSurrogate(scalar);
    } else {
        *out++ = char16_t(scalar);
    }
    return out;
}

// A QString of `capacity` code units to fill through writeScalar, then cut to what was used.
class StringWriter {
public:
    explicit StringWriter(qsizetype capacity)
        : m_text(capacity, Qt::Uninitialized)
        , m_begin(reinterpret_cast<char16_t*>(m_text.data()))
        , m_out(m_begin) {}

    void put(char32_t scalar) { m_out = writeScalar(m_out, scalar); }
    void put(QStringView units) {
        std::copy(units.utf16(), units.utf16() + units.size(), m_out);
        m_out += units.size();
    }
    QString take() {
        m_text.truncate(m_out - m_begin);
        return std::move(m_text);
    }

private:
    QString m_text;
    char16_t* m_begin;
    char16_t* m_out;
};

qsizetype unitsOf(char32_t scalar) {
    return QChar::requiresSurrogates(scalar) ? 2 : 1;
}

bool isHigh(char16_t unit) {
    return QChar::isHighSurrogate(unit);
}

bool isLow(char16_t unit) {
    return QChar::isLowSurrogate(unit);
}

// Where the line holding `position` starts. A position between CR and LF belongs to the line
// that pair ends.
qsizetype lineStart(QStringView text, qsizetype position) {
    qsizetype i = position;
    if (i > 0 && i < text.size() && text[i - 1] == u'\r' && text[i] == u'\n') {
        --i;
    }
    while (i > 0 && !isLineTerminator(text[i - 1].unicode())) {
        --i;
    }
    return i;
}

// Where the line holding `position` ends, after its terminator when it has one.
qsizetype lineEnd(QStringView text, qsizetype position) {
    qsizetype i = position;
    while (i < text.size() && !isLineTerminator(text[i].unicode())) {
        ++i;
    }
    if (i < text.size()) {
        const bool crlf = text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
        i += crlf ? 2 : 1;
    }
    return i;
}

qsizetype terminatorLength(QStringView line) {
    if (line.endsWith(u"\r\n")) {
        return 2;
    }
    return !line.isEmpty() && isLineTerminator(line.back().unicode()) ? 1 : 0;
}

// Drops the strike and underline marks and maps styled letters back, in place: the text only
// shrinks, so every write lands at or before the unit being read.
void makePlain(QString& text) {
    char16_t* const units = reinterpret_cast<char16_t*>(text.data());
    const qsizetype size = text.size();
    char16_t* out = units;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (unit == strikethroughMark || unit == underlineMark) {
            continue;
        }
        if (isHigh(unit) && i + 1 < size && isLow(units[i + 1])) {
            const char32_t scalar = QChar::surrogateToUcs4(unit, units[i + 1]);
            ++i;
            out = writeScalar(out, plainScalar(scalar).value_or(scalar));
            continue;
        }
        *out++ = unit;
    }
    text.truncate(out - units);
}

QString clearedText(QStringView text) {
    QString plain;
    if (text.contains(QChar(codeFence))) {
        QString withoutFences = text.toString();
        withoutFences.remove(QChar(codeFence));
        plain = unicode::nfd(withoutFences);
    } else {
        plain = unicode::nfd(text);
    }
    makePlain(plain);
    return plain;
}

QString transformed(EditorFormatCommand command, QStringView selected) {
    switch (command) {
    case EditorFormatCommand::bold:
        return styledText(selected, boldCapitalBase, boldSmallBase, boldDigitBase);
    case EditorFormatCommand::italic:
        return styledText(selected, italicCapitalBase, italicSmallBase, std::nullopt);
    case EditorFormatCommand::strikethrough:
        return appendingCombiningMark(selected, strikethroughMark);
    case EditorFormatCommand::underline:
        return appendingCombiningMark(selected, underlineMark);
    case EditorFormatCommand::code: {
        QString fenced;
        fenced.reserve(selected.size() + 2);
        fenced.append(QChar(codeFence)).append(selected).append(QChar(codeFence));
        return fenced;
    }
    case EditorFormatCommand::clear:
        return clearedText(selected);
    case EditorFormatCommand::bullets:
    case EditorFormatCommand::numbered:
        break;
    }
    return selected.toString();
}

} // namespace

char32_t styledScalar(char32_t scalar, char32_t capitalBase, char32_t smallBase,
                      std::optional<char32_t> digitBase) {
    if (scalar >= U'A' && scalar <= U'Z') {
        return capitalBase + (scalar - U'A');
    }
    if (scalar >= U'a' && scalar <= U'z') {
        return smallBase + (scalar - U'a');
    }
    if (digitBase && scalar >= U'0' && scalar <= U'9') {
        return *digitBase + (scalar - U'0');
    }
    return scalar;
}

QString styledText(QStringView text, char32_t capitalBase, char32_t smallBase,
                   std::optional<char32_t> digitBase) {
    // Only ASCII scalars change, and an ASCII code unit is never half of a surrogate pair, so
    // walking code units gives the same result as walking scalars (and keeps a lone surrogate
    // as it was).
    StringWriter out(text.size() * 2);
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        out.put(unit < 0x80 ? styledScalar(unit, capitalBase, smallBase, digitBase)
                            : char32_t(unit));
    }
    return out.take();
}

QString appendingCombiningMark(QStringView text, char32_t mark) {
    StringWriter out(text.size() * (1 + unitsOf(mark)));
    qsizetype start = 0;
    unicode::forEachGraphemeBoundary(text, [&](qsizetype end) {
        out.put(text.sliced(start, end - start));
        out.put(mark);
        start = end;
    });
    return out.take();
}

std::optional<char32_t> plainScalar(char32_t scalar) {
    struct Span {
        char32_t first;
        char32_t plainFirst;
        char32_t count;
    };
    static constexpr Span spans[] = {
        {boldCapitalBase, U'A', 26},   {boldSmallBase, U'a', 26},   {boldDigitBase, U'0', 10},
        {italicCapitalBase, U'A', 26}, {italicSmallBase, U'a', 26},
    };
    for (const Span& span : spans) {
        if (scalar >= span.first && scalar < span.first + span.count) {
            return span.plainFirst + (scalar - span.first);
        }
    }
    return std::nullopt;
}

QString plainText(QStringView decomposed) {
    QString plain = decomposed.toString();
    makePlain(plain);
    return plain;
}

QString bulletLines(const QList<QStringView>& lines) {
    QString result;
    qsizetype size = 0;
    for (const QStringView line : lines) {
        size += 2 + line.size();
    }
    result.reserve(size);
    for (const QStringView line : lines) {
        result.append(u"- ");
        result.append(line);
    }
    return result;
}

QString numberLines(const QList<QStringView>& lines) {
    QString result;
    qsizetype number = 0;
    for (const QStringView line : lines) {
        result.append(QString::number(++number));
        result.append(u". ");
        result.append(line);
    }
    return result;
}

TextRange lineRange(QStringView text, TextRange selection) {
    const TextRange clamped = wellFormedSelection(text, selection);
    const qsizetype start = lineStart(text, clamped.location);
    const qsizetype last = clamped.length > 0 ? clamped.end() - 1 : clamped.location;
    return {start, lineEnd(text, last) - start};
}

QList<QStringView> splitLines(QStringView text) {
    QList<QStringView> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = lineEnd(text, start);
        lines.append(text.sliced(start, end - start));
        start = end;
    }
    if (lines.isEmpty()) {
        lines.append(text);
    }
    return lines;
}

TextRange wellFormedSelection(QStringView text, TextRange selection) {
    const qsizetype size = text.size();
    qsizetype start = std::clamp<qsizetype>(selection.location, 0, size);
    qsizetype end = std::clamp<qsizetype>(selection.length, 0, size - start) + start;
    const auto splitsPair = [&](qsizetype i) {
        return i > 0 && i < size && isHigh(text[i - 1].unicode()) && isLow(text[i].unicode());
    };
    // A caret stays a caret: it moves before the pair rather than selecting it.
    const bool caret = start == end;
    if (splitsPair(start)) {
        --start;
    }
    if (caret) {
        end = start;
    } else if (splitsPair(end)) {
        ++end;
    }
    return {start, end - start};
}

std::optional<FormatEdit> makeFormatEdit(EditorFormatCommand command, QStringView text,
                                         TextRange selection) {
    if (isLineCommand(command)) {
        const TextRange range = lineRange(text, selection);
        const QList<QStringView> lines = splitLines(text.sliced(range.location, range.length));
        QString replacement =
            command == EditorFormatCommand::bullets ? bulletLines(lines) : numberLines(lines);
        const qsizetype selected = replacement.size() - terminatorLength(lines.back());
        return FormatEdit{range, std::move(replacement), {range.location, selected}};
    }
    const TextRange range = wellFormedSelection(text, selection);
    if (range.length == 0) {
        return std::nullopt;
    }
    QString replacement = transformed(command, text.sliced(range.location, range.length));
    const qsizetype length = replacement.size();
    return FormatEdit{range, std::move(replacement), {range.location, length}};
}

} // namespace quillon::formatting
