#pragma once

#include <QString>
#include <exception>

// An error whose message is one complete sentence meant for the user. `detail` is for logs only
// and never shown; it must not carry secrets.
class BCError : public std::exception {
public:
    explicit BCError(QString message, QString detail = {})
        : m_message(std::move(message)), m_detail(std::move(detail)), m_utf8(m_message.toUtf8()) {}

    const QString& message() const noexcept { return m_message; }
    const QString& detail() const noexcept { return m_detail; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QString m_detail;
    QByteArray m_utf8;
};

// Thrown inside a job when its cancellation token fires. Never shown to the user.
struct BCCancelled : std::exception {
    const char* what() const noexcept override { return "cancelled"; }
};
