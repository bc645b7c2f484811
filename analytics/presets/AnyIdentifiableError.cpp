#include "analytics/presets/AnyIdentifiableError.h"

#include <stdexcept>

namespace signalpost {

AnyIdentifiableError::AnyIdentifiableError(QString id, std::exception_ptr error)
    : m_id(std::move(id))
    , m_error(std::move(error)) {} // NOLINT(bugprone-throw-keyword-missing): no throw here

QString AnyIdentifiableError::localizedDescription() const {
    if (!m_error) {
        return QStringLiteral("The operation couldn’t be completed.");
    }
    try {
        std::rethrow_exception(m_error);
    } catch (const IdentifiableError& error) {
        return error.localizedDescription();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
    }
    return QStringLiteral("The operation couldn’t be completed.");
}

} // namespace signalpost
