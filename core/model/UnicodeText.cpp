#include "core/model/UnicodeText.h"

#include <memory>
#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utext.h>

namespace quillon::unicode {
namespace {

// Creating a character break iterator loads ICU's rules; one per thread is reused.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(it) : nullptr;
    }();
    return iterator.get();
}

bool isWhitespaceOrNewline(char32_t c) {
    if ((c >= 0x09 && c <= 0x0D) || c == 0x85) {
        return true;
    }
    const auto category = u_charType(static_cast<UChar32>(c));
    return category == U_SPACE_SEPARATOR || category == U_LINE_SEPARATOR ||
           category == U_PARAGRAPH_SEPARATOR;
}

} // namespace

void forEachGraphemeBoundary(QStringView text, const std::function<void(qsizetype)>& visit) {
    if (text.isEmpty()) {
        return;
    }
    icu::BreakIterator* it = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUChars(nullptr, reinterpret_cast<const UChar*>(text.utf16()), text.size(),
                                 &status);
    if (it == nullptr || U_FAILURE(status)) {
        // Without ICU's rules, code points are the best approximation left.
        utext_close(ut);
        for (qsizetype i = 1; i <= text.size(); ++i) {
            if (i == text.size() || !text[i].isLowSurrogate() || !text[i - 1].isHighSurrogate()) {
                visit(i);
            }
        }
        return;
    }
    it->setText(ut, status);
    for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next()) {
        visit(b);
    }
    // Leave the iterator holding no pointer into `text`.
    static const UChar empty[1] = {0};
    UText* none = utext_openUChars(nullptr, empty, 0, &status);
    it->setText(none, status);
    utext_close(none);
    utext_close(ut);
}

QList<qsizetype> graphemeBoundaries(QStringView text) {
    QList<qsizetype> boundaries;
    boundaries.reserve(text.size() / 2 + 2);
    boundaries.append(0);
    forEachGraphemeBoundary(text, [&](qsizetype boundary) { boundaries.append(boundary); });
    return boundaries;
}

QList<QStringView> graphemeClusters(QStringView text) {
    const QList<qsizetype> bounds = graphemeBoundaries(text);
    QList<QStringView> clusters;
    clusters.reserve(bounds.size() - 1);
    for (qsizetype i = 1; i < bounds.size(); ++i) {
        clusters.append(text.sliced(bounds[i - 1], bounds[i] - bounds[i - 1]));
    }
    return clusters;
}

QString leftGraphemes(QStringView text, qsizetype count) {
    const QList<qsizetype> bounds = graphemeBoundaries(text);
    if (count + 1 >= bounds.size()) {
        return text.toString();
    }
    return text.first(bounds[count]).toString();
}

QString nfd(QStringView text) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* normalizer = unorm2_getNFDInstance(&status);
    if (U_FAILURE(status)) {
        return text.toString().normalized(QString::NormalizationForm_D);
    }
    // Written straight into the result, sized up front: for a text of megabytes, growing and
    // copying buffers would cost more than the normalisation itself.
    const auto source = reinterpret_cast<const UChar*>(text.utf16());
    const auto sourceLength = static_cast<int32_t>(text.size());
    QString result(text.size() + text.size() / 4 + 16, Qt::Uninitialized);
    int32_t length =
        unorm2_normalize(normalizer, source, sourceLength, reinterpret_cast<UChar*>(result.data()),
                         static_cast<int32_t>(result.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        result.resize(length);
        length = unorm2_normalize(normalizer, source, sourceLength,
                                  reinterpret_cast<UChar*>(result.data()), length, &status);
    }
    if (U_FAILURE(status)) {
        return text.toString().normalized(QString::NormalizationForm_D);
    }
    result.truncate(length);
    return result;
}

bool canonicallyEqual(QStringView a, QStringView b) {
    return a == b || nfd(a) == nfd(b);
}

QString trimmedWhitespaceAndNewlines(QStringView text) {
    // Every character of that set lies in the Basic Multilingual Plane.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhitespaceOrNewline(text[begin].unicode())) {
        ++begin;
    }
    while (end > begin && isWhitespaceOrNewline(text[end - 1].unicode())) {
        --end;
    }
    return text.sliced(begin, end - begin).toString();
}

} // namespace quillon::unicode
