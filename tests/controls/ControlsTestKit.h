#pragma once
// Shared pieces of the control tests: a recording stand-in for the program's boxes, a
// recorder of the failures that reach the guard's handler, a small window to place
// controls in, a closer for real modal boxes, and helpers that drive widgets the way
// the operator does.
#include "controls/Controls.h"
#include "controls/Form.h"
#include "controls/Guard.h"
#include "controls/Services.h"
#include "utilities/Exceptions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>
#include <functional>
#include <memory>

// Answers the program's boxes at once and records each one. whileOpen runs in the middle
// of a box, as the operator's time in front of it would.
class RecordingDialogs : public IDialogs {
public:
    int MessageDlg(const QString &text, TMsgDlgType, int) override
    {
        Opened(QStringLiteral("MessageDlg:") + text);
        return messageAnswer;
    }
    QString InputBox(const QString &caption, const QString &, const QString &) override
    {
        Opened(QStringLiteral("InputBox:") + caption);
        return inputAnswer;
    }
    QString SaveFileName(const QString &, const QString &, const QString &initialFile) override
    {
        Opened(QStringLiteral("SaveFileName:") + initialFile);
        return fileAnswer;
    }
    QString OpenFileName(const QString &, const QString &, const QString &initialFile) override
    {
        Opened(QStringLiteral("OpenFileName:") + initialFile);
        return fileAnswer;
    }

    QStringList boxes;
    std::function<void()> whileOpen;
    int messageAnswer = TModalResult::mrOk;
    QString inputAnswer = QStringLiteral("typed");
    QString fileAnswer = QStringLiteral("/tmp/chosen.txt");

private:
    void Opened(const QString &what)
    {
        boxes << what;
        if (whileOpen)
            whileOpen();
    }
};

// Installs a guard handler that records "ClassName: message" of every failure it gets,
// and removes it again at the end of the test.
class FailureRecorder {
public:
    FailureRecorder()
    {
        Guard::SetExceptionHandler([this](const std::exception &e) {
            failures << ExceptionClassName(e) + QStringLiteral(": ") + ExceptionMessage(e);
        });
    }
    ~FailureRecorder() { Guard::SetExceptionHandler(nullptr); }
    FailureRecorder(const FailureRecorder &) = delete;
    FailureRecorder &operator=(const FailureRecorder &) = delete;

    QStringList failures;
};

// A form with a vertical layout on its client area, and a log its handlers write to.
class TestWindow {
public:
    // The form uses the recording boxes unless other boxes are given.
    explicit TestWindow(IDialogs *boxes = nullptr) : form(QStringLiteral("Form1"), boxes ? *boxes : dialogs)
    {
        layout = new QVBoxLayout(form.Client()->ClientWidget());
        form.Window()->resize(420, 480);
    }
    TestWindow(const TestWindow &) = delete;
    TestWindow &operator=(const TestWindow &) = delete;

    TWinControl *Client() const { return form.Client(); }

    // Lays the control out at its natural width, so that clicks at its centre hit it.
    template <typename T>
    T *Place(T *control, Qt::Alignment alignment = Qt::AlignLeft)
    {
        layout->addWidget(control->Widget(), 0, alignment);
        return control;
    }

    // Shows the window and waits until it is the active window.
    bool ShowActive()
    {
        form.Show();
        return QTest::qWaitForWindowExposed(form.Window()) && QTest::qWaitForWindowActive(form.Window());
    }

    // After a modal box has closed, no window is active offscreen until it is asked for.
    bool Reactivate()
    {
        form.Window()->activateWindow();
        return QTest::qWaitForWindowActive(form.Window());
    }

    // Writes "enter:Name", "exit:Name" and, when the program takes the focus from it,
    // "leave:Name" to the log.
    void TrackFocus(TControl *control)
    {
        control->OnEnter = [this](TComponent *c) { log << QStringLiteral("enter:") + c->Name(); };
        control->OnExit = [this](TComponent *c) { log << QStringLiteral("exit:") + c->Name(); };
        control->OnLeaveUnfinished = [this](TComponent *c) { log << QStringLiteral("leave:") + c->Name(); };
    }
    // A handler that writes "what:Name" to the log.
    TNotifyEvent Logger(const QString &what)
    {
        return [this, what](TComponent *c) { log << what + QLatin1Char(':') + c->Name(); };
    }

    RecordingDialogs dialogs;
    TForm form;
    QVBoxLayout *layout;
    QStringList log;
};

// Watches for the next modal box and closes it shortly after it has opened, noting
// whether the box had the keyboard focus while it was open.
class ModalCloser {
public:
    explicit ModalCloser(int afterMs = 60)
    {
        poll_.setInterval(10);
        QObject::connect(&poll_, &QTimer::timeout, [this, afterMs] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            if (!seenAt_.isValid()) {
                seenAt_.start();
                return;
            }
            if (seenAt_.elapsed() < afterMs)
                return;
            QWidget *focus = QApplication::focusWidget();
            boxHadFocus = focus && focus->window() == modal;
            poll_.stop();
            ++closed;
            if (auto *box = qobject_cast<QMessageBox *>(modal); box && !box->buttons().isEmpty())
                box->buttons().constFirst()->click();
            else if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        });
        poll_.start();
    }

    int closed = 0;
    bool boxHadFocus = false;

private:
    QTimer poll_;
    QElapsedTimer seenAt_;
};

// The point of a check box's or radio button's indicator: a click there toggles it,
// whatever width the layout gives the widget.
inline QPoint IndicatorPoint(QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const bool radio = button->inherits("QRadioButton");
    const QRect r = button->style()->subElementRect(
        radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, button);
    return r.center();
}

inline void ClickButton(QAbstractButton *button, Qt::MouseButton which = Qt::LeftButton)
{
    QTest::mouseClick(button, which, {}, IndicatorPoint(button));
}

// The operator's double click: press, release, double click, release.
inline void DoubleClick(QWidget *widget, QPoint pos)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

// The test classes, each run by the one test program.
int RunValueTests(int argc, char **argv);
int RunFocusTests(int argc, char **argv);
int RunGuardTests(int argc, char **argv);
int RunGridLampTests(int argc, char **argv);
int RunIniFileTests(int argc, char **argv);
