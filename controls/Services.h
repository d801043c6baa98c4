#pragma once
// What the window needs of the desktop besides its controls, each behind an interface
// so that window tests run on scripted stand-ins: message and input boxes, file
// dialogs, the shell and clipboard, and the clock.
#include <QDateTime>
#include <QString>

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };

// Buttons of a message box, combined with |.
namespace TMsgDlgBtn {
constexpr int mbYes = 1;
constexpr int mbNo = 2;
constexpr int mbOK = 4;
constexpr int mbCancel = 8;
} // namespace TMsgDlgBtn

// What a message box returns: the button pressed.
namespace TModalResult {
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;
} // namespace TModalResult

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // A modal box with a type, a text and a set of buttons; returns the button pressed.
    virtual int MessageDlg(const QString &text, TMsgDlgType type, int buttons) = 0;
    // A modal input box; returns the typed text, or initial when cancelled.
    virtual QString InputBox(const QString &caption, const QString &prompt, const QString &initial) = 0;
    // File dialogs: filter in the form "Text file|*.txt|All Files|*.*"; return the chosen
    // file, or an empty text when cancelled.
    virtual QString SaveFileName(const QString &filter, const QString &defaultExt, const QString &initialFile) = 0;
    virtual QString OpenFileName(const QString &filter, const QString &defaultExt, const QString &initialFile) = 0;
};

// A filter of the form "Text file|*.txt|All Files|*.*" as the desktop's file dialog
// takes it: "Text file (*.txt);;All Files (*)". "*.*" stands for every file, also one
// whose name has no dot.
QString QtFileFilter(const QString &filter);

class IShell {
public:
    virtual ~IShell() = default;
    // Opens a document or web address with the desktop's default program.
    virtual void Open(const QString &target) = 0;
    virtual void SetClipboardText(const QString &text) = 0;
};

class IClock {
public:
    virtual ~IClock() = default;
    // The local date and time, to the millisecond.
    virtual QDateTime Now() const = 0;
    // Blocks the calling (GUI) thread: no events, no timers, no repaint meanwhile.
    virtual void Sleep(int milliseconds) = 0;
};

// The desktop implementations.
class QtDialogs : public IDialogs {
public:
    int MessageDlg(const QString &text, TMsgDlgType type, int buttons) override;
    QString InputBox(const QString &caption, const QString &prompt, const QString &initial) override;
    QString SaveFileName(const QString &filter, const QString &defaultExt, const QString &initialFile) override;
    QString OpenFileName(const QString &filter, const QString &defaultExt, const QString &initialFile) override;
};

class QtShell : public IShell {
public:
    void Open(const QString &target) override;
    void SetClipboardText(const QString &text) override;
};

class SystemClock : public IClock {
public:
    // The local date and time, as a fixed offset from UTC that follows the time zone's
    // offset (taken afresh every minute).
    QDateTime Now() const override;
    void Sleep(int milliseconds) override;

private:
    mutable qint64 offsetMinute_ = -1;
    mutable int offsetSeconds_ = 0;
};
