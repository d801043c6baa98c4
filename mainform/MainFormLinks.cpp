// The links' settings (handles 17 to 20) and statistics (handles 27 to 30) on the port
// pages, the writes of the link settings and the resets of the link counters.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "mainform/LinkSettingsMap.h"
#include "mainform/pages/PortPage.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"

#include <algorithm>

using namespace ConfigConst;
using LinkSettingsMap::Rule;
using RegisterMap::Handle::LinkSettings;
using RegisterMap::Handle::LinkStatistics;

namespace {

// The element of a link's row of QVLinkSettings that holds a control's register.
int ElementOf(const char *control) { return LinkSettingsMap::Named(QString::fromLatin1(control)).Element(); }

// The baud table: the hub's code (baud rate / 100) of each "Baud Rate" item index. The
// groups offer items 0 to 7; 8 to 10 (57600, 115200 and 128000 baud) come only from a
// settings file.
constexpr std::array<int16_t, 11> BaudCodes{3, 6, 12, 24, 48, 96, 192, 384, 576, 1152, 1280};

// A radio group's item by a decoded index. When that changes the selection, the click
// handling runs as for the operator's choice and writes the selected index back, so it
// runs only for an index that is one of the items: an index above the last item shows
// the last item and is never written back to the hub as another value.
void ShowDecodedIndex(TRadioGroup *group, int16_t index)
{
    const auto set = [&] { group->SetItemIndex(index); };
    if (index < group->Items().size())
        set();
    else
        SetWithoutClickHandling(*group, set);
}

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
    return QVLinkSettings[l][static_cast<size_t>(ElementOf("Baud"))];
}

void TForm1::DecodeLinkSettings(int16_t Link)
{
    const size_t l = LinkIndex(Link);
    const auto handle = static_cast<int16_t>(LinkSettings + Link);
    // A short read (Button7) carries fewer words, also when its result comes after the
    // handle was defined again with all nine: the words beyond it in the control's buffer
    // are older and are neither stored nor shown.
    const int words = std::clamp<int>(Mbaxp1.ResultCount(handle), 0, LinkSettingsMap::Words);
    const auto fresh = [words](const LinkSettingsMap::Row &row) { return row.Word() < words; };

    auto &settings = QVLinkSettings[l];
    for (const LinkSettingsMap::Row &row : LinkSettingsMap::Rows) {
        if (!fresh(row))
            continue;
        settings[static_cast<size_t>(row.Element())] = Mbaxp1.Get_Register(handle, row.Word());
        if (row.rule == Rule::Baud)
            BaudDecoded[l] = true;
    }

    // On the link's port page, whatever page is shown.
    const int port = Link + 1;
    for (const LinkSettingsMap::Row &row : LinkSettingsMap::Rows) {
        if (!fresh(row))
            continue;
        const int16_t value = settings[static_cast<size_t>(row.Element())];
        const QString name = row.Control(port);
        switch (row.rule) {
        case Rule::Shown: Find<TEdit>(name)->SetText(QString::number(value)); break;
        case Rule::Exit: {
            // An edit that has the focus keeps what the operator is typing.
            auto *edit = Find<TEdit>(name);
            if (!edit->Focused())
                edit->SetText(QString::number(value));
            break;
        }
        case Rule::Item: {
            auto *group = Find<TRadioGroup>(name);
            if (!row.clearedOnFailure) {
                ShowDecodedIndex(group, value);
                break;
            }
            try {
                ShowDecodedIndex(group, value);
            } catch (const std::exception &) {
                group->SetItemIndex(-1);
            }
            break;
        }
        case Rule::Box: {
            // A broadcast word other than 0 or 1 ticks the box without its click
            // handling, so that it is never written back to the hub as 1.
            auto *box = Find<TCheckBox>(name);
            const auto set = [&] { box->SetChecked(value != 0); };
            if (value == 0 || value == 1)
                set();
            else
                SetWithoutClickHandling(*box, set);
            break;
        }
        case Rule::Baud: {
            // A code that none of the group's items shows (57600 baud and above, 0,
            // negative or any other) leaves the group without a selection rather than
            // showing another rate; clearing a selection runs no click handling, so
            // nothing is written.
            auto *group = Find<TRadioGroup>(name);
            const int index = BaudIndexOf(value);
            group->SetItemIndex(index < group->Items().size() ? index : -1);
            break;
        }
        }
    }
}

void TForm1::WriteLinkSelection(TComponent *Sender, int Value)
{
    if (!PortTab)
        return;
    const LinkSettingsMap::Row &row = LinkSettingsMap::OfControl(Sender->Name());
    const auto unit = static_cast<int16_t>(Sender->Tag);
    WriteSingle(unit, row.Address(), static_cast<int16_t>(Value));
    LogMessage(QString::fromLatin1(row.logged) + QStringLiteral(" written to VKH Station Address: ") + QString::number(unit) +
               QStringLiteral(" Val: ") + QString::number(Value));
}

