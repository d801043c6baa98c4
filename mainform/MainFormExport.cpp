// "To Excel": the settings the window shows at this moment, written into a copy of the
// spreadsheet template in a new spreadsheet application, one cell of the active sheet at
// a time and always as text. The export only reads controls: it sends nothing to the
// hub, logs nothing and shows no message of its own. The cells of the registers, and
// their order, are the two settings maps' (HubSettingsMap.h, LinkSettingsMap.h).
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "mainform/HubSettingsMap.h"
#include "mainform/LinkSettingsMap.h"
#include "utilities/Convert.h"

#include <algorithm>

using SettingsMap::Section;
using SettingsMap::Text;

namespace {

const QString ApplicationName = QStringLiteral("Excel.Application");
// Under the data folder; the program never creates, saves or closes it.
const QString TemplateFile = QStringLiteral("/VelkarHubProjects/VelkarHub.xlsx");

// A cell as it is written: where, and the named control whose value it gets, none for
// the date and time of the export.
struct Cell {
    int place; // within its section
    int row;
    int column;
    QString control;
    Text text;
    int link = -1; // the link index of a port's cell
};

// The export's own cells among the hub's, beside the registers' cells that the hub
// settings map places: the date and time of the export (AE13) first, and the
// identification text (Z19).
const Cell DateCell{1, 13, 31, {}, Text::Text};
const Cell IdentCell{17, 19, 26, QStringLiteral("Edit15"), Text::Text};

// A port's block of rows: port n's from row FirstPortRow + PortBlockRows x (n - 1).
constexpr int Ports = 4, FirstPortRow = 28, PortBlockRows = 10;

// The cells of a row of a map: one, or one for each control of a run.
template <typename Row, typename Name>
void AddCells(std::vector<Cell> &cells, const Row &row, int count, int firstRow, Name name, int link = -1)
{
    const SettingsMap::ExportCell &c = row.cell;
    for (int i = 0; i < count; ++i)
        cells.push_back({c.place, firstRow + c.row + i / c.perRow, c.column + (i % c.perRow) * c.columnStep, name(i + 1), c.text, link});
}

void ByPlace(std::vector<Cell> &cells)
{
    std::stable_sort(cells.begin(), cells.end(), [](const Cell &a, const Cell &b) { return a.place < b.place; });
}

// Every cell in the order written: the hub's, then each port's block, then the client
// ranges.
std::vector<Cell> Cells()
{
    std::vector<Cell> hub{DateCell, IdentCell};
    std::vector<Cell> ranges;
    for (const HubSettingsMap::Row &row : HubSettingsMap::Rows)
        if (row.cell.text != Text::None)
            AddCells(row.cell.section == Section::Ranges ? ranges : hub, row, row.count, 0, [&row](int k) { return row.Control(k); });
    ByPlace(hub);
    ByPlace(ranges);
    std::vector<Cell> cells = hub;
    for (int port = 1; port <= Ports; ++port) {
        std::vector<Cell> block;
        for (const LinkSettingsMap::Row &row : LinkSettingsMap::Rows)
            if (row.cell.text != Text::None)
                AddCells(block, row, 1, FirstPortRow + PortBlockRows * (port - 1), [&row, port](int) { return row.Control(port); },
                         port - 1);
        ByPlace(block);
        cells.insert(cells.end(), block.begin(), block.end());
    }
    cells.insert(cells.end(), ranges.begin(), ranges.end());
    return cells;
}

// The text of a cell (`now` for the date and time). EListError for a radio group without
// a selected item (and for a name the window does not have). The baud group shows no
// item for a baud rate above 38400 or any other code that is none of its items: the cell
// then gets the rate the hub reported, its code x 100.
QString CellText(const TForm1 &form, const Cell &cell, const QDateTime &now)
{
    if (cell.control.isEmpty())
        return Convert::DateAndTimeToStr(now);
    switch (cell.text) {
    case Text::Baud:
        if (form.Find<TRadioGroup>(cell.control)->ItemIndex() < 0)
            if (const auto code = form.DecodedBaudCode(static_cast<int16_t>(cell.link)))
                return QString::number(int32_t{*code} * 100);
        return form.Find<TRadioGroup>(cell.control)->SelectedCaption();
    case Text::Text:
        return form.Find<TEdit>(cell.control)->Text();
    case Text::YesNo:
        return form.Find<TCheckBox>(cell.control)->Checked() ? QStringLiteral("Yes") : QStringLiteral("No");
    case Text::Enabled:
        return form.Find<TCheckBox>(cell.control)->Checked() ? QStringLiteral("Enabled") : QStringLiteral("Not Enabled");
    case Text::Caption:
        return form.Find<TRadioGroup>(cell.control)->SelectedCaption();
    case Text::None: break;
    }
    return {};
}

// Every cell in the order written; the first failure ends the writing.
void WriteCells(const TForm1 &form, ISpreadsheetApplication &sheet, const QDateTime &now)
{
    for (const Cell &cell : Cells())
        sheet.SetActiveSheetCell(cell.row, cell.column, CellText(form, cell, now));
}

} // namespace

void TForm1::Button41Click(TComponent *)
{
    // Creating, showing and opening fail to the window's exception handling. A failed
    // creation keeps the previous application object; replacing it leaves that
    // application and its workbook open.
    Excel = spreadsheets_.CreateApplication(ApplicationName);
    Excel->SetVisible(true);
    Excel->OpenWorkbook(TUtilities::CommonAppDataPath() + TemplateFile);
    try {
        WriteCells(*this, *Excel, clock_.Now());
    } catch (const std::exception &) {
        // A radio group without a selected item, or an application that no longer takes
        // cells: the export ends at that cell, without a message. The cells written
        // before keep their texts.
    }
}
