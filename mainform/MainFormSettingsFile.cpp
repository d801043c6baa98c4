// The settings file: "Save" writes the hub settings that the window shows into a text
// file of 218 lines; "Load" writes such a file into the attached hub, in one block per
// link (4x1001 to 4x1008 of units 17 to 20) and one hub block (4x106 to 4x208 of unit
// 16), then its identification text.
//
// The file: line 0 is "VelkarHub from Halvern"; then per port 17 lines, then the hub's
// settings, each value on a line of its own after a label line (the layout below). It
// is written in Latin-1 (the program's 8-bit code page) without a byte-order mark,
// every line ended by CR LF; it is read with CR LF, LF or CR line ends, and in UTF-8 or
// UTF-16 when it begins with such a byte-order mark. Only line 0 of the label lines is
// checked.
//
// A load is all or nothing: every line is converted before anything is sent, and a line
// that fails (missing, not a number, outside a register, an index outside its group)
// stops the load at that line with nothing written; so does a file that cannot be read
// to its end or is far larger than the format. The hub block always covers 4x106 to
// 4x208, whatever the hub's firmware; its word 101 (4x207, the LED test) is written as 0.
// A save stores a link's baud rate as the hub reports it, and refuses a rate that the
// file cannot hold.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/HubSettingsPage.h"
#include "mainform/pages/OverviewPage.h"
#include "mainform/pages/PortPage.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"
#include "utilities/TextFiles.h"

using RegisterMap::HubUnit;
using RegisterMap::Links;
using RegisterMap::Handle::FileHubBlock;
using RegisterMap::Handle::FileLinkBlock;

