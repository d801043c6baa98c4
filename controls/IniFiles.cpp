#include "controls/IniFiles.h"

#include "controls/Controls.h"
#include "utilities/Exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

bool IsSection(const QString &line, QString *name)
{
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
        return false;
    *name = t.mid(1, t.size() - 2).trimmed();
    return true;
}

bool KeyOf(const QString &line, QString *key, QString *value)
{
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0 || line.trimmed().startsWith(QLatin1Char(';')))
        return false;
    *key = line.left(eq).trimmed();
    *value = line.mid(eq + 1);
    return true;
}
} // namespace

QStringList TIniFileStore::ReadLines() const
{
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromLatin1(file.readAll());
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString TIniFileStore::ReadString(const QString &section, const QString &key, const QString &defaultValue) const
{
    QString current;
    bool inSection = false;
    for (const QString &line : ReadLines()) {
        QString name, k, v;
        if (IsSection(line, &name)) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
        } else if (inSection && KeyOf(line, &k, &v) && k.compare(key, Qt::CaseInsensitive) == 0) {
            v = v.trimmed();
            if (v.size() >= 2 && ((v.startsWith('"') && v.endsWith('"')) || (v.startsWith('\'') && v.endsWith('\''))))
                v = v.mid(1, v.size() - 2);
            if (v.startsWith(kUtf7Prefix))
                v = Utf7::Decode(v.mid(kUtf7Prefix.size()));
            return v;
        }
    }
    return defaultValue;
}

void TIniFileStore::WriteString(const QString &section, const QString &key, const QString &value)
{
    const QString stored = FitsLatin1(value) ? value : kUtf7Prefix + Utf7::Encode(value);
    QStringList lines = ReadLines();
    int sectionLine = -1, lastKeyLine = -1, keyLine = -1;
    QString existingKey;
    for (int i = 0; i < lines.size(); ++i) {
        QString name, k, v;
        if (IsSection(lines[i], &name)) {
            if (sectionLine >= 0 && keyLine < 0)
                break; // past the end of our section
            if (name.compare(section, Qt::CaseInsensitive) == 0) {
                sectionLine = i;
                lastKeyLine = i;
            }
        } else if (sectionLine >= 0 && KeyOf(lines[i], &k, &v)) {
            lastKeyLine = i;
            if (k.compare(key, Qt::CaseInsensitive) == 0) {
                keyLine = i;
                existingKey = k;
                break;
            }
        }
    }
    const QString entry = key + QLatin1Char('=') + stored;
    if (keyLine >= 0) {
        // Only the value changes; the key keeps the spelling it has in the file.
        lines[keyLine] = existingKey + QLatin1Char('=') + stored;
    } else if (sectionLine >= 0) {
        lines.insert(lastKeyLine + 1, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines << QString();
        lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    }
    QSaveFile file(fileName_);
    file.setDirectWriteFallback(true);
    if (!QFileInfo(QFileInfo(fileName_).absolutePath()).isDir() || !file.open(QIODevice::WriteOnly))
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\"").arg(fileName_));
    file.write((lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toLatin1());
    if (!file.commit())
        throw EFCreateError(QStringLiteral("Cannot write file \"%1\"").arg(fileName_));
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
    for (const Entry &e : entries_)
        store.WriteString(section, e.key, e.get().trimmed());
}
