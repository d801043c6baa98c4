#pragma once
// The export's cell map as the spreadsheet template lays it out, written down here by
// cell name (A1 form) so that the tests do not lean on the window's own tables: each
// cell with the control whose value it gets and how, in the order the cells are written.
#include "controls/Controls.h"
#include "controls/Form.h"

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace ExportKit {

enum class Kind {
    DateAndTime, // the PC's date and time
    Text,        // an edit's text
    YesNo,       // a check box: "Yes" / "No"
    Enabled,     // a check box: "Enabled" / "Not Enabled"
    Caption,     // a radio group's selected caption
};

struct Cell {
    QString name; // "AE13"
    QString control;
    Kind kind;
};

// "AE13" as row 13, column 31.
inline std::pair<int, int> RowColumn(const QString &name)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < name.size() && name[i].isLetter(); ++i)
        column = column * 26 + (name[i].toLatin1() - 'A' + 1);
    return {name.mid(i).toInt(), column};
}

// The 166 cells in the order written: the hub, ports 1 to 4, then the range-use boxes,
// the control-range boxes and the range edits.
inline std::vector<Cell> Cells()
{
    std::vector<Cell> cells{
        {"AE13", {}, Kind::DateAndTime},
        {"H17", "IP1", Kind::Text},
        {"J17", "IP2", Kind::Text},
        {"L17", "IP3", Kind::Text},
        {"N17", "IP4", Kind::Text},
        {"P17", "IP_Port", Kind::Text},
        {"Z17", "IPTimeout", Kind::Text},
        {"H18", "edtRouter1", Kind::Text},
        {"J18", "edtRouter2", Kind::Text},
        {"L18", "edtRouter3", Kind::Text},
        {"N18", "edtRouter4", Kind::Text},
        {"H19", "edtMask1", Kind::Text},
        {"J19", "edtMask2", Kind::Text},
        {"L19", "edtmask3", Kind::Text},
        {"N19", "edtMask4", Kind::Text},
        {"Z18", "CheckBox1", Kind::YesNo},
        {"Z19", "Edit15", Kind::Text},
        {"K20", "EthernetTimeoutAction", Kind::Caption},
        {"H22", "Link1Control", Kind::Caption},
        {"H23", "Link2Control", Kind::Caption},
        {"H24", "Link3Control", Kind::Caption},
        {"H25", "Link4Control", Kind::Caption},
    };
    for (int n = 1; n <= 4; ++n) {
        const int r = 28 + 10 * (n - 1);
        const QString p = QStringLiteral("QVL%1").arg(n);
        auto at = [](const char *column, int row) { return QString::fromLatin1(column) + QString::number(row); };
        cells.push_back({at("L", r), p + "Link", Kind::Text});
        cells.push_back({at("L", r + 1), p + "First", Kind::Text});
        cells.push_back({at("W", r + 1), p + "Last", Kind::Text});
        cells.push_back({at("L", r + 2), p + "Noreply", Kind::Text});
        cells.push_back({at("L", r + 3), p + "FastBroad", Kind::YesNo});
        cells.push_back({at("L", r + 4), p + "ConfigConflict", Kind::Caption});
        cells.push_back({at("L", r + 5), p + "Baud", Kind::Caption});
        cells.push_back({at("L", r + 6), p + "InputDataSize", Kind::Caption});
    }
    for (int n = 1; n <= 16; ++n)
        cells.push_back({QStringLiteral("G%1").arg(67 + n), QStringLiteral("UserR%1").arg(n), Kind::Enabled});
    for (int n = 1; n <= 16; ++n)
        cells.push_back({QStringLiteral("AI%1").arg(67 + n), QStringLiteral("ControlR%1").arg(n), Kind::YesNo});
    const QStringList rangeColumns{"Q", "T", "W", "Z", "AC"};
    for (int n = 1; n <= 16; ++n)
        for (int k = 1; k <= 5; ++k)
            cells.push_back({rangeColumns[k - 1] + QString::number(67 + n), QStringLiteral("Range%1").arg(5 * (n - 1) + k), Kind::Text});
    return cells;
}

// The text a cell gets from the window as it is (the date and time as given).
inline QString TextOf(const TForm &form, const Cell &cell, const QString &dateAndTime)
{
    switch (cell.kind) {
    case Kind::DateAndTime:
        return dateAndTime;
    case Kind::Text:
        return form.Find<TEdit>(cell.control)->Text();
    case Kind::YesNo:
        return form.Find<TCheckBox>(cell.control)->Checked() ? QStringLiteral("Yes") : QStringLiteral("No");
    case Kind::Enabled:
        return form.Find<TCheckBox>(cell.control)->Checked() ? QStringLiteral("Enabled") : QStringLiteral("Not Enabled");
    case Kind::Caption: {
        auto *group = form.Find<TRadioGroup>(cell.control);
        return group->ItemIndex() >= 0 ? group->Items()[group->ItemIndex()] : QString();
    }
    }
    return {};
}

// Whether every radio group the export reads has a selected item.
inline bool EveryGroupSelected(const TForm &form)
{
    for (const Cell &cell : Cells())
        if (cell.kind == Kind::Caption && form.Find<TRadioGroup>(cell.control)->ItemIndex() < 0)
            return false;
    return true;
}

} // namespace ExportKit
