// The settings file: "Save" writes the hub settings that the window shows into a text
// file of 218 lines; "Load" writes such a file into the attached hub, in one block per
// link (4x1001 to 4x1008 of units 17 to 20) and one hub block (4x106 to 4x208 of unit
// 16), then its identification text.
//
// The file: line 0 is "VelkarHub from Halvern"; then per port 17 lines, then the hub's
// settings, each value on a line of its own after a label line; the two settings maps
// (HubSettingsMap.h, LinkSettingsMap.h) give each register's line. It
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
#include "mainform/HubSettingsMap.h"
#include "mainform/LinkSettingsMap.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/OverviewPage.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"
#include "utilities/TextFiles.h"

using RegisterMap::HubUnit;
using RegisterMap::Links;
using RegisterMap::Handle::FileHubBlock;
using RegisterMap::Handle::FileLinkBlock;
using SettingsMap::Load;

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

// One line of the file: a label line with its fixed text, or a value line with the
// control it is saved from and what a load makes of it.
struct Line {
    enum class Kind : uint8_t {
        Unset, // no table gives the line
        Label, // fixed text, not read
        Value, // a register's value, converted by `load`
        Ident, // the identification text
    };
    Kind kind = Kind::Unset;
    QString label;              // Label
    Load load = Load::None;     // Value
    TControl *control = nullptr;
    int block = 0;              // Value: the block a load writes it into ...
    int word = 0;               // ... its word there ...
    int bit = 0;                // ... and, for Load::RangeBit, its bit
};

using Kind = Line::Kind;

// The lines, in the order of the file: line 0, a heading and the lines of each port
// from the link settings map, "***** General Content *****", the hub's lines from the
// hub settings map, then the identification text under its label.
class FileLayout {
public:
    explicit FileLayout(const TForm1 &f)
    {
        Label(0, FirstLine);
        const RegisterMap::Block &linkBlock = *RegisterMap::Find(FileLinkBlock);
        const int portLines = LastLine(LinkSettingsMap::Rows) + 1; // the heading and the port's lines
        for (int link = 0; link < Links; ++link) {
            const int port = link + 1;
            const int heading = 1 + portLines * link;
            Label(heading, QStringLiteral("***** Quorvane Port %1 *****").arg(port));
            for (const LinkSettingsMap::Row &row : LinkSettingsMap::Rows) {
                const SettingsMap::FileLine &file = row.file;
                if (file.load == Load::None)
                    continue;
                const char *label = port >= 3 && file.labelOnPorts3And4 ? file.labelOnPorts3And4 : file.label;
                if (label)
                    Label(heading + file.line - 1, QString::fromLatin1(label));
                Value(heading + file.line, file.load, f.Find<TControl>(row.Control(port)), link,
                      row.Address() - linkBlock.address);
            }
        }
        Label(1 + portLines * Links, QStringLiteral("***** General Content *****"));
        const RegisterMap::Block &hubBlock = *RegisterMap::Find(FileHubBlock);
        for (const HubSettingsMap::Row &row : HubSettingsMap::Rows) {
            const SettingsMap::FileLine &file = row.file;
            if (file.load == Load::None)
                continue;
            if (file.label)
                Label(file.line - 1, QString::fromLatin1(file.label));
            for (int k = 1; k <= row.count; ++k) {
                // A mask's boxes are the bits of its one register; a run of parts, one
                // register each.
                const bool bits = file.load == Load::RangeBit;
                Value(file.line + k - 1, file.load, f.Find<TControl>(row.Control(k)), HubBlockNumber,
                      row.Address() + (bits ? 0 : k - 1) - hubBlock.address, bits ? k - 1 : 0);
            }
        }
        const int ident = LastLine(HubSettingsMap::Rows) + 1;
        Label(ident, QStringLiteral("***** Ident *****"));
        Put(ident + 1, {Kind::Ident, {}, Load::None, f.Overview->Edit15});
        for (size_t n = 0; n < lines_.size(); ++n)
            if (lines_[n].kind == Kind::Unset)
                throw EListError(QStringLiteral("No table gives line %1 of the settings file").arg(n));
    }

    const std::vector<Line> &Lines() const { return lines_; }

private:
    // The last line of a map's rows, a run's last.
    template <typename Rows>
    static int LastLine(const Rows &rows)
    {
        int last = 0;
        for (const auto &row : rows) {
            int count = 1;
            if constexpr (requires { row.count; })
                count = row.count;
            if (row.file.load != Load::None)
                last = std::max(last, row.file.line + count - 1);
        }
        return last;
    }

