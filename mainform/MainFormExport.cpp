// "To Excel": the settings the window shows at this moment, written into a copy of the
// spreadsheet template in a new spreadsheet application, one cell of the active sheet at
// a time and always as text. The export only reads controls: it sends nothing to the
// hub, logs nothing and shows no message of its own.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "utilities/Convert.h"

namespace {

const QString ApplicationName = QStringLiteral("Excel.Application");
// Under the data folder; the program never creates, saves or closes it.
const QString TemplateFile = QStringLiteral("/VelkarHubProjects/VelkarHub.xlsx");

// How a control's value becomes the text of its cell.
enum class Value : uint8_t {
    Text,    // an edit: its text exactly as shown
    YesNo,   // a check box: "Yes" or "No"
    Enabled, // a check box: "Enabled" or "Not Enabled"
    Caption, // a radio group: the caption of its selected item
    Baud,    // a port's "Baud Rate" group: its caption, or the rate the hub reported
};

struct Cell {
    int row;
    int column;
    const char *control;
    Value value;
};

// The date and time of the export (AE13).
constexpr int DateRow = 13, DateColumn = 31;

// The hub's cells after the date and time, in the order written.
constexpr Cell HubCells[] = {
    {17, 8, "IP1", Value::Text},
    {17, 10, "IP2", Value::Text},
    {17, 12, "IP3", Value::Text},
    {17, 14, "IP4", Value::Text},
    {17, 16, "IP_Port", Value::Text},
    {17, 26, "IPTimeout", Value::Text},
    {18, 8, "edtRouter1", Value::Text},
    {18, 10, "edtRouter2", Value::Text},
    {18, 12, "edtRouter3", Value::Text},
    {18, 14, "edtRouter4", Value::Text},
    {19, 8, "edtMask1", Value::Text},
    {19, 10, "edtMask2", Value::Text},
    {19, 12, "edtmask3", Value::Text},
    {19, 14, "edtMask4", Value::Text},
    {18, 26, "CheckBox1", Value::YesNo},
    {19, 26, "Edit15", Value::Text},
    {20, 11, "EthernetTimeoutAction", Value::Caption},
    {22, 8, "Link1Control", Value::Caption},
    {23, 8, "Link2Control", Value::Caption},
    {24, 8, "Link3Control", Value::Caption},
    {25, 8, "Link4Control", Value::Caption},
};

// A port block: rows counted from the block's base row, controls named after "QVL" and
// the port number. The conflict action comes before the baud rate.
constexpr int Ports = 4, FirstPortRow = 28, PortBlockRows = 10;
constexpr Cell PortCells[] = {
    {0, 12, "Link", Value::Text},
    {1, 12, "First", Value::Text},
    {1, 23, "Last", Value::Text},
    {2, 12, "Noreply", Value::Text},
    {3, 12, "FastBroad", Value::YesNo},
    {4, 12, "ConfigConflict", Value::Caption},
    {5, 12, "Baud", Value::Baud},
    {6, 12, "InputDataSize", Value::Caption},
};

// The client ranges: range n in row RangeRowBefore + n. First the use boxes of all
// ranges, then their control boxes, then their edits, five to a range.
constexpr int Ranges = 16, RangeRowBefore = 67;
struct RangeBoxPass {
    int column;
    const char *stem;
    Value value;
};
constexpr RangeBoxPass RangeBoxPasses[] = {
    {7, "UserR", Value::Enabled},
    {35, "ControlR", Value::YesNo},
};
constexpr int RangeEdits = 5, RangeEditColumnBefore = 14, RangeEditColumnStep = 3;

// The text of the named control's cell (`link`: the link index of a port's cell).
// EListError for a radio group without a selected item (and for a name the window does
// not have). The group shows no item for a baud rate above 38400 or any other code that
// is none of its items: the cell then gets the rate the hub reported, its code x 100.
QString CellText(const TForm1 &form, const QString &control, Value value, int link)
{
    switch (value) {
    case Value::Baud:
        if (form.Find<TRadioGroup>(control)->ItemIndex() < 0)
            if (const auto code = form.DecodedBaudCode(static_cast<int16_t>(link)))
                return QString::number(int32_t{*code} * 100);
        return form.Find<TRadioGroup>(control)->SelectedCaption();
    case Value::Text:
        return form.Find<TEdit>(control)->Text();
    case Value::YesNo:
        return form.Find<TCheckBox>(control)->Checked() ? QStringLiteral("Yes") : QStringLiteral("No");
    case Value::Enabled:
        return form.Find<TCheckBox>(control)->Checked() ? QStringLiteral("Enabled") : QStringLiteral("Not Enabled");
    case Value::Caption:
        return form.Find<TRadioGroup>(control)->SelectedCaption();
    }
    return {};
}

// Every cell in the order written; the first failure ends the writing.
void WriteCells(const TForm1 &form, ISpreadsheetApplication &sheet, const QDateTime &now)
{
    auto put = [&](int row, int column, const QString &control, Value value, int link = -1) {
        sheet.SetActiveSheetCell(row, column, CellText(form, control, value, link));
    };
    sheet.SetActiveSheetCell(DateRow, DateColumn, Convert::DateAndTimeToStr(now));
    for (const Cell &cell : HubCells)
        put(cell.row, cell.column, QString::fromLatin1(cell.control), cell.value);
    for (int port = 1; port <= Ports; ++port) {
        const int base = FirstPortRow + PortBlockRows * (port - 1);
        const QString prefix = QStringLiteral("QVL%1").arg(port);
        for (const Cell &cell : PortCells)
            put(base + cell.row, cell.column, prefix + QString::fromLatin1(cell.control), cell.value, port - 1);
    }
    for (const RangeBoxPass &pass : RangeBoxPasses)
        for (int n = 1; n <= Ranges; ++n)
            put(RangeRowBefore + n, pass.column, QString::fromLatin1(pass.stem) + QString::number(n), pass.value);
    for (int n = 1; n <= Ranges; ++n)
        for (int k = 1; k <= RangeEdits; ++k)
            put(RangeRowBefore + n, RangeEditColumnBefore + RangeEditColumnStep * k,
                QStringLiteral("Range%1").arg(RangeEdits * (n - 1) + k), Value::Text);
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
