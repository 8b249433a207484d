#pragma once
// Errors carry a message text meant for the user (Portuguese where the
// system raises them itself, the client library's own text otherwise).
#include <QString>
#include <stdexcept>

class KrError : public std::runtime_error
{
public:
    explicit KrError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

// The text to show for any exception that reached a guard.
QString ErrorMessageOf(const std::exception &e);
