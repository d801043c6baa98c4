#include "utilities/Exceptions.h"

#include <cxxabi.h>
#include <cstdlib>
#include <memory>
#include <typeinfo>

Exception::Exception(const QString &message) : message_(message), utf8_(message.toStdString()) {}

Exception::~Exception() = default;

const char *Exception::what() const noexcept { return utf8_.c_str(); }

QString ExceptionClassName(const std::exception &e)
{
    if (auto *own = dynamic_cast<const Exception *>(&e))
        return own->ClassName();
    int status = 0;
    const char *mangled = typeid(e).name();
    std::unique_ptr<char, void (*)(void *)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return QString::fromUtf8(status == 0 && demangled ? demangled.get() : mangled);
}

QString ExceptionMessage(const std::exception &e)
{
    if (auto *own = dynamic_cast<const Exception *>(&e))
        return own->Message();
    return QString::fromUtf8(e.what());
}
