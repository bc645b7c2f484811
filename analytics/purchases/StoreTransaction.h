#pragma once

#include "analytics/purchases/Decimal.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace signalpost {

// One completed store transaction as a store integration reports it: the fields the purchase
// signals and the trial tracker read, nothing more.
struct StoreTransaction {
    enum class ProductType { consumable, nonConsumable, nonRenewable, autoRenewable };
    enum class OfferType { introductory, promotional, code, winBack };
    enum class PaymentMode { freeTrial, payAsYouGo, payUpFront };

    QString productID;
    quint64 originalID = 0;
    ProductType productType = ProductType::consumable;
    std::optional<QString> subscriptionGroupID;
    // The storefront's country code.
    QString countryCode;
    // ISO 4217 code, as the store gives it.
    std::optional<QString> currencyCode;
    std::optional<Decimal> price;
    std::optional<OfferType> offerType;
    std::optional<PaymentMode> offerPaymentMode;
    std::optional<QDateTime> revocationDate;
    std::optional<QDateTime> expirationDate;
    bool isUpgraded = false;
};

} // namespace signalpost
