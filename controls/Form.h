#pragma once
// A top-level window that owns its controls, finds them by name, and drives the
// window-wide rules:
//  - Enter and exit: the form remembers its active control, the one the operator is in.
//    When the operator moves the focus to another control of this window, the old
//    control's exit runs, then the new one's enter. Focus going to a box of the program
//    or to another application changes nothing: the active control stays the one the
//    operator is in, and coming back to it runs nothing. Closing the window runs no exit.
//  - A focus move caused by a change the program makes to the window (a page it shows,
//    a control it hides or disables), also one made while another window is active, is
//    not the operator leaving the focused control: its exit does not run, so that a
//    value the operator was still typing is not taken as finished. The control's typing
//    ends unfinished instead (TControl::DoLeaveUnfinished). The control that gets the
//    focus is entered as usual.
//  - FinishTyping (Return in an edit): the active control's exit runs, then its enter
//    again; the focus stays where it is.
//  - Activation: OnActivate runs when the window is first shown and again after each
//    box of the program (message, input or file box) has closed, when the window takes
//    the focus back. Switching to another application and back runs nothing.
//  - F1 opens the help at the focused control's help keyword or context (its own, or
//    the nearest container's).
//  - StopEvents: from then on no event of the window, its controls or its timers runs a
//    handler, the activation included. The destruction stops them before it lets the
//    event loop run (to send the writes still waiting), so that no handler runs inside it.
#include "controls/Controls.h"
#include "controls/Services.h"

#include <QHash>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

class QWidget;

class TForm : public TComponent {
    Q_OBJECT
public:
    TForm(const QString &name, IDialogs &dialogs);
    ~TForm() override;

    QWidget *Window() const { return window_; }
    // The container that fills the window; controls are created inside it.
    TPanel *Client() const { return client_; }

    QString Caption() const;
    void SetCaption(const QString &caption);
    void Show();
    // Asks the window to close; OnCloseQuery may refuse.
    void Close();
    bool Closed() const { return closed_; }
    void StopEvents() { eventsStopped_ = true; }
    bool EventsStopped() const override { return eventsStopped_; }

    TComponent *FindComponent(const QString &name) const;
    // The component of that name and type; throws EListError when there is none.
    template <typename T>
    T *Find(const QString &name) const
    {
        if (auto *c = dynamic_cast<T *>(FindComponent(name)))
            return c;
        ThrowNotFound(name);
        return nullptr;
    }
    // Every component of the window of that type, in the order they were created.
    template <typename T>
    std::vector<T *> ComponentsOf() const
    {
        std::vector<T *> found;
        for (const auto &c : components_)
            if (auto *t = dynamic_cast<T *>(c.get()))
                found.push_back(t);
        return found;
    }
    TControl *ActiveControl() const { return active_; }
    // The operator finished typing in the control without leaving it: its exit and its
    // enter run, when it is the active control.
    void FinishTyping(TControl *control);
    TControl *ControlForWidget(QWidget *widget) const;
    // Runs a change of the window that the program makes, under the rule above. The
    // controls' own setters (a page shown, a control hidden or disabled) run through it.
    void ProgramChange(const std::function<void()> &change);

    // Boxes of the program; each is followed by the activation rule above.
    int MessageDlg(const QString &text, TMsgDlgType type, int buttons);
    QString InputBox(const QString &caption, const QString &prompt, const QString &initial);
    QString SaveFileName(const QString &filter, const QString &defaultExt, const QString &initialFile);
    QString OpenFileName(const QString &filter, const QString &defaultExt, const QString &initialFile);

    TNotifyEvent OnActivate;
    std::function<void(TComponent *Sender, bool &CanClose)> OnCloseQuery;
    // F1: the help context and keyword found for the focused control.
    std::function<void(int HelpContext, const QString &HelpKeyword)> OnHelp;

    // Used by TComponent and TControl.
    void Adopt(TComponent *component);
    void RegisterWidget(QWidget *widget, TControl *control);
    void UnregisterWidget(QWidget *widget);

private:
    friend class FormWindow;
    [[noreturn]] static void ThrowNotFound(const QString &name);
    void FocusChanged(QWidget *old, QWidget *now);
    // Makes control the active one; the previous one is left by the operator (its exit
    // runs) or by the program (its typing ends unfinished).
    void MoveActive(TControl *control, bool byOperator);
    // The control that holds the window's focus, whether or not the window is active;
    // none when that widget is hidden or disabled.
    TControl *FocusHolder() const;
    void QueueActivation();
    template <typename Box>
    auto Boxed(Box box);
    void WindowShown();
    bool QueryClose();
    void Help();

    IDialogs &dialogs_;
    QWidget *window_;
    TPanel *client_ = nullptr;
    std::vector<std::unique_ptr<TComponent>> components_;
    QHash<QString, TComponent *> byName_;
    QHash<QWidget *, TControl *> byWidget_;
    TControl *active_ = nullptr;
    int programChanges_ = 0; // nesting of ProgramChange
    bool shown_ = false;
    bool closed_ = false;
    bool eventsStopped_ = false;
};
