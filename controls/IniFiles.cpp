#include "controls/IniFiles.h"

#include "controls/Controls.h"
#include "utilities/Exceptions.h"
#include "utilities/TextFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <sys/stat.h>

namespace Utf7 {
namespace {
const char *const kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Characters written as themselves: RFC 2152's directly encoded set (letters, digits,
// '(),-./:? and blank, tab, CR, LF) and its optional direct set (!"#$%&*;<=>@[]^_`{|}).
// '+' starts a coded run; '\\' and '~' are always coded.
bool IsDirect(QChar c)
{
    const ushort u = c.unicode();
    if (u > 127)
        return false;
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
        return true;
    if (u == ' ' || u == '\t' || u == '\r' || u == '\n')
        return true;
    return QByteArray("'(),-./:?!\"#$%&*;<=>@[]^_`{|}").contains(static_cast<char>(u));
}

int Base64Value(QChar c)
{
    const ushort u = c.unicode();
    if (u >= 'A' && u <= 'Z') return u - 'A';
    if (u >= 'a' && u <= 'z') return u - 'a' + 26;
    if (u >= '0' && u <= '9') return u - '0' + 52;
    if (u == '+') return 62;
    if (u == '/') return 63;
    return -1;
}
} // namespace

QString Encode(const QString &text)
{
    QString out;
    int i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == QLatin1Char('+')) {
            out += QLatin1String("+-");
            ++i;
        } else if (IsDirect(c)) {
            out += c;
            ++i;
        } else {
            // A run of characters as base64 of their UTF-16 big-endian units.
            out += QLatin1Char('+');
            quint32 bits = 0;
            int nbits = 0;
            while (i < text.size() && !IsDirect(text[i]) && text[i] != QLatin1Char('+')) {
                bits = (bits << 16) | text[i].unicode();
                nbits += 16;
                while (nbits >= 6) {
                    nbits -= 6;
                    out += QLatin1Char(kBase64[(bits >> nbits) & 0x3F]);
                }
                ++i;
            }
            if (nbits > 0)
                out += QLatin1Char(kBase64[(bits << (6 - nbits)) & 0x3F]);
            out += QLatin1Char('-');
        }
    }
    return out;
}

QString Decode(const QString &text)
{
    QString out;
    int i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c != QLatin1Char('+')) {
            out += c;
            ++i;
            continue;
        }
        ++i;
        if (i < text.size() && text[i] == QLatin1Char('-')) {
            out += QLatin1Char('+');
            ++i;
            continue;
        }
        quint32 bits = 0;
        int nbits = 0;
        while (i < text.size()) {
            const int v = Base64Value(text[i]);
            if (v < 0)
                break;
            bits = (bits << 6) | static_cast<quint32>(v);
            nbits += 6;
            if (nbits >= 16) {
                nbits -= 16;
                out += QChar(static_cast<ushort>((bits >> nbits) & 0xFFFF));
            }
            ++i;
        }
        if (i < text.size() && text[i] == QLatin1Char('-'))
            ++i; // the '-' that ends a base64 run belongs to it
    }
    return out;
}
} // namespace Utf7

namespace {
const QString kUtf7Prefix = QStringLiteral("UTF7-coded:");

bool FitsLatin1(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

bool IsSection(QStringView line, QString *name)
{
    const QStringView t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
        return false;
    *name = t.mid(1, t.size() - 2).trimmed().toString();
    return true;
}

bool KeyOf(const QString &line, QString *key, QString *value)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0 || QStringView(line).trimmed().startsWith(QLatin1Char(';')))
        return false;
    *key = line.left(eq).trimmed();
    *value = line.mid(eq + 1);
    return true;
}

// What the value part of a key line reads as: trimmed, unquoted, UTF-7 decoded.
QString ValueOf(QString v)
{
    v = v.trimmed();
    if (v.size() >= 2 && ((v.startsWith('"') && v.endsWith('"')) || (v.startsWith('\'') && v.endsWith('\''))))
        v = v.mid(1, v.size() - 2);
    if (v.startsWith(kUtf7Prefix))
        v = Utf7::Decode(v.mid(kUtf7Prefix.size()));
    return v;
}

// Names are matched character by character without regard to letter case (simple case
// folding, as the comparison of two names does).
QString Folded(QStringView name)
{
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name[i].unicode(), name[i + 1].unicode());
            ++i;
        }
        c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c)) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(static_cast<char16_t>(c));
        }
    }
    return out;
}

enum class Encoding { Latin1, Utf8, Utf16LE, Utf16BE };
enum class End : quint8 { None, Lf, CrLf };

