#include "analytics/purchases/PurchaseParameters.h"

#include "analytics/purchases/ExchangeRates.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace signalpost {

QMap<QString, QString> purchaseParameters(const StoreTransaction& transaction) {
    QMap<QString, QString> parameters{
        {u"Signalpost.Purchase.type"_s,
         transaction.subscriptionGroupID ? u"subscription"_s : u"one-time-purchase"_s},
        {u"Signalpost.Purchase.countryCode"_s, transaction.countryCode},
        {u"Signalpost.Purchase.productID"_s, transaction.productID},
    };
    if (transaction.currencyCode) {
        parameters.insert(u"Signalpost.Purchase.currencyCode"_s, *transaction.currencyCode);
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
