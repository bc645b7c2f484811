#include "analytics/purchases/TrialConversionTracker.h"

#include "analytics/base/FacadeCalls.h"
#include "analytics/purchases/PurchaseParameters.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace signalpost {
namespace {

const QString lastTrialKey = u"lastTrial"_s;
const QString productIDKey = u"productID"_s;
const QString originalTransactionIDKey = u"originalTransactionID"_s;

// The raw text of the value under `key` at the top level of a JSON object, the last one when
// the key repeats. Only called on text QJsonDocument has accepted as an object.
QByteArray rawTopLevelValue(const QByteArray& json, const QString& key) {
    QByteArray found;
    int depth = 0;
    qsizetype stringStart = -1;
    QByteArray lastString;
    qsizetype valueStart = -1;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (stringStart >= 0) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                lastString = json.mid(stringStart, i - stringStart + 1);
                stringStart = -1;
            }
            continue;
        }
        switch (c) {
        case '"':
            stringStart = i;
            break;
        case '{':
        case '[':
            ++depth;
            break;
        case '}':
        case ']':
        case ',':
            if (depth == 1 && valueStart >= 0) {
                found = json.mid(valueStart, i - valueStart).trimmed();
                valueStart = -1;
            }
            if (c != ',') {
                --depth;
            }
            break;
        case ':':
            if (depth == 1) {
                const QJsonArray decoded = QJsonDocument::fromJson('[' + lastString + ']').array();
                if (decoded.size() == 1 && decoded.at(0).toString() == key) {
                    valueStart = i + 1;
                }
            }
            break;
        default:
            break;
        }
    }
    return found;
}

// Only plain digits that fit 64 bits: no sign, fraction or exponent.
std::optional<quint64> exactIdentifier(const QByteArray& text) {
    if (text.isEmpty()) {
        return std::nullopt;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    bool ok = false;
    const quint64 value = text.toULongLong(&ok);
    return ok ? std::optional<quint64>(value) : std::nullopt;
}

} // namespace

TrialConversionTracker& TrialConversionTracker::shared() {
    static TrialConversionTracker* const instance =
        new TrialConversionTracker(TransactionUpdates::shared());
    return *instance;
}

TrialConversionTracker::TrialConversionTracker(TransactionUpdates& updates)
    : m_updates(updates) {
    m_persistenceQueue.setMaxThreadCount(1);
    m_persistenceQueue.setObjectName(u"com.signalpost.trialtracker.persistence"_s);
    // Each observation waits on its stream; a cancelled one leaves at once, so few run.
    m_observations.setMaxThreadCount(4);
    if (loadTrial()) {
        startObservingTransactions();
    }
}

TrialConversionTracker::~TrialConversionTracker() {
    {
        QMutexLocker locker(&m_taskMutex);
        if (m_transactionUpdateTask) {
            m_transactionUpdateTask->cancel();
            m_transactionUpdateTask.reset();
        }
    }
    m_observations.waitForDone();
    m_persistenceQueue.waitForDone();
}

void TrialConversionTracker::recordTrial(const std::optional<QString>& productID,
                                         const std::optional<quint64>& originalTransactionID) {
    std::optional<StoredTrial> trial;
    if (productID && originalTransactionID) {
        trial = StoredTrial{*productID, *originalTransactionID};
    }
    persist(std::move(trial));
}

void TrialConversionTracker::persist(std::optional<StoredTrial> trial) {
    m_persistenceQueue.start([trial = std::move(trial)] { saveTrial(trial); });
}

void TrialConversionTracker::saveTrial(const std::optional<StoredTrial>& trial) {
    const auto suite = facade::defaultsSuite();
    if (!suite) {
        return;
    }
    if (trial) {
        suite->setValue(lastTrialKey, encodeTrial(*trial));
    } else {
        suite->remove(lastTrialKey);
    }
    suite->sync();
}

std::optional<TrialConversionTracker::StoredTrial> TrialConversionTracker::loadTrial() {
    const auto suite = facade::defaultsSuite();
    if (!suite) {
        return std::nullopt;
    }
    const QVariant value = suite->value(lastTrialKey);
    if (value.typeId() != QMetaType::QByteArray) {
        return std::nullopt;
    }
    return decodeTrial(value.toByteArray());
}

