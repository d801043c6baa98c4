#pragma once
// General helpers. The class holds no data: every operation is class-level and works
// only on its arguments (and, for the folder query, on the environment), so the window
// may call them before it has created its shared instance.
#include <QString>
#include <cstdint>

class TUtilities {
public:
    // Bit and byte operations. A bit number counts modulo 32 (bit 32 is bit 0).
    static bool IsBitOn(int32_t Input, int32_t Bit);
    static bool IsBitOnByte(uint8_t Input, uint8_t Bit);
    static int32_t PutBitOn(int32_t val, uint8_t TheBit);
    // Clears the bit with the 16-bit complement mask: the result keeps only the low
    // 16 bits of val (and bit TheBit itself when it is 16 or above).
    static int32_t PutBitOff(int32_t val, uint8_t TheBit);
    static int32_t BitToggle(int32_t val, uint8_t TheBit);
    static int32_t SetBit(int32_t val, uint8_t TheBit, bool state);
    static int16_t BitsOn(int32_t InputBits);
    static int16_t HighestBitOn(int32_t InputBits);
    static int32_t LowByte(int32_t Input);
    static int32_t HighByte(int32_t Input);

    // The folder for application data: $XDG_DATA_HOME when it is an absolute path,
    // else $HOME/.local/share. Never ends in a separator; decided once per run.
    static QString CommonAppDataPath();
};
