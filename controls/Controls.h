#pragma once
// Thin VCL-style controls over Qt widgets. Each control has a name (its objectName, by
// which the window finds it at run time), a Tag, and the properties and events the
// window's handlers use.
//
// The firing rules live here, once:
//  - An operator's input runs the control's click or change handler through the guard
//    (controls/Guard.h).
//  - A value set by the program (Text, Checked, ItemIndex) runs the same handler
//    directly, but only when the shown value actually changes; its failures travel to
//    the code that set the value.
//  - A value set by the program through SetWithoutClickHandling (at the end of this
//    file) is shown by the same rules, but the click handler does not run; the call
//    tells whether it would have run.
//  - A radio group's item set by index: at or above the number of items selects the
//    last item; below 0 clears the selection, and clearing runs no handler.
//  - An edit can be told that the operator's typing runs no change handler
//    (TEdit::TypingRunsChange): what the operator types is then taken by the edit's
//    exit, once, when the operator leaves the edit; text set by the program still runs
//    the change handler.
//  - A combo box chooses an item only when the operator picks one from its list; text
//    typed into its edit field is never matched to an item.
//  - Enter and exit are driven by the form (controls/Form.h): exit runs only when the
//    operator moves the focus to another control of the same window. When the program
//    takes the focus instead (a page shown, a control hidden or disabled, also while
//    another window is active), the operator's typing ends unfinished: an edit takes
//    back the text it had when it was entered, and OnLeaveUnfinished runs in place of
//    the exit. So a half-typed value reaches neither the device nor anything that reads
//    the edit.
//  - The control the operator is in (Focused) is the window's active control, also while
//    another window (a box of the program, another application) is active: a value set
//    from decoded data must not replace what the operator is typing there.
//  - Return (or the keypad's Enter) in an edit finishes the typing as leaving it does:
//    its exit runs, then its enter, and the operator stays in the edit. So the finished
//    value is taken once, and leaving afterwards takes nothing more unless the text
//    changed again.
#include <QColor>
#include <QObject>
#include <QPointer>
#include <QScopeGuard>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

class QAbstractButton;
class QBoxLayout;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

class TForm;
class TWinControl;
class TComponent;

using TNotifyEvent = std::function<void(TComponent *Sender)>;
using TMouseEvent = std::function<void(TComponent *Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;
using TKeyPressEvent = std::function<void(TComponent *Sender, QChar &Key)>;

class TComponent : public QObject {
    Q_OBJECT
public:
    // The owner takes ownership and registers the name.
    TComponent(TForm *owner, const QString &name);
    ~TComponent() override;

    QString Name() const { return objectName(); }
    TForm *Owner() const { return owner_; }

    int Tag = 0;

protected:
    // An operator's event: guarded; nothing once the window's events are stopped.
    void FireUser(const TNotifyEvent &event);
    // Whether the window's events no longer run its handlers (TForm::StopEvents).
    virtual bool EventsStopped() const;
    // A program-caused event: runs directly, failures propagate to the caller.
    void FireProgram(const TNotifyEvent &event);

private:
    TForm *owner_;
};

class TControl : public TComponent {
    Q_OBJECT
public:
    TControl(TForm *owner, const QString &name, QWidget *widget, TWinControl *parent);
    ~TControl() override;

    QWidget *Widget() const { return widget_; }
    TWinControl *Parent() const { return parent_; }
    // Moves the control into another container (into its adoption layout).
    void SetParent(TWinControl *parent);

    // The control's own visibility, whether or not its container is shown. Hiding or
    // disabling the control that has the focus moves the focus on without its exit.
    bool Visible() const;
    void SetVisible(bool visible);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    QString Hint() const;
    void SetHint(const QString &hint);
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor &color);
    void SetBold(bool bold);
    void SetHandCursor();
    // Whether the operator is in this control: it is the window's active control, shown
    // and enabled, whether or not the window itself is active.
    bool Focused() const;
    // Repaints the control now, also while the GUI thread is busy in a handler.
    void Repaint();

    int HelpContext = 0;
    QString HelpKeyword;

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    // The program took the focus from the control: see the rule above.
    TNotifyEvent OnLeaveUnfinished;

    // Called by the form when the focus moves between its controls: the operator entered
    // the control, left it, or the program took the focus from it.
    virtual void DoEnter() { FireUser(OnEnter); }
    void DoExit() { FireUser(OnExit); }
    virtual void DoLeaveUnfinished() { FireUser(OnLeaveUnfinished); }

protected:
    // Runs a change of the window that the program makes; see TForm::ProgramChange.
    void ProgramChange(const std::function<void()> &change);

private:
    QPointer<QWidget> widget_;
    TWinControl *parent_ = nullptr;
    QColor fontColor_;
};

