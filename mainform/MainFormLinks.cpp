// The links' settings (handles 17 to 20) and statistics (handles 27 to 30) on the port
// pages, the writes of the link settings and the resets of the link counters.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "mainform/pages/PortPage.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"

#include <QScopeGuard>
#include <algorithm>
#include <utility>

using namespace ConfigConst;
using RegisterMap::Handle::LinkSettings;
using RegisterMap::Handle::LinkStatistics;

namespace {

// The elements of a link's row of QVLinkSettings.
enum Element : int {
    PortNumber = 0,
    LinkNumber = 1,
    Baud = 2,
    FirstAddress = 3,
    LastAddress = 4,
    Expected = 5, // no register: last - first + 1, computed with the statistics
    ConfigConflict = 6,
    NoReply = 7,
    FastBroadcast = 8,
    InputData = 9,
};

// The word of the settings block that an element holds (Expected holds none).
constexpr int WordOf(int element) { return element < Expected ? element : element - 1; }
constexpr int SettingsWords = WordOf(InputData) + 1;

// The zero-based address of an element's register.
int32_t AddressOf(int element) { return RegisterMap::Find(LinkSettings)->address + WordOf(element); }

// The baud table: the hub's code (baud rate / 100) of each "Baud Rate" item index. The
// groups offer items 0 to 7; 8 to 10 (57600, 115200 and 128000 baud) come only from a
// settings file.
constexpr std::array<int16_t, 11> BaudCodes{3, 6, 12, 24, 48, 96, 192, 384, 576, 1152, 1280};

// Shows a decoded value with `set`. When that changes what the control shows, the
// control's click handling runs as for the operator's choice, but only if `writesBack`:
// a value that the control can show only approximately (an index above its last item,
// a broadcast word other than 0 or 1) is shown and never written back to the hub as
// another value.
template <typename Control, typename Set>
void ShowDecoded(Control *control, bool writesBack, Set set)
{
    if (writesBack) {
        set();
        return;
    }
    const TNotifyEvent handler = std::exchange(control->OnClick, TNotifyEvent{});
    const auto restore = qScopeGuard([&] { control->OnClick = handler; });
    set();
}

// A radio group's item by a decoded index, which the click handling writes back as the
// selected index: only an index that is one of the items round-trips.
void ShowDecodedIndex(TRadioGroup *group, int16_t index)
{
    ShowDecoded(group, index < group->Items().size(), [&] { group->SetItemIndex(index); });
}

// The exit family's fields, in LinkField order: largest value, error box text, and the
// start of the log line.
struct ExitRule {
    int16_t maximum;
    const char *message;
    const char *logged;
    bool logsRegister; // the log line names the register (Tag + 1)
};
constexpr ExitRule ExitRules[] = {
    {15, "Quorvane Link Number invlalid\r\nValue must be between 0 and 15", "Link number", false},
    {99, "Quorvane Address invlalid\r\nValue must be between 0 and 99", "Setting", true},
    {255, "Timeout Number invlalid\r\nValue must be between 0 and 255", "Control Timeout", true},
};

// A text as a signed 16-bit number; nothing for a text that is not an integer or lies
// outside -32768 to 32767.
std::optional<int16_t> Int16Of(const QString &text)
{
    const auto value = Convert::TryStrToInt(text);
    if (!value || *value < INT16_MIN || *value > INT16_MAX)
        return std::nullopt;
    return static_cast<int16_t>(*value);
}

size_t LinkIndex(int16_t link)
{
    if (link < 0 || link >= RegisterMap::Links)
        throw ERangeError(QStringLiteral("Range check error: link index %1").arg(link));
    return static_cast<size_t>(link);
}

} // namespace

// ---------------------------------------------------------------- link settings

int16_t TForm1::BaudCode(int16_t ItemIndex)
{
    if (ItemIndex < 0 || ItemIndex >= static_cast<int>(BaudCodes.size()))
        throw ERangeError(QStringLiteral("Range check error: baud rate item %1 has no code").arg(ItemIndex));
    return BaudCodes[static_cast<size_t>(ItemIndex)];
}

