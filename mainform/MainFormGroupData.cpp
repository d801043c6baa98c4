// Group data of one starter: the hub is asked for the static data or one of ten data
// groups of the starter clicked last in any grid (handle 5), the reply is read once the
// request is written and again while the hub is still gathering (handle 6), and is
// shown under the titles that fit the item and the starter generation.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/Grid.h"
#include "mainform/pages/PortPage.h"

#include <QFontMetricsF>
#include <QStyle>
#include <QTableView>
#include <algorithm>
#include <cmath>

using namespace RegisterMap;

namespace {

constexpr int Rows = SingleDataGroup::Rows;
constexpr int LastItem = 10;

// Reply words (word n is register 4x(1303 + n)).
constexpr int16_t ReplyStatus = 2;
constexpr int16_t ReplyFirstData = 5;
constexpr int16_t ReplyLength = 16;
constexpr int16_t ReplyWords = 17;

constexpr int16_t StatusBusy = 1;
constexpr int16_t StatusData = 2;

// Item 0: the 14 values of the static data, each a whole word or one unsigned byte.
enum class Part : uint8_t { Word, Low, High };
struct StaticRow {
    const char *title;
    int16_t word;
    Part part;
};
constexpr StaticRow StaticData[Rows] = {
    {"Status", 5, Part::Word},
    {"Load", 6, Part::Word},
    {"Hours Run", 7, Part::Word},
    {"Operations A (/100)", 8, Part::Word},
    {"Operations B (/100)", 9, Part::Word},
    {"Startup Time", 10, Part::Low},
    {"Time to Trip", 10, Part::High},
    {"Peak Start Current (%FLC)", 11, Part::Word},
    {"Earth Leakage", 12, Part::Low},
    {"Thermal Content", 12, Part::High},
    {"Power Factor (x 100)", 13, Part::Low},
    {"Supply Voltage (%Nominal)", 13, Part::High},
    {"Timeout", 14, Part::Word},
    {"CRC Errors", 15, Part::Word},
};
constexpr int StaticTitleWidth = 150;

// What a cell takes besides its text: the style's text margin on both sides and the grid
// line. The title column takes no more than its titles need: the values have the rest of
// a grid no wider than its two columns at creation.
int CellPadding(const QTableView *view)
{
    const int textMargin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    return 2 * textMargin + (view->showGrid() ? 1 : 0);
}

// Items 1 to 10 of the newer starters: rows 1 to 8, the first three alike.
constexpr int NewerRows = 8;
const char *const NewerTitles[LastItem][NewerRows - 3] = {
    {"Current ALC", "Current FLC", "Earth Fault Percentage", "Power", "Power Factor"},
    {"Link Timeouts", "CRC Errors", "Input Counter 1 (1000s)", "Input Counter 2 (units)", "Reserved"},
    {"Hours Run", "OpsA (100s)", "OpsA (units)", "Starts in Last Hour", "Reserved"},
    {"OpsB (100s)", "OpsB (units)", "OpsC (100s)", "OpsC (units)", "Supply Voltage %"},
    {"Input Counter 2 (1000s)", "Input Counter 2 (units)", "Input Counter 3 (1000s)", "Input Counter 3 (units)", "Hardware I/O"},
    {"Current", "Decimal Point Pos", "Power", "Earth Fault Current", "Decimal Point Pos"},
    {"Startup Time", "Peak Start Current", "Auto Restart Timer", "Imbalance %", "Reserved"},
    {"Start Thermal Content", "Thermal Content", "Time to Trip/Available", "kW Hours Meter", "Reserved"},
    {"Thermal Trip Counter", "Imbance Trip Counter", "Earth Trip Counter", "Other Trip Counter", "Reserved"},
    {"Item 1", "Item 2", "Item 3", "Item 4", "Item 5"},
};
const char *const NewerFirstTitles[3] = {"Status", "Load", "Fault"};

// Items 1 to 4 of the older starters: rows 1 to 3 alike, then up to four more; items 5
// to 10 provide nothing.
constexpr int OlderItems = 4;
constexpr int OlderRows = 7;
const char *const OlderTitles[OlderItems][OlderRows - 3] = {
    {nullptr, nullptr, nullptr, nullptr},
    {"Time To Trip", "Earth Leakage", "Thermal Content", "Power factor"},
    {"Hours Run", "Ops A", "Ops B", "Supply Voltage"},
    {"Startup Time", "Peak Start Current", "Link Timeouts", "CRC Errors"},
};
const char *const OlderFirstTitles[3] = {"Status", "Percentage Current", "Percentage Power"};

// The title of a row (1 to 14) of an item (0 to 10) in one of the two tables.
QString Title(bool newer, int item, int row)
{
    const char *title = nullptr;
    if (item == 0)
        title = StaticData[row - 1].title;
    else if (newer && row <= NewerRows)
        title = row <= 3 ? NewerFirstTitles[row - 1] : NewerTitles[item - 1][row - 4];
    else if (!newer && item <= OlderItems && row <= OlderRows)
        title = row <= 3 ? OlderFirstTitles[row - 1] : OlderTitles[item - 1][row - 4];
    else if (!newer && item > OlderItems && row == 1)
        title = "No Data Provided";
    return title ? QString::fromLatin1(title) : QString();
}

int16_t ValueOf(const StaticRow &row, int16_t word)
{
    const auto bits = static_cast<uint16_t>(word);
    switch (row.part) {
    case Part::Low: return static_cast<int16_t>(bits & 0xFF);
    case Part::High: return static_cast<int16_t>(bits >> 8);
    case Part::Word: break;
    }
    return word;
}

} // namespace

