#include "controls/Controls.h"

#include "controls/Form.h"
#include "controls/Guard.h"
#include "utilities/Exceptions.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTimer>
#include <QValidator>

namespace {

// Removes a widget from whichever layout under root holds it.
bool RemoveFromLayouts(QLayout *layout, QWidget *widget)
{
    if (!layout)
        return false;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget() == widget) {
            delete layout->takeAt(i);
            return true;
        }
        if (RemoveFromLayouts(item->layout(), widget))
            return true;
    }
    return false;
}

// Rejects an edit of the operator that makes the text longer than the limit. A text
// that is already longer (set by the program) may still be shortened, but not grown.
// The shown text is followed through textChanged, which comes after each validation.
class LengthValidator : public QValidator {
public:
    LengthValidator(int length, QLineEdit *edit) : QValidator(edit), length_(length), shown_(edit->text())
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString &text) { shown_ = text; });
    }
    State validate(QString &input, int &) const override
    {
        return input.size() <= std::max<qsizetype>(length_, shown_.size()) ? Acceptable : Invalid;
    }

private:
    int length_;
    QString shown_;
};

// A check box that reports the release of any mouse button after it has handled it.
class MouseUpCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;
    std::function<void(QMouseEvent *)> released;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QCheckBox::mouseReleaseEvent(event);
        if (released && rect().contains(event->position().toPoint()))
            released(event);
    }
};

bool IsLeftClickRelease(QObject *, QEvent *event, QWidget *widget)
{
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    auto *mouse = static_cast<QMouseEvent *>(event);
    return mouse->button() == Qt::LeftButton && widget->rect().contains(mouse->position().toPoint());
}

} // namespace

// ---------------------------------------------------------------- TComponent

TComponent::TComponent(TForm *owner, const QString &name) : QObject(nullptr), owner_(owner)
{
    setObjectName(name);
    if (owner_)
        owner_->Adopt(this);
}

TComponent::~TComponent() = default;

bool TComponent::EventsStopped() const { return owner_ && owner_->EventsStopped(); }

void TComponent::FireUser(const TNotifyEvent &event)
{
    if (event && !EventsStopped())
        Guard::Guarded([&] { event(this); });
}

void TComponent::FireProgram(const TNotifyEvent &event)
{
    if (event)
        event(this);
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TForm *owner, const QString &name, QWidget *widget, TWinControl *parent)
    : TComponent(owner, name), widget_(widget), parent_(parent)
{
    widget_->setObjectName(name);
    if (parent_)
        widget_->setParent(parent_->ClientWidget());
    if (owner)
        owner->RegisterWidget(widget_, this);
}

TControl::~TControl()
{
    if (Owner() && widget_)
        Owner()->UnregisterWidget(widget_);
}

void TControl::SetParent(TWinControl *parent)
{
    if (parent == parent_ || !widget_)
        return;
    if (QWidget *old = widget_->parentWidget())
        RemoveFromLayouts(old->layout(), widget_);
    const bool visible = Visible();
    parent_ = parent;
    widget_->setParent(parent->ClientWidget());
    if (parent->AdoptLayout())
        parent->AdoptLayout()->insertWidget(0, widget_);
    widget_->setVisible(visible);
}

bool TControl::Visible() const { return widget_ && !widget_->isHidden(); }

void TControl::ProgramChange(const std::function<void()> &change)
{
    if (Owner())
        Owner()->ProgramChange(change);
    else
        change();
}

void TControl::SetVisible(bool visible)
{
    if (widget_ && widget_->isHidden() == visible)
        ProgramChange([&] { widget_->setVisible(visible); });
}

bool TControl::Enabled() const { return widget_ && widget_->isEnabled(); }

void TControl::SetEnabled(bool enabled)
{
    if (widget_)
        ProgramChange([&] { widget_->setEnabled(enabled); });
}

QString TControl::Hint() const { return widget_ ? widget_->toolTip() : QString(); }

void TControl::SetHint(const QString &hint)
{
    if (widget_)
        widget_->setToolTip(hint);
}

void TControl::SetFontColor(const QColor &color)
{
    if (fontColor_ == color || !widget_)
        return;
    fontColor_ = color;
    QPalette palette = widget_->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget_->setPalette(palette);
}

void TControl::SetBold(bool bold)
{
    QFont font = widget_->font();
    font.setBold(bold);
    widget_->setFont(font);
}

void TControl::SetHandCursor() { widget_->setCursor(Qt::PointingHandCursor); }

bool TControl::Focused() const
{
    if (!widget_)
        return false;
    // A control outside a window of ours has only Qt's notion of the focus.
    if (!Owner())
        return widget_->hasFocus();
    return Owner()->ActiveControl() == this && widget_->isVisible() && widget_->isEnabled();
}