int TForm1::BaudIndexOf(int16_t Code)
{
    const auto *found = std::find(BaudCodes.begin(), BaudCodes.end(), Code);
    return found == BaudCodes.end() ? -1 : static_cast<int>(found - BaudCodes.begin());
}

std::optional<int16_t> TForm1::DecodedBaudCode(int16_t Link) const
{
    const size_t l = LinkIndex(Link);
    if (!BaudDecoded[l])
        return std::nullopt;
    return QVLinkSettings[l][Baud];
}

void TForm1::DecodeLinkSettings(int16_t Link)
{
    const size_t l = LinkIndex(Link);
    const auto handle = static_cast<int16_t>(LinkSettings + Link);
    // A short read (Button7) carries fewer words, also when its result comes after the
    // handle was defined again with all nine: the words beyond it in the control's buffer
    // are older and are neither stored nor shown.
    const int words = std::clamp<int>(Mbaxp1.ResultCount(handle), 0, SettingsWords);
    const auto fresh = [words](int element) { return WordOf(element) < words; };

    auto &settings = QVLinkSettings[l];
    for (int element = PortNumber; element <= InputData; ++element)
        if (element != Expected && fresh(element))
            settings[static_cast<size_t>(element)] = Mbaxp1.Get_Register(handle, static_cast<int16_t>(WordOf(element)));
    if (fresh(Baud))
        BaudDecoded[l] = true;
    const auto value = [&settings](int element) { return settings[static_cast<size_t>(element)]; };

    LinkSettingsGroup &g = Ports[l]->LinkSettings;
    if (fresh(PortNumber))
        g.Port->SetText(QString::number(value(PortNumber)));
    // An edit that has the focus keeps what the operator is typing.
    for (const auto &[edit, element] : {std::pair{g.Link, LinkNumber}, std::pair{g.First, FirstAddress},
                                        std::pair{g.Last, LastAddress}, std::pair{g.Noreply, NoReply}})
        if (fresh(element) && ActiveControl() != edit)
            edit->SetText(QString::number(value(element)));

    if (fresh(ConfigConflict))
        ShowDecodedIndex(g.ConfigConflict, value(ConfigConflict));
    if (fresh(FastBroadcast)) {
        const int16_t broadcast = value(FastBroadcast);
        ShowDecoded(g.FastBroad, broadcast == 0 || broadcast == 1, [&] { g.FastBroad->SetChecked(broadcast != 0); });
    }
    if (fresh(InputData)) {
        try {
            ShowDecodedIndex(g.InputDataSize, value(InputData));
        } catch (const std::exception &) {
            g.InputDataSize->SetItemIndex(-1);
        }
    }
    if (fresh(Baud)) {
        // A code that none of the group's items shows (57600 baud and above, 0, negative
        // or any other) leaves the group without a selection rather than showing another
        // rate; clearing a selection runs no click handling, so nothing is written.
        const int index = BaudIndexOf(value(Baud));
        g.Baud->SetItemIndex(index < g.Baud->Items().size() ? index : -1);
    }
}

void TForm1::WriteLinkSelection(TComponent *Sender, int Element, int Value, const QString &What)
{
    if (!PortTab)
        return;
    const auto unit = static_cast<int16_t>(static_cast<TControl *>(Sender)->Tag);
    WriteSingle(unit, AddressOf(Element), static_cast<int16_t>(Value));
    LogMessage(What + QStringLiteral(" written to VKH Station Address: ") + QString::number(unit) + QStringLiteral(" Val: ") +
               QString::number(Value));
}

void TForm1::QVL1BaudClick(TComponent *Sender)
{
    const int index = static_cast<TRadioGroup *>(Sender)->ItemIndex();
    if (index >= 0 && index < static_cast<int>(BaudCodes.size()))
        WriteLinkSelection(Sender, Baud, BaudCodes[static_cast<size_t>(index)], QStringLiteral("Baud rate"));
}

void TForm1::QVL1ConfigConflictClick(TComponent *Sender)
{
    const int index = static_cast<TRadioGroup *>(Sender)->ItemIndex();
    if (index >= 0)
        WriteLinkSelection(Sender, ConfigConflict, index, QStringLiteral("Config conflict setting"));
}

