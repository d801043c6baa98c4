#pragma once
// The settings file's golden fixture: a window state in which every value of the file
// differs from the window's creation values, and the file that "Save" writes for it
// (tests/form/data/settings-golden.txt).
#include "FormHarness.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace SettingsFileKit {

inline int16_t W(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

// The settings file that Save writes for the window state of ShowKnownState().
inline QByteArray Golden()
{
    QFile file(qEnvironmentVariable("VELKARHUB_SOURCE_DIR") + QStringLiteral("/tests/form/data/settings-golden.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Its 218 lines.
inline QStringList GoldenLines()
{
    QStringList lines = QString::fromLatin1(Golden()).split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the final line break
    return lines;
}

// The four links' settings blocks of the known state: port, link, baud code, first,
// last, conflict, no-reply limit, broadcast, input data.
inline std::array<std::vector<int16_t>, 4> KnownLinkBlocks()
{
    return {{
        {1, 3, 96, 0, 9, 1, 10, 0, 2},
        {2, 7, 3, 5, 50, 4, 255, 1, 0},
        {3, 15, 384, 10, 99, 2, 0, 1, 3},
        {4, 0, 192, 1, 2, 3, 77, 0, 1},
    }};
}

// The hub's settings block of the known state.
inline std::vector<int16_t> KnownHubBlock()
{
    std::vector<int16_t> hub(109, 0);
    const std::vector<int16_t> head{7,   3,   25, 14, 5,   9,   0,   2,   10, 12321, 502, 1500, 2,  1,
                                    192, 168, 1,  50, 192, 168, 1,   254, 255, 255,  255, 0,    W(0x8005)};
    std::copy(head.begin(), head.end(), hub.begin());
    for (int k = 1; k <= 80; ++k)
        hub[static_cast<size_t>(26 + k)] = static_cast<int16_t>(k < 80 ? 1000 + k : -5);
    hub[107] = 3;    // the LED test: not part of the file
    hub[108] = 0x12; // controlling-device ranges 2 and 5
    return hub;
}

// A window state in which every value of the file differs from the window's creation
// values: the four links' settings, the hub's settings and the identification text.
inline void ShowKnownState(FormHarness &h)
{
    const auto links = KnownLinkBlocks();
    for (int16_t link = 0; link < 4; ++link)
        h.control.DeliverOk(static_cast<int16_t>(RegisterMap::Handle::LinkSettings + link), links[static_cast<size_t>(link)]);
    h.control.DeliverOk(RegisterMap::Handle::HubSettings, KnownHubBlock());
    std::vector<int16_t> ident;
    for (QChar c : QStringLiteral("Pump Hall \u00C4").leftJustified(15))
        ident.push_back(static_cast<int16_t>(c.unicode()));
    h.control.DeliverOk(RegisterMap::Handle::IdentText, ident);
    h.control.Clear();
}

} // namespace SettingsFileKit