void TControl::Repaint()
{
    if (widget_)
        widget_->repaint();
}

// ---------------------------------------------------------------- containers

TWinControl::TWinControl(TForm *owner, const QString &name, QWidget *widget, TWinControl *parent)
    : TControl(owner, name, widget, parent)
{
}

TPanel::TPanel(TForm *owner, const QString &name, TWinControl *parent)
    : TWinControl(owner, name, new QWidget, parent)
{
}

TGroupBox::TGroupBox(TForm *owner, const QString &name, TWinControl *parent, const QString &caption)
    : TWinControl(owner, name, new QGroupBox(caption), parent)
{
}

QString TGroupBox::Caption() const { return static_cast<QGroupBox *>(Widget())->title(); }

void TGroupBox::SetCaption(const QString &caption) { static_cast<QGroupBox *>(Widget())->setTitle(caption); }

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(TForm *owner, const QString &name, TWinControl *parent, const QString &caption)
    : TControl(owner, name, new QLabel, parent)
{
    Label()->setTextFormat(Qt::PlainText);
    SetCaption(caption);
    Widget()->installEventFilter(this);
}

QLabel *TLabel::Label() const { return static_cast<QLabel *>(Widget()); }

void TLabel::SetCaption(const QString &caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    // Captions use CR LF for their line breaks.
    Label()->setText(QString(caption).replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

void TLabel::SetWordWrap(bool wrap) { Label()->setWordWrap(wrap); }

void TLabel::SetBackgroundColor(const QColor &color)
{
    QPalette palette = Widget()->palette();
    palette.setColor(QPalette::Window, color);
    Widget()->setPalette(palette);
    Widget()->setAutoFillBackground(true);
}

bool TLabel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Widget() && IsLeftClickRelease(watched, event, Widget()))
        FireUser(OnClick);
    return false;
}

// ---------------------------------------------------------------- TEdit

TEdit::TEdit(TForm *owner, const QString &name, TWinControl *parent, const QString &text)
    : TControl(owner, name, new QLineEdit(text), parent)
{
    connect(LineEdit(), &QLineEdit::textEdited, this, [this] {
        if (TypingRunsChange)
            FireUser(OnChange);
    });
    Widget()->installEventFilter(this);
}

QLineEdit *TEdit::LineEdit() const { return static_cast<QLineEdit *>(Widget()); }

QString TEdit::Text() const { return LineEdit()->text(); }

void TEdit::ShowText(const QString &text)
{
    // The length limit is for typing only. Validating a longer program text would also
    // mark the edit's input as invalid, after which Qt no longer rejects typed text.
    const QValidator *limit = LineEdit()->validator();
    if (limit)
        LineEdit()->setValidator(nullptr);
    LineEdit()->setText(text);
    if (limit)
        LineEdit()->setValidator(limit);
}

void TEdit::SetText(const QString &text)
{
    if (text == LineEdit()->text())
        return;
    ShowText(text);
    FireProgram(OnChange);
}

bool TEdit::Modified() const { return LineEdit()->isModified(); }

void TEdit::DoEnter()
{
    enteredText_ = Text();
    TControl::DoEnter();
}

void TEdit::DoLeaveUnfinished()
{
    // What the operator typed was never finished: the edit shows again what it showed
    // before, which is no change of its value, so no change handler runs; nor is the text
    // the operator's any longer (Modified).
    ShowText(enteredText_);
    TControl::DoLeaveUnfinished();
}

bool TEdit::ReadOnly() const { return LineEdit()->isReadOnly(); }

void TEdit::SetReadOnly(bool readOnly) { LineEdit()->setReadOnly(readOnly); }

void TEdit::SetMaxLength(int length)
{
    maxLength_ = length;
    const auto *previous = dynamic_cast<const LengthValidator *>(LineEdit()->validator());
    LineEdit()->setValidator(length > 0 ? new LengthValidator(length, LineEdit()) : nullptr);
    delete previous;
}

void TEdit::SetBackgroundColor(const QColor &color)
{
    QPalette palette = Widget()->palette();
    palette.setColor(QPalette::Base, color);
    Widget()->setPalette(palette);
}

bool TEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Widget() || event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // Tab and Shift+Tab move the focus on; they are not typed into the edit.
    const bool navigation = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (OnKeyPress && !navigation && !key->text().isEmpty()) {
        QChar ch = key->text().at(0);
        Guard::Guarded([&] { OnKeyPress(this, ch); });
    }
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && Owner())
        Owner()->FinishTyping(this);
    return false;
}

// ---------------------------------------------------------------- TButton

TButton::TButton(TForm *owner, const QString &name, TWinControl *parent, const QString &caption)
    : TControl(owner, name, new QPushButton(caption), parent)
{
    connect(static_cast<QPushButton *>(Widget()), &QPushButton::clicked, this, [this] { FireUser(OnClick); });
}