namespace {

const QString FirstLine = QStringLiteral("VelkarHub from Halvern");
const QString Filter = QStringLiteral("Text file|*.txt|All Files|*.*");
const QString SaveDefaultExt = QStringLiteral("txt");
const QString OpenDefaultExt = QStringLiteral(".txt");
const QString NotExpected = QStringLiteral("This file is not as I expected it to be, I will not use it.");

// The largest file a load reads. The format's longest file (its labels, every number at
// six characters, the identification at 15, in UTF-16 with a byte-order mark and CR LF)
// has under 4,500 bytes; this leaves fourteen times that for longer texts and for lines
// after the last, which a load ignores. A larger file is not read at all (reading
// megabytes would freeze the window for seconds), and nothing is sent.
constexpr qint64 MaxFileBytes = 64 * 1024;

constexpr int HubBlockNumber = Links; // the blocks: 0 to 3 the links, 4 the hub
constexpr int LedTestWord = 101;      // of the hub block: always 0
constexpr int FirstAddressWord = 8;   // the fixed address, then the router and the mask
constexpr int AccessMaskWord = 20;
constexpr int FirstRangeWord = 21;    // range value k goes to word 20 + k
constexpr int ControlMaskWord = 102;
constexpr int RangeValues = 80;
constexpr int Ranges = 16;

// One line of the file: a label line with its fixed text, or a value line with the
// control it is saved from and what a load makes of it.
struct FileLine {
    enum class Kind : uint8_t {
        Label,       // fixed text, not read
        Number,      // a register's signed value: an edit's text, or "1"/"0" for a box
        Item,        // an item index of the control's group, written as it is
        Baud,        // a "Baud Rate" item index 0 to 10, written as its baud code
        LinkControl, // a link-control item index, written as the hub's link mode
        FixedIP,     // "true"/"false": 0 for exactly "false", 1 for any other text
        RangeBit,    // "1"/"0": bit `bit` of the word set for exactly "1"
        Ident,       // the identification text
    };
    Kind kind;
    QString label;              // Label
    TControl *control = nullptr;
    int block = 0;              // the block a load writes the value into (not the identification)
    int word = 0;
    int bit = 0;                // RangeBit
};

using Kind = FileLine::Kind;

// A value line of a block after its label line.
struct Field {
    QString label;
    Kind kind;
    TControl *control;
};

// The 218 lines, in the order of the file.
std::vector<FileLine> FileLayout(const TForm1 &f)
{
    std::vector<FileLine> lines;
    const auto label = [&](const QString &text) { lines.push_back({Kind::Label, text}); };
    const auto value = [&](Kind kind, TControl *control, int block, int word, int bit = 0) {
        lines.push_back({kind, {}, control, block, word, bit});
    };
    // Fields of one block, each after its label, into the block's words from `word` on.
    const auto fields = [&](std::initializer_list<Field> list, int block, int word) {
        for (const Field &field : list) {
            label(field.label);
            value(field.kind, field.control, block, word++);
        }
    };
    label(FirstLine);
    for (int link = 0; link < Links; ++link) {
        const LinkSettingsGroup &g = f.Ports[static_cast<size_t>(link)]->LinkSettings;
        label(QStringLiteral("***** Quorvane Port %1 *****").arg(link + 1));
        fields({{link < 2 ? QStringLiteral("Link Number") : QStringLiteral("Link Number:"), Kind::Number, g.Link},
                {QStringLiteral("Baud"), Kind::Baud, g.Baud},
                {QStringLiteral("First QV"), Kind::Number, g.First},
                {QStringLiteral("Last QV"), Kind::Number, g.Last},
                {QStringLiteral("Conflict"), Kind::Item, g.ConfigConflict},
                {QStringLiteral("No Reply"), Kind::Number, g.Noreply},
                {QStringLiteral("Fast Command Broadcast"), Kind::Number, g.FastBroad},
                {QStringLiteral("Input Data Size"), Kind::Item, g.InputDataSize}},
               link, 0);
    }
    const HubSettingsPage &s = *f.HubSettings;
    const int hub = HubBlockNumber;
    label(QStringLiteral("***** General Content *****"));
    for (int link = 0; link < Links; ++link)
        fields({{QStringLiteral("***** Link %1 Control *****").arg(link + 1), Kind::LinkControl, s.LinkControl[static_cast<size_t>(link)]}},
               hub, link);
    fields({{QStringLiteral("Modbus Port"), Kind::Number, s.IP_Port},
            {QStringLiteral("Ethernet Timeout"), Kind::Number, s.IPTimeout},
            {QStringLiteral("Ethernet Timeout Action"), Kind::Item, s.EthernetTimeoutAction},
            {QStringLiteral("Define IP Address"), Kind::FixedIP, s.CheckBox1}},
           hub, Links);
    const std::pair<const char *, std::array<TEdit *, 4>> addresses[] = {
        {"IP Address", {s.IP1, s.IP2, s.IP3, s.IP4}},
        {"Router IP Address", {s.edtRouter1, s.edtRouter2, s.edtRouter3, s.edtRouter4}},
        {"Subnet mask", {s.edtMask1, s.edtMask2, s.edtmask3, s.edtMask4}},
    };
    int word = FirstAddressWord;
    for (const auto &[caption, parts] : addresses) {
        label(QString::fromLatin1(caption));
        for (TEdit *part : parts)
            value(Kind::Number, part, hub, word++);
    }
    label(QStringLiteral("***** IP Ranges *****"));
    for (int k = 1; k <= RangeValues; ++k)
        value(Kind::Number, f.Find<TEdit>(QStringLiteral("Range%1").arg(k)), hub, FirstRangeWord + k - 1);
    const std::pair<const char *, std::pair<const char *, int>> masks[] = {
        {"***** IP Range use *****", {"UserR", AccessMaskWord}},
        {"***** PLC Control Range use *****", {"ControlR", ControlMaskWord}},
    };
    for (const auto &[caption, boxes] : masks) {
        label(QString::fromLatin1(caption));
        for (int r = 1; r <= Ranges; ++r)
            value(Kind::RangeBit, f.Find<TCheckBox>(QString::fromLatin1(boxes.first) + QString::number(r)), hub, boxes.second, r - 1);
    }
    label(QStringLiteral("***** Ident *****"));
    value(Kind::Ident, f.Overview->Edit15, -1, -1);
    return lines;
}

// ---------------------------------------------------------------- save

// The text of a line as the window shows it now. A baud line holds the index of the
// hub's own code once the link's settings have been read (the group cannot show 57600
// baud and above); before that, the group's item index.
QString SavedText(const FileLine &line, const TForm1 &f)
{
    if (line.kind == Kind::Label)
        return line.label;
    if (line.kind == Kind::Baud)
        if (const auto code = f.DecodedBaudCode(static_cast<int16_t>(line.block)))
            return QString::number(TForm1::BaudIndexOf(*code));
    if (auto *edit = dynamic_cast<TEdit *>(line.control))
        return edit->Text();
    if (auto *group = dynamic_cast<TRadioGroup *>(line.control))
        return QString::number(group->ItemIndex());
    const bool ticked = static_cast<TCheckBox *>(line.control)->Checked();
    if (line.kind == Kind::FixedIP)
        return ticked ? QStringLiteral("true") : QStringLiteral("false");
    return ticked ? QStringLiteral("1") : QStringLiteral("0");
}

// A text that would not come back from the file as it is refuses the whole save: a line
// break would split its line, and a character outside Latin-1 cannot be written.
void CheckSavable(const FileLine &line, const QString &text, const TForm1 &f)
{
    const QString what = line.control == f.Overview->Edit15 ? QStringLiteral("the identification text")
                                                            : QStringLiteral("the text of ") + line.control->Name();
    for (const QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            throw EConvertError(QStringLiteral("The settings file was not saved: %1 holds a line break, which a line of the file "
                                               "cannot hold")
                                    .arg(what));
        if (c.unicode() > 0xFF)
            throw EConvertError(QStringLiteral("The settings file was not saved: %1 holds the character U+%2, which the "
                                               "file's code page (Latin-1) cannot hold")
                                    .arg(what, Convert::Hex16(c.unicode(), 4)));
    }
}

// A link whose hub reports a baud code that is none of the file's baud rates: that
// rate cannot be saved, and another one must never be. Nothing for none.
std::optional<QString> UnsavableBaud(const TForm1 &f)
{
    for (int16_t link = 0; link < Links; ++link)
        if (const auto code = f.DecodedBaudCode(link); code && TForm1::BaudIndexOf(*code) < 0)
            return QStringLiteral("The settings file was not saved.\r\nPort %1 of the hub reports baud code %2, which is none of "
                                  "the baud rates a settings file can hold.")
                .arg(link + 1)
                .arg(*code);
    return std::nullopt;
}

// ---------------------------------------------------------------- load

// The five blocks of a load and its identification text.
struct Loaded {
    std::array<std::vector<int16_t>, Links + 1> blocks;
    QString ident;
};

// A failure while converting a line, with the line's number as a text editor counts
// them (the first line is line 1).
QString AtLine(const QString &message, int line)
{
    return message + QStringLiteral(" (line %1 of the settings file)").arg(line + 1);
}

QString MissingLine(int line, qsizetype lines)
{
    return QStringLiteral("The settings file ends before line %1: it has %2 lines").arg(line + 1).arg(lines);
}

int16_t Number(const QString &text) { return Convert::ToInt16(Convert::StrToInt(text)); }

// An item index of a group; an index outside its items fails like a number outside
// its register, so a saved "-1" (no item chosen) is never written.
int16_t ItemIndex(const QString &text, qsizetype items, const QString &group)
{
    const int16_t index = Number(text);
    if (index < 0 || index >= items)
        throw ERangeError(QStringLiteral("Range check error: %1 is not an item of \"%2\" (0 to %3)").arg(index).arg(group).arg(items - 1));
    return index;
}

int16_t ItemIndex(const QString &text, const TRadioGroup *group) { return ItemIndex(text, group->Items().size(), group->Caption()); }

// A baud item index: the group shows items 0 to 7, the hub takes the codes of 0 to 10.
constexpr int BaudItems = 11;

// What a value line writes into its word, by the line's kind.
void ConvertLine(const FileLine &line, const QString &text, Loaded &loaded)
{
    if (line.kind == Kind::Ident) {
        TForm1::IdentRegisters(text); // refused here when a character does not fit a register
        loaded.ident = text;
        return;
    }
    int16_t &word = loaded.blocks.at(static_cast<size_t>(line.block)).at(static_cast<size_t>(line.word));
    switch (line.kind) {
    case Kind::Label:
    case Kind::Ident: return;
    case Kind::Number: word = Number(text); return;
    case Kind::Item: word = ItemIndex(text, static_cast<const TRadioGroup *>(line.control)); return;
    case Kind::Baud: word = TForm1::BaudCode(ItemIndex(text, BaudItems, QStringLiteral("Baud Rate"))); return;
    case Kind::LinkControl:
        word = static_cast<int16_t>(TForm1::LinkModeOfItem(ItemIndex(text, static_cast<const TRadioGroup *>(line.control))));
        return;
    case Kind::FixedIP: word = text == QLatin1String("false") ? 0 : 1; return;
    case Kind::RangeBit:
        // Range 16 is the register's bit 15: the pattern is written as its signed value.
        word = static_cast<int16_t>(static_cast<uint16_t>(
            TUtilities::SetBit(static_cast<uint16_t>(word), static_cast<uint8_t>(line.bit), text == QLatin1String("1"))));
        return;
    }
}

// Every value line converted, in the order of the file; the first line that fails stops
// the conversion with its failure.
Loaded ConvertFile(const std::vector<FileLine> &layout, const QStringList &text, int16_t linkCount, int16_t hubCount)
{
    Loaded loaded;
    for (int b = 0; b < Links; ++b)
        loaded.blocks[static_cast<size_t>(b)].assign(static_cast<size_t>(linkCount), 0);
    loaded.blocks[HubBlockNumber].assign(static_cast<size_t>(hubCount), 0);
    for (size_t n = 0; n < layout.size(); ++n) {
        const FileLine &line = layout[n];
        if (line.kind == Kind::Label)
            continue;
        const int number = static_cast<int>(n);
        if (number >= text.size())
            throw EListError(MissingLine(number, text.size()));
        try {
            ConvertLine(line, text.at(number), loaded);
        } catch (const EConvertError &e) {
            throw EConvertError(AtLine(e.Message(), number));
        } catch (const ERangeError &e) {
            throw ERangeError(AtLine(e.Message(), number));
        }
    }
    loaded.blocks[HubBlockNumber][LedTestWord] = 0;
    return loaded;
}

} // namespace

