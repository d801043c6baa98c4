#pragma once
// The program's failure types. Every failure that escapes a handler is reported with
// its class name and message, so each kind of failure carries a readable name.
#include <QString>
#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(const QString &message);
    ~Exception() override;
    const char *what() const noexcept override;
    const QString &Message() const { return message_; }
    virtual QString ClassName() const { return QStringLiteral("Exception"); }

private:
    QString message_;
    std::string utf8_;
};

#define VELKARHUB_EXCEPTION(Name, Base)                                        \
    class Name : public Base {                                                 \
    public:                                                                    \
        using Base::Base;                                                      \
        QString ClassName() const override { return QStringLiteral(#Name); }   \
    };

// A text that is not a valid number.
VELKARHUB_EXCEPTION(EConvertError, Exception)
// A number outside the range its destination can hold.
VELKARHUB_EXCEPTION(ERangeError, Exception)
// An index outside a list.
VELKARHUB_EXCEPTION(EListError, Exception)
// A file that cannot be read or written.
VELKARHUB_EXCEPTION(EInOutError, Exception)
VELKARHUB_EXCEPTION(EFOpenError, EInOutError)
VELKARHUB_EXCEPTION(EFCreateError, EInOutError)
// A request to the operating system that it refused (a process that did not start).
VELKARHUB_EXCEPTION(EOSError, Exception)
// Failures of an automation server (the spreadsheet application): EOleSysError when the
// server object cannot be created or started, EOleException when a call to it fails (a
// workbook refused, a cell not taken, the application gone or not answering in time).
VELKARHUB_EXCEPTION(EOleError, Exception)
VELKARHUB_EXCEPTION(EOleSysError, EOleError)
VELKARHUB_EXCEPTION(EOleException, EOleError)

// The readable class name of any failure: ours give their own, others their C++ type.
QString ExceptionClassName(const std::exception &e);
QString ExceptionMessage(const std::exception &e);