QString TButton::Caption() const { return static_cast<QPushButton *>(Widget())->text(); }

void TButton::SetCaption(const QString &caption) { static_cast<QPushButton *>(Widget())->setText(caption); }

// ---------------------------------------------------------------- TCheckBox

TCheckBox::TCheckBox(TForm *owner, const QString &name, TWinControl *parent, const QString &caption)
    : TControl(owner, name, new MouseUpCheckBox(caption), parent)
{
    // clicked is emitted for the operator's toggles only, never for setChecked.
    connect(box(), &QCheckBox::clicked, this, [this] { FireUser(OnClick); });
    static_cast<MouseUpCheckBox *>(box())->released = [this](QMouseEvent *event) {
        if (OnMouseUp) {
            const QPoint p = event->position().toPoint();
            Guard::Guarded([&] { OnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y()); });
        }
    };
}

QCheckBox *TCheckBox::box() const { return static_cast<QCheckBox *>(Widget()); }

QString TCheckBox::Caption() const { return box()->text(); }

bool TCheckBox::Checked() const { return box()->isChecked(); }

void TCheckBox::SetChecked(bool checked)
{
    if (checked == box()->isChecked())
        return;
    box()->setChecked(checked);
    FireProgram(OnClick);
}

// ---------------------------------------------------------------- TRadioButton

TRadioButton::TRadioButton(TForm *owner, const QString &name, TWinControl *parent, const QString &caption,
                           QButtonGroup *group)
    : TControl(owner, name, new QRadioButton(caption), parent), group_(group)
{
    group_->addButton(button());
    // The operator's click on an unticked button ticks it; clicking a ticked one changes nothing.
    connect(button(), &QRadioButton::toggled, this, [this](bool on) {
        if (on && !programSet_)
            FireUser(OnClick);
    });
}

QRadioButton *TRadioButton::button() const { return static_cast<QRadioButton *>(Widget()); }

bool TRadioButton::Checked() const { return button()->isChecked(); }

void TRadioButton::SetChecked(bool checked)
{
    if (checked == button()->isChecked())
        return;
    programSet_ = true;
    if (checked) {
        button()->setChecked(true);
    } else {
        group_->setExclusive(false);
        button()->setChecked(false);
        group_->setExclusive(true);
    }
    programSet_ = false;
    if (checked)
        FireProgram(OnClick);
}

// ---------------------------------------------------------------- TRadioGroup

TRadioGroup::TRadioGroup(TForm *owner, const QString &name, TWinControl *parent, const QString &caption,
                         const QStringList &items, int columns)
    : TControl(owner, name, new QGroupBox(caption), parent), items_(items), group_(new QButtonGroup(this))
{
    auto *layout = new QGridLayout(Widget());
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setVerticalSpacing(2);
    const int perColumn = (static_cast<int>(items.size()) + columns - 1) / std::max(columns, 1);
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], Widget());
        b->setObjectName(name + QStringLiteral("_item%1").arg(i));
        group_->addButton(b, i);
        layout->addWidget(b, i % std::max(perColumn, 1), i / std::max(perColumn, 1));
        buttons_.push_back(b);
    }
    // idClicked comes from the operator only; a click on the selected item is no change.
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        if (id == itemIndex_)
            return;
        itemIndex_ = id;
        FireUser(OnClick);
    });
}

QString TRadioGroup::Caption() const { return static_cast<QGroupBox *>(Widget())->title(); }

void TRadioGroup::Select(int index)
{
    if (index >= 0) {
        buttons_[static_cast<size_t>(index)]->setChecked(true);
    } else if (itemIndex_ >= 0) {
        group_->setExclusive(false);
        buttons_[static_cast<size_t>(itemIndex_)]->setChecked(false);
        group_->setExclusive(true);
    }
    itemIndex_ = index;
}

void TRadioGroup::SetItemIndex(int index)
{
    if (items_.isEmpty())
        index = -1;
    else if (index >= items_.size())
        index = static_cast<int>(items_.size()) - 1;
    else if (index < 0)
        index = -1;
    if (index == itemIndex_)
        return;
    Select(index);
    if (index >= 0)
        FireProgram(OnClick);
}

QString TRadioGroup::SelectedCaption() const
{
    if (itemIndex_ < 0 || itemIndex_ >= items_.size())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(itemIndex_));
    return items_[itemIndex_];
}

// ---------------------------------------------------------------- TComboBox