QByteArray TrialConversionTracker::encodeTrial(const StoredTrial& trial) {
    // The string through Qt's encoder for its escaping; the integer as its own digits.
    const QByteArray product =
        QJsonDocument(QJsonArray{trial.productID}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    return "{\"productID\":" + product +
           ",\"originalTransactionID\":" + QByteArray::number(trial.originalTransactionID) + '}';
}

std::optional<TrialConversionTracker::StoredTrial>
TrialConversionTracker::decodeTrial(const QByteArray& data) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QJsonValue product = object.value(productIDKey);
    if (!product.isString() || !object.value(originalTransactionIDKey).isDouble()) {
        return std::nullopt;
    }
    const auto identifier = exactIdentifier(rawTopLevelValue(data, originalTransactionIDKey));
    if (!identifier) {
        return std::nullopt;
    }
    return StoredTrial{product.toString(), *identifier};
}

void TrialConversionTracker::startObservingTransactions() {
    const auto stream = m_updates.follow();
    {
        QMutexLocker locker(&m_taskMutex);
        if (m_transactionUpdateTask) {
            m_transactionUpdateTask->cancel();
        }
        m_transactionUpdateTask = stream;
    }
    m_observations.start([this, stream] {
        while (const auto update = stream->next()) {
            handleTransactionUpdate(*update, stream);
        }
        stopObserving(stream);
    });
}

bool TrialConversionTracker::isObserving() const {
    QMutexLocker locker(&m_taskMutex);
    return m_transactionUpdateTask != nullptr;
}

void TrialConversionTracker::stopObserving(
    const std::shared_ptr<TransactionUpdates::Stream>& stream) {
    if (stream) {
        stream->cancel();
    }
    QMutexLocker locker(&m_taskMutex);
    if (m_transactionUpdateTask == stream) {
        m_transactionUpdateTask.reset();
    }
}

void TrialConversionTracker::waitForPersistence() {
    m_persistenceQueue.waitForDone();
}

bool TrialConversionTracker::isInFreeTrial(const StoreTransaction& transaction) {
    return transaction.offerType == StoreTransaction::OfferType::introductory &&
           transaction.offerPaymentMode == StoreTransaction::PaymentMode::freeTrial;
}

void TrialConversionTracker::handleTransactionUpdate(const VerificationResult& update) {
    std::shared_ptr<TransactionUpdates::Stream> stream;
    {
        QMutexLocker locker(&m_taskMutex);
        stream = m_transactionUpdateTask;
    }
    handleTransactionUpdate(update, stream);
}

void TrialConversionTracker::handleTransactionUpdate(
    const VerificationResult& update, const std::shared_ptr<TransactionUpdates::Stream>& stream) {
    const auto transaction = update.verifiedTransaction();
    if (!transaction) {
        return;
    }
    // One update at a time, and only after the writes asked for before it: an observation
    // just replaced may still be handling its last update, and a conversion's removal must be
    // seen before the next update is judged, or one conversion would be sent twice.
    QMutexLocker handling(&m_handlingMutex);
    if (stream && stream->isCancelled()) {
        return;
    }
    waitForPersistence();
    const auto trial = loadTrial();
    if (!trial || transaction->productID != trial->productID ||
        transaction->originalID != trial->originalTransactionID) {
        return;
    }
    const bool expired = transaction->expirationDate &&
                         *transaction->expirationDate < QDateTime::currentDateTimeUtc();
    if (transaction->revocationDate || expired || transaction->isUpgraded) {
        persist(std::nullopt);
        stopObserving(stream);
        return;
    }
    if (isInFreeTrial(*transaction)) {
        return;
    }
    facade::internalSignal(u"Signalpost.Purchase.convertedFromTrial"_s,
                           purchaseParameters(*transaction), priceInUSD(*transaction));
    recordTrial(std::nullopt, std::nullopt);
    stopObserving(stream);
}

} // namespace signalpost
