#pragma once
// The window's colours: the standard label colours, and the status lamps' ARGB colours.
#include <QColor>
#include <cstdint>

namespace Colours {
inline const QColor Navy(0, 0, 128);
inline const QColor Red(255, 0, 0);
inline const QColor Green(0, 128, 0);
inline const QColor Blue(0, 0, 255);
inline const QColor Purple(128, 0, 128);
inline const QColor Black(0, 0, 0);
inline const QColor White(255, 255, 255);

constexpr uint32_t LampGreen = 0xFF00FF00;
constexpr uint32_t LampYellow = 0xFFFFFF00;
constexpr uint32_t LampRed = 0xFFFF0000;
constexpr uint32_t LampGrey = 0xFF808080;
} // namespace Colours