// The file as it stands on disk, enough to tell that it changed since it was read.
struct Stamp {
    bool exists = false;
    qint64 size = 0;
    qint64 modified = 0; // ns
    quint64 inode = 0;
    quint64 device = 0;
    bool operator==(const Stamp &) const = default;
};

Stamp StampOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true, static_cast<qint64>(st.st_size), static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<quint64>(st.st_ino), static_cast<quint64>(st.st_dev)};
}
} // namespace

// The file's lines, grouped by section, with the bytes they were read from.
class TIniFileStore::Contents {
public:
    static std::unique_ptr<Contents> Load(const QString &path);

    // The line that a read of the key finds: the first of that name in the first section
    // of that name that has it. Null when there is none.
    const QString *Find(const QString &section, const QString &key) const;
    // Replaces the value of the line found, unless it reads as the value already; adds
    // the key after the last key of the first section of that name, or in a new
    // section at the end of the file.
    void Set(const QString &section, const QString &key, const QString &value);
    // Replaces the file with the lines; throws EFCreateError. On failure this object no
    // longer matches the file and must be dropped.
    void Save(const QString &path);

    Stamp stamp;

private:
    struct Line {
        QString text;        // without its end
        qsizetype from = -1; // its bytes (without the end) in bytes_; -1 once the text is changed
        qsizetype size = 0;
        End end = End::None;
    };
    struct Section {
        std::vector<Line> lines; // the header first, except for the lines before the first section
        // The first line of each key name (folded), and the last key line (or the header);
        // worked out at the first look-up.
        mutable QHash<QString, int> keys;
        mutable int lastKey = 0;
        mutable bool indexed = false;
        void Index() const;
        int Find(const QString &foldedKey) const;
    };

    void AddLine(qsizetype from, qsizetype size, End end);
    QString Decode(qsizetype from, qsizetype size) const;
    QByteArray Encode(QStringView text) const;
    std::pair<int, int> Locate(const QString &section, const QString &key) const;
    // The section that holds the file's last line; null for an empty file.
    Section *LastFilled();
    // A line that something now follows gets the file's line end.
    void Ended(Line &line) const
    {
        if (line.end == End::None)
            line.end = end_;
    }

    QByteArray bytes_;
    qsizetype bom_ = 0; // bytes of the byte-order mark
    Encoding encoding_ = Encoding::Latin1;
    End end_ = End::CrLf; // the file's line end: that of its first line that has one
    bool endSeen_ = false;
    std::vector<Section> sections_{Section{}}; // [0]: the lines before the first section
    QHash<QString, std::vector<int>> byName_;  // folded name: its sections in file order
};

std::unique_ptr<TIniFileStore::Contents> TIniFileStore::Contents::Load(const QString &path)
{
    auto c = std::make_unique<Contents>();
    c->stamp = StampOf(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return c;
    c->bytes_ = file.readAll();
    const QByteArray &b = c->bytes_;
    if (b.startsWith("\xEF\xBB\xBF")) {
        c->encoding_ = Encoding::Utf8;
        c->bom_ = 3;
    } else if (b.startsWith("\xFF\xFE")) {
        c->encoding_ = Encoding::Utf16LE;
        c->bom_ = 2;
    } else if (b.startsWith("\xFE\xFF")) {
        c->encoding_ = Encoding::Utf16BE;
        c->bom_ = 2;
    }
    // Lines end at LF or CR LF; a CR alone is part of the line.
    const bool wide = c->encoding_ == Encoding::Utf16LE || c->encoding_ == Encoding::Utf16BE;
    const qsizetype unit = wide ? 2 : 1;
    const bool bigEndian = c->encoding_ == Encoding::Utf16BE;
    auto at = [&](qsizetype i) -> char16_t {
        if (!wide)
            return static_cast<uchar>(b[i]);
        const auto lo = static_cast<uchar>(b[bigEndian ? i + 1 : i]), hi = static_cast<uchar>(b[bigEndian ? i : i + 1]);
        return static_cast<char16_t>(hi << 8 | lo);
    };
    const qsizetype whole = b.size() - (b.size() - c->bom_) % unit; // an odd last byte stays with the last line
    qsizetype start = c->bom_;
    for (qsizetype i = start; i < whole; i += unit) {
        if (at(i) != u'\n')
            continue;
        const bool crlf = i - unit >= start && at(i - unit) == u'\r';
        c->AddLine(start, i - start - (crlf ? unit : 0), crlf ? End::CrLf : End::Lf);
        start = i + unit;
    }
    if (start < b.size())
        c->AddLine(start, b.size() - start, End::None);
    return c;
}

QString TIniFileStore::Contents::Decode(qsizetype from, qsizetype size) const
{
    const char *p = bytes_.constData() + from;
    switch (encoding_) {
    case Encoding::Latin1:
        return QString::fromLatin1(p, size);
    case Encoding::Utf8:
        return QString::fromUtf8(p, size);
    case Encoding::Utf16LE:
    case Encoding::Utf16BE:
        break;
    }
    QString text(size / 2, Qt::Uninitialized);
    const bool bigEndian = encoding_ == Encoding::Utf16BE;
    for (qsizetype k = 0; k < text.size(); ++k) {
        const auto first = static_cast<uchar>(p[2 * k]), second = static_cast<uchar>(p[2 * k + 1]);
        text[k] = QChar(static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first));
    }
    return text;
}

