#pragma once
// The overview page ("VelkarHub"): the unit's identity and status, the ports, the six
// status lamps, the hub's counters and the identification text.
#include <array>

class TButton;
class TEdit;
class TGroupBox;
class TILLed;
class TLabel;
class TTabSheet;

struct OverviewPage {
    TTabSheet *TabSheet8 = nullptr;

    // Unit
    TLabel *Label8 = nullptr;   // firmware version (click to copy)
    TLabel *Label11 = nullptr;  // checksum
    TLabel *Label48 = nullptr;  // MAC address (click to copy)
    TLabel *Label44 = nullptr;  // status word
    TLabel *Label41 = nullptr;  // Ethernet cable
    TLabel *Label42 = nullptr;  // Ethernet time-out
    TLabel *Label123 = nullptr; // "Firmware in this unit is not the latest"
    TButton *Button5 = nullptr; // "Reboot Required"
    TLabel *Label88 = nullptr;  // the connection and watchdog warning

    // Ports: which have data (Label65, Label66, Label67, Label92) and the control mode of
    // each link (PortDes106 to PortDes109).
    std::array<TLabel *, 4> PortData{};
    std::array<TLabel *, 4> PortDes{};

    // Status lamps.
    TILLed *Net_LED = nullptr;
    TILLed *ILLed2 = nullptr;                 // power
    std::array<TILLed *, 4> LinkLamps{};      // ILLed3 to ILLed6: links 1 to 4

    // Counters 4x600 to 4x607, Tag = register number: transmissions, receptions, Tx
    // errors, Rx errors, time-outs, power-ons, watchdog, run-time messages.
    TLabel *Label12 = nullptr, *Label13 = nullptr, *Label14 = nullptr, *Label15 = nullptr, *Label16 = nullptr,
           *Label17 = nullptr, *Label18 = nullptr, *Label19 = nullptr;
    TButton *Button8 = nullptr; // "Reset All"

    // Identification text.
    TEdit *Edit15 = nullptr;
    TButton *Button38 = nullptr; // "Apply"
};
