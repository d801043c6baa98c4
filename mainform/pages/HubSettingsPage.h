#pragma once
// The hub settings page ("VelkarHub Settings"): the hub's Ethernet settings, the
// controlling-device time-out and its action, the control mode of each link, the hub's
// date and time, the client address ranges with the last blocked client, and the LED
// test. The registers the controls show, and how each writes, are in HubSettingsMap.h;
// the Tag of an edit, of "Use Fixed IP" and of a link-control group is the one-based
// number of its register (written at Tag - 1).
//
// The range controls are found by name: "Range1" to "Range80", "UserR1" to "UserR16"
// and "ControlR1" to "ControlR16".
#include <array>

class TButton;
class TCheckBox;
class TEdit;
class TGroupBox;
class TLabel;
class TRadioGroup;
class TTabSheet;

struct HubSettingsPage {
    TTabSheet *TabSheet1 = nullptr;
    TButton *Button1 = nullptr; // hidden "Read": registers the hub-wide blocks

    // "IP Address Request": address, port, router, mask, fixed-address option.
    TGroupBox *IPAddressRequest = nullptr;
    TEdit *IP1 = nullptr, *IP2 = nullptr, *IP3 = nullptr, *IP4 = nullptr;
    TEdit *IP_Port = nullptr;
    TEdit *edtRouter1 = nullptr, *edtRouter2 = nullptr, *edtRouter3 = nullptr, *edtRouter4 = nullptr;
    TEdit *edtMask1 = nullptr, *edtMask2 = nullptr, *edtmask3 = nullptr, *edtMask4 = nullptr;
    TCheckBox *CheckBox1 = nullptr; // "Use Fixed IP"

    // "PLC Control Timeout Time" and the action when it expires.
    TGroupBox *PLCTimeout = nullptr;
    TEdit *IPTimeout = nullptr;
    TRadioGroup *EthernetTimeoutAction = nullptr;

    // The control mode of links 1 to 4 (Link1Control to Link4Control).
    std::array<TRadioGroup *, 4> LinkControl{};

    // Time and date.
    TGroupBox *GroupBox11 = nullptr;
    TLabel *Label1 = nullptr;            // the hub's date and time
    TCheckBox *CheckBox3 = nullptr;      // "Auto update time"
    TButton *Btn_UpdateTime = nullptr;   // "Update from PC"

    // Restrict Client Access: 16 ranges, their two masks, and the last blocked client.
    TGroupBox *GroupBox23 = nullptr;
    TLabel *Label94 = nullptr;           // the access mask
    TLabel *Label122 = nullptr;          // the controlling-device mask
    TButton *Button42 = nullptr;         // "Clear All Ranges"
    TGroupBox *GroupBox22 = nullptr;     // "Last IP Block"
    TLabel *Label104 = nullptr;          // "Blocks: "
    std::array<TEdit *, 5> InvalidIP{};  // InvalidIP1 to InvalidIP5: address parts and port
    TButton *Button43 = nullptr;         // "Clear"

    TRadioGroup *LEDTest = nullptr;
};
