// The hub's settings block (handle 1) on the hub settings page, and every write that the
// page's controls make to the hub's own registers (unit 16), with the reboot request of
// the overview page, which writes into the same registers as the time.
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
// when the operator leaves the edit (by Tab, a click elsewhere or another page).
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/HubSettingsPage.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <utility>

using RegisterMap::HubUnit;

namespace {
// Words of the settings block (word n is register 4x(100 + n)).
constexpr int16_t FirstRangeWord = 26; // the access mask; range part k is word 26 + k
constexpr int16_t LedTestWord = 107;
constexpr int16_t ControlMaskWord = 108;

// Zero-based addresses written.
constexpr int32_t ClockAddress = 99;          // 4x100 to 4x105
constexpr int32_t TimeoutActionAddress = 111; // 4x112
constexpr int32_t AccessMaskAddress = 125;    // 4x126, the first register "Clear All Ranges" clears
constexpr int32_t LedTestAddress = 206;       // 4x207
constexpr int32_t ControlMaskAddress = 207;   // 4x208

constexpr int RangeEdits = 80;
constexpr int Ranges = 16;

// The controlling-device ranges exist from this firmware word on.
constexpr int16_t ControlRangesFirmware = 6;
// "Clear All Ranges": the mask and the 80 range parts, and from that firmware on also the
// LED test and the controlling-device mask.
constexpr int ClearRangesShort = 81;
constexpr int ClearRangesLong = 83;

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

const char *const RangeDataText = "IP Range Data written to VKH station 16 Address: ";

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

// Runs set with the control's click handler detached, so that the control shows the new
// state by its own rules and nothing runs.
template <typename Control, typename Set>
void WithoutClickHandling(Control *control, Set set)
{
    TNotifyEvent handler = std::exchange(control->OnClick, nullptr);
    const auto restore = qScopeGuard([&] { control->OnClick = std::move(handler); });
    set();
}

// A decoded state shown in the box; true when the box changed.
bool ShowDecoded(TCheckBox *box, bool checked)
{
    const bool before = box->Checked();
    WithoutClickHandling(box, [&] { box->SetChecked(checked); });
    return box->Checked() != before;
}

// A decoded index shown in the group by the selection rule; true when the group changed
// to an item (a cleared selection runs no click handling).
bool ShowDecoded(TRadioGroup *group, int index)
{
    const int before = group->ItemIndex();
    WithoutClickHandling(group, [&] { group->SetItemIndex(index); });
    return group->ItemIndex() >= 0 && group->ItemIndex() != before;
}

QString MaskText(const char *caption, uint16_t mask)
{
    return QString::fromLatin1(caption) + QString::number(mask) + QStringLiteral(" $") + Convert::Hex16(mask, 0);
}
} // namespace

// ---------------------------------------------------------------- the settings block

