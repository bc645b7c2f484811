#include "analytics/presets/AnyIdentifiableError.h"

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace signalpost {

AnyIdentifiableError::AnyIdentifiableError(QString id, std::exception_ptr error)
    : m_id(std::move(id))
    , m_error(std::move(error)) {} // NOLINT(bugprone-throw-keyword-missing): no throw here

QString AnyIdentifiableError::localizedDescription() const {
    if (!m_error) {
        return u"The operation couldn’t be completed."_s;
    }
    try {
        std::rethrow_exception(m_error);
    } catch (const IdentifiableError& error) {
        return error.localizedDescription();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
    }
    return u"The operation couldn’t be completed."_s;
}

} // namespace signalpost
