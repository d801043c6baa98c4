#pragma once
// What the two settings maps (HubSettingsMap.h and LinkSettingsMap.h) say alike of a
// register: the line of the settings file that holds it and what a load makes of that
// line, and the cell of the spreadsheet export that shows it.
#include <cstdint>

namespace SettingsMap {

// What a load makes of a register's value line. A save writes the control's value in
// the form that the load reads back: an edit's text, a group's item index ("-1" without
// a selection), a box as "1"/"0" (as "true"/"false" for FixedIP).
enum class Load : uint8_t {
    None,        // not in the file; a load writes 0 where the register lies in a block it writes
    Number,      // the line as a signed 16-bit number
    Item,        // an item index of the control's group, written as it is
    Baud,        // a "Baud Rate" item index 0 to 10, written as its baud code
    LinkControl, // a link-control item index, written as the hub's link mode
    FixedIP,     // 0 for exactly "false", 1 for any other text
    RangeBit,    // one line per box: bit r - 1 of the register set when line r is exactly "1"
};

struct FileLine {
    Load load = Load::None;
    // The register's line; a run's first line, its others following. A link's lines are
    // counted from its port's heading line.
    int16_t line = -1;
    // The label line just before it, where it has one of its own ...
    const char *label = nullptr;
    // ... and, for a link, the label on ports 3 and 4 where it differs.
    const char *labelOnPorts3And4 = nullptr;
};

// How a control's value becomes the text of its cell.
enum class Text : uint8_t {
    None,    // not exported
    Text,    // an edit: its text exactly as shown
    YesNo,   // a check box: "Yes" or "No"
    Enabled, // a check box: "Enabled" or "Not Enabled"
    Caption, // a radio group: the caption of its selected item
    Baud,    // a port's "Baud Rate" group: its caption, or the rate the hub reported
};

// The export writes its sections in this order, a port's section once for each port in
// turn, and within a section the cells by their place.
enum class Section : uint8_t { Hub, Port, Ranges };

struct ExportCell {
    Text text = Text::None;
    Section section = Section::Hub;
    int16_t place = 0; // from 1; the export's own cells take the places no register takes
    // Counted from 1 as the spreadsheet counts them; a port's row from its block's base
    // row. A run's element i (from 0) is at row + i / perRow, column + (i % perRow) x
    // columnStep.
    int16_t row = 0, column = 0;
    int16_t perRow = 1, columnStep = 0;
};

// The first register of a map's rows that has a line in the settings file: a load
// writes a map's block from there to the block's last register, and writes a register
// between them that has no line as 0.
template <typename Rows>
constexpr int16_t FirstRegisterInFile(const Rows &rows)
{
    int16_t first = INT16_MAX;
    for (const auto &row : rows)
        if (row.file.load != Load::None && row.reg < first)
            first = row.reg;
    return first;
}

} // namespace SettingsMap
