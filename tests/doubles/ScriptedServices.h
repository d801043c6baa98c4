#pragma once
// Scripted boxes, shell and clock for window tests: each records what the window asked
// for and answers what the test set.
#include "controls/Services.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class ScriptedDialogs : public IDialogs {
public:
    struct Shown {
        enum class What { Message, Input, SaveFile, OpenFile } what;
        QString text;        // message text, or input prompt
        TMsgDlgType type = TMsgDlgType::mtInformation;
        int buttons = 0;
        QString caption;     // input box caption, or file filter
        QString initial;     // input box initial text, or the initial file
        QString defaultExt;  // a file box's default extension
    };
    int MessageDlg(const QString &text, TMsgDlgType type, int buttons) override;
    QString InputBox(const QString &caption, const QString &prompt, const QString &initial) override;
    QString SaveFileName(const QString &filter, const QString &defaultExt, const QString &initialFile) override;
    QString OpenFileName(const QString &filter, const QString &defaultExt, const QString &initialFile) override;

    std::vector<Shown> shown;
    // Runs when a box is shown, before it is answered.
    std::function<void(const Shown &)> onShown;
    // Answers in order. Without one: a box with No answers No, else OK (or Cancel);
    // an input box is cancelled (gives its initial text); a file box is cancelled.
    std::deque<int> messageAnswers;
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<QString> fileAnswers;
};

class ScriptedShell : public IShell {
public:
    void Open(const QString &target) override { opened.push_back(target); }
    void SetClipboardText(const QString &text) override { clipboard = text; }
    std::vector<QString> opened;
    QString clipboard;
};

class TestClock : public IClock {
public:
    TestClock();
    QDateTime Now() const override { return now; }
    // A pause advances the time without waiting (and runs onSleep first).
    void Sleep(int milliseconds) override;
    void Advance(int milliseconds) { now = now.addMSecs(milliseconds); }
    QDateTime now;
    std::vector<int> sleeps;
    std::function<void(int milliseconds)> onSleep;
};