void TForm1::QVL1BaudClick(TComponent *Sender)
{
    const int index = static_cast<TRadioGroup *>(Sender)->ItemIndex();
    if (index >= 0 && index < static_cast<int>(BaudCodes.size()))
        WriteLinkSelection(Sender, BaudCodes[static_cast<size_t>(index)]);
}

void TForm1::QVL1ConfigConflictClick(TComponent *Sender)
{
    const int index = static_cast<TRadioGroup *>(Sender)->ItemIndex();
    if (index >= 0)
        WriteLinkSelection(Sender, index);
}

void TForm1::QVL1InputDataSizeClick(TComponent *Sender)
{
    const int index = static_cast<TRadioGroup *>(Sender)->ItemIndex();
    if (index >= 0)
        WriteLinkSelection(Sender, index);
}

void TForm1::QVL1FastBroadClick(TComponent *Sender) { WriteLinkSelection(Sender, static_cast<TCheckBox *>(Sender)->Checked() ? 1 : 0); }

void TForm1::QVL1LinkEnter(TComponent *Sender)
{
    // Also bound to the hub settings page's IPTimeout, so it asks nothing but an edit.
    if (const auto *edit = dynamic_cast<const TEdit *>(Sender))
        EditOriginalValue = edit->Text();
}

void TForm1::LinkSettingExit(TComponent *Sender, int Port)
{
    if (!PortTab)
        return;
    auto *edit = static_cast<TEdit *>(Sender);
    const LinkSettingsMap::ExitRule *rule = LinkSettingsMap::OfControl(edit->Name()).exit;
    const auto value = Int16Of(edit->Text());
    const auto original = Int16Of(EditOriginalValue);
    if (!rule || !value || !original)
        return;
    if (*value < 0 || *value > rule->maximum) {
        MessageDlg(QString::fromLatin1(rule->message), TMsgDlgType::mtError, TMsgDlgBtn::mbOK);
        edit->SetText(EditOriginalValue);
        return;
    }
    if (*value == *original)
        return;
    WriteSingle(RegisterMap::LinkUnit(Port - 1), edit->Tag, *value);
    QString text = QString::fromLatin1(rule->logged) + QStringLiteral(" written to VKH Port ") + QString::number(Port);
    if (rule->logsRegister)
        text += QStringLiteral(" Address: ") + QString::number(edit->Tag + 1) + QStringLiteral(" Val: ");
    else
        text += QStringLiteral(": ");
    LogMessage(text + QString::number(*value));
}

void TForm1::QVL1LinkExit(TComponent *Sender) { LinkSettingExit(Sender, 1); }
void TForm1::QVL1FirstExit(TComponent *Sender) { LinkSettingExit(Sender, 1); }
void TForm1::QVL1NoreplyExit(TComponent *Sender) { LinkSettingExit(Sender, 1); }
void TForm1::QVL2LinkExit(TComponent *Sender) { LinkSettingExit(Sender, 2); }
void TForm1::QVL2FirstExit(TComponent *Sender) { LinkSettingExit(Sender, 2); }
void TForm1::QVL2NoreplyExit(TComponent *Sender) { LinkSettingExit(Sender, 2); }
void TForm1::QVL3LinkExit(TComponent *Sender) { LinkSettingExit(Sender, 3); }
void TForm1::QVL3FirstExit(TComponent *Sender) { LinkSettingExit(Sender, 3); }
void TForm1::QVL3NoreplyExit(TComponent *Sender) { LinkSettingExit(Sender, 3); }
void TForm1::QVL4LinkExit(TComponent *Sender) { LinkSettingExit(Sender, 4); }
void TForm1::QVL4FirstExit(TComponent *Sender) { LinkSettingExit(Sender, 4); }
void TForm1::QVL4LastExit(TComponent *Sender) { LinkSettingExit(Sender, 4); }
void TForm1::QVL4NoreplyExit(TComponent *Sender) { LinkSettingExit(Sender, 4); }

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
    const auto element = [&settings](int e) -> int16_t & { return settings[static_cast<size_t>(e)]; };
    const int32_t expected = int32_t{element(ElementOf("Last"))} - element(ElementOf("First")) + 1;
    int16_t &expectedCount = element(LinkSettingsMap::ExpectedElement);
    expectedCount = Convert::ToInt16(expected);

    g.Responds->SetCaption(twoLines("Units Responding", withLast(s.RespondingCount, "Number Expected", expectedCount)));
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