QByteArray TIniFileStore::Contents::Encode(QStringView text) const
{
    switch (encoding_) {
    case Encoding::Latin1:
        return text.toLatin1();
    case Encoding::Utf8:
        return text.toUtf8();
    case Encoding::Utf16LE:
    case Encoding::Utf16BE:
        break;
    }
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    const bool bigEndian = encoding_ == Encoding::Utf16BE;
    for (qsizetype k = 0; k < text.size(); ++k) {
        const char16_t u = text[k].unicode();
        out[2 * k + (bigEndian ? 1 : 0)] = static_cast<char>(u & 0xFF);
        out[2 * k + (bigEndian ? 0 : 1)] = static_cast<char>(u >> 8);
    }
    return out;
}

void TIniFileStore::Contents::AddLine(qsizetype from, qsizetype size, End end)
{
    Line line{Decode(from, size), from, size, end};
    if (!endSeen_ && end != End::None) {
        end_ = end;
        endSeen_ = true;
    }
    QString name;
    if (IsSection(line.text, &name)) {
        byName_[Folded(name)].push_back(static_cast<int>(sections_.size()));
        sections_.emplace_back();
    }
    sections_.back().lines.push_back(std::move(line));
}

void TIniFileStore::Contents::Section::Index() const
{
    if (indexed)
        return;
    for (int i = 1; i < static_cast<int>(lines.size()); ++i) {
        QString key, value;
        if (!KeyOf(lines[static_cast<size_t>(i)].text, &key, &value))
            continue;
        const QString folded = Folded(key);
        if (!keys.contains(folded)) // a later line of the same name is never read
            keys.insert(folded, i);
        lastKey = i;
    }
    indexed = true;
}

int TIniFileStore::Contents::Section::Find(const QString &foldedKey) const
{
    Index();
    return keys.value(foldedKey, -1);
}

std::pair<int, int> TIniFileStore::Contents::Locate(const QString &section, const QString &key) const
{
    const auto named = byName_.constFind(Folded(section));
    if (named == byName_.cend())
        return {-1, -1};
    const QString folded = Folded(key);
    for (int s : *named)
        if (const int line = sections_[static_cast<size_t>(s)].Find(folded); line >= 0)
            return {s, line};
    return {-1, -1};
}

const QString *TIniFileStore::Contents::Find(const QString &section, const QString &key) const
{
    const auto [s, line] = Locate(section, key);
    return s < 0 ? nullptr : &sections_[static_cast<size_t>(s)].lines[static_cast<size_t>(line)].text;
}

TIniFileStore::Contents::Section *TIniFileStore::Contents::LastFilled()
{
    for (auto s = sections_.rbegin(); s != sections_.rend(); ++s)
        if (!s->lines.empty())
            return &*s;
    return nullptr;
}

void TIniFileStore::Contents::Set(const QString &section, const QString &key, const QString &value)
{
    const QString stored = FitsLatin1(value) ? value : kUtf7Prefix + Utf7::Encode(value);
    if (const auto [s, at] = Locate(section, key); s >= 0) {
        Line &line = sections_[static_cast<size_t>(s)].lines[static_cast<size_t>(at)];
        QString k, v;
        KeyOf(line.text, &k, &v);
        if (ValueOf(v) == value)
            return;
        // Only the value changes; the key keeps the spelling it has in the file.
        line.text = k + QLatin1Char('=') + stored;
        line.from = -1;
        return;
    }
    const QString entry = key + QLatin1Char('=') + stored;
    if (const auto named = byName_.constFind(Folded(section)); named != byName_.cend()) {
        // After the section's last key: only lines that are no keys follow it, so the
        // places of the section's keys stay as they are.
        Section &target = sections_[static_cast<size_t>(named->front())];
        target.Index();
        const int at = target.lastKey + 1;
        Ended(target.lines[static_cast<size_t>(at - 1)]);
        target.lines.insert(target.lines.begin() + at, Line{entry, -1, 0, end_});
        target.keys.insert(Folded(key), at);
        target.lastKey = at;
        return;
    }
    // A new section at the end, after a blank line.
    if (Section *last = LastFilled()) {
        Ended(last->lines.back());
        if (!QStringView(last->lines.back().text).trimmed().isEmpty())
            last->lines.push_back(Line{QString(), -1, 0, end_});
    }
    byName_[Folded(section)].push_back(static_cast<int>(sections_.size()));
    Section &added = sections_.emplace_back();
    added.lines.push_back(Line{QLatin1Char('[') + section + QLatin1Char(']'), -1, 0, end_});
    added.lines.push_back(Line{entry, -1, 0, end_});
}

