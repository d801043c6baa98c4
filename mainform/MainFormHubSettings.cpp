// The hub's settings block (handle 1) on the hub settings page, and every write that the
// page's controls make to the hub's own registers (unit 16), with the reboot request of
// the overview page, which writes into the same registers as the time. Which control
// shows which register, and how it writes it, is HubSettingsMap.h's.
//
// A decoded value changes a control exactly as the operator would, so the change and
// click handling of the control runs for it, with one rule more: a write caused by
// decoded data never sends a value other than the hub's own word. When a decoded word
// lies outside what a radio group or "Use Fixed IP" can show (a link mode of 5, a
// time-out action of 7, a fixed-address word of 2), the control shows the nearest item
// or state and nothing is written or logged.
//
// The operator's typing in the 94 edits writes nothing while it goes on: the edits' change
// handling runs for decoded text only, and the typed value is written once, by the exit,
// when the operator presses Enter or leaves the edit (by Tab, a click elsewhere or another
// page). A page the program shows ends the typing unfinished: nothing of it is written.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "mainform/HubSettingsMap.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/HubSettingsPage.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"

#include <QRegularExpression>

using RegisterMap::HubUnit;
using HubSettingsMap::Rule;

namespace {
// Link control modes beyond the item indexes 0 to 2.
constexpr int16_t ModbusSlaveMode = 10;
constexpr int16_t SimulatedMode = 12321;

constexpr std::array<int16_t, 6> RebootWords{82, 69, 66, 79, 79, 84}; // "REBOOT"

// The number in a hub settings edit: a text that is not a number counts as 0, a number
// outside the signed 16-bit range (however long) gives nothing.
std::optional<int16_t> EditNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
    if (!number.match(text).hasMatch())
        return int16_t(0);
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < INT16_MIN || value > INT16_MAX)
        return std::nullopt;
    return static_cast<int16_t>(value);
}

// The value that the change handling writes for an edit's text: only while the hub
// settings page is the active page, and never 0 (only "Clear All Ranges" writes 0 into
// a range part).
std::optional<int16_t> ChangeValue(bool settingsPage, const QString &text)
{
    const std::optional<int16_t> value = EditNumber(text);
    if (!settingsPage || !value || *value == 0)
        return std::nullopt;
    return value;
}

// Whether the six clock values form a calendar date of the years 1 to 9999 and a time
// of day. Checked here, by these limits, rather than by a date class's own range.
bool IsValidClock(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return false;
    static constexpr int daysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= daysInMonth[month - 1] + (month == 2 && leap ? 1 : 0);
}

QString MaskText(const char *caption, uint16_t mask)
{
    return QString::fromLatin1(caption) + QString::number(mask) + QStringLiteral(" $") + Convert::Hex16(mask, 0);
}

// The clock's registers, written as one block by "Update from PC" and "Reboot Required".
constexpr int32_t ClockAddress = HubSettingsMap::FirstRegister - 1;
} // namespace

// ---------------------------------------------------------------- the settings block

