#pragma once
// The links' settings blocks (handles 17 to 20, units 17 to 20, registers 4x1000 to
// 4x1008 of each): for each register the control of a port page that shows it, how that
// control writes it, the line of the settings file that holds it and the export cell
// that shows it. The decoder, the port pages' Tags, the writes, the settings file and
// the export read this one table; a register is added by a row here.
//
// One numbering, the register's: word n of the block is register 4x(1000 + n); an
// edit's Tag is the zero-based address register - 1, which its writes go to; element n
// of the link's row of QVLinkSettings holds word n up to word 4 and word n - 1 from
// element 6 on (element 5 is the expected number of starters, which no register holds);
// a settings-file load writes it as word register - 1001 of its link block (4x1001 to
// 4x1008). The settings-file lines and the export rows are counted from the port's
// heading line and base row.
//
// The rows stand in the order in which the decoder shows them, which is the order of the
// writes that decoded values cause.
#include "mainform/SettingsMap.h"
#include "utilities/Exceptions.h"

#include <QString>

namespace LinkSettingsMap {

using SettingsMap::ExportCell;
using SettingsMap::FileLine;
using SettingsMap::Load;
using SettingsMap::Section;
using SettingsMap::Text;

constexpr int16_t FirstRegister = 1000; // word 0
constexpr int16_t Words = 9;            // 4x1000 to 4x1008
constexpr int ExpectedElement = 5;      // of QVLinkSettings: no register

// How the decoder shows a register and how its control writes it. Every write goes to
// the port's unit while a port page is shown, and is logged: the link-setting edits' by
// their exit rule, the others' as the row's text + " written to VKH Station Address: " +
// unit + " Val: " + value. Setting a group or the box from a decoded value runs its click
// handling as the operator's choice does (see the decoder for what it may write back).
enum class Rule : uint8_t {
    Shown,  // an edit shown in decimal, always; never written
    Exit,   // an edit shown in decimal unless it has the focus; leaving it writes by its exit rule
    Item,   // a radio group: the item of the index; its click writes the selected index
    Box,    // a check box: ticked for any value but 0; its click writes 1 or 0
    Baud,   // the baud group: the item of the code (none for a code of no item); its click writes the item's code
};

// The checks of a link-setting edit's exit: a number from 0 to the maximum, else the
// error box with the message; the log line is the text + " written to VKH Port " + port,
// then " Address: " + register + " Val: " + value when it names the register, else ": "
// + value.
struct ExitRule {
    int16_t maximum;
    const char *message;
    const char *logged;
    bool logsRegister;
};

inline constexpr ExitRule LinkNumberExit{15, "Quorvane Link Number invlalid\r\nValue must be between 0 and 15", "Link number", false};
inline constexpr ExitRule AddressExit{99, "Quorvane Address invlalid\r\nValue must be between 0 and 99", "Setting", true};
inline constexpr ExitRule NoReplyExit{255, "Timeout Number invlalid\r\nValue must be between 0 and 255", "Control Timeout", true};

struct Row {
    int16_t reg;                   // 4x
    const char *control = nullptr; // after "QVL" and the port number: QVL1Link
    Rule rule = Rule::Exit;
    const ExitRule *exit = nullptr; // Exit
    const char *logged = nullptr;   // Item, Box, Baud: the start of the write's log text
    // Item: a failure while selecting the item leaves the group without a selection, and
    // decoding goes on.
    bool clearedOnFailure = false;
    FileLine file;
    ExportCell cell;

    constexpr int16_t Word() const { return static_cast<int16_t>(reg - FirstRegister); }
    constexpr int Element() const { return Word() < ExpectedElement ? Word() : Word() + 1; }
    constexpr int32_t Address() const { return reg - 1; }
    // The name of the control on port page 1 to 4.
    QString Control(int port) const { return QStringLiteral("QVL%1").arg(port) + QString::fromLatin1(control); }
};

inline constexpr FileLine NotInFile{};
inline constexpr ExportCell NotExported{};

// clang-format off
inline constexpr Row Rows[] = {
    {.reg = 1000, .control = "Port", .rule = Rule::Shown, .file = NotInFile, .cell = NotExported},
    {.reg = 1001, .control = "Link", .rule = Rule::Exit, .exit = &LinkNumberExit,
     .file = {Load::Number, 2, "Link Number", "Link Number:"}, .cell = {Text::Text, Section::Port, 1, 0, 12}},
    {.reg = 1003, .control = "First", .rule = Rule::Exit, .exit = &AddressExit,
     .file = {Load::Number, 6, "First QV"}, .cell = {Text::Text, Section::Port, 2, 1, 12}},
    {.reg = 1004, .control = "Last", .rule = Rule::Exit, .exit = &AddressExit,
     .file = {Load::Number, 8, "Last QV"}, .cell = {Text::Text, Section::Port, 3, 1, 23}},
    {.reg = 1006, .control = "Noreply", .rule = Rule::Exit, .exit = &NoReplyExit,
     .file = {Load::Number, 12, "No Reply"}, .cell = {Text::Text, Section::Port, 4, 2, 12}},
    {.reg = 1005, .control = "ConfigConflict", .rule = Rule::Item, .logged = "Config conflict setting",
     .file = {Load::Item, 10, "Conflict"}, .cell = {Text::Caption, Section::Port, 6, 4, 12}},
    {.reg = 1007, .control = "FastBroad", .rule = Rule::Box, .logged = "Fast Broadcast setting",
     .file = {Load::Number, 14, "Fast Command Broadcast"}, .cell = {Text::YesNo, Section::Port, 5, 3, 12}},
    {.reg = 1008, .control = "InputDataSize", .rule = Rule::Item, .logged = "Input data size", .clearedOnFailure = true,
     .file = {Load::Item, 16, "Input Data Size"}, .cell = {Text::Caption, Section::Port, 8, 6, 12}},
    {.reg = 1002, .control = "Baud", .rule = Rule::Baud, .logged = "Baud rate",
     .file = {Load::Baud, 4, "Baud"}, .cell = {Text::Baud, Section::Port, 7, 5, 12}},
};
// clang-format on

// The row of a control by the name after "QVL" and the port number ("First"), and by a
// port page's control name ("QVL3First"); EListError for a name no row has.
inline const Row &Named(QStringView control)
{
    for (const Row &row : Rows)
        if (control == QLatin1String(row.control))
            return row;
    throw EListError(QStringLiteral("No link setting is shown in ") + control.toString());
}
inline const Row &OfControl(const QString &name)
{
    if (name.size() < 5 || !name.startsWith(QLatin1String("QVL")))
        throw EListError(QStringLiteral("No link setting is shown in ") + name);
    return Named(QStringView(name).mid(4));
}

} // namespace LinkSettingsMap
