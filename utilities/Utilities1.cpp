#include "utilities/Utilities1.h"

#include <QDir>

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
    static const QString path = [] {
        QString base = qEnvironmentVariable("XDG_DATA_HOME");
        if (base.isEmpty() || !QDir::isAbsolutePath(base))
            base = QDir::homePath() + QStringLiteral("/.local/share");
        base = QDir::cleanPath(base);
        // Callers append paths that begin with a separator, so the root folder
        // itself is given as the empty text.
        while (base.endsWith(QLatin1Char('/')))
            base.chop(1);
        return base;
    }();
    return path;
}
