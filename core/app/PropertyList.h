#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

// Property lists (XML or binary) read with libplist into Qt values that keep their type:
// dict -> QVariantMap, array -> QVariantList, string -> QString, integer -> qint64,
// real -> double, boolean -> bool, data -> QByteArray, date -> QDateTime (UTC).
namespace quillon::plist {

// None when the bytes are not a property list, or are one libplist cannot be given without
// ending the program (text holding U+0000, nesting or sharing that exhausts it); `error` then
// says why.
std::optional<QVariant> parse(const QByteArray& bytes, QString* error = nullptr);

// "a dictionary", "text", "a number", ... for error messages.
QString describeType(const QVariant& value);

} // namespace quillon::plist