void TForm1::BitBtn1Click(TComponent *Sender)
{
    const int unit = Sender->Tag;
    RequestGroupItem(static_cast<int16_t>(unit), PortPageOf(unit - HubUnit).SingleData.ComboBox->ItemIndex());
}

void TForm1::ComboBox1Change(TComponent *Sender)
{
    RequestGroupItem(static_cast<int16_t>(Sender->Tag), static_cast<TComboBox *>(Sender)->ItemIndex());
}

void TForm1::RequestGroupItem(int16_t Unit, int Item)
{
    // Nothing chosen (or a text typed into the combo box): nothing is asked.
    if (Item < 0)
        return;
    GR_ItemRequested = static_cast<int16_t>(Item);
    RequestGroupData(Unit);
    GR_LastGroupReadStationAddress = Unit;
    SetGroupGridHeadings(Unit);
}

void TForm1::RequestGroupData(int16_t Unit)
{
    SingleDataGroup &g = PortPageOf(Unit - HubUnit).SingleData;
    WriteBlock(Unit, RegisterMap::Find(Handle::GroupRequest)->address, {QuorvaneInLink, GR_ItemRequested}, Handle::GroupRequest);
    // Which starter is asked: it is the one clicked last in any grid, not necessarily one
    // of this port's. The first reply replaces the text.
    g.GrpStat->SetCaption(QStringLiteral("Requesting QV: ") + QString::number(QuorvaneInLink) + QStringLiteral(" Item: ") +
                          QString::number(GR_ItemRequested) + QStringLiteral(" Using Port: ") + QString::number(Unit));
}

void TForm1::StartGroupRead()
{
    // The reply is read from the unit of the box that asked last. Before any box has
    // asked there is nothing to read (and unit 0 would be the broadcast address).
    if (GR_LastGroupReadStationAddress < LinkUnit(0) || GR_LastGroupReadStationAddress > LinkUnit(Links - 1))
        return;
    StartRead(Handle::GroupData);
}

void TForm1::SetGroupGridHeadings(int16_t Unit)
{
    PortPage &port = PortPageOf(Unit - HubUnit);
    const int item = GR_ItemRequested;
    if (item < 0 || item > LastItem)
        return;
    TStringGrid *grid = port.SingleData.GroupGrid;
    const bool newer = port.Starters.QV4orHigher->Checked();
    for (int row = 1; row <= Rows; ++row)
        grid->SetCells(0, row, Title(newer, item, row));
    if (item == 0) {
        // 150 pixels, or as wide as the longest title needs in the grid's font (its width
        // in fractions of a pixel, rounded up, as the cell measures it).
        int width = StaticTitleWidth;
        const QFontMetricsF metrics(grid->View()->font());
        const int padding = CellPadding(grid->View());
        for (const StaticRow &row : StaticData)
            width = std::max(width, static_cast<int>(std::ceil(metrics.horizontalAdvance(QString::fromLatin1(row.title)))) + padding);
        grid->SetColWidth(0, width);
        grid->SetColWidth(1, std::max(grid->ClientWidth() - width, 0));
    } else if (!newer && item > OlderItems) {
        for (int row = 1; row <= Rows; ++row)
            grid->SetCells(1, row, QString());
    }
}

void TForm1::DecodeGroupData()
{
    SingleDataGroup &g = PortPageOf(GR_LastGroupReadStationAddress - HubUnit).SingleData;
    std::array<int16_t, ReplyWords> words{};
    for (int16_t n = 0; n < ReplyWords; ++n)
        words[static_cast<size_t>(n)] = Mbaxp1.Get_Register(Handle::GroupData, n);

    GR_RequestStatus = words[ReplyStatus];
    // The length shown is the one kept from the previous data reply.
    g.GrpStat->SetCaption(QStringLiteral("Returned Status: ") + QString::number(GR_RequestStatus) + QStringLiteral(" - ") +
                          QString::number(GroupDataLength) + QStringLiteral(" Returned"));

    if (GR_RequestStatus == StatusBusy) {
        StartGroupRead();
        return;
    }
    if (GR_RequestStatus != StatusData) {
        g.GrpStat->SetCaption(QStringLiteral("Single Data stop: ") + QString::number(GR_RequestStatus));
        return;
    }

    GroupDataLength = words[ReplyLength];
    TStringGrid *grid = g.GroupGrid;
    if (GR_ItemRequested == 0) {
        for (int row = 1; row <= Rows; ++row) {
            const StaticRow &source = StaticData[row - 1];
            GR_Data[static_cast<size_t>(row - 1)] = ValueOf(source, words[static_cast<size_t>(source.word)]);
            grid->SetCells(1, row, QString::number(GR_Data[static_cast<size_t>(row - 1)]));
        }
        return;
    }
    if (GR_ItemRequested < 1 || GR_ItemRequested > LastItem)
        return;
    // Row r shows word r + 4; rows 13 and 14 would lie beyond the reply and hold 0.
    for (int row = 1; row <= Rows; ++row) {
        const int word = ReplyFirstData + row - 1;
        GR_Data[static_cast<size_t>(row - 1)] = word < ReplyWords ? words[static_cast<size_t>(word)] : int16_t(0);
    }
    for (int row = 1; row <= Rows; ++row)
        grid->SetCells(1, row, grid->Cells(0, row).isEmpty() ? QString() : QString::number(GR_Data[static_cast<size_t>(row - 1)]));
}