// A control that holds others: page, group box, panel. Children's widgets are created
// inside Widget(); the page code places them in layouts.
class TWinControl : public TControl {
    Q_OBJECT
public:
    TWinControl(TForm *owner, const QString &name, QWidget *widget, TWinControl *parent);
    // Where controls moved into this container (SetParent) are placed.
    void SetAdoptLayout(QBoxLayout *layout) { adoptLayout_ = layout; }
    QBoxLayout *AdoptLayout() const { return adoptLayout_; }
    // The widget into which children are created.
    virtual QWidget *ClientWidget() const { return Widget(); }

private:
    QBoxLayout *adoptLayout_ = nullptr;
};

class TPanel : public TWinControl {
    Q_OBJECT
public:
    TPanel(TForm *owner, const QString &name, TWinControl *parent);
};

class TGroupBox : public TWinControl {
    Q_OBJECT
public:
    TGroupBox(TForm *owner, const QString &name, TWinControl *parent, const QString &caption);
    QString Caption() const;
    void SetCaption(const QString &caption);
};

class TLabel : public TControl {
    Q_OBJECT
public:
    TLabel(TForm *owner, const QString &name, TWinControl *parent, const QString &caption = {});
    QString Caption() const { return caption_; }
    void SetCaption(const QString &caption);
    void SetWordWrap(bool wrap);
    void SetBackgroundColor(const QColor &color);
    QLabel *Label() const;

    TNotifyEvent OnClick;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString caption_;
};

class TEdit : public TControl {
    Q_OBJECT
public:
    TEdit(TForm *owner, const QString &name, TWinControl *parent, const QString &text = {});
    QString Text() const;
    // Runs OnChange when the text changes.
    void SetText(const QString &text);
    // Whether the operator has changed the text (typing, deleting, pasting, undo) since
    // the program last set it: another text by SetText, or the text before the typing
    // when the program ended that typing unfinished.
    bool Modified() const;
    bool ReadOnly() const;
    void SetReadOnly(bool readOnly);
    // Limits what the operator can type; text set by the program is not limited.
    void SetMaxLength(int length);
    void SetBackgroundColor(const QColor &color);
    QLineEdit *LineEdit() const;

    TNotifyEvent OnChange;
    TKeyPressEvent OnKeyPress;
    // Whether the operator's changes of the text (typing, deleting, pasting, undo) run
    // OnChange. Off for an edit whose change handler writes to a device: a value typed
    // digit by digit would otherwise be sent at each keystroke (2, 20, 200, 2000).
    bool TypingRunsChange = true;

    // Remembers the text for the case that the program ends the typing.
    void DoEnter() override;
    // Takes back the text the edit had when it was entered, running nothing, then
    // OnLeaveUnfinished.
    void DoLeaveUnfinished() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Shows a text without running any handler.
    void ShowText(const QString &text);
    int maxLength_ = 0;
    QString enteredText_;
};

class TButton : public TControl {
    Q_OBJECT
public:
    TButton(TForm *owner, const QString &name, TWinControl *parent, const QString &caption);
    QString Caption() const;
    void SetCaption(const QString &caption);
    // Pressed by the program: runs OnClick exactly as the operator's click does.
    void Click() { FireProgram(OnClick); }

    TNotifyEvent OnClick;
};

class TCheckBox : public TControl {
    Q_OBJECT
public:
    TCheckBox(TForm *owner, const QString &name, TWinControl *parent, const QString &caption);
    QString Caption() const;
    bool Checked() const;
    // Runs OnClick when the state changes.
    void SetChecked(bool checked);