    void Label(int line, const QString &text) { Put(line, {Kind::Label, text}); }
    void Value(int line, Load load, TControl *control, int block, int word, int bit = 0)
    {
        Put(line, {Kind::Value, {}, load, control, block, word, bit});
    }
    void Put(int line, Line content)
    {
        if (static_cast<size_t>(line) >= lines_.size())
            lines_.resize(static_cast<size_t>(line) + 1);
        if (lines_[static_cast<size_t>(line)].kind != Kind::Unset)
            throw EListError(QStringLiteral("Two tables give line %1 of the settings file").arg(line));
        lines_[static_cast<size_t>(line)] = std::move(content);
    }

    std::vector<Line> lines_;
};

// ---------------------------------------------------------------- save

// The text of a line as the window shows it now. A baud line holds the index of the
// hub's own code once the link's settings have been read (the group cannot show 57600
// baud and above); before that, the group's item index.
QString SavedText(const Line &line, const TForm1 &f)
{
    if (line.kind == Kind::Label)
        return line.label;
    if (line.load == Load::Baud)
        if (const auto code = f.DecodedBaudCode(static_cast<int16_t>(line.block)))
            return QString::number(TForm1::BaudIndexOf(*code));
    if (auto *edit = dynamic_cast<TEdit *>(line.control))
        return edit->Text();
    if (auto *group = dynamic_cast<TRadioGroup *>(line.control))
        return QString::number(group->ItemIndex());
    const bool ticked = static_cast<TCheckBox *>(line.control)->Checked();
    if (line.load == Load::FixedIP)
        return ticked ? QStringLiteral("true") : QStringLiteral("false");
    return ticked ? QStringLiteral("1") : QStringLiteral("0");
}

// A text that would not come back from the file as it is refuses the whole save: a line
// break would split its line, and a character outside Latin-1 cannot be written.
void CheckSavable(const Line &line, const QString &text, const TForm1 &f)
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

// What a value line writes into its word, by what a load makes of its line.
void ConvertLine(const Line &line, const QString &text, Loaded &loaded)
{
    if (line.kind == Kind::Ident) {
        TForm1::IdentRegisters(text); // refused here when a character does not fit a register
        loaded.ident = text;
        return;
    }
    int16_t &word = loaded.blocks.at(static_cast<size_t>(line.block)).at(static_cast<size_t>(line.word));
    switch (line.load) {
    case Load::None: return;
    case Load::Number: word = Number(text); return;
    case Load::Item: word = ItemIndex(text, static_cast<const TRadioGroup *>(line.control)); return;
    case Load::Baud: word = TForm1::BaudCode(ItemIndex(text, BaudItems, QStringLiteral("Baud Rate"))); return;
    case Load::LinkControl:
        word = static_cast<int16_t>(TForm1::LinkModeOfItem(ItemIndex(text, static_cast<const TRadioGroup *>(line.control))));
        return;
    case Load::FixedIP: word = text == QLatin1String("false") ? 0 : 1; return;
    case Load::RangeBit:
        // Range 16 is the register's bit 15: the pattern is written as its signed value.
        word = static_cast<int16_t>(static_cast<uint16_t>(
            TUtilities::SetBit(static_cast<uint16_t>(word), static_cast<uint8_t>(line.bit), text == QLatin1String("1"))));
        return;
    }
}

// Every value line converted, in the order of the file; the first line that fails stops
// the conversion with its failure. A register of a block that no line gives (the LED
// test in the hub block) is written as 0.
Loaded ConvertFile(const std::vector<Line> &layout, const QStringList &text, int16_t linkCount, int16_t hubCount)
{
    Loaded loaded;
    for (int b = 0; b < Links; ++b)
        loaded.blocks[static_cast<size_t>(b)].assign(static_cast<size_t>(linkCount), 0);
    loaded.blocks[HubBlockNumber].assign(static_cast<size_t>(hubCount), 0);
    for (size_t n = 0; n < layout.size(); ++n) {
        const Line &line = layout[n];
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
    const FileLayout layout(*this);
    for (const Line &line : layout.Lines()) {
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
    const Loaded loaded = ConvertFile(FileLayout(*this).Lines(), text, linkBlock.count, hubBlock.count);

    // Each block on a handle of its own, so that none overwrites another's values.
    for (int link = 0; link < Links; ++link)
        WriteBlock(RegisterMap::LinkUnit(link), linkBlock.address, loaded.blocks[static_cast<size_t>(link)],
                   static_cast<int16_t>(FileLinkBlock + link));
    WriteBlock(HubUnit, hubBlock.address, loaded.blocks[HubBlockNumber], FileHubBlock);
    Overview->Edit15->SetText(loaded.ident);
    Overview->Button38->Click();
}
