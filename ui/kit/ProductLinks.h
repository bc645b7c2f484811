#pragma once

#include <QUrl>

namespace quillon::ProductLinks {

// The product's own addresses outside the backend, kept together so a release changes them in
// one place.

// The product's web host; its pages (the privacy policy) live under it.
inline QUrl webHost() {
    return QUrl(QStringLiteral("https://quillon.tovrel.dev"));
}

// The invitation to the product's community chat group.
inline QUrl communityInvitation() {
    return QUrl(QStringLiteral("https://quillon.tovrel.dev/community"));
}

// Where a user books a call instead of writing.
inline QUrl bookingPage() {
    return QUrl(QStringLiteral("https://quillon.tovrel.dev/book"));
}

inline QUrl privacyPolicy() {
    return webHost().resolved(QUrl(QStringLiteral("/privacy.html")));
}

} // namespace quillon::ProductLinks