    TNotifyEvent OnClick;
    // A mouse button released over the box, after the click has toggled it.
    TMouseEvent OnMouseUp;

private:
    QCheckBox *box() const;
};

// Radio buttons created with the same group object exclude each other.
class TRadioButton : public TControl {
    Q_OBJECT
public:
    TRadioButton(TForm *owner, const QString &name, TWinControl *parent, const QString &caption,
                 QButtonGroup *group);
    bool Checked() const;
    // Ticking unticks the others of the group and runs OnClick when it was not ticked;
    // unticking changes nothing else and runs nothing.
    void SetChecked(bool checked);

    TNotifyEvent OnClick;

private:
    QRadioButton *button() const;
    QButtonGroup *group_;
    bool programSet_ = false;
};

class TRadioGroup : public TControl {
    Q_OBJECT
public:
    TRadioGroup(TForm *owner, const QString &name, TWinControl *parent, const QString &caption,
                const QStringList &items, int columns = 1);
    QString Caption() const;
    const QStringList &Items() const { return items_; }
    int ItemIndex() const { return itemIndex_; }
    // See the selection rule above; runs OnClick when the selected item changes to an item.
    void SetItemIndex(int index);
    // The caption of the selected item; throws EListError when none is selected.
    QString SelectedCaption() const;

    TNotifyEvent OnClick;

private:
    void Select(int index);
    QStringList items_;
    int itemIndex_ = -1;
    QButtonGroup *group_;
    std::vector<QRadioButton *> buttons_;
};

// A drop-down list with an edit field.
class TComboBox : public TControl {
    Q_OBJECT
public:
    TComboBox(TForm *owner, const QString &name, TWinControl *parent, const QStringList &items,
              const QString &text);
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    QString Text() const;

    // The operator picked an item from the list or edited the text. Edited text leaves
    // no item chosen (ItemIndex -1), even when it spells an item's name: Qt would choose
    // that item when the field loses the focus or Return is pressed, and complete the
    // name of one while it is typed; neither is done here.
    TNotifyEvent OnChange;

private:
    QComboBox *combo() const;
    int itemIndex_ = -1;
};

// A multi-line text. Lines are kept beside the widget so that reading them is cheap.
class TMemo : public TControl {
    Q_OBJECT
public:
    TMemo(TForm *owner, const QString &name, TWinControl *parent);
    int Count() const { return static_cast<int>(lines_.size()); }
    const QStringList &Lines() const { return lines_; }
    // Adds a line at the end; a text with line breaks adds one line for each part.
    void Add(const QString &line);
    void Delete(int index);
    void Clear();
    // Replaces every line; lines equal to the shown ones change nothing.
    void SetLines(const QStringList &lines);
    // The line of the caret (0 when empty).
    int CaretLine() const;
    void SetCaretLine(int line);
    QPlainTextEdit *TextEdit() const;

    TNotifyEvent OnDblClick;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QStringList lines_;
};

class TImage : public TControl {
    Q_OBJECT
public:
    TImage(TForm *owner, const QString &name, TWinControl *parent);
    TNotifyEvent OnClick;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

class TTimer : public TComponent {
    Q_OBJECT
public:
    TTimer(TForm *owner, const QString &name, int interval, bool enabled);
    bool Enabled() const;
    // Enabling a running timer changes nothing: its interval is not restarted.
    void SetEnabled(bool enabled);
    int Interval() const;

    TNotifyEvent OnTimer;

private:
    QTimer *timer_;
};

// Runs `set`, which sets a value of the control (SetChecked, SetItemIndex), with the
// control's click handler held back: the control shows the value by its own rules and no
// click handling runs. True when the handler would have run (the value changed so that
// the control fires its click). The handler is back in place afterwards, also when `set`
// fails.
template <typename Control, typename Set>
bool SetWithoutClickHandling(Control &control, Set &&set)
{
    bool heldBack = false;
    TNotifyEvent handler = std::exchange(control.OnClick, [&heldBack](TComponent *) { heldBack = true; });
    const auto restore = qScopeGuard([&] { control.OnClick = std::move(handler); });
    set();
    return heldBack;
}
