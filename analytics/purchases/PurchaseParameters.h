#pragma once

#include "analytics/purchases/StoreTransaction.h"

#include <QMap>
#include <QString>

namespace signalpost {

// The parameters of every purchase signal: type, country, product and, when known, currency.
QMap<QString, QString> purchaseParameters(const StoreTransaction& transaction);

// The price in US dollars through the exchange-rate table; 0 without a currency, for a
// currency not in the table, and for a price that is no finite number.
double priceInUSD(const StoreTransaction& transaction);

// An auto-renewable subscription's introductory offer at no price.
bool startsFreeTrial(const StoreTransaction& transaction);

} // namespace signalpost
