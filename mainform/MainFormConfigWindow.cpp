// The configuration window of one starter (120 registers from 4x5000 + address of its
// link's unit), read onto the configuration page or cleared so that the hub reads the
// starter's configuration again, and the clearing of a link's stored starter types and
// configuration windows from the port pages.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/Grid.h"
#include "mainform/pages/ConfigurationPage.h"
#include "mainform/pages/PortPage.h"

using namespace RegisterMap;

namespace {

constexpr int Addresses = 100;
constexpr int WindowWords = 120;
constexpr int WordsPerPage = 8;
// Zero-based first registers, as the register map gives them: the window of address 0
// (that of address a starts a registers further on) and the starter-type table.
int32_t FirstWindow() { return RegisterMap::Find(Handle::ConfigWindow)->address; }
int32_t StarterTypeTable() { return RegisterMap::Find(Handle::StarterTypes)->address; }
// The hub's rest after each window "All Config" clears: the control sends the next no
// earlier than this after the last one ended.
constexpr int AllConfigPauseMs = 50;

const std::vector<int16_t> &WindowZeros()
{
    static const std::vector<int16_t> zeros(WindowWords, 0);
    return zeros;
}

QString Hex4(int16_t word) { return QStringLiteral("%1").arg(static_cast<uint16_t>(word), 4, 16, QLatin1Char('0')).toUpper(); }

const QString WishQuestion = QStringLiteral("This will clear out the Quorvane types array, do you wish to continue?");

bool InRange(int16_t address) { return address >= 0 && address < Addresses; }

// Whether a starter has been clicked in a grid: until then the link is 0, which would
// make the unit the hub's own.
bool StarterSelected(const TForm1 &form) { return form.WhichLink >= 1 && form.WhichLink <= Links && InRange(form.QuorvaneInLink); }

bool Confirmed(TForm1 &form, const QString &question)
{
    return form.MessageDlg(question, TMsgDlgType::mtConfirmation, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo) == TModalResult::mrYes;
}

} // namespace

// ---- the configuration page

void TForm1::Button22Click(TComponent *)
{
    if (!StarterSelected(*this))
        return;
    StartRead(Handle::ConfigWindow);
}

void TForm1::ShowConfigWindow()
{
    TStringGrid *grid = Config->StringGrid5;
    const char *const headings[] = {"Offset", "Value", "Page", "High", "Low", "Hex"};
    for (int c = 0; c < 6; ++c)
        grid->SetCells(c, 0, QString::fromLatin1(headings[c]));
    for (int i = 0; i < WindowWords; ++i) {
        const int16_t w = Mbaxp1.Get_Register(Handle::ConfigWindow, static_cast<int16_t>(i));
        const auto bits = static_cast<uint16_t>(w);
        const QString cells[] = {QString::number(i),          QString::number(w),        QString::number(i / WordsPerPage + 1),
                                 QString::number(bits >> 8), QString::number(bits & 0xFF), Hex4(w)};
        for (int c = 0; c < 6; ++c)
            grid->SetCells(c, i + 1, cells[c]);
    }
}

void TForm1::Button23Click(TComponent *)
{
    if (!StarterSelected(*this))
        return;
    WriteBlock(static_cast<int16_t>(HubUnit + WhichLink), FirstWindow() + QuorvaneInLink, WindowZeros());
    LogMessage(QStringLiteral("Send Config Data to VKH"));
}

// ---- "Clear Items" of the port pages

void TForm1::Button24Click(TComponent *)
{
    ClearStarterTypes(1, QStringLiteral("This will clear out the Quorvane types array, do you whish to continue?"));
}
void TForm1::Button45Click(TComponent *) { ClearStarterTypes(2, WishQuestion); }
void TForm1::Button48Click(TComponent *) { ClearStarterTypes(3, WishQuestion); }
void TForm1::Button51Click(TComponent *) { ClearStarterTypes(4, WishQuestion); }
void TForm1::Button39Click(TComponent *) { ClearConfigData(1); }
void TForm1::Button46Click(TComponent *) { ClearConfigData(2); }
void TForm1::Button49Click(TComponent *) { ClearConfigData(3); }
void TForm1::Button52Click(TComponent *) { ClearConfigData(4); }
void TForm1::Button40Click(TComponent *) { ClearAllConfig(1); }
void TForm1::Button47Click(TComponent *) { ClearAllConfig(2); }
void TForm1::Button50Click(TComponent *) { ClearAllConfig(3); }
void TForm1::Button53Click(TComponent *) { ClearAllConfig(4); }

void TForm1::ClearStarterTypes(int Port, const QString &Question)
{
    const int16_t unit = static_cast<int16_t>(PortPageOf(Port).Unit());
    if (!Confirmed(*this, Question))
        return;
    WriteBlock(unit, StarterTypeTable(), std::vector<int16_t>(Addresses, 0));
    LogMessage(QStringLiteral("Reset QV Type Data in VKH"));
}

void TForm1::ClearConfigData(int Port)
{
    const int16_t unit = static_cast<int16_t>(PortPageOf(Port).Unit());
    if (!InRange(QuorvaneInLink) ||
        !Confirmed(*this, QStringLiteral("This will clear out the Quorvane configuration array, do you wish to continue?")))
        return;
    WriteBlock(unit, FirstWindow() + QuorvaneInLink, WindowZeros());
    LogMessage(QStringLiteral("Clear Config Data in VKH"));
}

void TForm1::ClearAllConfig(int Port)
{
    PortPage &port = PortPageOf(Port);
    const auto unit = static_cast<int16_t>(port.Unit());
    TLabel *progress = port.ClearItems.Progress;
    // While the port's windows are still being cleared (its label shows how far), the
    // button does nothing; another port's clearing goes after this one's.
    bool &running = AllConfigRunning[static_cast<size_t>(Port - 1)];
    if (running)
        return;
    if (!Confirmed(*this, QStringLiteral("This will clear out all Quorvane configuration arrays for this port, do you wish to continue?")))
        return;
    progress->SetVisible(true);
    progress->SetCaption(QStringLiteral("Writing: "));
    running = true;
    // Every window of the link, whatever addresses the link is set to scan: the 120 zeros
    // are set once, and the 100 writes are queued at once, paced by the control. The label
    // follows their results.
    const int32_t rate = RegisterMap::Find(Handle::Write)->rate;
    for (int i = 0; i < WindowWords; ++i)
        Mbaxp1.Set_Register(Handle::Write, static_cast<int16_t>(i), 0);
    for (int a = 0; a < Addresses; ++a) {
        Mbaxp1.PresetMultipleRegisters(Handle::Write, unit, FirstWindow() + a, WindowWords, rate);
        StartWrite(Handle::Write, AllConfigPauseMs, [this, Port, unit, a] { AllConfigWritten(Port, unit, a); });
    }
}

void TForm1::AllConfigWritten(int Port, int16_t Unit, int Address)
{
    TLabel *progress = PortPageOf(Port).ClearItems.Progress;
    progress->SetCaption(QStringLiteral("Writing QV: ") + QString::number(Address));
    if (Address < Addresses - 1)
        return;
    AllConfigRunning[static_cast<size_t>(Port - 1)] = false;
    LogMessage(QStringLiteral("Clear all Config Data to VKH port ") + QString::number(Port) + QStringLiteral(" (") +
               QString::number(Unit) + QLatin1Char(')'));
    progress->SetCaption(QStringLiteral("Writing complete"));
}
