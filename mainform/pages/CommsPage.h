#pragma once
// The communications page ("Modbus and related"): connection settings, USB serial ports,
// errors, the address in use, the Modbus TCP and flash counters, run-time messages and
// the options.
#include <array>

class TButton;
class TCheckBox;
class TEdit;
class TGroupBox;
class TLabel;
class TMemo;
class TRadioButton;
class TTabSheet;

struct CommsPage {
    TTabSheet *TabSheet7 = nullptr;

    // Modbus connection settings.
    TGroupBox *GroupBox1 = nullptr;
    TRadioButton *RadioButton1 = nullptr; // "TCP/IP Unit 1"
    TRadioButton *RadioButton2 = nullptr; // "RTU"
    TRadioButton *RadioButton3 = nullptr; // "TCP/IP Unit 2"
    TEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr, *Edit16 = nullptr; // unit 1
    TEdit *Edit7 = nullptr, *Edit8 = nullptr, *Edit9 = nullptr, *Edit10 = nullptr, *Edit25 = nullptr; // unit 2
    TLabel *Label95 = nullptr, *Label96 = nullptr; // the colons before the ports
    TLabel *Label2 = nullptr;  // "TCP/IP Timeout (ms)"
    TEdit *Edit5 = nullptr;    // time-out
    TLabel *Label3 = nullptr;  // "ComPort"
    TEdit *Edit6 = nullptr;    // COM-port number
    TLabel *Label59 = nullptr; // "Available USB Ports"
    TMemo *Memo2 = nullptr;    // the USB serial ports
    TLabel *Label62 = nullptr;
    TButton *Button2 = nullptr; // "Apply to Port"

    // Communication Errors.
    TLabel *Label4 = nullptr;  // last Modbus error ("No Issues")
    TLabel *Label89 = nullptr; // unit of the age
    TLabel *Label90 = nullptr; // age of the last message

    TLabel *Label125 = nullptr;  // "Data Size: "
    TCheckBox *CheckBox2 = nullptr; // "Log Incomming Messages"
    TLabel *Label93 = nullptr;   // the last unexpected exception
    TLabel *Label131 = nullptr;  // which address part of the hub settings page failed to refresh

    // Runtime messages.
    TMemo *Memo1 = nullptr;
    TLabel *Label120 = nullptr;  // "Clear Runtime Error Message" (Tag 7000)
    TCheckBox *CheckBox4 = nullptr; // "Jump to this page on new runtime message"

    // IP Address In Unit: Edit11 to Edit14, Edit17 to Edit24.
    std::array<TEdit *, 12> UnitAddressEdits{};

    // Modbus TCP/IP diagnostics (Label105 to Label115, Tag = register number) and the
    // flash memory counters (Label118, Label119).
    TLabel *Label105 = nullptr, *Label106 = nullptr, *Label107 = nullptr, *Label108 = nullptr, *Label109 = nullptr,
           *Label110 = nullptr, *Label111 = nullptr, *Label112 = nullptr, *Label113 = nullptr, *Label114 = nullptr,
           *Label115 = nullptr;
    TLabel *Label116 = nullptr;  // the note under them
    TButton *Button44 = nullptr; // "Reset"
    TLabel *Label118 = nullptr, *Label119 = nullptr;

    // "Allow Commands": asks for the command password; not stored.
    TCheckBox *AllowCommands = nullptr;
    // Settings file: the hub settings shown saved to a text file, and such a file loaded
    // into the hub.
    TGroupBox *SettingsFile = nullptr;
    TButton *Button25 = nullptr; // "Save"
    TButton *Button26 = nullptr; // "Load"
    TButton *Button41 = nullptr; // "To Excel": the settings into a spreadsheet template
};
