#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

namespace signalpost {

class TelemetryManagerConfiguration;

// Lowercase hexadecimal SHA-256 of `text` immediately followed by `salt`; the empty text when
// the two cannot be encoded as UTF-8 without loss (a lone surrogate).
QString sha256HexDigest(const QString& text, const QString& salt);

// The parameters with the configuration's parameter prefix in front of every key, except the
// client's own keys, which begin with "Signalpost." exactly.
QMap<QString, QString> applyDefaultPrefix(const QMap<QString, QString>& parameters,
                                          const TelemetryManagerConfiguration& configuration);

// The moment before anything happened: the start value of timestamps not yet set.
QDateTime distantPast();

} // namespace signalpost
