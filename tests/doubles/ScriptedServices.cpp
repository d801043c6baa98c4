#include "ScriptedServices.h"

int ScriptedDialogs::MessageDlg(const QString &text, TMsgDlgType type, int buttons)
{
    shown.push_back({Shown::What::Message, text, type, buttons, {}, {}, {}});
    if (onShown)
        onShown(shown.back());
    if (!messageAnswers.empty()) {
        const int answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    if (buttons & TMsgDlgBtn::mbNo)
        return TModalResult::mrNo;
    if (buttons & TMsgDlgBtn::mbOK)
        return TModalResult::mrOk;
    return TModalResult::mrCancel;
}

QString ScriptedDialogs::InputBox(const QString &caption, const QString &prompt, const QString &initial)
{
    shown.push_back({Shown::What::Input, prompt, TMsgDlgType::mtInformation, 0, caption, initial, {}});
    if (onShown)
        onShown(shown.back());
    if (!inputAnswers.empty()) {
        const std::optional<QString> answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer.value_or(initial);
    }
    return initial;
}

QString ScriptedDialogs::SaveFileName(const QString &filter, const QString &defaultExt, const QString &initialFile)
{
    shown.push_back({Shown::What::SaveFile, {}, TMsgDlgType::mtInformation, 0, filter, initialFile, defaultExt});
    if (fileAnswers.empty())
        return {};
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::OpenFileName(const QString &filter, const QString &defaultExt, const QString &initialFile)
{
    shown.push_back({Shown::What::OpenFile, {}, TMsgDlgType::mtInformation, 0, filter, initialFile, defaultExt});
    if (fileAnswers.empty())
        return {};
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

TestClock::TestClock() : now(QDate(2026, 3, 7), QTime(14, 5, 9, 5)) {}

void TestClock::Sleep(int milliseconds)
{
    sleeps.push_back(milliseconds);
    if (onSleep)
        onSleep(milliseconds);
    Advance(milliseconds);
}
