// The program's exception classes: one base with a message, and the kinds that handlers branch on.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <exception>

// Base of every exception the program raises on purpose.
class Exception : public std::exception
{
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {
    }
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }
    // The class name as the error reports show it ("Exception", "EConvertError", ...).
    virtual const char* className() const { return "Exception"; }

private:
    QString m_message;
    QByteArray m_utf8;
};

#define QV_EXCEPTION_CLASS(Name, Base)                                                             \
    class Name : public Base                                                                       \
    {                                                                                              \
    public:                                                                                        \
        using Base::Base;                                                                          \
        const char* className() const override { return #Name; }                                   \
    };

// A text that is not a number, a date or the like.
QV_EXCEPTION_CLASS(EConvertError, Exception)
// A field value refused while editing a dataset.
QV_EXCEPTION_CLASS(EDBEditError, Exception)
// An index outside a list of texts.
QV_EXCEPTION_CLASS(EStringListError, Exception)
// A silent exception: it ends an operation without any message.
QV_EXCEPTION_CLASS(EAbort, Exception)
// A failed file or folder operation.
class EInOutError : public Exception
{
public:
    explicit EInOutError(QString message, int errorCode = 0)
        : Exception(std::move(message)), m_errorCode(errorCode)
    {
    }
    int errorCode() const { return m_errorCode; }
    const char* className() const override { return "EInOutError"; }

private:
    int m_errorCode;
};

// An error of the database engine: a list of entries, the first being the main one. Each code is
// a category in its high byte and a sub-code in its low byte (0x2B33: category 43, sub-code 51);
// the codes are listed in <platform/db/enginecodes.h>.
class EngineError : public Exception
{
public:
    struct Entry
    {
        int errorCode = 0; // category * 256 + sub-code
        QString message;
        int nativeError = 0; // the server's own code, when there is one
        int category() const { return (errorCode >> 8) & 0xFF; }
        int subCode() const { return errorCode & 0xFF; }
    };

    explicit EngineError(QList<Entry> entries)
        : Exception(entries.isEmpty() ? QString() : entries.first().message),
          m_entries(std::move(entries))
    {
    }
    EngineError(int errorCode, const QString& message, int nativeError = 0)
        : EngineError(QList<Entry>{Entry{errorCode, message, nativeError}})
    {
    }

    const QList<Entry>& entries() const { return m_entries; }
    // Code of the first entry, 0 when there is none.
    int errorCode() const { return m_entries.isEmpty() ? 0 : m_entries.first().errorCode; }
    const char* className() const override { return "EngineError"; }

private:
    QList<Entry> m_entries;
};

// The message of any exception: ours keep theirs; others are the system's text in its encoding.
inline QString exceptionMessage(const std::exception& e)
{
    if (const auto* ex = dynamic_cast<const Exception*>(&e))
        return ex->message();
    return QString::fromLocal8Bit(e.what());
}
