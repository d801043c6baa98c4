// Enter and exit as the focus moves, modal boxes and other windows that take the focus,
// the page control's change and mouse-down events, and the window's activation.
#include "ControlsTestKit.h"
#include "controls/PageControl.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QWindow>

namespace {

QList<QRadioButton *> ItemButtons(TRadioGroup *group)
{
    return group->Widget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
}

// The widget that takes the focus for a control.
QWidget *FocusWidget(TControl *control)
{
    if (auto *group = dynamic_cast<TRadioGroup *>(control))
        return ItemButtons(group).constFirst();
    return control->Widget();
}

QPoint ClickPointOf(TControl *control)
{
    if (auto *button = qobject_cast<QAbstractButton *>(control->Widget()); button && !button->inherits("QPushButton"))
        return IndicatorPoint(button);
    return control->Widget()->rect().center();
}

QStringList FocusEntries(const QStringList &log)
{
    QStringList entries;
    for (const QString &e : log)
        if (e.startsWith(QLatin1String("enter:")) || e.startsWith(QLatin1String("exit:")))
            entries << e;
    return entries;
}

} // namespace

class TestFocus : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Guard::SetExceptionHandler(nullptr); }

    void exitRunsWhenFocusMovesWithinWindow_data();
    void exitRunsWhenFocusMovesWithinWindow();
    void modalBoxRunsNoExit_data();
    void modalBoxRunsNoExit();
    void otherWindowRunsNoExitNorActivate_data();
    void otherWindowRunsNoExitNorActivate();
    void pageTabClickRunsExitBeforeChange();
    void focusLeavingWithThePage_data();
    void focusLeavingWithThePage();
    void pageChangeByOperatorOnly_data();
    void pageChangeByOperatorOnly();
    void pageMouseDownReportsButton_data();
    void pageMouseDownReportsButton();

    void activateOnFirstShowOnly_data();
    void activateOnFirstShowOnly();
    void activateAfterEachBox_data();
    void activateAfterEachBox();
};

// ------------------------------------------------------------ enter and exit

// Edit1, Edit2, CheckBox1, Button1 and RadioGroup1, in this tab order.
void TestFocus::exitRunsWhenFocusMovesWithinWindow_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("action"); // "tab", "backtab", "down", "program:Name", "click:Name"
    QTest::addColumn<QStringList>("log");
    QTest::newRow("Tab to the next edit") << "Edit1" << "tab" << QStringList{"exit:Edit1", "enter:Edit2"};
    QTest::newRow("Shift+Tab back") << "Edit2" << "backtab" << QStringList{"exit:Edit2", "enter:Edit1"};
    QTest::newRow("Tab onto a check box") << "Edit2" << "tab" << QStringList{"exit:Edit2", "enter:CheckBox1"};
    QTest::newRow("click another edit") << "Edit1" << "click:Edit2" << QStringList{"exit:Edit1", "enter:Edit2"};
    QTest::newRow("click a check box: exit, enter, then its click")
        << "Edit1" << "click:CheckBox1" << QStringList{"exit:Edit1", "enter:CheckBox1", "click:CheckBox1"};
    QTest::newRow("click a button: exit, enter, then its click")
        << "Edit2" << "click:Button1" << QStringList{"exit:Edit2", "enter:Button1", "click:Button1"};
    QTest::newRow("click a radio group item")
        << "Edit1" << "click:RadioGroup1" << QStringList{"exit:Edit1", "enter:RadioGroup1", "click:RadioGroup1"};
    QTest::newRow("click the focused edit") << "Edit1" << "click:Edit1" << QStringList{};
    QTest::newRow("arrow key inside the radio group") << "RadioGroup1" << "down" << QStringList{"click:RadioGroup1"};
    QTest::newRow("focus set by the program") << "Edit1" << "program:Button1" << QStringList{"exit:Edit1", "enter:Button1"};
}

