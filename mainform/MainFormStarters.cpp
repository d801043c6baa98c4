// The starters of the four links: their status, load, fault, type and command words in
// the port grids, the bits of the selected starter's status word, the fault texts of
// older starters, and the operator's selection of one starter.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/Grid.h"
#include "mainform/Colours.h"
#include "mainform/pages/PortPage.h"
#include "utilities/Exceptions.h"

using namespace RegisterMap;

namespace {

constexpr int Addresses = 100;
constexpr int StatusColumn = 1, LoadColumn = 2, FaultColumn = 3, TypeColumn = 4, CommandColumn = 5;

// Input data content items of the link settings: only the short item leaves out the loads;
// the fault words come with the long items.
constexpr int ShortInputData = 1;
constexpr int FirstInputDataWithFaults = 2;
// Starter types from this one on report their fault in the fault word.
constexpr int16_t FirstFaultWordType = 40;

const QString NotRead = QStringLiteral("Not Read");

// The port page of a link index; any other link index is a range error.
PortPage &PortOf(const TForm1 &form, int link)
{
    if (link < 0 || link >= Links)
        throw ERangeError(QStringLiteral("Link index out of range (%1)").arg(link));
    return *form.Ports[static_cast<size_t>(link)];
}

// The port page whose layout box raised a click: the box's Tag is the unit (17 to 20).
PortPage &PortOfBox(const TForm1 &form, TComponent *box) { return PortOf(form, box->Tag - LinkUnit(0)); }

// A stored value of a starter; an address outside 0 to 99 reads as 0.
int16_t Stored(const TForm1 &form, int16_t link, TForm1::StarterKind kind, int address)
{
    if (address < 0 || address >= Addresses)
        return 0;
    return form.QuorvaneLinks[static_cast<size_t>(link)][kind][static_cast<size_t>(address)];
}

// The status word as its 16 bits in four upper-case hexadecimal digits.
QString HexWord(int16_t word)
{
    static const char digits[] = "0123456789ABCDEF";
    const auto bits = static_cast<uint16_t>(word);
    const QChar text[4] = {QLatin1Char(digits[bits >> 12]), QLatin1Char(digits[(bits >> 8) & 15]),
                           QLatin1Char(digits[(bits >> 4) & 15]), QLatin1Char(digits[bits & 15])};
    return QString(text, 4);
}

struct BitTexts {
    QString set, clear;
};

// Newer layout: label n shows bit n.
const BitTexts NewerLayout[StarterStatusGroup::StatusLabels] = {
    {QStringLiteral("Not Communicating"), QStringLiteral("Communicating")},
    {QStringLiteral("Trip Active"), QStringLiteral("No Trips")},
    {QStringLiteral("Alarm Active"), QStringLiteral("No Alarms")},
    {QStringLiteral("Warn Active"), QStringLiteral("No Warn")},
    {QStringLiteral("A Fault is Active"), QStringLiteral("No Faults")},
    {QStringLiteral("A Latched Trip is Active"), QStringLiteral("No Latched trip")},
    {QStringLiteral("Motor in Start up"), QStringLiteral("Not in start phase")},
    {QStringLiteral("Open is required"), QStringLiteral("Open not needed")},
    {QStringLiteral("Contactor A Closed"), QStringLiteral("Contactor A Open")},
    {QStringLiteral("Contactor B Closed"), QStringLiteral("Contactor B Open")},
    {QStringLiteral("Stopped"), QStringLiteral("Running")},
    {QStringLiteral("Bit 11 on"), QStringLiteral("Bit 11 off")},
    {QStringLiteral("Manual Mode"), QStringLiteral("Not Manual")},
    {QStringLiteral("Bit 13 on"), QStringLiteral("Bit 13 off")},
    {QStringLiteral("HHP Active"), QStringLiteral("HHP Not Active")},
    {QStringLiteral("Available"), QStringLiteral("Not Available")},
};

// Older layout: bits 0 to 5 are the fault code; labels 0 to 9 show bits 6 to 15.
constexpr int OlderFirstBit = 6;
constexpr int OlderLabels = 10;
// Bit 11 is the manual stop input. Like the other flags of this layout, a set bit reports
// the condition as present: set, a manual stop is active; clear, it is not.
const BitTexts OlderLayout[OlderLabels] = {
    {QStringLiteral("HHP in Control"), QStringLiteral("No HHP")},
    {QStringLiteral("In test"), QStringLiteral("Not in test")},
    {QStringLiteral("Contactor A Closed"), QStringLiteral("Contactor A Open")},
    {QStringLiteral("Contactor B Closed"), QStringLiteral("Contactor B Open")},
    {QStringLiteral("Quorvane 3"), QStringLiteral("Not on")},
    {QStringLiteral("Man Stop active"), QStringLiteral("Man Stop not active")},
    {QStringLiteral("Input 1 Closed"), QStringLiteral("Input 1 Open")},
    {QStringLiteral("Input 2 Closed"), QStringLiteral("Input 2 Open")},
    {QStringLiteral("Local Control"), QStringLiteral("Not Local")},
    {QStringLiteral("Available"), QStringLiteral("Not Available")},
};

// The labels whose colour the status word sets: the availability label of each layout,
// and the label that carries it in the older layout but not in the newer one.
constexpr size_t NewerAvailableLabel = 15;
constexpr size_t OlderAvailableLabel = 9;

const QColor &AvailabilityColour(bool available) { return available ? Colours::Green : Colours::Red; }

// Shows the status word w in the labels of a port, in the layout chosen by its boxes.
void ShowStatusBits(StarterStatusGroup &g, int16_t w)
{
    auto &labels = g.Status;
    if (g.QV4orHigher->Checked()) {
        for (size_t n = 0; n < labels.size(); ++n) {
            const bool on = TUtilities::IsBitOn(w, static_cast<int32_t>(n));
            if (n == OlderAvailableLabel)
                labels[n]->SetFontColor(Colours::Black);
            labels[n]->SetCaption(on ? NewerLayout[n].set : NewerLayout[n].clear);
            if (n == NewerAvailableLabel)
                labels[n]->SetFontColor(AvailabilityColour(on));
        }
        return;
    }
    for (size_t n = 0; n < labels.size(); ++n) {
        if (n >= OlderLabels) {
            labels[n]->SetCaption(QString());
            continue;
        }
        const bool on = TUtilities::IsBitOn(w, static_cast<int32_t>(n) + OlderFirstBit);
        labels[n]->SetCaption(on ? OlderLayout[n].set : OlderLayout[n].clear);
        if (n == OlderAvailableLabel)
            labels[n]->SetFontColor(AvailabilityColour(on));
    }
}

} // namespace