void TIniFileStore::Contents::Save(const QString &path)
{
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\"").arg(path));
    const QByteArray lf = Encode(u"\n"), crlf = Encode(u"\r\n");
    QByteArray out;
    out.reserve(bytes_.size() + 4096);
    out += bytes_.left(bom_);
    for (Section &section : sections_)
        for (Line &line : section.lines) {
            const qsizetype from = out.size();
            if (line.from >= 0)
                out.append(bytes_.constData() + line.from, line.size);
            else
                out += Encode(line.text);
            line.from = from;
            line.size = out.size() - from;
            if (line.end != End::None)
                out += line.end == End::CrLf ? crlf : lf;
        }
    TextFiles::SaveBytes(path, out, TextFiles::Replace::Atomic);
    bytes_ = out;
    stamp = StampOf(path);
}

TIniFileStore::TIniFileStore() = default;
TIniFileStore::~TIniFileStore() = default;

void TIniFileStore::SetFileName(const QString &fileName)
{
    fileName_ = fileName;
    contents_.reset();
}

void TIniFileStore::Open() { contents_ = Contents::Load(fileName_); }

void TIniFileStore::Close() { contents_.reset(); }

TIniFileStore::Contents &TIniFileStore::Current() const
{
    if (!contents_ || !(contents_->stamp == StampOf(fileName_)))
        contents_ = Contents::Load(fileName_);
    return *contents_;
}

QString TIniFileStore::ReadString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const QString *line = Current().Find(section, key);
    QString k, v;
    if (!line || !KeyOf(*line, &k, &v))
        return defaultValue;
    return ValueOf(v);
}

void TIniFileStore::WriteString(const QString &section, const QString &key, const QString &value)
{
    WriteStrings(section, {{key, value}});
}

void TIniFileStore::WriteStrings(const QString &section, const Values &values)
{
    Contents &contents = Current();
    for (const auto &[key, value] : values)
        contents.Set(section, key, value);
    try {
        contents.Save(fileName_);
    } catch (...) {
        // The file is as it was: read it again at the next call.
        contents_.reset();
        throw;
    }
}

void TComponentState::AddText(TEdit *edit)
{
    entries_.push_back({edit->Name() + QStringLiteral(".Text"), false, [edit] { return edit->Text(); },
                        [edit](const QString &v) { edit->SetText(v); }});
}

void TComponentState::AddChecked(TCheckBox *box)
{
    entries_.push_back({box->Name() + QStringLiteral(".Checked"), true,
                        [box] { return box->Checked() ? QStringLiteral("True") : QStringLiteral("False"); },
                        [box](const QString &v) { box->SetChecked(v.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0); }});
}

void TComponentState::AddChecked(TRadioButton *button)
{
    entries_.push_back({button->Name() + QStringLiteral(".Checked"), true,
                        [button] { return button->Checked() ? QStringLiteral("True") : QStringLiteral("False"); },
                        [button](const QString &v) { button->SetChecked(v.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0); }});
}

void TComponentState::RestoreState(const TIniFileStore &store, const QString &section) const
{
    for (const Entry &e : entries_) {
        try {
            const QString value = store.ReadString(section, e.key, e.get()).trimmed();
            if (e.isCheck && value.compare(QLatin1String("True"), Qt::CaseInsensitive) != 0 &&
                value.compare(QLatin1String("False"), Qt::CaseInsensitive) != 0)
                continue;
            e.set(value);
        } catch (const std::exception &) {
            // A value that cannot be set is skipped; the others are still restored.
        }
    }
}

void TComponentState::SaveState(TIniFileStore &store, const QString &section) const
{
    TIniFileStore::Values values;
    values.reserve(entries_.size());
    for (const Entry &e : entries_)
        values.emplace_back(e.key, e.get().trimmed());
    store.WriteStrings(section, values);
}
