#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace signalpost {

// The fixed table of exchange rates behind every US-dollar price: units of a currency that
// equal one US dollar, by three-letter code. US dollars themselves are not in it.
class ExchangeRates {
public:
    ExchangeRates() = delete;

    // The rows in their stored order.
    static const QList<std::pair<QString, double>>& rows();
    // Built once, on first use from any thread; read-only afterwards.
    static const QHash<QString, double>& table();
    // Case-sensitive.
    static std::optional<double> rate(const QString& currencyCode);
};

} // namespace signalpost
