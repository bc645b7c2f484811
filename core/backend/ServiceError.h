#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace quillon {

// The base of every error a backend call or the sign-in sheet can end with. `description()`
// is the text the caller shows to the user, so one catch clause serves every client.
class ServiceError : public std::exception {
public:
    explicit ServiceError(QString description);

    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

} // namespace quillon
