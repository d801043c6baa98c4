#pragma once
// A profile (INI) file of sections and "key=value" lines, read and written like the
// desktop's profile functions: section and key names match without regard to letter
// case, values are read with surrounding blanks removed, and every write goes to the
// file at once. The file is 8-bit text in Latin-1; a value with a character outside
// Latin-1 is stored as "UTF7-coded:" followed by its UTF-7 form and decoded when read.
// The folder is never created: writing into a missing folder fails with EFCreateError.
#include <QString>
#include <QStringList>
#include <functional>
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
    void SetFileName(const QString &fileName) { fileName_ = fileName; }
    const QString &FileName() const { return fileName_; }
    void Open() { open_ = true; }
    void Close() { open_ = false; }
    bool IsOpen() const { return open_; }

    QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const;
    void WriteString(const QString &section, const QString &key, const QString &value);

private:
    QStringList ReadLines() const;
    QString fileName_;
    bool open_ = false;
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
    // Writes every key in order: texts trimmed, check marks as "True" or "False".
    // A failing write ends the save with its failure.
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
