// Exception.h: the root of the system's exception hierarchy. Library code raises these with the
// German message texts users and support engineers know; what() gives the message as UTF-8.
#pragma once
#include <QByteArray>
#include <QString>
#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(const QString& Message) : FMessage(Message), FUtf8(Message.toUtf8()) {}

    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }
    // The class name as the log writes it; each descendant names itself.
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    QString FMessage;
    QByteArray FUtf8;  // kept so what() can hand out a stable pointer
};

// Raised by streams and files: a file that cannot be opened, read or written.
class EStreamError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EStreamError"; }
};

// Raised by the string conversions: text that is not a number.
class EConvertError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EConvertError"; }
};

// Raised by lists: an index out of range, a duplicate refused by the list's policy.
class EListError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EListError"; }
};
