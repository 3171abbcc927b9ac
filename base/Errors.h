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

// What went wrong in the database, as far as a caller acts on it.
enum class TDatabaseFailure {
    Other,
    Busy,           // another program holds the library locked
    ReadOnly,       // the library cannot be written
    Duplicate,      // a row breaks a unique rule
    ConnectionLost, // the database server went away
    DiskFull,       // no room left for the library's data
};

class EDatabaseError : public EError
{
public:
    explicit EDatabaseError(QString message, TDatabaseFailure failure = TDatabaseFailure::Other)
        : EError(std::move(message)), m_failure(failure)
    {
    }
    TDatabaseFailure Failure() const { return m_failure; }

private:
    TDatabaseFailure m_failure;
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
