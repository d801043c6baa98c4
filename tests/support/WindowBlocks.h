#pragma once
// The register blocks the window has the control poll, taken from the window's register
// map, for the control's own tests and benchmark: every read the activation and the hub
// settings timer start (the hub settings block with the latest firmware's 109 words),
// and the hub statistics (3), which the window reads once after each general-data result.
#include "mainform/RegisterMap.h"

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

inline WindowBlock WindowBlockOf(int16_t handle)
{
    const RegisterMap::Read read = RegisterMap::ReadOf(handle, RegisterMap::Context{6});
    return {read.handle, read.unit, read.address, read.quantity, read.rate,
            RegisterMap::Find(handle)->runs == RegisterMap::Runs::Repeated};
}

inline const WindowBlock HubStatisticsBlock = WindowBlockOf(RegisterMap::Handle::HubStatistics);

inline std::vector<WindowBlock> windowBlocks()
{
    using namespace RegisterMap;
    std::vector<WindowBlock> blocks;
    for (const Block &block : Blocks()) {
        if (block.start != Start::Activation && block.start != Start::HubTimer)
            continue;
        for (int link = 0; link < (block.perLink ? Links : 1); ++link)
            blocks.push_back(WindowBlockOf(static_cast<int16_t>(block.handle + link)));
    }
    return blocks;
}
