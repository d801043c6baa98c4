// Commands to the selected starter of a link, written into its command word
// (4x2000 + address of the link's unit), and the password that shows the command and
// clearing groups of the port pages.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/PortPage.h"
#include "utilities/Exceptions.h"

using namespace RegisterMap;

namespace {

// The command word of address 0, as the register map gives it; address a is a registers
// further on.
int32_t FirstCommandWord() { return RegisterMap::Find(Handle::CommandWords)->address; }
constexpr int Addresses = 100;
// Added to a command's code when the port's "Use Priority" box is ticked.
constexpr int PriorityFlag = 8;

struct CommandSpec {
    int16_t code;
    const char *logPrefix;
    const char *question; // the warning asked before the command; nullptr: none
};

enum Command : uint8_t { Open, CloseA, CloseB, NoAction, ResetThermal, ResetUnder };

// Codes 4 and 7 are never sent.
constexpr CommandSpec Commands[] = {
    {0, "Send Open Command: ", nullptr},
    {1, "Send Start A Command: ", "This will send a close contactor A command to the Quorvane, are you sure?"},
    {2, "Send Start B Command: ", "This will send a close contactor B command to the Quorvane, are you sure?"},
    {3, "Send No Action Command: ", nullptr},
    {5, "Send Reset Thermal Command: ", nullptr},
    {6, "Send Under Current Reset Command: ", nullptr},
};

} // namespace

PortPage &TForm1::PortPageOf(int Port) const
{
    if (Port < 1 || Port > Links)
        throw ERangeError(QStringLiteral("Port out of range (%1)").arg(Port));
    return *Ports[static_cast<size_t>(Port - 1)];
}

void TForm1::Button9Click(TComponent *Sender) { SendCommand(Sender, Open); }
void TForm1::Button10Click(TComponent *Sender) { SendCommand(Sender, CloseA); }
void TForm1::Button11Click(TComponent *Sender) { SendCommand(Sender, CloseB); }
void TForm1::Button21Click(TComponent *Sender) { SendCommand(Sender, NoAction); }
void TForm1::Button27Click(TComponent *Sender) { SendCommand(Sender, ResetThermal); }
void TForm1::Button28Click(TComponent *Sender) { SendCommand(Sender, ResetUnder); }

void TForm1::SendCommand(TComponent *Sender, int Command)
{
    const CommandSpec &spec = Commands[Command];
    const int link = Sender->Tag;
    PortPage &port = PortPageOf(link + 1);
    const auto value = static_cast<int16_t>(spec.code + (port.Commands.PriorityCommand->Checked() ? PriorityFlag : 0));
    // The selected starter belongs to the shown page's link; should it ever name another
    // link's starter, the command goes nowhere (and nothing is asked) rather than to
    // another starter. Nothing can change the selection while the question is open.
    const int address = ActiveQuorvane - 100 * link;
    if (address < 0 || address >= Addresses)
        return;
    if (spec.question &&
        MessageDlg(QString::fromLatin1(spec.question), TMsgDlgType::mtWarning, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo) !=
            TModalResult::mrYes)
        return;
    const int16_t unit = LinkUnit(link);
    const int32_t word = FirstCommandWord() + address;
    WriteSingle(unit, word, value);
    LogMessage(QString::fromLatin1(spec.logPrefix) + QString::number(value) + QStringLiteral(" To: ") + QString::number(unit) +
               QStringLiteral(" : ") + QString::number(word + 1));
}

void TForm1::AllowCommandsClick(TComponent *)
{
    TCheckBox *box = Comms->AllowCommands;
    const QString answer = box->Checked() ? InputBox(QStringLiteral("Enter Password"),
                                                     QStringLiteral("Please enter your password to proceed"), QStringLiteral("None"))
                                          : ConfigConst::CommandPassword;
    const bool allowed = answer == ConfigConst::CommandPassword && box->Checked();
    if (answer != ConfigConst::CommandPassword)
        box->SetChecked(false);
    for (const auto &port : Ports) {
        port->Commands.Box->SetVisible(allowed);
        port->ClearItems.Box->SetVisible(allowed);
    }
}
