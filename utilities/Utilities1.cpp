#include "utilities/Utilities1.h"

#include "BuildVersion.h"
#include "utilities/DataFolder.h"

#include <QDir>
#include <QGuiApplication>

#include <algorithm>
#include <bit>

namespace {
uint32_t BitMask(uint32_t bit) { return 1u << (bit & 31u); }
}

bool TUtilities::IsBitOn(int32_t Input, int32_t Bit)
{
    return (static_cast<uint32_t>(Input) & BitMask(static_cast<uint32_t>(Bit))) != 0;
}

bool TUtilities::IsBitOnByte(uint8_t Input, uint8_t Bit)
{
    return (static_cast<uint32_t>(Input) & BitMask(Bit)) != 0;
}

int32_t TUtilities::PutBitOn(int32_t val, uint8_t TheBit)
{
    return static_cast<int32_t>(static_cast<uint32_t>(val) | BitMask(TheBit));
}

int32_t TUtilities::PutBitOff(int32_t val, uint8_t TheBit)
{
    return static_cast<int32_t>(static_cast<uint32_t>(val) & (BitMask(TheBit) ^ 0xFFFFu));
}

int32_t TUtilities::BitToggle(int32_t val, uint8_t TheBit)
{
    return static_cast<int32_t>(static_cast<uint32_t>(val) ^ BitMask(TheBit));
}

int32_t TUtilities::SetBit(int32_t val, uint8_t TheBit, bool state)
{
    return state ? PutBitOn(val, TheBit) : PutBitOff(val, TheBit);
}

int16_t TUtilities::BitsOn(int32_t InputBits)
{
    int16_t count = 0;
    for (int32_t bit = 0; bit <= 15; ++bit)
        if (IsBitOn(InputBits, bit))
            ++count;
    return count;
}

int16_t TUtilities::HighestBitOn(int32_t InputBits)
{
    int16_t highest = -1;
    for (int32_t bit = 0; bit <= 31; ++bit)
        if (IsBitOn(InputBits, bit))
            highest = static_cast<int16_t>(bit);
    return highest;
}

int32_t TUtilities::LowByte(int32_t Input) { return Input & 0xFF; }

int32_t TUtilities::HighByte(int32_t Input) { return (Input & 0xFF00) >> 8; }

QString TUtilities::CommonAppDataPath()
{
    static const QString path = DataFolder::Now();
    return path;
}

QString DataFolder::Now()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    base = QDir::cleanPath(base);
    // Callers append paths that begin with a separator, so the root folder
    // itself is given as the empty text.
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString TUtilities::BooleanToYesNo(bool Input)
{
    return Input ? QStringLiteral("Yes") : QStringLiteral("No");
}

int32_t TUtilities::Limit(int32_t Low, int32_t High, int32_t InputVal, int32_t Default)
{
    if (High < Low)
        return Default;
    return std::clamp(InputVal, Low, High);
}

QString TUtilities::RightPad(const QString &S, QChar Ch, int32_t Len)
{
    if (S.size() >= Len)
        return S;
    return S + QString(Len - S.size(), Ch);
}

QString TUtilities::ExtractBCDElement(int16_t InputNumber, int16_t DigitToExtract)
{
    if (DigitToExtract < 0 || DigitToExtract > 3)
        return QStringLiteral(" ");
    const unsigned word = static_cast<uint16_t>(InputNumber);
    return QString::number((word >> (4 * DigitToExtract)) & 0xFu);
}

QString TUtilities::BCDToString(uint8_t BCDVal)
{
    return QString::number((BCDVal >> 4) * 10 + (BCDVal & 0x0F));
}

int16_t TUtilities::SecondsOfTime(const QDateTime &InTime)
{
    const QTime time = InTime.time();
    return static_cast<int16_t>(time.isValid() ? time.second() : 0);
}

uint16_t TUtilities::CRC16(uint16_t Number, DataP Data)
{
    // The checksum covers one byte fewer than Number; 0 and 1 cover nothing.
    if (Number < 2 || Data == nullptr)
        return 0;
    unsigned crc = 0;
    for (unsigned i = 0; i + 1 < Number; ++i) {
        // Table-free step of the reflected polynomial 0xA001.
        const unsigned t = (crc ^ Data[i]) & 0xFFu;
        const unsigned parity = std::popcount(t) & 1u;
        crc = ((crc >> 8) ^ (parity ? 0xC001u : 0u) ^ (t << 7) ^ (t << 6)) & 0xFFFFu;
    }
    return static_cast<uint16_t>(crc);
}

namespace {
bool ModifierDown(Qt::KeyboardModifier modifier)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    return QGuiApplication::keyboardModifiers().testFlag(modifier);
}
} // namespace

bool TUtilities::CtrlDown() { return ModifierDown(Qt::ControlModifier); }

bool TUtilities::AltDown() { return ModifierDown(Qt::AltModifier); }

bool TUtilities::ShiftDown() { return ModifierDown(Qt::ShiftModifier); }

void TUtilities::GetVersionWords(uint16_t &Major, uint16_t &Minor, uint16_t &Release, uint16_t &Build)
{
    // The version the program was built with, the same that its About page shows.
    Major = BuildVersion::Major;
    Minor = BuildVersion::Minor;
    Release = BuildVersion::Release;
    Build = BuildVersion::Build;
}

QString TUtilities::VersionInfo()
{
    uint16_t major = 0, minor = 0, release = 0, build = 0;
    GetVersionWords(major, minor, release, build);
    return QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
}