void TForm1::DecodeHubSettings()
{
    auto word = [this](int16_t index) { return Mbaxp1.Get_Register(RegisterMap::Handle::HubSettings, index); };
    HubSettingsPage &page = *HubSettings;

    // The fields first, every one of them; the masks as their 16-bit patterns. The hub's
    // block ends at 4x207 below firmware word 6, and its last word is read all the same.
    for (const HubSettingsMap::Row &row : HubSettingsMap::Rows) {
        if (row.field)
            this->*row.field = word(row.Word());
        else if (row.mask)
            this->*row.mask = static_cast<uint16_t>(word(row.Word()));
    }

    // The clock; the hub counts years from 2000.
    if (Gen_Year < 2000)
        Gen_Year = static_cast<int16_t>(Gen_Year + 2000);
    if (IsValidClock(Gen_Year, Gen_Month, Gen_Day, Gen_Hour, Gen_Minute, Gen_Second)) {
        Gen_TimeDate = QDateTime(QDate(Gen_Year, Gen_Month, Gen_Day), QTime(Gen_Hour, Gen_Minute, Gen_Second), Qt::UTC);
        page.Label1->SetCaption(QStringLiteral("VelkarHub Date and Time: ") + Convert::DateTimeToStr(Gen_TimeDate));
    } else {
        page.Label1->SetCaption(QStringLiteral("Not Decoded"));
    }

    // An edit the operator is in keeps the operator's text.
    auto show = [](TEdit *edit, int16_t value) {
        if (!edit->Focused())
            edit->SetText(QString::number(value));
    };
    // A write caused by a decoded value never sends a value other than the hub's own
    // word: a value that a group or the box shows only approximately is shown and not
    // written back.
    int addressPart = 0;
    for (const HubSettingsMap::Row &row : HubSettingsMap::Rows) {
        switch (row.rule) {
        case Rule::Clock: break;
        case Rule::AddressPart:
            // Each part on its own: a failure shows which one, and decoding goes on.
            ++addressPart;
            try {
                show(Find<TEdit>(row.Control()), this->*row.field);
            } catch (const std::exception &) {
                Comms->Label131->SetCaption(QString::number(addressPart));
            }
            break;
        case Rule::Edit: show(Find<TEdit>(row.Control()), this->*row.field); break;
        case Rule::FixedIP: {
            auto *box = Find<TCheckBox>(row.Control());
            const int16_t value = this->*row.field;
            if (SetWithoutClickHandling(*box, [&] { box->SetChecked(value == 1); }))
                ApplyFixedIP((box->Checked() ? 1 : 0) == value);
            break;
        }
        case Rule::Item: {
            auto *group = Find<TRadioGroup>(row.Control());
            const int16_t value = this->*row.field;
            if (SetWithoutClickHandling(*group, [&] { group->SetItemIndex(value); }) && group->ItemIndex() == value)
                WriteSelectedItem(group);
            break;
        }
        case Rule::LinkControl: {
            auto *group = Find<TRadioGroup>(row.Control());
            const int16_t mode = this->*row.field;
            const int item = mode == SimulatedMode ? 4 : mode == ModbusSlaveMode ? 3 : mode;
            if (SetWithoutClickHandling(*group, [&] { group->SetItemIndex(item); }))
                ApplyLinkControl(group, LinkModeOfItem(group->ItemIndex()) == mode);
            break;
        }
        case Rule::RangePart:
            // All left alone while one of them is being edited; a focused one is not read.
            if (SettingRange)
                break;
            for (int16_t k = 1; k <= row.count; ++k) {
                auto *edit = Find<TEdit>(row.Control(k));
                if (!edit->Focused())
                    edit->SetText(QString::number(word(static_cast<int16_t>(row.Word() + k - 1))));
            }
            break;
        case Rule::MaskBits:
            // The boxes write only on the operator's mouse release.
            for (int r = 1; r <= row.count; ++r)
                Find<TCheckBox>(row.Control(r))->SetChecked(Useful->IsBitOn(this->*row.mask, r - 1));
            Find<TLabel>(QString::fromLatin1(row.label))->SetCaption(MaskText(row.caption, this->*row.mask));
            break;
        }
    }
}

// ---------------------------------------------------------------- the edits

void TForm1::WriteHubEdit(TEdit *edit, int16_t value, const QString &logText)
{
    const int32_t address = edit->Tag - 1;
    WriteSingle(HubUnit, address, value);
    LogMessage(logText + QString::number(address) + QStringLiteral(" Val: ") + QString::number(value));
}

void TForm1::IP1Change(TComponent *Sender)
{
    // Runs for decoded text only: the operator's typing is taken by the exit.
    auto *edit = static_cast<TEdit *>(Sender);
    if (const std::optional<int16_t> value = ChangeValue(VKHSettingsTab, edit->Text()))
        WriteHubEdit(edit, *value, QString::fromLatin1(HubSettingsMap::ChangeLogged));
}

void TForm1::IP1Enter(TComponent *Sender) { EditOriginalValue = static_cast<TEdit *>(Sender)->Text(); }

void TForm1::IP1Exit(TComponent *Sender)
{
    // The remembered text and the typed one are numbers by the same rule: a text that is
    // not a number counts as 0 (an edit emptied and left has written 0), so a number typed
    // after it is written. A number outside the signed 16-bit range writes nothing.
    const std::optional<int16_t> remembered = EditNumber(EditOriginalValue);
    if (!remembered || !VKHSettingsTab)
        return;
    auto *edit = static_cast<TEdit *>(Sender);
    const std::optional<int16_t> value = EditNumber(edit->Text());
    if (!value || *value == *remembered)
        return;
    WriteHubEdit(edit, *value, QString::fromLatin1(HubSettingsMap::ExitLogged));
}

void TForm1::Range1Enter(TComponent *Sender)
{
    EditOriginalValue = static_cast<TEdit *>(Sender)->Text();
    SettingRange = true;
}

void TForm1::Range1LeaveUnfinished(TComponent *) { SettingRange = false; }

void TForm1::Range1Exit(TComponent *Sender)
{
    SettingRange = false;
    // The part the operator typed, written once on leaving by the rule of the change
    // handling, when it differs from the number the edit had at enter.
    auto *edit = static_cast<TEdit *>(Sender);
    const std::optional<int16_t> value = ChangeValue(VKHSettingsTab, edit->Text());
    if (value && value != EditNumber(EditOriginalValue))
        WriteHubEdit(edit, *value, QString::fromLatin1(HubSettingsMap::ChangeLogged));
}

// ---------------------------------------------------------------- boxes and groups

void TForm1::ApplyFixedIP(bool write)
{
    HubSettingsPage &page = *HubSettings;
    const bool fixed = page.CheckBox1->Checked();
    for (TEdit *edit : {page.IP1, page.IP2, page.IP3, page.IP4, page.IP_Port, page.IPTimeout})
        edit->SetEnabled(fixed);
    if (write)
        WriteSingle(HubUnit, page.CheckBox1->Tag - 1, fixed ? 1 : 0);
}

