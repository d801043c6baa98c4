#include "utilities/Convert.h"

#include "utilities/Exceptions.h"

#include <QLocale>
#include <QRegularExpression>

namespace Convert {

std::optional<int32_t> TryStrToInt(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[+-]?[0-9]+$"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(v);
}

int32_t StrToInt(const QString &text)
{
    if (auto v = TryStrToInt(text))
        return *v;
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

int16_t ToInt16(int32_t value)
{
    if (value < INT16_MIN || value > INT16_MAX)
        throw ERangeError(QStringLiteral("Range check error: %1 does not fit a 16-bit value").arg(value));
    return static_cast<int16_t>(value);
}

int32_t ToNonNegative(int32_t value)
{
    if (value < 0)
        throw ERangeError(QStringLiteral("Range check error: %1 is negative").arg(value));
    return value;
}

QString Hex16(int32_t value, int digits)
{
    const QString hex = QString::number(static_cast<uint16_t>(value), 16).toUpper();
    return digits > 0 ? hex.rightJustified(digits, QLatin1Char('0')) : hex;
}

QString ShortDateFormat() { return QLocale().dateFormat(QLocale::ShortFormat); }

QString LongTimeFormat()
{
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*t+"));
    format.remove(zone);
    return format.trimmed();
}

QString DateTimeToStr(const QDateTime &value)
{
    if (value.time() == QTime(0, 0))
        return QLocale().toString(value.date(), ShortDateFormat());
    return DateAndTimeToStr(value);
}

QString DateAndTimeToStr(const QDateTime &value)
{
    return QLocale().toString(value.date(), ShortDateFormat()) + QLatin1Char(' ') +
           QLocale().toString(value.time(), LongTimeFormat());
}

} // namespace Convert
