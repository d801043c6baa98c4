#pragma once
// Text and number conversions with the window's failure rules, and the locale's date
// and time formats.
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

namespace Convert {

// A decimal integer with an optional sign and nothing else; EConvertError otherwise
// (also for a value outside the signed 32-bit range).
int32_t StrToInt(const QString &text);
std::optional<int32_t> TryStrToInt(const QString &text);

// A value that must fit a signed 16-bit destination; ERangeError otherwise.
int16_t ToInt16(int32_t value);
// A value that must not be negative; ERangeError otherwise.
int32_t ToNonNegative(int32_t value);

// Unsigned hexadecimal of the low 16 bits, upper case, padded to digits (0: no padding).
QString Hex16(int32_t value, int digits);

// The locale's short date format, and its long time format without a time-zone name
// (hours, minutes and seconds).
QString ShortDateFormat();
QString LongTimeFormat();
// The short date, a blank and the long time; only the date at exactly midnight.
QString DateTimeToStr(const QDateTime &value);
// The short date, a blank and the long time, also at midnight.
QString DateAndTimeToStr(const QDateTime &value);

} // namespace Convert
