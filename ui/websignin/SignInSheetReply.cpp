#include "ui/websignin/SignInSheetReply.h"

namespace quillon {

namespace {

constexpr QByteArrayView shownWord = "shown";
constexpr QByteArrayView callbackWord = "callback ";
constexpr QByteArrayView cancelledWord = "cancelled";
constexpr QByteArrayView terminatedWord = "web-content-terminated";
constexpr QByteArrayView missingWindowWord = "missing-window";

} // namespace

QByteArray SignInSheetReply::encode() const {
    QByteArray line;
    switch (kind) {
    case Kind::shown:
        line = shownWord.toByteArray();
        break;
    case Kind::callback:
        line = callbackWord.toByteArray() + callbackURL.toEncoded(QUrl::FullyEncoded);
        break;
    case Kind::cancelled:
        line = cancelledWord.toByteArray();
        break;
    case Kind::webContentTerminated:
        line = terminatedWord.toByteArray();
        break;
    case Kind::missingWindow:
        line = missingWindowWord.toByteArray();
        break;
    }
    return line + '\n';
}

std::optional<SignInSheetReply> SignInSheetReply::decode(QByteArrayView line,
                                                         QStringView callbackScheme) {
    if (line == shownWord) {
        return SignInSheetReply{Kind::shown, {}};
    }
    if (line == cancelledWord) {
        return SignInSheetReply{Kind::cancelled, {}};
    }
    if (line == terminatedWord) {
        return SignInSheetReply{Kind::webContentTerminated, {}};
    }
    if (line == missingWindowWord) {
        return SignInSheetReply{Kind::missingWindow, {}};
    }
    if (!line.startsWith(callbackWord)) {
        return std::nullopt;
    }
    const QUrl url =
        QUrl::fromEncoded(line.sliced(callbackWord.size()).toByteArray(), QUrl::StrictMode);
    // Only the app's own scheme ends a sign-in: any other address is not the sheet's to give.
    if (!url.isValid() || url.scheme().isEmpty() ||
        url.scheme().compare(callbackScheme, Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    return SignInSheetReply{Kind::callback, url};
}

} // namespace quillon
