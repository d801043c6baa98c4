#pragma once
// The register blocks the window has the control poll, for the control's own tests and
// benchmark: the hub's settings (1), general data (2), run-time message (9) and
// identification text (10, once), and for each link L = 0..3 (unit 17 + L) its settings,
// statistics, status, load, fault, starter-type and command words. The hub statistics
// (3) are read once after each general-data result.
#include <cstdint>
#include <vector>

struct WindowBlock {
    int16_t handle;
    int16_t unit;
    int32_t address;
    int16_t quantity;
    int32_t rate;
    bool repeated;
};

constexpr WindowBlock HubStatisticsBlock{3, 16, 599, 37, 500, false};

inline std::vector<WindowBlock> windowBlocks()
{
    std::vector<WindowBlock> blocks = {
        {2, 16, 499, 31, 500, true},
        {9, 16, 6999, 10, 500, true},
        {10, 16, 8999, 15, 60000, false},
        {1, 16, 99, 109, 2000, true},
    };
    for (int16_t L = 0; L < 4; ++L) {
        const int16_t unit = int16_t(17 + L);
        blocks.push_back({int16_t(17 + L), unit, 999, 9, 1000, true});
        blocks.push_back({int16_t(27 + L), unit, 1099, 12, 500, true});
        blocks.push_back({int16_t(37 + L), unit, 3799, 100, 1000, true});
        blocks.push_back({int16_t(47 + L), unit, 3899, 100, 1000, true});
        blocks.push_back({int16_t(57 + L), unit, 3999, 100, 1000, true});
        blocks.push_back({int16_t(67 + L), unit, 5999, 100, 2500, true});
        blocks.push_back({int16_t(77 + L), unit, 1999, 100, 1000, true});
    }
    return blocks;
}