void TestFocus::exitRunsWhenFocusMovesWithinWindow()
{
    QFETCH(QString, from);
    QFETCH(QString, action);
    QFETCH(QStringList, log);
    TestWindow w;
    auto *edit1 = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()), {});
    auto *edit2 = w.Place(new TEdit(&w.form, QStringLiteral("Edit2"), w.Client()), {});
    auto *box = w.Place(new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box")));
    auto *button = w.Place(new TButton(&w.form, QStringLiteral("Button1"), w.Client(), QStringLiteral("Go")));
    auto *group = w.Place(new TRadioGroup(&w.form, QStringLiteral("RadioGroup1"), w.Client(), QStringLiteral("Speed"),
                                          {QStringLiteral("Slow"), QStringLiteral("Medium"), QStringLiteral("Fast")}),
                          {});
    group->SetItemIndex(0);
    for (TControl *c : std::initializer_list<TControl *>{edit1, edit2, box, button, group})
        w.TrackFocus(c);
    box->OnClick = w.Logger(QStringLiteral("click"));
    button->OnClick = w.Logger(QStringLiteral("click"));
    group->OnClick = w.Logger(QStringLiteral("click"));
    QVERIFY(w.ShowActive());

    auto *start = w.form.Find<TControl>(from);
    FocusWidget(start)->setFocus();
    QCOMPARE(w.form.ActiveControl(), start);
    QCOMPARE(w.log.value(w.log.size() - 1), QStringLiteral("enter:") + from);
    w.log.clear();

    QWidget *focused = QApplication::focusWidget();
    if (action == QLatin1String("tab")) {
        QTest::keyClick(focused, Qt::Key_Tab);
    } else if (action == QLatin1String("backtab")) {
        QTest::keyClick(focused, Qt::Key_Backtab, Qt::ShiftModifier);
    } else if (action == QLatin1String("down")) {
        QTest::keyClick(focused, Qt::Key_Down);
        QCOMPARE(group->ItemIndex(), 1);
    } else if (action.startsWith(QLatin1String("program:"))) {
        FocusWidget(w.form.Find<TControl>(action.mid(8)))->setFocus();
    } else {
        auto *target = w.form.Find<TControl>(action.mid(6));
        QWidget *widget = target == group ? static_cast<QWidget *>(ItemButtons(group).at(2)) : target->Widget();
        const QPoint at = target == group ? IndicatorPoint(ItemButtons(group).at(2)) : ClickPointOf(target);
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    }
    QCOMPARE(w.log, log);
}

// A real modal box opened by a handler while Edit1 has the focus: neither its opening
// nor the return of the focus afterwards is a move between controls.
void TestFocus::modalBoxRunsNoExit_data()
{
    QTest::addColumn<QString>("opener");
    QTest::newRow("message box from a timer") << "timer";
    QTest::newRow("message box from a key press") << "key press";
    QTest::newRow("dialog from a change handler") << "change";
    QTest::newRow("desktop message box through the form") << "form";
}

void TestFocus::modalBoxRunsNoExit()
{
    QFETCH(QString, opener);
    QtDialogs desktop;
    TestWindow w(&desktop);
    auto *edit1 = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()), {});
    auto *edit2 = w.Place(new TEdit(&w.form, QStringLiteral("Edit2"), w.Client()), {});
    w.TrackFocus(edit1);
    w.TrackFocus(edit2);
    int activations = 0;
    w.form.OnActivate = [&](TComponent *) { ++activations; };

    auto openBox = [&] {
        w.log << QStringLiteral("box:open");
        if (opener == QLatin1String("change")) {
            QDialog dialog(w.form.Window());
            auto *field = new QLineEdit(&dialog);
            field->setFocus();
            dialog.exec();
        } else if (opener == QLatin1String("form")) {
            w.form.MessageDlg(QStringLiteral("Port closed"), TMsgDlgType::mtWarning, TMsgDlgBtn::mbOK);
        } else {
            QMessageBox::warning(w.form.Window(), QStringLiteral("Warning"), QStringLiteral("Port closed"));
        }
        w.log << QStringLiteral("box:closed");
    };
    auto *timer = new TTimer(&w.form, QStringLiteral("Timer1"), 30, false);
    timer->OnTimer = [&](TComponent *) {
        timer->SetEnabled(false);
        openBox();
    };
    edit1->OnKeyPress = [&](TComponent *, QChar &key) {
        if (opener == QLatin1String("key press") && key == QLatin1Char('m'))
            openBox();
    };
    edit1->OnChange = [&](TComponent *) {
        if (opener == QLatin1String("change") || opener == QLatin1String("form"))
            openBox();
    };

    QVERIFY(w.ShowActive());
    QTRY_COMPARE(activations, 1);
    edit1->Widget()->setFocus();
    w.log.clear();

    ModalCloser closer;
    if (opener == QLatin1String("timer"))
        timer->SetEnabled(true);
    else
        QTest::keyClicks(edit1->Widget(), QStringLiteral("m"));
    QTRY_COMPARE(closer.closed, 1);
    QTRY_VERIFY(w.log.contains(QStringLiteral("box:closed")));
    QVERIFY(closer.boxHadFocus); // the box really took the focus from Edit1
    QVERIFY(w.Reactivate());
    QTRY_COMPARE(QApplication::focusWidget(), edit1->Widget());
    QCOMPARE(w.log, (QStringList{QStringLiteral("box:open"), QStringLiteral("box:closed")}));
    QCOMPARE(w.form.ActiveControl(), edit1);
    if (opener == QLatin1String("form"))
        QTRY_COMPARE(activations, 2);

    // The form still knows Edit1 as the control being left.
    QTest::keyClick(edit1->Widget(), Qt::Key_Tab);
    QCOMPARE(FocusEntries(w.log), (QStringList{QStringLiteral("exit:Edit1"), QStringLiteral("enter:Edit2")}));
}