void TForm1::QVL1InputDataSizeClick(TComponent *Sender)
{
    const int index = static_cast<TRadioGroup *>(Sender)->ItemIndex();
    if (index >= 0)
        WriteLinkSelection(Sender, InputData, index, QStringLiteral("Input data size"));
}

void TForm1::QVL1FastBroadClick(TComponent *Sender)
{
    WriteLinkSelection(Sender, FastBroadcast, static_cast<TCheckBox *>(Sender)->Checked() ? 1 : 0,
                       QStringLiteral("Fast Broadcast setting"));
}

void TForm1::QVL1LinkEnter(TComponent *Sender)
{
    // Also bound to the hub settings page's IPTimeout, so it asks nothing but an edit.
    if (const auto *edit = dynamic_cast<const TEdit *>(Sender))
        EditOriginalValue = edit->Text();
}

void TForm1::LinkSettingExit(TComponent *Sender, int Port, LinkField Field)
{
    if (!PortTab)
        return;
    auto *edit = static_cast<TEdit *>(Sender);
    const ExitRule &rule = ExitRules[static_cast<size_t>(Field)];
    const auto value = Int16Of(edit->Text());
    const auto original = Int16Of(EditOriginalValue);
    if (!value || !original)
        return;
    if (*value < 0 || *value > rule.maximum) {
        MessageDlg(QString::fromLatin1(rule.message), TMsgDlgType::mtError, TMsgDlgBtn::mbOK);
        edit->SetText(EditOriginalValue);
        return;
    }
    if (*value == *original)
        return;
    WriteSingle(RegisterMap::LinkUnit(Port - 1), edit->Tag, *value);
    QString text = QString::fromLatin1(rule.logged) + QStringLiteral(" written to VKH Port ") + QString::number(Port);
    if (rule.logsRegister)
        text += QStringLiteral(" Address: ") + QString::number(edit->Tag + 1) + QStringLiteral(" Val: ");
    else
        text += QStringLiteral(": ");
    LogMessage(text + QString::number(*value));
}

void TForm1::QVL1LinkExit(TComponent *Sender) { LinkSettingExit(Sender, 1, LinkField::Link); }
void TForm1::QVL1FirstExit(TComponent *Sender) { LinkSettingExit(Sender, 1, LinkField::Address); }
void TForm1::QVL1NoreplyExit(TComponent *Sender) { LinkSettingExit(Sender, 1, LinkField::Noreply); }
void TForm1::QVL2LinkExit(TComponent *Sender) { LinkSettingExit(Sender, 2, LinkField::Link); }
void TForm1::QVL2FirstExit(TComponent *Sender) { LinkSettingExit(Sender, 2, LinkField::Address); }
void TForm1::QVL2NoreplyExit(TComponent *Sender) { LinkSettingExit(Sender, 2, LinkField::Noreply); }
void TForm1::QVL3LinkExit(TComponent *Sender) { LinkSettingExit(Sender, 3, LinkField::Link); }
void TForm1::QVL3FirstExit(TComponent *Sender) { LinkSettingExit(Sender, 3, LinkField::Address); }
void TForm1::QVL3NoreplyExit(TComponent *Sender) { LinkSettingExit(Sender, 3, LinkField::Noreply); }
void TForm1::QVL4LinkExit(TComponent *Sender) { LinkSettingExit(Sender, 4, LinkField::Link); }
void TForm1::QVL4FirstExit(TComponent *Sender) { LinkSettingExit(Sender, 4, LinkField::Address); }
void TForm1::QVL4LastExit(TComponent *Sender) { LinkSettingExit(Sender, 4, LinkField::Address); }
void TForm1::QVL4NoreplyExit(TComponent *Sender) { LinkSettingExit(Sender, 4, LinkField::Noreply); }

// ---------------------------------------------------------------- link statistics