bool TForm1::IsOlderStarterType(int16_t Type) { return Type < 30; }

bool TForm1::IsNewerStarterType(int16_t Type) { return Type == 41 || Type == 42 || Type == 43 || Type == 50; }

QString TForm1::FaultSeverityPrefix(int16_t Code, int16_t Severity)
{
    if (Code == 0)
        return QString();
    switch (Severity) {
    case 0: return QStringLiteral("W : ");
    case 1: return QStringLiteral("A : ");
    case 2: return QStringLiteral("T : ");
    case 3: return QStringLiteral("LT : ");
    default: return QString();
    }
}

QString TForm1::StarterTypeText(int16_t Type)
{
    switch (Type) {
    case 0: return QStringLiteral("Unknown");
    case 10: return QStringLiteral("Quorvane 1");
    case 20: return QStringLiteral("Quorvane 2");
    case 23: return QStringLiteral("QV3 Emulated");
    case 30: return QStringLiteral("Quorvane 3");
    case 31: return QStringLiteral("Quorvane 3 Enhanced");
    case 41: return QStringLiteral("Quorvane 4.2");
    case 42: return QStringLiteral("Quorvane 4.2E");
    case 43: return QStringLiteral("Quorvane 4.3");
    case 50: return QStringLiteral("Quorvane 5");
    default: return QString::number(Type);
    }
}

QString TForm1::FaultText(int16_t Code) const
{
    // The list is empty when the file is missing (and absent when creation stopped before
    // loading it). Code 0 is a starter without a fault, which must not read as one; any
    // other code it has no line for still names itself.
    if (FaultsQV2 && Code >= 0 && Code < FaultsQV2->size())
        return FaultsQV2->at(Code);
    if (Code == 0)
        return QStringLiteral("No fault");
    return QStringLiteral("Fault code ") + QString::number(Code) + QStringLiteral(" (no text in FaultsQV2.txt)");
}

void TForm1::DecodeStatusWords(int16_t Link)
{
    PortPage &port = PortOf(*this, Link);
    StarterStatusGroup &g = port.Starters;
    auto &table = QuorvaneLinks[static_cast<size_t>(Link)];
    const auto handle = static_cast<int16_t>(Handle::StatusWords + Link);

    const bool hex = g.HexCheckbox->Checked();
    for (int i = 0; i < Addresses; ++i) {
        const int16_t word = Mbaxp1.Get_Register(handle, static_cast<int16_t>(i));
        table[StatusWord][static_cast<size_t>(i)] = word;
        port.StringGrid->SetCells(StatusColumn, i + 1, hex ? HexWord(word) : QString::number(word));
    }

    // The fault text follows the last click in any grid, the status bits this port's own
    // selection.
    const int16_t selected = QuorvaneInLink;
    if (IsOlderStarterType(Stored(*this, Link, StarterType, selected))) {
        g.Fault->SetCaption(FaultText(Stored(*this, Link, FaultCode, selected)));
        g.Fault->SetVisible(true);
    } else {
        g.Fault->SetVisible(false);
    }
    ShowStatusBits(g, Stored(*this, Link, StatusWord, ActiveQuorvaneinLink[static_cast<size_t>(Link)]));
}