void TForm1::CheckBox1Click(TComponent *) { ApplyFixedIP(true); }

void TForm1::WriteSelectedItem(TRadioGroup *group)
{
    const int item = group->ItemIndex();
    if (item < 0)
        return;
    const HubSettingsMap::Row &row = HubSettingsMap::Named(group->Name());
    WriteSingle(HubUnit, row.Address(), static_cast<int16_t>(item));
    LogMessage(QString::fromLatin1(row.logged) + QString::number(item));
}

void TForm1::EthernetTimeoutActionClick(TComponent *) { WriteSelectedItem(HubSettings->EthernetTimeoutAction); }

int TForm1::LinkModeOfItem(int ItemIndex)
{
    switch (ItemIndex) {
    case 0:
    case 1:
    case 2: return ItemIndex;
    case 3: return ModbusSlaveMode;
    case 4: return SimulatedMode;
    default: return -1;
    }
}

void TForm1::ApplyLinkControl(TRadioGroup *group, bool write)
{
    const int value = LinkModeOfItem(group->ItemIndex());
    if (write && value >= 0) {
        WriteSingle(HubUnit, group->Tag - 1, static_cast<int16_t>(value));
        LogMessage(QStringLiteral("Port control setting written to VKH 16:") + QString::number(group->Tag) + QStringLiteral(" Val: ") +
                   QString::number(value));
    }
    const QString mode = value == ModbusSlaveMode ? QStringLiteral("Modbus") : value == SimulatedMode ? QStringLiteral("Simbus")
                                                                                                      : QStringLiteral("Velkar");
    Find<TLabel>(QStringLiteral("PortDes%1").arg(group->Tag))->SetCaption(mode);
}

void TForm1::Link1ControlClick(TComponent *Sender) { ApplyLinkControl(static_cast<TRadioGroup *>(Sender), true); }

void TForm1::LEDTestClick(TComponent *) { WriteSelectedItem(HubSettings->LEDTest); }

// ---------------------------------------------------------------- the range masks

int16_t TForm1::RangeMask(const HubSettingsMap::Row &row) const
{
    int32_t mask = 0;
    for (int r = 1; r <= row.count; ++r)
        mask = Useful->SetBit(mask, static_cast<uint8_t>(r - 1), Find<TCheckBox>(row.Control(r))->Checked());
    // Range 16 is the register's bit 15: the pattern is sent as its signed value.
    return static_cast<int16_t>(static_cast<uint16_t>(mask));
}

void TForm1::WriteRangeMask(const HubSettingsMap::Row &row)
{
    if (row.firmware != 0 && Info_V4 < row.firmware) {
        MessageDlg(QStringLiteral("The attached unit does not support this function."), TMsgDlgType::mtWarning, TMsgDlgBtn::mbCancel);
        return;
    }
    WriteSingle(HubUnit, row.Address(), RangeMask(row));
    LogMessage(QString::fromLatin1(row.logged));
}

void TForm1::UserR1MouseUp(TComponent *, Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    WriteRangeMask(HubSettingsMap::Named(QStringLiteral("UserR")));
}

void TForm1::ControlR1MouseUp(TComponent *, Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    WriteRangeMask(HubSettingsMap::Named(QStringLiteral("ControlR")));
}

// ---------------------------------------------------------------- buttons

void TForm1::Button42Click(TComponent *)
{
    // From the access mask over the 80 range parts and, from the firmware that has the
    // controlling-device mask, over the LED test to that mask.
    const HubSettingsMap::Row &access = HubSettingsMap::Named(QStringLiteral("UserR"));
    const HubSettingsMap::Row &parts = HubSettingsMap::Named(QStringLiteral("Range"));
    const HubSettingsMap::Row &control = HubSettingsMap::Named(QStringLiteral("ControlR"));
    const int last = Info_V4 < control.firmware ? parts.reg + parts.count - 1 : control.reg;
    WriteBlock(HubUnit, access.Address(), std::vector<int16_t>(static_cast<size_t>(last - access.reg + 1), 0));
}

void TForm1::Btn_UpdateTimeClick(TComponent *)
{
    const QDateTime now = clock_.Now();
    int year = now.date().year();
    if (year > 2000)
        year -= 2000;
    const QTime time = now.time();
    WriteBlock(HubUnit, ClockAddress,
               {static_cast<int16_t>(now.date().day()), static_cast<int16_t>(now.date().month()), Convert::ToInt16(year),
                static_cast<int16_t>(time.hour()), static_cast<int16_t>(time.minute()), static_cast<int16_t>(time.second())});
    LogMessage(QStringLiteral("Update time PC -> VKH"));
}

void TForm1::Button5Click(TComponent *) { WriteBlock(HubUnit, ClockAddress, {RebootWords.begin(), RebootWords.end()}); }
