#pragma once

#include <QString>
#include <exception>

// Errors that end the handler that raised them; the application shows their text.
class EError : public std::exception
{
public:
    explicit EError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &Message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

class EDatabaseError : public EError
{
public:
    using EError::EError;
};

// A file could not be opened ("Cannot open file ...").
class EFOpenError : public EError
{
public:
    using EError::EError;
};

// A read, write or positioning step on an open file failed.
class EInOutError : public EError
{
public:
    EInOutError(QString message, int errorCode = 0) : EError(std::move(message)), m_code(errorCode)
    {
    }
    int ErrorCode() const { return m_code; }

private:
    int m_code;
};

class ERegistryError : public EError
{
public:
    using EError::EError;
};

class EMCIDeviceError : public EError
{
public:
    using EError::EError;
};
