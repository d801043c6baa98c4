#pragma once
// The hub's register blocks: every request handle the window defines on the
// communications control, with its unit, first register, count, rate, how it runs and
// which decoder its result reaches. Registration, the result dispatch and the tests all
// read this one table.
#include <QString>
#include <cstdint>
#include <span>

class TForm1;

namespace RegisterMap {

// The request handles. A per-link kind uses four handles: its first handle plus the
// link index 0 to 3 (unit 17 + link).
namespace Handle {
constexpr int16_t Write = 0;            // every write of a single control or button
constexpr int16_t HubSettings = 1;
constexpr int16_t GeneralData = 2;
constexpr int16_t HubStatistics = 3;
constexpr int16_t GroupRequest = 5;     // written: which group of which starter
constexpr int16_t GroupData = 6;
constexpr int16_t ConfigWindow = 8;
constexpr int16_t RuntimeMessage = 9;
constexpr int16_t IdentText = 10;
constexpr int16_t LinkSettings = 17;    // + link
constexpr int16_t LinkStatistics = 27;  // + link
constexpr int16_t StatusWords = 37;     // + link
constexpr int16_t LoadWords = 47;       // + link
constexpr int16_t FaultWords = 57;      // + link
constexpr int16_t StarterTypes = 67;    // + link
constexpr int16_t CommandWords = 77;    // + link
constexpr int16_t FileHubBlock = 116;   // written by a settings-file load
constexpr int16_t FileLinkBlock = 117;  // + link, written by a settings-file load
} // namespace Handle

constexpr int16_t HubUnit = 16;
constexpr int Links = 4;
constexpr int16_t LinkUnit(int link) { return static_cast<int16_t>(HubUnit + 1 + link); }

// The unit a block is read from or written to.
enum class Unit : uint8_t {
    Hub,          // 16
    Link,         // 17 + link
    Page,         // 17 to 20: the unit of the port page that asked
    SelectedLink, // 16 + WhichLink: the link of the starter selected last in any grid
    Any,          // the shared write handle: whatever the write names
};

// How a block runs.
enum class Runs : uint8_t {
    Repeated, // UpdateEnable: at its rate until stopped
    Once,     // UpdateOnce: one read
    Write,    // UpdateOnce of a write block
};

// Who defines and starts a block.
enum class Start : uint8_t {
    Activation,   // Button1Click (hub blocks) and Button4Click (per-link blocks)
    HubTimer,     // Timer1Timer, 2.5 s after the connection
    GeneralData,  // after each general-data result
    Operator,     // a click or a settings-file load
};

// How the count of a block is decided.
enum class Count : uint8_t {
    Fixed,                // the table's count
    SettingsByFirmware,   // 108 below firmware word 6, else 109
    StatisticsByFirmware, // 24 below firmware word 4, 35 at 4, 37 from 5 on
};

using HubDecoder = void (TForm1::*)();
using LinkDecoder = void (TForm1::*)(int16_t Link);

// What the result dispatch does with a completed run.
enum class Decode : uint8_t {
    Hub,  // calls hubDecoder
    Link, // calls linkDecoder with the link index
    None, // a write: nothing is decoded
};

struct Block {
    int16_t handle;    // the handle, or the first of the four per-link handles
    bool perLink;
    Unit unit;
    int32_t address;   // zero-based; the configuration window adds the selected address
    int16_t count;     // for Count::Fixed, and the largest count otherwise
    Count countRule;
    int32_t rate;      // ms
    Runs runs;
    Start start;
    const char *name;  // as the registration logs it ("general info", "link stats")
    Decode decode;
    HubDecoder hubDecoder;
    LinkDecoder linkDecoder;
};

// Every block, the per-link reads in the order in which the activation registers them.
std::span<const Block> Blocks();

// The block of a handle (and, for a per-link handle, its link index); nullptr for a
// handle the window never defines.
const Block *Find(int16_t handle, int *link = nullptr);

// What the window knows when it defines a block whose count or unit depends on it.
struct Context {
    int16_t infoV4 = 0;         // the firmware word
    int16_t whichLink = 0;      // 1 to 4 once a starter was selected
    int16_t quorvaneInLink = 0; // its address
    int16_t pageUnit = 0;       // the unit of the port page that asked (group data)
};

// One read as the control is given it.
struct Read {
    int16_t handle;
    int16_t unit;
    int32_t address;
    int16_t quantity;
    int32_t rate;
};

// The read of a handle as the table gives it. Throws EListError for a handle that is
// not a read of the table.
Read ReadOf(int16_t handle, const Context &context = {});

// The line logged when a read is registered: "Starting general info comms (16:500 31
// Registers)", "Starting link stats comms Port 1 (17:1100 12 Registers)".
QString RegistrationLogLine(const Read &read);

} // namespace RegisterMap