void TForm1::DecodeHubSettings()
{
    auto word = [this](int16_t index) { return Mbaxp1.Get_Register(RegisterMap::Handle::HubSettings, index); };
    HubSettingsPage &page = *HubSettings;

    // 1 to 3: the clock; the hub counts years from 2000.
    Gen_Day = word(0);
    Gen_Month = word(1);
    Gen_Year = word(2);
    Gen_Hour = word(3);
    Gen_Minute = word(4);
    Gen_Second = word(5);
    if (Gen_Year < 2000)
        Gen_Year = static_cast<int16_t>(Gen_Year + 2000);
    if (IsValidClock(Gen_Year, Gen_Month, Gen_Day, Gen_Hour, Gen_Minute, Gen_Second)) {
        Gen_TimeDate = QDateTime(QDate(Gen_Year, Gen_Month, Gen_Day), QTime(Gen_Hour, Gen_Minute, Gen_Second), Qt::UTC);
        page.Label1->SetCaption(QStringLiteral("VelkarHub Date and Time: ") + Convert::DateTimeToStr(Gen_TimeDate));
    } else {
        page.Label1->SetCaption(QStringLiteral("Not Decoded"));
    }

    // 4, 5: the settings and the masks, in the hub's word order.
    Gen_Link1Control = word(6);
    Gen_Link2Control = word(7);
    Gen_Link3Control = word(8);
    Gen_Link4Control = word(9);
    Gen_Port = word(10);
    Gen_Timeout = word(11);
    Gen_TimeoutAction = word(12);
    Gen_DefineIP = word(13);
    Gen_IP1 = word(14);
    Gen_IP2 = word(15);
    Gen_IP3 = word(16);
    Gen_IP4 = word(17);
    Gen_R1 = word(18);
    Gen_R2 = word(19);
    Gen_R3 = word(20);
    Gen_R4 = word(21);
    Mask_1 = word(22);
    Mask_2 = word(23);
    Mask_3 = word(24);
    Mask_4 = word(25);
    LimitIPRangeSelection = static_cast<uint16_t>(word(FirstRangeWord));
    ControlRangeSelection = static_cast<uint16_t>(word(ControlMaskWord));
    Gen_LEDTest = word(LedTestWord);

    // An edit the operator is in keeps the operator's text.
    auto show = [](TEdit *edit, int16_t value) {
        if (!edit->Focused())
            edit->SetText(QString::number(value));
    };

    // 6: the address parts, each on its own: a failure shows which one and goes on.
    const std::array<std::pair<TEdit *, int16_t>, 4> address{
        {{page.IP1, Gen_IP1}, {page.IP2, Gen_IP2}, {page.IP3, Gen_IP3}, {page.IP4, Gen_IP4}}};
    for (size_t n = 0; n < address.size(); ++n) {
        try {
            show(address[n].first, address[n].second);
        } catch (const std::exception &) {
            Comms->Label131->SetCaption(QString::number(n + 1));
        }
    }

    // 7: router and mask.
    for (const auto &[edit, value] : std::initializer_list<std::pair<TEdit *, int16_t>>{
             {page.edtRouter1, Gen_R1}, {page.edtRouter2, Gen_R2}, {page.edtRouter3, Gen_R3}, {page.edtRouter4, Gen_R4},
             {page.edtMask1, Mask_1}, {page.edtMask2, Mask_2}, {page.edtmask3, Mask_3}, {page.edtMask4, Mask_4}})
        show(edit, value);

    // 8: "Use Fixed IP"; its write runs only when it sends the hub's own word.
    if (ShowDecoded(page.CheckBox1, Gen_DefineIP == 1))
        ApplyFixedIP((page.CheckBox1->Checked() ? 1 : 0) == Gen_DefineIP);

    // 9: port and time-out.
    show(page.IP_Port, Gen_Port);
    show(page.IPTimeout, Gen_Timeout);

    // 10, 11: the time-out action and the link modes; a write runs only for a value that
    // is the hub's own word.
    if (ShowDecoded(page.EthernetTimeoutAction, Gen_TimeoutAction) && page.EthernetTimeoutAction->ItemIndex() == Gen_TimeoutAction)
        EthernetTimeoutActionClick(page.EthernetTimeoutAction);
    const std::array<int16_t, 4> modes{Gen_Link1Control, Gen_Link2Control, Gen_Link3Control, Gen_Link4Control};
    for (size_t n = 0; n < modes.size(); ++n) {
        TRadioGroup *group = page.LinkControl[n];
        const int item = modes[n] == SimulatedMode ? 4 : modes[n] == ModbusSlaveMode ? 3 : modes[n];
        if (ShowDecoded(group, item))
            ApplyLinkControl(group, LinkModeOfItem(group->ItemIndex()) == modes[n]);
    }

    // 12: the range parts, all left alone while one of them is being edited.
    if (!SettingRange) {
        for (int16_t k = 1; k <= RangeEdits; ++k) {
            auto *edit = Find<TEdit>(QStringLiteral("Range%1").arg(k));
            if (!edit->Focused())
                edit->SetText(QString::number(word(static_cast<int16_t>(FirstRangeWord + k))));
        }
    }

    // 13 to 16: the masks. The boxes write only on the operator's mouse release.
    for (int r = 1; r <= Ranges; ++r)
        Find<TCheckBox>(QStringLiteral("UserR%1").arg(r))->SetChecked(Useful->IsBitOn(LimitIPRangeSelection, r - 1));
    for (int r = 1; r <= Ranges; ++r)
        Find<TCheckBox>(QStringLiteral("ControlR%1").arg(r))->SetChecked(Useful->IsBitOn(ControlRangeSelection, r - 1));
    page.Label94->SetCaption(MaskText("Enable bits (40126): ", LimitIPRangeSelection));
    page.Label122->SetCaption(MaskText("CRange bits (40208): ", ControlRangeSelection));

    // 17: the LED test, written back only as the hub's own word.
    if (ShowDecoded(page.LEDTest, Gen_LEDTest) && page.LEDTest->ItemIndex() == Gen_LEDTest)
        LEDTestClick(page.LEDTest);
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
        WriteHubEdit(edit, *value, QString::fromLatin1(RangeDataText));
}