void TestFocus::otherWindowRunsNoExitNorActivate_data()
{
    QTest::addColumn<bool>("otherApplication");
    QTest::newRow("another window of the program") << false;
    QTest::newRow("another application") << true;
}

void TestFocus::otherWindowRunsNoExitNorActivate()
{
    QFETCH(bool, otherApplication);
    TestWindow w;
    auto *edit1 = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()), {});
    auto *edit2 = w.Place(new TEdit(&w.form, QStringLiteral("Edit2"), w.Client()), {});
    w.TrackFocus(edit1);
    w.TrackFocus(edit2);
    int activations = 0;
    w.form.OnActivate = [&](TComponent *) { ++activations; };
    QVERIFY(w.ShowActive());
    QTRY_COMPARE(activations, 1);
    edit1->Widget()->setFocus();
    w.log.clear();

    QWidget other;
    auto *otherField = new QLineEdit(&other);
    QWindow foreign; // a window without widgets: to the widgets, as if another application had the focus
    if (otherApplication) {
        foreign.resize(200, 100);
        foreign.show();
        QVERIFY(QTest::qWaitForWindowExposed(&foreign));
        foreign.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&foreign));
        QTRY_VERIFY(!QApplication::activeWindow());
        QVERIFY(!QApplication::focusWidget());
    } else {
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        otherField->setFocus();
        QCOMPARE(QApplication::focusWidget(), otherField);
    }
    QVERIFY(w.Reactivate());
    QTRY_COMPARE(QApplication::focusWidget(), edit1->Widget());
    QTest::qWait(30);
    QCOMPARE(w.log, QStringList{});
    QCOMPARE(activations, 1);

    QTest::keyClick(edit1->Widget(), Qt::Key_Tab);
    QCOMPARE(w.log, (QStringList{QStringLiteral("exit:Edit1"), QStringLiteral("enter:Edit2")}));
}

// ------------------------------------------------------------ page control

namespace {
struct Pages {
    TPageControl *pages;
    TTabSheet *first;
    TTabSheet *second;
    TEdit *edit;
};

Pages BuildPages(TestWindow &w)
{
    auto *pages = new TPageControl(&w.form, QStringLiteral("PageControl1"), w.Client());
    w.layout->addWidget(pages->Widget());
    auto *first = new TTabSheet(&w.form, QStringLiteral("TabSheet1"), pages, QStringLiteral("Settings"));
    auto *second = new TTabSheet(&w.form, QStringLiteral("TabSheet2"), pages, QStringLiteral("Diagnostics"));
    auto *firstLayout = new QVBoxLayout(first->ClientWidget());
    auto *edit = new TEdit(&w.form, QStringLiteral("Edit1"), first);
    firstLayout->addWidget(edit->Widget());
    auto *secondLayout = new QVBoxLayout(second->ClientWidget());
    secondLayout->addWidget((new TEdit(&w.form, QStringLiteral("Edit2"), second))->Widget());
    return {pages, first, second, edit};
}

void ClickTab(TPageControl *pages, int index, Qt::MouseButton button = Qt::LeftButton)
{
    QTabBar *bar = pages->Tabs()->tabBar();
    QTest::mouseClick(bar, button, {}, bar->tabRect(index).center());
}
} // namespace

