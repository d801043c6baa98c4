#pragma once
// The hub's settings block (handle 1, unit 16, registers 4x100 to 4x208): for each
// register the field that holds it, the control that shows it, how that control writes
// it, the line of the settings file that holds it and the export cell that shows it.
// The decoder, the page's Tags and controls, the settings file and the export read
// this one table; a register is added by a row here.
//
// One numbering, the register's: word n of the block is register 4x(100 + n); a
// control's Tag is its register's number; a write goes to the zero-based address
// register - 1; a settings-file load writes it as word register - 106 of its hub block
// (4x106 to 4x208).
//
// The rows stand in the order in which the decoder shows them, which is the order of the
// writes that decoded values cause.
#include "mainform/MainForm.h"
#include "mainform/SettingsMap.h"
#include "utilities/Exceptions.h"

#include <QString>

namespace HubSettingsMap {

using SettingsMap::ExportCell;
using SettingsMap::FileLine;
using SettingsMap::Load;
using SettingsMap::Section;
using SettingsMap::Text;

constexpr int16_t FirstRegister = 100; // word 0
constexpr int16_t Words = 109;         // 4x100 to 4x208
// The hub's controlling-device ranges (4x208, the block's last word) come with this
// firmware word (Info_V4); below it the hub's block ends at 4x207.
constexpr int16_t ControlRangesFirmware = 6;

// How the decoder shows a register and how its control writes it. A decoded value
// changes a control as the operator would, so the control's change and click handling
// runs for it too (see the decoder for what it may write back).
enum class Rule : uint8_t {
    // A part of the hub's date and time in Label1. Written only with the other five, by
    // "Update from PC" and "Reboot Required".
    Clock,
    // An address part: shown in decimal unless the edit has the focus, each part in a
    // guard of its own (a failure shows the part's number, 1 to 4 in the order of the
    // rows, in Label131, and decoding goes on). Writes as an Edit.
    AddressPart,
    // An edit: shown in decimal unless it has the focus. A change of its text (decoded
    // text: typing runs none) writes the number, not 0, while the hub settings page is
    // shown, logged as ChangeLogged; leaving it writes the typed number, 0 included, when
    // it differs from the number it had on entering, logged as ExitLogged.
    Edit,
    // "Use Fixed IP": ticked for exactly 1. Its click enables or disables the address,
    // port and time-out edits and writes 1 or 0, not logged.
    FixedIP,
    // A radio group: the item of the index. Its click writes the selected item's index,
    // logged as the row's text followed by the index.
    Item,
    // A link-control group: item 4 for 12321, item 3 for 10, else the item of the index.
    // Its click writes the item's link mode (0, 1, 2, 10, 12321), logged "Port control
    // setting written to VKH 16:" + the register, and sets the link's mode label.
    LinkControl,
    // The range parts, edits: shown in decimal unless focused, and all left alone while
    // one of them is being edited. A decoded change writes as an Edit's; leaving one
    // writes the typed number, never 0, when it differs from the one it had on entering,
    // logged as ChangeLogged.
    RangePart,
    // A mask of the 16 client ranges: box r ticked for bit r - 1, and the mask shown in
    // the row's label. A mouse release over any box of the row writes the mask of all
    // 16, logged as the row's text.
    MaskBits,
};

// The log texts of the edits' writes; each is followed by the zero-based address, " Val: "
// and the value.
inline constexpr char ChangeLogged[] = "IP Range Data written to VKH station 16 Address: ";
inline constexpr char ExitLogged[] = "Controlling device timeout written to VKH station 16 Address: ";

struct Row {
    int16_t reg; // 4x; the first of a run of registers
    // A run of like controls named stem + 1 to stem + count: the registers of the range
    // parts, one each, or the 16 boxes of one mask register.
    int16_t count = 1;
    const char *control = nullptr;
    Rule rule = Rule::Edit;
    int16_t TForm1::*field = nullptr;  // the field the decoder stores the register in ...
    uint16_t TForm1::*mask = nullptr;  // ... or, for a mask, its 16-bit pattern
    const char *logged = nullptr;      // Item and MaskBits: the log text of the write
    const char *label = nullptr;       // MaskBits: the label that shows the mask ...
    const char *caption = nullptr;     // ... after this text
    int16_t firmware = 0;              // the least firmware word that has the register
    FileLine file;
    ExportCell cell;

