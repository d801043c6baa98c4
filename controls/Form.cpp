#include "controls/Form.h"

#include "controls/Guard.h"
#include "utilities/Exceptions.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScopeGuard>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

class FormWindow : public QWidget {
public:
    explicit FormWindow(TForm *form) : form_(form) {}

protected:
    void showEvent(QShowEvent *event) override
    {
        QWidget::showEvent(event);
        form_->WindowShown();
    }
    void closeEvent(QCloseEvent *event) override
    {
        if (form_->QueryClose())
            event->accept();
        else
            event->ignore();
    }

private:
    TForm *form_;
};

TForm::TForm(const QString &name, IDialogs &dialogs)
    : TComponent(nullptr, name), dialogs_(dialogs), window_(new FormWindow(this))
{
    window_->setObjectName(name);
    client_ = new TPanel(this, name + QStringLiteral("_Client"), nullptr);
    client_->Widget()->setParent(window_);
    auto *layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(client_->Widget());
    connect(qApp, &QApplication::focusChanged, this, &TForm::FocusChanged);
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), window_);
    connect(f1, &QShortcut::activated, this, [this] { Guard::Guarded([this] { Help(); }); });
}

TForm::~TForm()
{
    disconnect(qApp, nullptr, this, nullptr);
    active_ = nullptr;
    while (!components_.empty())
        components_.pop_back();
    delete window_;
}

QString TForm::Caption() const { return window_->windowTitle(); }

void TForm::SetCaption(const QString &caption) { window_->setWindowTitle(caption); }

void TForm::Show() { window_->show(); }

void TForm::Close() { window_->close(); }

bool TForm::QueryClose()
{
    bool canClose = true;
    if (OnCloseQuery)
        Guard::Guarded([&] { OnCloseQuery(this, canClose); });
    if (canClose)
        closed_ = true;
    return canClose;
}

void TForm::Adopt(TComponent *component)
{
    if (byName_.contains(component->Name()))
        throw Exception(QStringLiteral("A component named %1 already exists").arg(component->Name()));
    components_.emplace_back(component);
    byName_.insert(component->Name(), component);
}

void TForm::RegisterWidget(QWidget *widget, TControl *control) { byWidget_.insert(widget, control); }

void TForm::UnregisterWidget(QWidget *widget) { byWidget_.remove(widget); }

TComponent *TForm::FindComponent(const QString &name) const { return byName_.value(name, nullptr); }

void TForm::ThrowNotFound(const QString &name)
{
    throw EListError(QStringLiteral("Component %1 not found").arg(name));
}

TControl *TForm::ControlForWidget(QWidget *widget) const
{
    for (QWidget *w = widget; w; w = w->parentWidget())
        if (TControl *c = byWidget_.value(w, nullptr); c && c != client_)
            return c;
    return nullptr;
}

void TForm::FocusChanged(QWidget *old, QWidget *now)
{
    if (!now || now->window() != window_)
        return; // a box of the program or another application: not a move between controls
    // The operator moves the focus between the controls of the active window. The focus
    // that comes back to the window from elsewhere goes to the control the operator was
    // in, unless the program has changed the window meanwhile.
    const bool withinWindow = old && old->window() == window_;
    MoveActive(ControlForWidget(now), withinWindow && programChanges_ == 0);
}

void TForm::MoveActive(TControl *control, bool byOperator)
{
    if (control == active_)
        return;
    TControl *previous = active_;
    active_ = control;
    if (previous) {
        if (byOperator)
            previous->DoExit();
        else
            previous->DoLeaveUnfinished();
    }
    if (control && control == active_)
        control->DoEnter();
}

TControl *TForm::FocusHolder() const
{
    QWidget *widget = window_->focusWidget();
    if (!widget || !widget->isVisible() || !widget->isEnabled())
        return nullptr;
    return ControlForWidget(widget);
}

void TForm::FinishTyping(TControl *control)
{
    if (control != active_ || programChanges_ != 0)
        return;
    control->DoExit();
    if (control == active_)
        control->DoEnter();
}

void TForm::ProgramChange(const std::function<void()> &change)
{
    {
        ++programChanges_;
        const auto done = qScopeGuard([this] { --programChanges_; });
        change();
    }
    // While the window is active, Qt has reported the focus the change moved. While it is
    // not, or when the change left no widget to take the focus, only the window knows
    // where its focus is now.
    if (programChanges_ == 0 && shown_ && !closed_)
        MoveActive(FocusHolder(), false);
}

void TForm::WindowShown()
{
    if (shown_)
        return;
    shown_ = true;
    QueueActivation();
}

void TForm::QueueActivation()
{
    // A box closed before the window was first shown gives it nothing to take back; the
    // first show runs the activation.
    if (!shown_)
        return;
    QTimer::singleShot(0, this, [this] {
        if (!closed_)
            FireUser(OnActivate);
    });
}

// Each box of the program is followed by the activation of the window taking the focus back.
template <typename Box>
auto TForm::Boxed(Box box)
{
    auto result = box(dialogs_);
    QueueActivation();
    return result;
}

int TForm::MessageDlg(const QString &text, TMsgDlgType type, int buttons)
{
    return Boxed([&](IDialogs &d) { return d.MessageDlg(text, type, buttons); });
}

QString TForm::InputBox(const QString &caption, const QString &prompt, const QString &initial)
{
    return Boxed([&](IDialogs &d) { return d.InputBox(caption, prompt, initial); });
}

QString TForm::SaveFileName(const QString &filter, const QString &defaultExt, const QString &initialFile)
{
    return Boxed([&](IDialogs &d) { return d.SaveFileName(filter, defaultExt, initialFile); });
}

QString TForm::OpenFileName(const QString &filter, const QString &defaultExt, const QString &initialFile)
{
    return Boxed([&](IDialogs &d) { return d.OpenFileName(filter, defaultExt, initialFile); });
}

void TForm::Help()
{
    if (!OnHelp)
        return;
    for (TControl *c = ControlForWidget(QApplication::focusWidget()); c; c = c->Parent()) {
        if (!c->HelpKeyword.isEmpty() || c->HelpContext != 0) {
            OnHelp(c->HelpContext, c->HelpKeyword);
            return;
        }
    }
}
