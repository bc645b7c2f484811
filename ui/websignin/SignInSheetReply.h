#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>
#include <QUrl>
#include <optional>

namespace quillon {

// What the sign-in sheet program tells the app, one line each on its standard output: that its
// window is up, then how it ended: the callback URL the page reached, or why there is none.
struct SignInSheetReply {
    enum class Kind {
        // The sheet's window is on the screen; the line that ends the sheet follows later.
        shown,
        // The page reached the callback scheme; `callbackURL` holds where.
        callback,
        // The person closed the sheet.
        cancelled,
        // The page's renderer stopped before the sign-in ended.
        webContentTerminated,
        // The sheet had no window system to show on.
        missingWindow,
    };

    Kind kind = Kind::cancelled;
    QUrl callbackURL;

    // The line, newline included. A callback URL goes fully encoded, so it never breaks the line.
    QByteArray encode() const;
    // Reads one line without its newline; none for anything the program never writes, and for
    // a callback on any scheme but `callbackScheme`.
    static std::optional<SignInSheetReply> decode(QByteArrayView line, QStringView callbackScheme);

    friend bool operator==(const SignInSheetReply&, const SignInSheetReply&) = default;
};

} // namespace quillon
