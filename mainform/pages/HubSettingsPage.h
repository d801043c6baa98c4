#pragma once
// The hub settings page ("VelkarHub Settings").
#include <array>

class TButton;
class TCheckBox;
class TEdit;
class TGroupBox;
class TLabel;
class TTabSheet;

struct HubSettingsPage {
    TTabSheet *TabSheet1 = nullptr;
    TButton *Button1 = nullptr; // hidden "Read": registers the hub-wide blocks

    // Time and date.
    TCheckBox *CheckBox3 = nullptr;      // "Auto update time"
    TButton *Btn_UpdateTime = nullptr;   // "Update from PC"

    // Restrict Client Access: the last blocked client.
    TGroupBox *GroupBox23 = nullptr;
    TGroupBox *GroupBox22 = nullptr;     // "Last IP Block"
    TLabel *Label104 = nullptr;          // "Blocks: "
    std::array<TEdit *, 5> InvalidIP{};  // InvalidIP1 to InvalidIP5: address parts and port
    TButton *Button43 = nullptr;         // "Clear"
};