TComboBox::TComboBox(TForm *owner, const QString &name, TWinControl *parent, const QStringList &items,
                     const QString &text)
    : TControl(owner, name, new QComboBox, parent)
{
    combo()->setEditable(true);
    combo()->setInsertPolicy(QComboBox::NoInsert);
    // Typed text stays what was typed: no item name is completed into the field, and the
    // field's end (focus out, Return) does not choose the item that the text names.
    combo()->setCompleter(nullptr);
    disconnect(combo()->lineEdit(), &QLineEdit::editingFinished, combo(), nullptr);
    combo()->addItems(items);
    combo()->setCurrentIndex(-1);
    combo()->setEditText(text);
    connect(combo(), QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        itemIndex_ = index;
        FireUser(OnChange);
    });
    connect(combo()->lineEdit(), &QLineEdit::textEdited, this, [this] {
        itemIndex_ = -1;
        FireUser(OnChange);
    });
}

QComboBox *TComboBox::combo() const { return static_cast<QComboBox *>(Widget()); }

void TComboBox::SetItemIndex(int index)
{
    if (index < -1 || index >= combo()->count())
        index = -1;
    itemIndex_ = index;
    combo()->setCurrentIndex(index);
}

QString TComboBox::Text() const { return combo()->currentText(); }

// ---------------------------------------------------------------- TMemo

TMemo::TMemo(TForm *owner, const QString &name, TWinControl *parent)
    : TControl(owner, name, new QPlainTextEdit, parent)
{
    TextEdit()->setReadOnly(true);
    // The program alone writes it: no undo history, which would otherwise keep every line
    // ever added or deleted (the operator log adds lines for as long as the program runs).
    TextEdit()->setUndoRedoEnabled(false);
    TextEdit()->setLineWrapMode(QPlainTextEdit::NoWrap);
    TextEdit()->viewport()->installEventFilter(this);
}

QPlainTextEdit *TMemo::TextEdit() const { return static_cast<QPlainTextEdit *>(Widget()); }

void TMemo::Add(const QString &line)
{
    // The widget starts a new line at every CR LF, LF, CR or paragraph separator; the
    // lines are split the same way so that Lines() and the widget stay line for line.
    static const QRegularExpression breaks(QStringLiteral("\r\n|[\r\n\u2029]"));
    QTextDocument *document = TextEdit()->document();
    for (const QString &part : line.split(breaks)) {
        if (!lines_.isEmpty() && document->isEmpty()) {
            // The only line so far is empty, and the widget's append would fill that empty
            // block instead of starting a new one: start the new line explicitly.
            QTextCursor cursor(document);
            cursor.movePosition(QTextCursor::End);
            cursor.insertBlock();
            cursor.insertText(part);
        } else {
            TextEdit()->appendPlainText(part);
        }
        lines_.append(part);
    }
}

void TMemo::Delete(int index)
{
    if (index < 0 || index >= lines_.size())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    lines_.removeAt(index);
    QTextBlock block = TextEdit()->document()->findBlockByNumber(index);
    QTextCursor cursor(block);
    cursor.select(QTextCursor::BlockUnderCursor);
    if (index == 0) {
        // The first block has no separator before it: take the one after it.
        cursor.movePosition(QTextCursor::StartOfBlock);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        if (lines_.isEmpty())
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
}

void TMemo::Clear()
{
    if (lines_.isEmpty() && TextEdit()->document()->isEmpty())
        return;
    lines_.clear();
    TextEdit()->clear();
}

void TMemo::SetLines(const QStringList &lines)
{
    if (lines == lines_)
        return;
    Clear();
    for (const QString &line : lines)
        Add(line);
}

int TMemo::CaretLine() const { return TextEdit()->textCursor().blockNumber(); }

void TMemo::SetCaretLine(int line)
{
    QTextCursor cursor(TextEdit()->document()->findBlockByNumber(line));
    TextEdit()->setTextCursor(cursor);
}

bool TMemo::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        // Let the widget place the caret first, then report the double click.
        QTimer::singleShot(0, this, [this] { FireUser(OnDblClick); });
    }
    return false;
}

// ---------------------------------------------------------------- TImage

TImage::TImage(TForm *owner, const QString &name, TWinControl *parent)
    : TControl(owner, name, new QLabel, parent)
{
    Widget()->installEventFilter(this);
}

bool TImage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Widget() && IsLeftClickRelease(watched, event, Widget()))
        FireUser(OnClick);
    return false;
}

// ---------------------------------------------------------------- TTimer

TTimer::TTimer(TForm *owner, const QString &name, int interval, bool enabled)
    : TComponent(owner, name), timer_(new QTimer(this))
{
    timer_->setInterval(interval);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, [this] { FireUser(OnTimer); });
    if (enabled)
        timer_->start();
}

bool TTimer::Enabled() const { return timer_->isActive(); }

void TTimer::SetEnabled(bool enabled)
{
    if (enabled == timer_->isActive())
        return;
    if (enabled)
        timer_->start();
    else
        timer_->stop();
}

int TTimer::Interval() const { return timer_->interval(); }