void TForm1::DecodeLoadWords(int16_t Link)
{
    PortPage &port = PortOf(*this, Link);
    auto &loads = QuorvaneLinks[static_cast<size_t>(Link)][LoadWord];
    const auto handle = static_cast<int16_t>(Handle::LoadWords + Link);
    const bool read = port.LinkSettings.InputDataSize->ItemIndex() != ShortInputData;
    for (int i = 0; i < Addresses; ++i) {
        const int16_t word = Mbaxp1.Get_Register(handle, static_cast<int16_t>(i));
        loads[static_cast<size_t>(i)] = word;
        port.StringGrid->SetCells(LoadColumn, i + 1, read ? QString::number(word) : NotRead);
    }
}

void TForm1::DecodeFaultWords(int16_t Link)
{
    PortPage &port = PortOf(*this, Link);
    auto &table = QuorvaneLinks[static_cast<size_t>(Link)];
    const auto handle = static_cast<int16_t>(Handle::FaultWords + Link);
    const bool read = port.LinkSettings.InputDataSize->ItemIndex() >= FirstInputDataWithFaults;
    for (int i = 0; i < Addresses; ++i) {
        const auto a = static_cast<size_t>(i);
        if (table[StarterType][a] < FirstFaultWordType) {
            // The fault code is in the status word; the severity keeps its last value.
            table[FaultCode][a] = static_cast<int16_t>(table[StatusWord][a] & 63);
            port.StringGrid->SetCells(FaultColumn, i + 1, QString::number(table[FaultCode][a]));
            continue;
        }
        const auto word = static_cast<uint16_t>(Mbaxp1.Get_Register(handle, static_cast<int16_t>(i)));
        table[FaultCode][a] = static_cast<int16_t>(word & 255);
        table[FaultSeverity][a] = static_cast<int16_t>(word >> 8);
        port.StringGrid->SetCells(FaultColumn, i + 1,
                                  read ? FaultSeverityPrefix(table[FaultCode][a], table[FaultSeverity][a]) +
                                             QString::number(table[FaultCode][a])
                                       : NotRead);
    }
}

void TForm1::DecodeStarterTypes(int16_t Link)
{
    PortPage &port = PortOf(*this, Link);
    auto &types = QuorvaneLinks[static_cast<size_t>(Link)][StarterType];
    const auto handle = static_cast<int16_t>(Handle::StarterTypes + Link);
    for (int i = 0; i < Addresses; ++i) {
        const int16_t word = Mbaxp1.Get_Register(handle, static_cast<int16_t>(i));
        types[static_cast<size_t>(i)] = word;
        port.StringGrid->SetCells(TypeColumn, i + 1, StarterTypeText(word));
    }
}

void TForm1::ShowCommandWords(int16_t Link)
{
    PortPage &port = PortOf(*this, Link);
    const auto handle = static_cast<int16_t>(Handle::CommandWords + Link);
    for (int i = 0; i < Addresses; ++i)
        port.StringGrid->SetCells(CommandColumn, i + 1, QString::number(Mbaxp1.Get_Register(handle, static_cast<int16_t>(i))));
}

void TForm1::StringGrid1Click(TComponent *Sender)
{
    auto *grid = static_cast<TStringGrid *>(Sender);
    PortPage &port = PortOf(*this, grid->Tag);
    const auto link = static_cast<int16_t>(grid->Tag);
    const int row = grid->Row();
    if (row < 1 || row > Addresses)
        throw ERangeError(QStringLiteral("Grid row out of range (%1)").arg(row));
    const auto address = static_cast<int16_t>(row - 1);

    QuorvaneInLink = address;
    WhichLink = static_cast<int16_t>(link + 1);
    ActiveQuorvaneinLink[static_cast<size_t>(link)] = address;
    const int selected = address + 100 * link;
    if (selected >= 0 && selected <= 399)
        ActiveQuorvane = static_cast<int16_t>(selected);
    SetCaption(QStringLiteral("Quorvane Selected: ") + QString::number(ActiveQuorvane) + QStringLiteral(" Link: ") +
               QString::number(WhichLink) + QStringLiteral(" Address: ") + QString::number(QuorvaneInLink));
    PortCommon->Label61->SetCaption(QStringLiteral("Quorvane Selected: ") + QString::number(WhichLink) + QStringLiteral(" : ") +
                                    QString::number(QuorvaneInLink));

    // The layout boxes follow the clicked starter's type; each box's click keeps the pair
    // opposite.
    const int16_t type = Stored(*this, link, StarterType, address);
    port.Starters.QV4orHigher->SetChecked(IsNewerStarterType(type));
    port.Starters.QV2orLower->SetChecked(IsOlderStarterType(type));
}

void TForm1::QV2orLowerG17Click(TComponent *Sender)
{
    StarterStatusGroup &g = PortOfBox(*this, Sender).Starters;
    g.QV4orHigher->SetChecked(!g.QV2orLower->Checked());
}

void TForm1::QV4orHigherG17Click(TComponent *Sender)
{
    StarterStatusGroup &g = PortOfBox(*this, Sender).Starters;
    g.QV2orLower->SetChecked(!g.QV4orHigher->Checked());
}
