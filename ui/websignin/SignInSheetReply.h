#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QUrl>
#include <optional>

namespace quillon {

// How the sign-in sheet program ends, as the one line it writes on its standard output for the
// app: the callback URL the page reached, or why there is none.
struct SignInSheetReply {
    enum class Kind {
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
    // Reads one line without its newline; none for anything the program never writes.
    static std::optional<SignInSheetReply> decode(QByteArrayView line);

    friend bool operator==(const SignInSheetReply&, const SignInSheetReply&) = default;
};

} // namespace quillon
