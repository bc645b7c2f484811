#include "analytics/purchases/PurchaseParameters.h"

#include "analytics/purchases/ExchangeRates.h"

#include <cmath>

namespace signalpost {

QMap<QString, QString> purchaseParameters(const StoreTransaction& transaction) {
    QMap<QString, QString> parameters{
        {QStringLiteral("Signalpost.Purchase.type"), transaction.subscriptionGroupID
                                                         ? QStringLiteral("subscription")
                                                         : QStringLiteral("one-time-purchase")},
        {QStringLiteral("Signalpost.Purchase.countryCode"), transaction.countryCode},
        {QStringLiteral("Signalpost.Purchase.productID"), transaction.productID},
    };
    if (transaction.currencyCode) {
        parameters.insert(QStringLiteral("Signalpost.Purchase.currencyCode"),
                          *transaction.currencyCode);
    }
    return parameters;
}

double priceInUSD(const StoreTransaction& transaction) {
    const double price = transaction.price ? transaction.price->toDouble() : 0.0;
    if (!transaction.currencyCode) {
        return 0.0;
    }
    double usd = 0.0;
    if (*transaction.currencyCode == QLatin1String("USD")) {
        usd = price;
    } else if (const auto rate = ExchangeRates::rate(*transaction.currencyCode)) {
        usd = price / *rate;
    }
    // A NaN or a price beyond a double's range would reach the wire as a float value no
    // ingest reads.
    return std::isfinite(usd) ? usd : 0.0;
}

bool startsFreeTrial(const StoreTransaction& transaction) {
    return transaction.productType == StoreTransaction::ProductType::autoRenewable &&
           transaction.offerType == StoreTransaction::OfferType::introductory &&
           (!transaction.price || transaction.price->isZero());
}

} // namespace signalpost