void TForm1::IP1Enter(TComponent *Sender) { EditOriginalValue = static_cast<TEdit *>(Sender)->Text(); }

void TForm1::IP1Exit(TComponent *Sender)
{
    // A remembered text that is not a number is a failure, reported by the window's
    // exception handling; nothing is written.
    const int32_t remembered = Convert::StrToInt(EditOriginalValue);
    if (remembered < INT16_MIN || remembered > INT16_MAX || !VKHSettingsTab)
        return;
    auto *edit = static_cast<TEdit *>(Sender);
    const std::optional<int16_t> value = EditNumber(edit->Text());
    if (!value || *value == remembered)
        return;
    WriteHubEdit(edit, *value, QStringLiteral("Controlling device timeout written to VKH station 16 Address: "));
}

void TForm1::Range1Enter(TComponent *Sender)
{
    EditOriginalValue = static_cast<TEdit *>(Sender)->Text();
    SettingRange = true;
}

void TForm1::Range1Exit(TComponent *Sender)
{
    SettingRange = false;
    // The part the operator typed, written once on leaving by the rule of the change
    // handling, when it differs from the number the edit had at enter.
    auto *edit = static_cast<TEdit *>(Sender);
    const std::optional<int16_t> value = ChangeValue(VKHSettingsTab, edit->Text());
    if (value && value != EditNumber(EditOriginalValue))
        WriteHubEdit(edit, *value, QString::fromLatin1(RangeDataText));
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

void TForm1::WriteSelectedItem(TRadioGroup *group, int32_t address, const QString &logText)
{
    const int item = group->ItemIndex();
    if (item < 0)
        return;
    WriteSingle(HubUnit, address, static_cast<int16_t>(item));
    LogMessage(logText + QString::number(item));
}

void TForm1::EthernetTimeoutActionClick(TComponent *)
{
    WriteSelectedItem(HubSettings->EthernetTimeoutAction, TimeoutActionAddress,
                      QStringLiteral("Ethernet controlling device timeout setting written to VKH 16:110  Val: "));
}

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

void TForm1::LEDTestClick(TComponent *)
{
    WriteSelectedItem(HubSettings->LEDTest, LedTestAddress, QStringLiteral("LED test setting written to VKH 16:205  Val: "));
}

// ---------------------------------------------------------------- the range masks

int16_t TForm1::RangeMask(const QString &boxName) const
{
    int32_t mask = 0;
    for (int r = 1; r <= Ranges; ++r)
        mask = Useful->SetBit(mask, static_cast<uint8_t>(r - 1), Find<TCheckBox>(boxName + QString::number(r))->Checked());
    // Range 16 is the register's bit 15: the pattern is sent as its signed value.
    return static_cast<int16_t>(static_cast<uint16_t>(mask));
}

void TForm1::UserR1MouseUp(TComponent *, Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    WriteSingle(HubUnit, AccessMaskAddress, RangeMask(QStringLiteral("UserR")));
    LogMessage(QStringLiteral("IP Address Range Enable Change"));
}

void TForm1::ControlR1MouseUp(TComponent *, Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    if (Info_V4 < ControlRangesFirmware) {
        MessageDlg(QStringLiteral("The attached unit does not support this function."), TMsgDlgType::mtWarning, TMsgDlgBtn::mbCancel);
        return;
    }
    WriteSingle(HubUnit, ControlMaskAddress, RangeMask(QStringLiteral("ControlR")));
    LogMessage(QStringLiteral("Controlling Device Range Enable Change"));
}

// ---------------------------------------------------------------- buttons

void TForm1::Button42Click(TComponent *)
{
    const int count = Info_V4 < ControlRangesFirmware ? ClearRangesShort : ClearRangesLong;
    WriteBlock(HubUnit, AccessMaskAddress, std::vector<int16_t>(static_cast<size_t>(count), 0));
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
