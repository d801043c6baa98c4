#pragma once
// The groups of a port page that stay hidden until the command password has been given:
// "Commands" (the six commands to the selected starter, Tag = link index) and "Clear
// Items" (clearing of the link's stored starter types and configuration windows).

class TButton;
class TCheckBox;
class TGroupBox;
class TLabel;

struct CommandsGroup {
    TGroupBox *Box = nullptr;             // GroupBox18 to GroupBox21
    TButton *Open = nullptr;              // Button9, 12, 15, 18
    TButton *CloseA = nullptr;            // Button10, 13, 16, 19
    TButton *CloseB = nullptr;            // Button11, 14, 17, 20
    TButton *NoAction = nullptr;          // Button21, 32, 29, 35
    TButton *ResetThermal = nullptr;      // Button27, 33, 30, 36
    TButton *ResetUnder = nullptr;        // Button28, 34, 31, 37
    TCheckBox *PriorityCommand = nullptr; // PriorityCommandL1 to L4: "Use Priority"
};

struct ClearItemsGroup {
    TGroupBox *Box = nullptr;       // GroupBox24 to GroupBox27
    TButton *TypeData = nullptr;    // "QVType Data": Button24, 45, 48, 51
    TButton *ConfigData = nullptr;  // "Config Data": Button39, 46, 49, 52
    TButton *AllConfig = nullptr;   // "All Config": Button40, 47, 50, 53
    TLabel *Progress = nullptr;     // Label126 to Label129: "Writing: ", hidden until the first "All Config"
};