void TestFocus::pageTabClickRunsExitBeforeChange()
{
    TestWindow w;
    const Pages p = BuildPages(w);
    w.TrackFocus(p.edit);
    w.TrackFocus(p.pages);
    p.pages->OnChange = [&](TComponent *sender) {
        QCOMPARE(sender, p.pages);
        QCOMPARE(p.pages->ActivePage(), p.second);
        w.log << QStringLiteral("change:PageControl1");
    };
    QVERIFY(w.ShowActive());
    p.edit->Widget()->setFocus();
    w.log.clear();
    ClickTab(p.pages, 1);
    QCOMPARE(w.log, (QStringList{QStringLiteral("exit:Edit1"), QStringLiteral("enter:PageControl1"),
                                 QStringLiteral("change:PageControl1")}));
    QCOMPARE(p.pages->ActivePageIndex(), 1);
}

// Edit1 and Edit3 on the first page, Edit2 on the second; the operator is typing in
// Edit1. Only a move that the operator makes is the operator leaving Edit1: the program
// showing another page, hiding the shown tab, or disabling or hiding Edit1 (also while
// another window is active) moves the focus on without the exit, so that a value still
// being typed is not taken as finished: the typing ends unfinished, and Edit1 shows the
// text it had before. Return finishes the typing without leaving the edit.
void TestFocus::focusLeavingWithThePage_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("away"); // another window is active meanwhile
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("focused"); // the control that has the focus afterwards
    QTest::addColumn<QString>("text");    // Edit1's text afterwards
    const QStringList byOperator{"exit:Edit1", "enter:Edit2", "change:PageControl1"};
    QTest::newRow("operator presses Ctrl+Tab in the edit") << "ctrl tab" << false << byOperator << "Edit2" << "typed";
    QTest::newRow("operator presses Ctrl+Shift+Tab in the edit") << "ctrl backtab" << false << byOperator << "Edit2" << "typed";
    QTest::newRow("operator presses Return") << "return" << false << QStringList{"exit:Edit1", "enter:Edit1"} << "Edit1" << "typed";
    QTest::newRow("operator presses the keypad's Enter")
        << "enter" << false << QStringList{"exit:Edit1", "enter:Edit1"} << "Edit1" << "typed";
    for (const bool away : {false, true}) {
        const char *when = away ? ", another window active" : "";
        QTest::addRow("program shows the second page%s", when) << "show" << away << QStringList{"leave:Edit1", "enter:Edit2"} << "Edit2" << "before";
        QTest::addRow("program hides the shown page's tab%s", when)
            << "hide tab" << away << QStringList{"leave:Edit1", "enter:Edit2"} << "Edit2" << "before";
        QTest::addRow("program disables the edit%s", when) << "disable" << away << QStringList{"leave:Edit1", "enter:Edit3"} << "Edit3" << "before";
        QTest::addRow("program hides the edit%s", when) << "hide" << away << QStringList{"leave:Edit1", "enter:Edit3"} << "Edit3" << "before";
    }
}