void TForm1::DecodeLinkStatistics(int16_t Link)
{
    const size_t l = LinkIndex(Link);
    const auto handle = static_cast<int16_t>(LinkStatistics + Link);
    const auto word = [this, handle](int16_t index) { return Mbaxp1.Get_Register(handle, index); };

    TQVStatistics &s = QVStatistics[l];
    s.ConfigStatus = word(0);
    s.CRCErrorCount = word(4);
    s.LastCRCErrorAddress = word(5);
    s.TimeoutCount = word(6);
    s.LastTimeoutAddress = word(7);
    s.RespondingCount = word(8);
    s.LastScanTime = word(9);
    s.AverageScanTime = word(10);
    s.MaxScanTime = word(11);
    const auto high = static_cast<uint16_t>(word(3));
    const auto low = static_cast<uint16_t>(word(2));
    s.TransmissionCount = int64_t{high} * 65536 + low;

    const auto twoLines = [](const char *name, const QString &value) {
        return QString::fromLatin1(name) + QStringLiteral(": \r\n   ") + value;
    };
    const auto withLast = [](int16_t count, const char *what, int16_t last) {
        return QString::number(count) + QStringLiteral("    (") + QString::fromLatin1(what) + QStringLiteral(": ") +
               QString::number(last) + QLatin1Char(')');
    };

    LinkInfoGroup &g = Ports[l]->LinkInfo;
    if (s.ConfigStatus < 0 || s.ConfigStatus >= static_cast<int>(LinkConfigStatusTexts.size()))
        throw ERangeError(QStringLiteral("Range check error: link configuration status %1 of port %2 has no text")
                              .arg(s.ConfigStatus)
                              .arg(l + 1));
    g.LinkConfigStatus->SetCaption(
        twoLines("Link Configuration Status", QString::fromLatin1(LinkConfigStatusTexts[static_cast<size_t>(s.ConfigStatus)])));
    g.TransCount->SetCaption(twoLines("Transmission Count", QString::number(s.TransmissionCount)));
    g.CRCError->SetCaption(twoLines("CRC Errors", withLast(s.CRCErrorCount, "Last Quorvane", s.LastCRCErrorAddress)));
    g.Timeouts->SetCaption(twoLines("Timeout Errors", withLast(s.TimeoutCount, "Last Quorvane", s.LastTimeoutAddress)));

    auto &settings = QVLinkSettings[l];
    const int32_t expected = int32_t{settings[LastAddress]} - settings[FirstAddress] + 1;
    settings[Expected] = Convert::ToInt16(expected);

    g.Responds->SetCaption(twoLines("Units Responding", withLast(s.RespondingCount, "Number Expected", settings[Expected])));
    g.LastScan->SetCaption(twoLines("Last Scan Time (ms)", QString::number(s.LastScanTime)));
    g.AverageScan->SetCaption(twoLines("Average Scan Time (ms)", QString::number(s.AverageScanTime)));
    g.MaxScan->SetCaption(twoLines("Maximum Scan Time (ms)", QString::number(s.MaxScanTime)));
}

void TForm1::ResetLinkCounter(TComponent *Sender, int Port)
{
    WriteSingle(RegisterMap::LinkUnit(Port - 1), static_cast<TControl *>(Sender)->Tag - 1, 0);
}

void TForm1::ResetTransmissionCount(TComponent *Sender, int Port)
{
    // The low and the high word of the 32-bit count, in one write.
    WriteBlock(RegisterMap::LinkUnit(Port - 1), static_cast<TControl *>(Sender)->Tag - 1, {0, 0});
}

void TForm1::CRCError1Click(TComponent *Sender) { ResetLinkCounter(Sender, 1); }
void TForm1::CRCError2Click(TComponent *Sender) { ResetLinkCounter(Sender, 2); }
void TForm1::CRCError3Click(TComponent *Sender) { ResetLinkCounter(Sender, 3); }
void TForm1::CRCError4Click(TComponent *Sender) { ResetLinkCounter(Sender, 4); }
void TForm1::TransCount1Click(TComponent *Sender) { ResetTransmissionCount(Sender, 1); }
void TForm1::TransCount2Click(TComponent *Sender) { ResetTransmissionCount(Sender, 2); }
void TForm1::TransCount3Click(TComponent *Sender) { ResetTransmissionCount(Sender, 3); }
void TForm1::TransCount4Click(TComponent *Sender) { ResetTransmissionCount(Sender, 4); }
