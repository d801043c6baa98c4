#pragma once
// The starters of a port page beside its grid: the status-display box, the fault-column
// legend, and the bits of the selected starter's status word with the two boxes that
// choose how they are read (newer or older layout). Control names use three numberings:
// by port (HexCheckbox1, L1Status0), by unit (QV4orHigherG17) and by link index (FaultL0).
#include <array>

class TCheckBox;
class TGroupBox;
class TLabel;

struct StarterStatusGroup {
    static constexpr int StatusLabels = 16;

    TCheckBox *HexCheckbox = nullptr;  // HexCheckbox1 to 4: "Status in Hex", read at each status result
    std::array<TLabel *, 5> Legend{};  // "Fault column:", "W- warn", "A- alarm", "T- trip", "LT- latched trip"

    TGroupBox *Box = nullptr;          // StarterStatus1 to 4: the selected starter's status word
    TCheckBox *QV4orHigher = nullptr;  // QV4orHigherG17 to G20: "QV4 or 5", Tag = unit; ticked: newer layout
    TCheckBox *QV2orLower = nullptr;   // QV2orLowerG17 to G20: "Older QV", Tag = unit; the opposite box
    TLabel *Fault = nullptr;           // FaultL0 to FaultL3: the fault text of an older starter
    std::array<TLabel *, StatusLabels> Status{}; // LnStatus0 to LnStatus15
};