void TestFocus::focusLeavingWithThePage()
{
    QFETCH(QString, action);
    QFETCH(bool, away);
    QFETCH(QStringList, log);
    QFETCH(QString, focused);
    QFETCH(QString, text);
    TestWindow w;
    const Pages p = BuildPages(w);
    auto *edit3 = new TEdit(&w.form, QStringLiteral("Edit3"), p.first);
    p.first->ClientWidget()->layout()->addWidget(edit3->Widget());
    for (const char *name : {"Edit1", "Edit2", "Edit3"})
        w.TrackFocus(w.form.Find<TEdit>(QString::fromLatin1(name)));
    p.pages->OnChange = w.Logger(QStringLiteral("change"));
    int changes = 0;
    p.edit->OnChange = [&](TComponent *) { ++changes; };
    p.edit->SetText(QStringLiteral("before"));
    QVERIFY(w.ShowActive());
    p.edit->Widget()->setFocus();
    p.edit->LineEdit()->selectAll();
    QTest::keyClicks(p.edit->Widget(), QStringLiteral("typed"));
    changes = 0;
    w.log.clear();

    QWidget other;
    if (away) {
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
    }
    if (action == QLatin1String("ctrl tab"))
        QTest::keyClick(p.edit->Widget(), Qt::Key_Tab, Qt::ControlModifier);
    else if (action == QLatin1String("ctrl backtab"))
        QTest::keyClick(p.edit->Widget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    else if (action == QLatin1String("return"))
        QTest::keyClick(p.edit->Widget(), Qt::Key_Return);
    else if (action == QLatin1String("enter"))
        QTest::keyClick(p.edit->Widget(), Qt::Key_Enter, Qt::KeypadModifier);
    else if (action == QLatin1String("show"))
        p.pages->SetActivePage(p.second);
    else if (action == QLatin1String("hide tab"))
        p.first->SetTabVisible(false);
    else if (action == QLatin1String("disable"))
        p.edit->SetEnabled(false);
    else
        p.edit->SetVisible(false);
    if (away) {
        QVERIFY(w.Reactivate());
        QTest::qWait(30);
    }
    QCOMPARE(w.log, log);
    QCOMPARE(w.form.ActiveControl(), w.form.Find<TControl>(focused));
    QCOMPARE(QApplication::focusWidget(), w.form.Find<TControl>(focused)->Widget());
    QCOMPARE(p.edit->Text(), text);
    QCOMPARE(changes, 0); // taking back the text before is no change

    // The control that got the focus is the one the operator leaves next.
    w.log.clear();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(FocusEntries(w.log).value(0), QStringLiteral("exit:") + focused);
}

void TestFocus::pageChangeByOperatorOnly_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("changes");
    QTest::addColumn<int>("active");
    QTest::newRow("program shows the second page") << "program" << 0 << 1;
    QTest::newRow("operator clicks the second tab") << "click" << 1 << 1;
    QTest::newRow("operator clicks the shown tab") << "click shown" << 0 << 0;
    QTest::newRow("operator presses Ctrl+Tab") << "ctrl tab" << 1 << 1;
}

void TestFocus::pageChangeByOperatorOnly()
{
    QFETCH(QString, action);
    QFETCH(int, changes);
    QFETCH(int, active);
    TestWindow w;
    const Pages p = BuildPages(w);
    QList<int> seen;
    p.pages->OnChange = [&](TComponent *) { seen << p.pages->ActivePageIndex(); };
    QVERIFY(w.ShowActive());
    if (action == QLatin1String("program")) {
        p.pages->SetActivePage(p.second);
    } else if (action == QLatin1String("click")) {
        ClickTab(p.pages, 1);
    } else if (action == QLatin1String("click shown")) {
        ClickTab(p.pages, 0);
    } else {
        p.pages->Tabs()->tabBar()->setFocus();
        QTest::keyClick(p.pages->Tabs()->tabBar(), Qt::Key_Tab, Qt::ControlModifier);
    }
    QCOMPARE(seen.size(), changes);
    if (changes)
        QCOMPARE(seen.constFirst(), active);
    QCOMPARE(p.pages->ActivePageIndex(), active);
    QCOMPARE(p.pages->ActivePage(), active == 0 ? p.first : p.second);
}

void TestFocus::pageMouseDownReportsButton_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestFocus::pageMouseDownReportsButton()
{
    QFETCH(Qt::MouseButton, button);
    TestWindow w;
    const Pages p = BuildPages(w);
    QList<Qt::MouseButton> seen;
    p.pages->OnMouseDown = [&](TComponent *sender, Qt::MouseButton b, Qt::KeyboardModifiers, int, int) {
        QCOMPARE(sender, p.pages);
        seen << b;
    };
    QVERIFY(w.ShowActive());
    ClickTab(p.pages, 1, button);
    QCOMPARE(seen, QList<Qt::MouseButton>{button});
    // Only the left button turns the page.
    QCOMPARE(p.pages->ActivePageIndex(), button == Qt::LeftButton ? 1 : 0);
}