    constexpr int16_t Word() const { return static_cast<int16_t>(reg - FirstRegister); }
    constexpr int32_t Address() const { return reg - 1; }
    // The name of a control of the row: the control, or element k (from 1) of a run.
    QString Control(int k = 1) const
    {
        return count == 1 ? QString::fromLatin1(control) : QString::fromLatin1(control) + QString::number(k);
    }
};

inline constexpr FileLine NotInFile{};
inline constexpr ExportCell NotExported{};

// clang-format off
inline constexpr Row Rows[] = {
    {.reg = 100, .control = "Label1", .rule = Rule::Clock, .field = &TForm1::Gen_Day,
     .file = NotInFile, .cell = NotExported},
    {.reg = 101, .control = "Label1", .rule = Rule::Clock, .field = &TForm1::Gen_Month,
     .file = NotInFile, .cell = NotExported},
    {.reg = 102, .control = "Label1", .rule = Rule::Clock, .field = &TForm1::Gen_Year,
     .file = NotInFile, .cell = NotExported},
    {.reg = 103, .control = "Label1", .rule = Rule::Clock, .field = &TForm1::Gen_Hour,
     .file = NotInFile, .cell = NotExported},
    {.reg = 104, .control = "Label1", .rule = Rule::Clock, .field = &TForm1::Gen_Minute,
     .file = NotInFile, .cell = NotExported},
    {.reg = 105, .control = "Label1", .rule = Rule::Clock, .field = &TForm1::Gen_Second,
     .file = NotInFile, .cell = NotExported},

    {.reg = 114, .control = "IP1", .rule = Rule::AddressPart, .field = &TForm1::Gen_IP1,
     .file = {Load::Number, 87, "IP Address"}, .cell = {Text::Text, Section::Hub, 2, 17, 8}},
    {.reg = 115, .control = "IP2", .rule = Rule::AddressPart, .field = &TForm1::Gen_IP2,
     .file = {Load::Number, 88}, .cell = {Text::Text, Section::Hub, 3, 17, 10}},
    {.reg = 116, .control = "IP3", .rule = Rule::AddressPart, .field = &TForm1::Gen_IP3,
     .file = {Load::Number, 89}, .cell = {Text::Text, Section::Hub, 4, 17, 12}},
    {.reg = 117, .control = "IP4", .rule = Rule::AddressPart, .field = &TForm1::Gen_IP4,
     .file = {Load::Number, 90}, .cell = {Text::Text, Section::Hub, 5, 17, 14}},

    {.reg = 118, .control = "edtRouter1", .rule = Rule::Edit, .field = &TForm1::Gen_R1,
     .file = {Load::Number, 92, "Router IP Address"}, .cell = {Text::Text, Section::Hub, 8, 18, 8}},
    {.reg = 119, .control = "edtRouter2", .rule = Rule::Edit, .field = &TForm1::Gen_R2,
     .file = {Load::Number, 93}, .cell = {Text::Text, Section::Hub, 9, 18, 10}},
    {.reg = 120, .control = "edtRouter3", .rule = Rule::Edit, .field = &TForm1::Gen_R3,
     .file = {Load::Number, 94}, .cell = {Text::Text, Section::Hub, 10, 18, 12}},
    {.reg = 121, .control = "edtRouter4", .rule = Rule::Edit, .field = &TForm1::Gen_R4,
     .file = {Load::Number, 95}, .cell = {Text::Text, Section::Hub, 11, 18, 14}},
    {.reg = 122, .control = "edtMask1", .rule = Rule::Edit, .field = &TForm1::Mask_1,
     .file = {Load::Number, 97, "Subnet mask"}, .cell = {Text::Text, Section::Hub, 12, 19, 8}},
    {.reg = 123, .control = "edtMask2", .rule = Rule::Edit, .field = &TForm1::Mask_2,
     .file = {Load::Number, 98}, .cell = {Text::Text, Section::Hub, 13, 19, 10}},
    {.reg = 124, .control = "edtmask3", .rule = Rule::Edit, .field = &TForm1::Mask_3,
     .file = {Load::Number, 99}, .cell = {Text::Text, Section::Hub, 14, 19, 12}},
    {.reg = 125, .control = "edtMask4", .rule = Rule::Edit, .field = &TForm1::Mask_4,
     .file = {Load::Number, 100}, .cell = {Text::Text, Section::Hub, 15, 19, 14}},

    {.reg = 113, .control = "CheckBox1", .rule = Rule::FixedIP, .field = &TForm1::Gen_DefineIP,
     .file = {Load::FixedIP, 85, "Define IP Address"}, .cell = {Text::YesNo, Section::Hub, 16, 18, 26}},
    {.reg = 110, .control = "IP_Port", .rule = Rule::Edit, .field = &TForm1::Gen_Port,
     .file = {Load::Number, 79, "Modbus Port"}, .cell = {Text::Text, Section::Hub, 6, 17, 16}},
    {.reg = 111, .control = "IPTimeout", .rule = Rule::Edit, .field = &TForm1::Gen_Timeout,
     .file = {Load::Number, 81, "Ethernet Timeout"}, .cell = {Text::Text, Section::Hub, 7, 17, 26}},
    {.reg = 112, .control = "EthernetTimeoutAction", .rule = Rule::Item, .field = &TForm1::Gen_TimeoutAction,
     .logged = "Ethernet controlling device timeout setting written to VKH 16:110  Val: ",
     .file = {Load::Item, 83, "Ethernet Timeout Action"}, .cell = {Text::Caption, Section::Hub, 18, 20, 11}},

    {.reg = 106, .control = "Link1Control", .rule = Rule::LinkControl, .field = &TForm1::Gen_Link1Control,
     .file = {Load::LinkControl, 71, "***** Link 1 Control *****"}, .cell = {Text::Caption, Section::Hub, 19, 22, 8}},
    {.reg = 107, .control = "Link2Control", .rule = Rule::LinkControl, .field = &TForm1::Gen_Link2Control,
     .file = {Load::LinkControl, 73, "***** Link 2 Control *****"}, .cell = {Text::Caption, Section::Hub, 20, 23, 8}},
    {.reg = 108, .control = "Link3Control", .rule = Rule::LinkControl, .field = &TForm1::Gen_Link3Control,
     .file = {Load::LinkControl, 75, "***** Link 3 Control *****"}, .cell = {Text::Caption, Section::Hub, 21, 24, 8}},
    {.reg = 109, .control = "Link4Control", .rule = Rule::LinkControl, .field = &TForm1::Gen_Link4Control,
     .file = {Load::LinkControl, 77, "***** Link 4 Control *****"}, .cell = {Text::Caption, Section::Hub, 22, 25, 8}},

    // Client range r: Range 5r - 4 to Range 5r, the four parts of its first address and
    // the last part of its last address, in one row of the sheet.
    {.reg = 127, .count = 80, .control = "Range", .rule = Rule::RangePart,
     .file = {Load::Number, 102, "***** IP Ranges *****"},
     .cell = {Text::Text, Section::Ranges, 3, 68, 17, 5, 3}},
    {.reg = 126, .count = 16, .control = "UserR", .rule = Rule::MaskBits, .mask = &TForm1::LimitIPRangeSelection,
     .logged = "IP Address Range Enable Change", .label = "Label94", .caption = "Enable bits (40126): ",
     .file = {Load::RangeBit, 183, "***** IP Range use *****"}, .cell = {Text::Enabled, Section::Ranges, 1, 68, 7}},
    {.reg = 208, .count = 16, .control = "ControlR", .rule = Rule::MaskBits, .mask = &TForm1::ControlRangeSelection,
     .logged = "Controlling Device Range Enable Change", .label = "Label122", .caption = "CRange bits (40208): ",
     .firmware = ControlRangesFirmware,
     .file = {Load::RangeBit, 200, "***** PLC Control Range use *****"}, .cell = {Text::YesNo, Section::Ranges, 2, 68, 35}},

    {.reg = 207, .control = "LEDTest", .rule = Rule::Item, .field = &TForm1::Gen_LEDTest,
     .logged = "LED test setting written to VKH 16:205  Val: ", .file = NotInFile, .cell = NotExported},
};
// clang-format on

// The row of a control name (a run's stem); EListError for a name no row has.
inline const Row &Named(const QString &control)
{
    for (const Row &row : Rows)
        if (control == QLatin1String(row.control))
            return row;
    throw EListError(QStringLiteral("No hub setting is shown in ") + control);
}

} // namespace HubSettingsMap
