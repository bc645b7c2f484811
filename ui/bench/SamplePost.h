#pragma once

#include <QString>

namespace quillon::bench {

// Paragraphs of words, accents and emoji, cut to exactly `length` code units.
inline QString longPost(qsizetype length) {
    const QString paragraph = QString::fromUtf16(
        u"We shipped the new onboarding flow this week \U0001F680 and the caf\u00e9 team "
        u"measured a 23% lift in activation. Re\u0301sume\u0301 of what we learned: keep the "
        u"first screen short, ask for one thing at a time, and celebrate the first win "
        u"\U0001F44D\U0001F3FD. Thanks to everyone in \U0001F1E9\U0001F1EA and beyond!\n");
    QString text;
    while (text.size() < length) {
        text.append(paragraph);
    }
    text.truncate(length);
    if (text.back().isHighSurrogate()) {
        text.back() = u'.';
    }
    return text;
}

} // namespace quillon::bench