// ------------------------------------------------------------ activation

void TestFocus::activateOnFirstShowOnly_data()
{
    QTest::addColumn<QString>("beforeShow"); // a box through the form before the first show
    QTest::newRow("no box") << "";
    QTest::newRow("message box while being created") << "message";
    QTest::newRow("input box while being created") << "input";
}

void TestFocus::activateOnFirstShowOnly()
{
    QFETCH(QString, beforeShow);
    TestWindow w;
    int activations = 0;
    w.form.OnActivate = [&](TComponent *sender) {
        QCOMPARE(sender, &w.form);
        QVERIFY(w.form.Window()->isVisible());
        ++activations;
    };
    // The window is not shown yet: closing the box gives it nothing to take back.
    if (beforeShow == QLatin1String("message"))
        w.form.MessageDlg(QStringLiteral("Settings file not found"), TMsgDlgType::mtWarning, TMsgDlgBtn::mbOK);
    else if (beforeShow == QLatin1String("input"))
        w.form.InputBox(QStringLiteral("Unit"), QStringLiteral("Unit id"), QStringLiteral("16"));
    QCoreApplication::processEvents();
    QCOMPARE(activations, 0);
    QVERIFY(w.ShowActive());
    QTRY_COMPARE(activations, 1);
    // Hiding and showing the window again is not a first show.
    w.form.Window()->hide();
    QVERIFY(w.ShowActive());
    QTest::qWait(50);
    QCOMPARE(activations, 1);
}

void TestFocus::activateAfterEachBox_data()
{
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("message box") << QStringList{"message"};
    QTest::newRow("input box") << QStringList{"input"};
    QTest::newRow("save file box") << QStringList{"save"};
    QTest::newRow("open file box") << QStringList{"open"};
    QTest::newRow("two boxes in one handler") << QStringList{"message", "open"};
}

void TestFocus::activateAfterEachBox()
{
    QFETCH(QStringList, boxes);
    TestWindow w;
    auto *button = w.Place(new TButton(&w.form, QStringLiteral("Button1"), w.Client(), QStringLiteral("Go")));
    int activations = 0;
    w.form.OnActivate = [&](TComponent *) { ++activations; };
    QList<int> whileOpen;
    w.dialogs.whileOpen = [&] { whileOpen << activations; };
    QStringList answers;
    button->OnClick = [&](TComponent *) {
        for (const QString &box : boxes) {
            if (box == QLatin1String("message"))
                answers << QString::number(w.form.MessageDlg(QStringLiteral("Sure?"), TMsgDlgType::mtConfirmation,
                                                             TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo));
            else if (box == QLatin1String("input"))
                answers << w.form.InputBox(QStringLiteral("Unit"), QStringLiteral("Unit id"), QStringLiteral("16"));
            else if (box == QLatin1String("save"))
                answers << w.form.SaveFileName(QStringLiteral("Text file|*.txt"), QStringLiteral("txt"), QStringLiteral("log"));
            else
                answers << w.form.OpenFileName(QStringLiteral("Text file|*.txt"), QStringLiteral("txt"), QStringLiteral("log"));
        }
    };
    w.dialogs.messageAnswer = TModalResult::mrNo;
    QVERIFY(w.ShowActive());
    QTRY_COMPARE(activations, 1);
    QTest::mouseClick(button->Widget(), Qt::LeftButton);
    QCOMPARE(w.dialogs.boxes.size(), boxes.size());
    QTRY_COMPARE(activations, 1 + boxes.size());
    QTest::qWait(30);
    QCOMPARE(activations, 1 + boxes.size());
    QCOMPARE(whileOpen, QList<int>(boxes.size(), 1)); // not while a box is open
    for (int i = 0; i < boxes.size(); ++i) {
        const QString &box = boxes[i];
        const QString expected = box == QLatin1String("message") ? QString::number(TModalResult::mrNo)
                                 : box == QLatin1String("input") ? w.dialogs.inputAnswer
                                                                 : w.dialogs.fileAnswer;
        QCOMPARE(answers.value(i), expected);
    }
}

int RunFocusTests(int argc, char **argv)
{
    TestFocus tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_focus.moc"