void TForm1::Button25Click(TComponent *)
{
    const QString path = SaveFileName(Filter, SaveDefaultExt, OpenDialog1FileName);
    if (path.isEmpty())
        return;
    // Results keep arriving while the dialog is open: the state is checked as it is now.
    if (const auto refusal = UnsavableBaud(*this)) {
        MessageDlg(*refusal, TMsgDlgType::mtError, TMsgDlgBtn::mbOK);
        return;
    }
    QStringList lines;
    for (const FileLine &line : FileLayout(*this)) {
        const QString text = SavedText(line, *this);
        if (line.kind != Kind::Label)
            CheckSavable(line, text, *this);
        lines << text;
    }
    // Through a temporary file renamed over the old one: a save that fails keeps the file
    // that was there.
    TextFiles::Save(path, lines, QStringConverter::Latin1, false, TextFiles::Replace::Atomic);
    OpenDialog1FileName = path;
}

void TForm1::Button26Click(TComponent *)
{
    const QString path = OpenFileName(Filter, OpenDefaultExt, OpenDialog1FileName);
    if (path.isEmpty())
        return;
    const std::optional<TextFiles::Content> content = TextFiles::LoadAtMost(path, MaxFileBytes);
    if (!content)
        throw EInOutError(QStringLiteral("The file \"%1\" is larger than %2 bytes, far larger than a settings file can be: "
                                         "it was not loaded")
                              .arg(path)
                              .arg(MaxFileBytes));
    const QStringList &text = content->lines;
    if (text.isEmpty())
        throw EListError(MissingLine(0, 0));
    if (text.first() != FirstLine) {
        MessageDlg(NotExpected, TMsgDlgType::mtError, TMsgDlgBtn::mbOK);
        return;
    }
    const RegisterMap::Block &linkBlock = *RegisterMap::Find(FileLinkBlock);
    const RegisterMap::Block &hubBlock = *RegisterMap::Find(FileHubBlock);
    const Loaded loaded = ConvertFile(FileLayout(*this), text, linkBlock.count, hubBlock.count);

    // Each block on a handle of its own, so that none overwrites another's values.
    for (int link = 0; link < Links; ++link)
        WriteBlock(RegisterMap::LinkUnit(link), linkBlock.address, loaded.blocks[static_cast<size_t>(link)],
                   static_cast<int16_t>(FileLinkBlock + link));
    WriteBlock(HubUnit, hubBlock.address, loaded.blocks[HubBlockNumber], FileHubBlock);
    Overview->Edit15->SetText(loaded.ident);
    Overview->Button38->Click();
}
