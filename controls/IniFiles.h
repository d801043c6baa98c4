#pragma once
// A profile (INI) file of sections and "key=value" lines, read and written like the
// desktop's profile functions: section and key names match without regard to letter
// case, values are read with surrounding blanks removed. A value with a character
// outside Latin-1 is stored as "UTF7-coded:" followed by its UTF-7 form and decoded when
// read.
//
// The file is read once, at the first call after Open() (or at the first read or write),
// and read again only when it has changed on disk since. Each write replaces the file
// once, atomically: a temporary file beside it is renamed over it, so a failed write
// leaves the old file as it was. The file keeps its encoding (8-bit Latin-1 text, or
// UTF-8 or UTF-16 after a byte-order mark), its line ends and the order of its lines;
// lines that a write does not change keep their bytes, and a key written with the value
// it already reads is not touched. The folder is never created: writing into a missing
// folder fails with EFCreateError.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class TEdit;
class TCheckBox;
class TRadioButton;

namespace Utf7 {
QString Encode(const QString &text);
QString Decode(const QString &text);
} // namespace Utf7

class TIniFileStore {
public:
    using Values = std::vector<std::pair<QString, QString>>; // key, value

    TIniFileStore();
    ~TIniFileStore();
    TIniFileStore(const TIniFileStore &) = delete;
    TIniFileStore &operator=(const TIniFileStore &) = delete;

    void SetFileName(const QString &fileName);
    const QString &FileName() const { return fileName_; }
    // Reads the file (a missing or unreadable file reads as empty).
    void Open();
    // Forgets what was read.
    void Close();

    QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const;
    void WriteString(const QString &section, const QString &key, const QString &value);
    // Writes the keys of one section in this order, then the file once.
    void WriteStrings(const QString &section, const Values &values);

private:
    class Contents;
    Contents &Current() const;
    QString fileName_;
    mutable std::unique_ptr<Contents> contents_;
};

// The listed control properties, restored from and saved to one section, one key per
// property ("Edit1.Text", "RadioButton1.Checked"), in the order they were added.
class TComponentState {
public:
    void AddText(TEdit *edit);
    void AddChecked(TCheckBox *box);
    void AddChecked(TRadioButton *button);

    // Reads each key with the control's current value as default, trimmed, and sets the
    // property; a check mark that is neither "True" nor "False" (any letter case), or a
    // value that cannot be set, is skipped and the rest goes on.
    void RestoreState(const TIniFileStore &store, const QString &section) const;
    // Writes every key in order, and the file once: texts trimmed, check marks as "True"
    // or "False". A failing write ends the save with its failure.
    void SaveState(TIniFileStore &store, const QString &section) const;

private:
    struct Entry {
        QString key;
        bool isCheck;
        std::function<QString()> get;
        std::function<void(const QString &)> set;
    };
    std::vector<Entry> entries_;
};
