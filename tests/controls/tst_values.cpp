// Values set by the program and by the operator: when the click and change handlers
// run, where their failures go, the radio group's selection rule, the edit's length
// limit and key events, the check box's mouse-up, the memo's lines and the timer.
#include "ControlsTestKit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextBlock>

namespace {

QList<QRadioButton *> ItemButtons(TRadioGroup *group)
{
    return group->Widget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
}

// The index of the one ticked item button, -1 when none is, -2 when several are.
int TickedItem(TRadioGroup *group)
{
    int ticked = -1;
    const QList<QRadioButton *> buttons = ItemButtons(group);
    for (int i = 0; i < buttons.size(); ++i)
        if (buttons[i]->isChecked())
            ticked = ticked == -1 ? i : -2;
    return ticked;
}

// Presses the keys of a script on whichever widget has the focus: '\b' is Backspace,
// '\t' Tab, '\x01' Shift+Tab, anything else is typed.
void PressKeys(const QString &keys)
{
    for (QChar c : keys) {
        QWidget *target = QApplication::focusWidget();
        QVERIFY(target);
        if (c == QLatin1Char('\b'))
            QTest::keyClick(target, Qt::Key_Backspace);
        else if (c == QLatin1Char('\t'))
            QTest::keyClick(target, Qt::Key_Tab);
        else if (c == QChar(1))
            QTest::keyClick(target, Qt::Key_Backtab, Qt::ShiftModifier);
        else
            QTest::keyClicks(target, QString(c));
    }
}

} // namespace

class TestValues : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Guard::SetExceptionHandler(nullptr); }

    void editSetText_data();
    void editSetText();
    void checkBoxSetChecked_data();
    void checkBoxSetChecked();
    void radioButtonSetChecked_data();
    void radioButtonSetChecked();
    void radioGroupSetItemIndex_data();
    void radioGroupSetItemIndex();
    void programValueFailureReachesCaller_data();
    void programValueFailureReachesCaller();
    void valueSetWithoutClickHandling_data();
    void valueSetWithoutClickHandling();
    void operatorInputRunsHandlerThroughGuard_data();
    void operatorInputRunsHandlerThroughGuard();
    void radioGroupOperatorClicks_data();
    void radioGroupOperatorClicks();
    void radioButtonClickOnTickedRunsNothing();

    void editOperatorChangesRunOnChange_data();
    void editOperatorChangesRunOnChange();
    void editMaxLengthLimitsTypingOnly_data();
    void editMaxLengthLimitsTypingOnly();
    void editKeyPressGetsTypedCharacters_data();
    void editKeyPressGetsTypedCharacters();

    void comboTypedTextChoosesNoItem_data();
    void comboTypedTextChoosesNoItem();

    void checkBoxMouseUpAfterToggle_data();
    void checkBoxMouseUpAfterToggle();

    void memoLinesFollowWidget_data();
    void memoLinesFollowWidget();
    void memoDeleteOutsideThrows_data();
    void memoDeleteOutsideThrows();
    void memoCaretFollowsDoubleClick_data();
    void memoCaretFollowsDoubleClick();

    void timerEnableWhileRunningKeepsInterval();
    void timerEnableStartsAndDisableStops();
};

// ------------------------------------------------------------ program-set values

void TestValues::editSetText_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("runs");
    QTest::newRow("same text") << "abc" << "abc" << 0;
    QTest::newRow("new text") << "abc" << "abd" << 1;
    QTest::newRow("letter case only") << "abc" << "ABC" << 1;
    QTest::newRow("to empty") << "abc" << "" << 1;
    QTest::newRow("empty to empty") << "" << "" << 0;
    QTest::newRow("from empty") << "" << "0" << 1;
}

void TestValues::editSetText()
{
    QFETCH(QString, start);
    QFETCH(QString, value);
    QFETCH(int, runs);
    TestWindow w;
    auto *edit = new TEdit(&w.form, QStringLiteral("Edit1"), w.Client(), start);
    QStringList seen;
    edit->OnChange = [&](TComponent *sender) {
        QCOMPARE(sender, edit);
        seen << edit->Text();
    };
    edit->SetText(value);
    QCOMPARE(edit->Text(), value);
    QCOMPARE(seen.size(), runs);
    if (runs)
        QCOMPARE(seen.constFirst(), value); // the handler sees the new text, as after typing
}

void TestValues::checkBoxSetChecked_data()
{
    QTest::addColumn<bool>("start");
    QTest::addColumn<bool>("value");
    QTest::addColumn<int>("runs");
    QTest::newRow("tick unticked") << false << true << 1;
    QTest::newRow("untick ticked") << true << false << 1;
    QTest::newRow("tick ticked") << true << true << 0;
    QTest::newRow("untick unticked") << false << false << 0;
}

void TestValues::checkBoxSetChecked()
{
    QFETCH(bool, start);
    QFETCH(bool, value);
    QFETCH(int, runs);
    TestWindow w;
    auto *box = new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box"));
    box->SetChecked(start); // no handler yet
    QList<bool> seen;
    box->OnClick = [&](TComponent *) { seen << box->Checked(); };
    box->SetChecked(value);
    QCOMPARE(box->Checked(), value);
    QCOMPARE(seen.size(), runs);
    if (runs)
        QCOMPARE(seen.constFirst(), value);
}

// Two buttons of one group; the program sets the first one.
void TestValues::radioButtonSetChecked_data()
{
    QTest::addColumn<int>("startTicked"); // -1 none, 0 first, 1 second
    QTest::addColumn<bool>("value");
    QTest::addColumn<int>("runs");
    QTest::addColumn<int>("ticked"); // afterwards
    QTest::newRow("tick in an empty group") << -1 << true << 1 << 0;
    QTest::newRow("tick unticks the other") << 1 << true << 1 << 0;
    QTest::newRow("tick ticked") << 0 << true << 0 << 0;
    QTest::newRow("untick ticked runs nothing") << 0 << false << 0 << -1;
    QTest::newRow("untick unticked") << 1 << false << 0 << 1;
}

void TestValues::radioButtonSetChecked()
{
    QFETCH(int, startTicked);
    QFETCH(bool, value);
    QFETCH(int, runs);
    QFETCH(int, ticked);
    TestWindow w;
    QButtonGroup group;
    auto *first = new TRadioButton(&w.form, QStringLiteral("RadioButton1"), w.Client(), QStringLiteral("One"), &group);
    auto *second = new TRadioButton(&w.form, QStringLiteral("RadioButton2"), w.Client(), QStringLiteral("Two"), &group);
    if (startTicked == 0)
        first->SetChecked(true);
    if (startTicked == 1)
        second->SetChecked(true);
    int firstRuns = 0, secondRuns = 0;
    first->OnClick = [&](TComponent *) {
        QVERIFY(first->Checked());
        ++firstRuns;
    };
    second->OnClick = [&](TComponent *) { ++secondRuns; };
    first->SetChecked(value);
    QCOMPARE(firstRuns, runs);
    QCOMPARE(secondRuns, 0);
    QCOMPARE(first->Checked(), ticked == 0);
    QCOMPARE(second->Checked(), ticked == 1);
}

void TestValues::radioGroupSetItemIndex_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("index"); // afterwards
    QTest::addColumn<int>("runs");
    // Three items.
    QTest::newRow("same item") << 1 << 1 << 1 << 0;
    QTest::newRow("other item") << 1 << 2 << 2 << 1;
    QTest::newRow("first item") << 2 << 0 << 0 << 1;
    QTest::newRow("at the count selects the last") << 0 << 3 << 2 << 1;
    QTest::newRow("far above selects the last") << 0 << 70 << 2 << 1;
    QTest::newRow("above while the last is selected") << 2 << 5 << 2 << 0;
    QTest::newRow("minus one clears") << 1 << -1 << -1 << 0;
    QTest::newRow("far below clears") << 2 << -9 << -1 << 0;
    QTest::newRow("clear when clear") << -1 << -1 << -1 << 0;
    QTest::newRow("select from clear") << -1 << 0 << 0 << 1;
}

void TestValues::radioGroupSetItemIndex()
{
    QFETCH(int, start);
    QFETCH(int, value);
    QFETCH(int, index);
    QFETCH(int, runs);
    TestWindow w;
    auto *group = new TRadioGroup(&w.form, QStringLiteral("RadioGroup1"), w.Client(), QStringLiteral("Speed"),
                                  {QStringLiteral("Slow"), QStringLiteral("Medium"), QStringLiteral("Fast")});
    group->SetItemIndex(start);
    QList<int> seen;
    group->OnClick = [&](TComponent *) { seen << group->ItemIndex(); };
    group->SetItemIndex(value);
    QCOMPARE(group->ItemIndex(), index);
    QCOMPARE(TickedItem(group), index);
    QCOMPARE(seen.size(), runs);
    if (runs)
        QCOMPARE(seen.constFirst(), index);
    if (index < 0)
        QVERIFY_THROWS_EXCEPTION(EListError, group->SelectedCaption());
    else
        QCOMPARE(group->SelectedCaption(), group->Items().at(index));
}

// A failing handler run by a program-set value: the failure reaches the code that set
// the value, not the guard.
void TestValues::programValueFailureReachesCaller_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("edit text") << "edit";
    QTest::newRow("check box") << "check box";
    QTest::newRow("radio button") << "radio button";
    QTest::newRow("radio group") << "radio group";
    QTest::newRow("button pressed by the program") << "button";
}

void TestValues::programValueFailureReachesCaller()
{
    QFETCH(QString, kind);
    FailureRecorder recorder;
    TestWindow w;
    QButtonGroup buttons;
    bool reachedEnd = false;
    auto failing = [&](TComponent *) {
        throw EConvertError(QStringLiteral("'x' is not a valid integer value"));
        reachedEnd = true;
    };
    std::function<void()> set;
    std::function<bool()> shown;
    if (kind == QLatin1String("edit")) {
        auto *edit = new TEdit(&w.form, QStringLiteral("Edit1"), w.Client());
        edit->OnChange = failing;
        set = [edit] { edit->SetText(QStringLiteral("x")); };
        shown = [edit] { return edit->Text() == QLatin1String("x"); };
    } else if (kind == QLatin1String("check box")) {
        auto *box = new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box"));
        box->OnClick = failing;
        set = [box] { box->SetChecked(true); };
        shown = [box] { return box->Checked(); };
    } else if (kind == QLatin1String("radio button")) {
        auto *radio = new TRadioButton(&w.form, QStringLiteral("RadioButton1"), w.Client(), QStringLiteral("One"), &buttons);
        radio->OnClick = failing;
        set = [radio] { radio->SetChecked(true); };
        shown = [radio] { return radio->Checked(); };
    } else if (kind == QLatin1String("radio group")) {
        auto *group = new TRadioGroup(&w.form, QStringLiteral("RadioGroup1"), w.Client(), QStringLiteral("Speed"),
                                      {QStringLiteral("Slow"), QStringLiteral("Fast")});
        group->OnClick = failing;
        set = [group] { group->SetItemIndex(1); };
        shown = [group] { return group->ItemIndex() == 1 && TickedItem(group) == 1; };
    } else {
        auto *button = new TButton(&w.form, QStringLiteral("Button1"), w.Client(), QStringLiteral("Go"));
        button->OnClick = failing;
        set = [button] { button->Click(); };
        shown = [] { return true; };
    }
    QVERIFY_THROWS_EXCEPTION(EConvertError, set());
    QVERIFY(!reachedEnd);
    QVERIFY(recorder.failures.isEmpty());
    QVERIFY(shown());
}

// A value set without click handling: shown by the control's own rules, the handler does
// not run, the call tells whether it would have run, and the handler is back in place
// afterwards, also when setting the value fails.
void TestValues::valueSetWithoutClickHandling_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("start");   // box: 0 unticked, 1 ticked; group: the item index
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("fails");  // the set fails after setting the value
    QTest::addColumn<int>("shown");   // afterwards
    QTest::addColumn<bool>("wouldRun");
    QTest::newRow("box ticked") << "box" << 0 << 1 << false << 1 << true;
    QTest::newRow("box unticked") << "box" << 1 << 0 << false << 0 << true;
    QTest::newRow("box as it was") << "box" << 1 << 1 << false << 1 << false;
    QTest::newRow("box, failing set") << "box" << 0 << 1 << true << 1 << true;
    // Three items.
    QTest::newRow("group to another item") << "group" << 0 << 2 << false << 2 << true;
    QTest::newRow("group above the last item") << "group" << 0 << 7 << false << 2 << true;
    QTest::newRow("group on its item") << "group" << 1 << 1 << false << 1 << false;
    QTest::newRow("group cleared") << "group" << 1 << -1 << false << -1 << false;
    QTest::newRow("group, failing set") << "group" << 0 << 1 << true << 1 << true;
}

void TestValues::valueSetWithoutClickHandling()
{
    QFETCH(QString, kind);
    QFETCH(int, start);
    QFETCH(int, value);
    QFETCH(bool, fails);
    QFETCH(int, shown);
    QFETCH(bool, wouldRun);
    TestWindow w;
    int runs = 0;
    const TNotifyEvent handler = [&](TComponent *) { ++runs; };
    std::function<bool(const std::function<void()> &)> setWithout;
    std::function<int()> current;
    std::function<void()> changeAgain; // a program-set change that runs the handler
    if (kind == QLatin1String("box")) {
        auto *box = new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box"));
        box->SetChecked(start == 1);
        box->OnClick = handler;
        setWithout = [box, value](const std::function<void()> &after) {
            return SetWithoutClickHandling(*box, [&] {
                box->SetChecked(value == 1);
                after();
            });
        };
        current = [box] { return box->Checked() ? 1 : 0; };
        changeAgain = [box] { box->SetChecked(!box->Checked()); };
    } else {
        auto *group = new TRadioGroup(&w.form, QStringLiteral("RadioGroup1"), w.Client(), QStringLiteral("Speed"),
                                      {QStringLiteral("Slow"), QStringLiteral("Medium"), QStringLiteral("Fast")});
        group->SetItemIndex(start);
        group->OnClick = handler;
        setWithout = [group, value](const std::function<void()> &after) {
            return SetWithoutClickHandling(*group, [&] {
                group->SetItemIndex(value);
                after();
            });
        };
        current = [group] { return group->ItemIndex(); };
        changeAgain = [group] { group->SetItemIndex(group->ItemIndex() == 0 ? 1 : 0); };
    }
    if (fails) {
        QVERIFY_THROWS_EXCEPTION(EConvertError, setWithout([] { throw EConvertError(QStringLiteral("failed")); }));
    } else {
        QCOMPARE(setWithout([] {}), wouldRun);
    }
    QCOMPARE(current(), shown);
    QCOMPARE(runs, 0);
    changeAgain();
    QCOMPARE(runs, 1);
}

// The operator's input runs the same handlers through the guard: a failure is reported
// and the input stays applied.
void TestValues::operatorInputRunsHandlerThroughGuard_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("typing in an edit") << "edit";
    QTest::newRow("clicking a check box") << "check box";
    QTest::newRow("clicking a radio button") << "radio button";
    QTest::newRow("clicking a radio group item") << "radio group";
    QTest::newRow("clicking a button") << "button";
}

void TestValues::operatorInputRunsHandlerThroughGuard()
{
    QFETCH(QString, kind);
    FailureRecorder recorder;
    TestWindow w;
    QButtonGroup buttons;
    int runs = 0;
    bool reachedEnd = false;
    auto failing = [&](TComponent *) {
        ++runs;
        throw ERangeError(QStringLiteral("out of range"));
        reachedEnd = true;
    };
    std::function<void()> act;
    std::function<bool()> applied;
    if (kind == QLatin1String("edit")) {
        auto *edit = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()));
        edit->OnChange = failing;
        act = [edit] { QTest::keyClicks(edit->Widget(), QStringLiteral("7")); };
        applied = [edit] { return edit->Text() == QLatin1String("7"); };
    } else if (kind == QLatin1String("check box")) {
        auto *box = w.Place(new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box")));
        box->OnClick = failing;
        act = [box] { ClickButton(static_cast<QAbstractButton *>(box->Widget())); };
        applied = [box] { return box->Checked(); };
    } else if (kind == QLatin1String("radio button")) {
        auto *radio = w.Place(new TRadioButton(&w.form, QStringLiteral("RadioButton1"), w.Client(), QStringLiteral("One"), &buttons));
        radio->OnClick = failing;
        act = [radio] { ClickButton(static_cast<QAbstractButton *>(radio->Widget())); };
        applied = [radio] { return radio->Checked(); };
    } else if (kind == QLatin1String("radio group")) {
        auto *group = w.Place(new TRadioGroup(&w.form, QStringLiteral("RadioGroup1"), w.Client(), QStringLiteral("Speed"),
                                              {QStringLiteral("Slow"), QStringLiteral("Fast")}));
        group->OnClick = failing;
        act = [group] { ClickButton(ItemButtons(group).at(1)); };
        applied = [group] { return group->ItemIndex() == 1; };
    } else {
        auto *button = w.Place(new TButton(&w.form, QStringLiteral("Button1"), w.Client(), QStringLiteral("Go")));
        button->OnClick = failing;
        act = [button] { QTest::mouseClick(button->Widget(), Qt::LeftButton); };
        applied = [] { return true; };
    }
    QVERIFY(w.ShowActive());
    act();
    QCOMPARE(runs, 1);
    QVERIFY(!reachedEnd);
    QCOMPARE(recorder.failures, QStringList{QStringLiteral("ERangeError: out of range")});
    QVERIFY(applied());
}

void TestValues::radioGroupOperatorClicks_data()
{
    QTest::addColumn<QList<int>>("program"); // program-set indexes before the clicks
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QList<int>>("seen"); // ItemIndex inside each handler run
    QTest::newRow("one click") << QList<int>{} << QList<int>{2} << QList<int>{2};
    QTest::newRow("selected item again runs nothing") << QList<int>{} << QList<int>{0, 0, 0} << QList<int>{0};
    QTest::newRow("changes only") << QList<int>{} << QList<int>{1, 1, 2, 0, 0} << QList<int>{1, 2, 0};
    QTest::newRow("item the program selected") << QList<int>{1} << QList<int>{1, 2} << QList<int>{2};
    QTest::newRow("item before the program cleared") << QList<int>{1, -1} << QList<int>{1} << QList<int>{1};
}

void TestValues::radioGroupOperatorClicks()
{
    QFETCH(QList<int>, program);
    QFETCH(QList<int>, clicks);
    QFETCH(QList<int>, seen);
    TestWindow w;
    auto *group = w.Place(new TRadioGroup(&w.form, QStringLiteral("RadioGroup1"), w.Client(), QStringLiteral("Speed"),
                                          {QStringLiteral("Slow"), QStringLiteral("Medium"), QStringLiteral("Fast")}));
    for (int index : program)
        group->SetItemIndex(index);
    QList<int> runs;
    group->OnClick = [&](TComponent *) { runs << group->ItemIndex(); };
    QVERIFY(w.ShowActive());
    for (int item : clicks) {
        ClickButton(ItemButtons(group).at(item));
        QCOMPARE(group->ItemIndex(), item);
        QCOMPARE(TickedItem(group), item);
    }
    QCOMPARE(runs, seen);
}

void TestValues::radioButtonClickOnTickedRunsNothing()
{
    TestWindow w;
    QButtonGroup group;
    auto *one = w.Place(new TRadioButton(&w.form, QStringLiteral("RadioButton1"), w.Client(), QStringLiteral("One"), &group));
    auto *two = w.Place(new TRadioButton(&w.form, QStringLiteral("RadioButton2"), w.Client(), QStringLiteral("Two"), &group));
    one->OnClick = w.Logger(QStringLiteral("click"));
    two->OnClick = w.Logger(QStringLiteral("click"));
    QVERIFY(w.ShowActive());
    auto *oneButton = static_cast<QAbstractButton *>(one->Widget());
    auto *twoButton = static_cast<QAbstractButton *>(two->Widget());
    ClickButton(oneButton);
    ClickButton(oneButton);
    ClickButton(twoButton);
    ClickButton(twoButton);
    ClickButton(oneButton);
    QCOMPARE(w.log, (QStringList{QStringLiteral("click:RadioButton1"), QStringLiteral("click:RadioButton2"),
                                 QStringLiteral("click:RadioButton1")}));
    QVERIFY(one->Checked());
    QVERIFY(!two->Checked());
}

// ------------------------------------------------------------ edit

// Every change the operator makes to the text runs OnChange once, with the new text shown;
// none does in an edit whose typing runs no change handling, where text set by the
// program still runs it.
void TestValues::editOperatorChangesRunOnChange_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("text"); // afterwards; the edit starts with "502"
    QTest::addColumn<int>("runs");
    QTest::newRow("typing") << "type" << "50217" << 2;
    QTest::newRow("backspace") << "backspace" << "50" << 1;
    QTest::newRow("delete key at the start") << "delete" << "02" << 1;
    QTest::newRow("cut all") << "cut" << "" << 1;
    QTest::newRow("paste over all") << "paste" << "503" << 1;
    QTest::newRow("undo typing") << "undo" << "502" << 2;
    QTest::newRow("cursor keys change nothing") << "cursor" << "502" << 0;
}

void TestValues::editOperatorChangesRunOnChange()
{
    QFETCH(QString, action);
    QFETCH(QString, text);
    QFETCH(int, runs);
    for (const bool typingRunsChange : {true, false}) {
        TestWindow w;
        auto *edit = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client(), QStringLiteral("502")), {});
        edit->TypingRunsChange = typingRunsChange;
        QStringList seen;
        edit->OnChange = [&](TComponent *) { seen << edit->Text(); };
        QVERIFY(w.ShowActive());
        QWidget *field = edit->Widget();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_End);
        if (action == QLatin1String("type")) {
            QTest::keyClicks(field, QStringLiteral("17"));
        } else if (action == QLatin1String("backspace")) {
            QTest::keyClick(field, Qt::Key_Backspace);
        } else if (action == QLatin1String("delete")) {
            QTest::keyClick(field, Qt::Key_Home);
            QTest::keyClick(field, Qt::Key_Delete);
        } else if (action == QLatin1String("cut")) {
            QTest::keySequence(field, QKeySequence::SelectAll);
            QTest::keySequence(field, QKeySequence::Cut);
        } else if (action == QLatin1String("paste")) {
            QApplication::clipboard()->setText(QStringLiteral("503"));
            QTest::keySequence(field, QKeySequence::SelectAll);
            QTest::keySequence(field, QKeySequence::Paste);
        } else if (action == QLatin1String("undo")) {
            QTest::keyClicks(field, QStringLiteral("9"));
            QTest::keySequence(field, QKeySequence::Undo);
        } else {
            QTest::keyClick(field, Qt::Key_Left);
            QTest::keyClick(field, Qt::Key_Home);
        }
        QCOMPARE(edit->Text(), text);
        if (typingRunsChange) {
            QCOMPARE(seen.size(), runs);
            if (runs)
                QCOMPARE(seen.constLast(), text);
        } else {
            QCOMPARE(seen, QStringList{});
            edit->SetText(QStringLiteral("77"));
            QCOMPARE(seen, QStringList{QStringLiteral("77")});
        }
    }
}

void TestValues::editMaxLengthLimitsTypingOnly_data()
{
    QTest::addColumn<QString>("initial"); // the text the edit is created with
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("program"); // set after the limit; null: none
    QTest::addColumn<QString>("keys");    // typed at the end of the text; '\b' is Backspace
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("changes"); // OnChange runs for the keys
    QTest::newRow("typing stops at the limit") << "" << 3 << QString() << "abcdef" << "abc" << 3;
    QTest::newRow("program text is not limited") << "" << 3 << "abcdef" << "" << "abcdef" << 0;
    QTest::newRow("typing onto long program text") << "" << 3 << "abcdef" << "xy" << "abcdef" << 0;
    QTest::newRow("deleting from long program text") << "" << 3 << "abcdef" << "\b" << "abcde" << 1;
    QTest::newRow("deleting from long initial text") << "abcdef" << 3 << QString() << "\b\b" << "abcd" << 2;
    QTest::newRow("typing onto long initial text") << "abcdef" << 3 << QString() << "x" << "abcdef" << 0;
    QTest::newRow("deleting to the limit, then typing") << "" << 3 << "abcd" << "\bx\bz" << "abz" << 3;
    QTest::newRow("program text within the limit") << "" << 4 << "ab" << "cdef" << "abcd" << 2;
    QTest::newRow("no limit") << "" << 0 << "abcdef" << "gh" << "abcdefgh" << 2;
}

void TestValues::editMaxLengthLimitsTypingOnly()
{
    QFETCH(QString, initial);
    QFETCH(int, limit);
    QFETCH(QString, program);
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    QFETCH(int, changes);
    TestWindow w;
    auto *edit = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client(), initial), {});
    edit->SetMaxLength(limit);
    if (!program.isNull())
        edit->SetText(program);
    QCOMPARE(edit->Text(), program.isNull() ? initial : program);
    int runs = 0;
    edit->OnChange = [&](TComponent *) { ++runs; };
    QVERIFY(w.ShowActive());
    edit->Widget()->setFocus();
    QTest::keyClick(edit->Widget(), Qt::Key_End);
    PressKeys(keys);
    QCOMPARE(edit->Text(), expected);
    QCOMPARE(runs, changes);
}

void TestValues::editKeyPressGetsTypedCharacters_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("keys"); // '\b' Backspace, '\t' Tab, '\x01' Shift+Tab
    QTest::addColumn<QString>("reported");
    QTest::addColumn<QString>("text");
    QTest::newRow("letters, digits, blank") << 0 << "a1 Z" << "a1 Z" << "a1 Z";
    QTest::newRow("punctuation") << 0 << "-.,;" << "-.,;" << "-.,;";
    QTest::newRow("beyond the limit still reported") << 2 << "abc" << "abc" << "ab";
    QTest::newRow("backspace is a character") << 0 << "ab\b" << "ab\b" << "a";
    QTest::newRow("tab moves on, it is not typed") << 0 << "a\t" << "a" << "a";
    QTest::newRow("shift tab moves back, it is not typed") << 0 << "a\x01" << "a" << "a";
}

void TestValues::editKeyPressGetsTypedCharacters()
{
    QFETCH(int, limit);
    QFETCH(QString, keys);
    QFETCH(QString, reported);
    QFETCH(QString, text);
    TestWindow w;
    auto *before = w.Place(new TEdit(&w.form, QStringLiteral("Edit0"), w.Client()), {});
    auto *edit = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()), {});
    auto *after = w.Place(new TEdit(&w.form, QStringLiteral("Edit2"), w.Client()), {});
    edit->SetMaxLength(limit);
    QString got;
    edit->OnKeyPress = [&](TComponent *sender, QChar &key) {
        QCOMPARE(sender, edit);
        got += key;
    };
    QVERIFY(w.ShowActive());
    edit->Widget()->setFocus();
    PressKeys(keys);
    QCOMPARE(got, reported);
    QCOMPARE(edit->Text(), text);
    QVERIFY(before->Text().isEmpty() && after->Text().isEmpty());
}

// ------------------------------------------------------------ check box mouse-up

// ------------------------------------------------------------ combo box

// Text typed into the edit field chooses no item, even when it spells one and the field
// is then left or Return is pressed; an arrow key picks from the list.
void TestValues::comboTypedTextChoosesNoItem_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("end"); // "tab", "return", "click", "down"
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("changes"); // the item index each OnChange saw
    QTest::newRow("a first letter, then Tab: no name completed") << "g" << "tab" << "g" << QList<int>{-1};
    QTest::newRow("an item's name, then Tab") << "Group 2" << "tab" << "Group 2" << QList<int>(7, -1);
    QTest::newRow("an item's name, then Return") << "Group 1" << "return" << "Group 1" << QList<int>(7, -1);
    QTest::newRow("an item's name, then a click elsewhere") << "Static Data" << "click" << "Static Data" << QList<int>(11, -1);
    QTest::newRow("the Down key picks the first item") << "" << "down" << "Static Data" << QList<int>{0};
}

void TestValues::comboTypedTextChoosesNoItem()
{
    QFETCH(QString, typed);
    QFETCH(QString, end);
    QFETCH(QString, text);
    QFETCH(QList<int>, changes);
    TestWindow w;
    auto *combo = w.Place(new TComboBox(&w.form, QStringLiteral("ComboBox1"), w.Client(),
                                        {QStringLiteral("Static Data"), QStringLiteral("Group 1"), QStringLiteral("Group 2")},
                                        QStringLiteral("Select Item to View")));
    auto *other = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()));
    QList<int> seen;
    combo->OnChange = [&](TComponent *) { seen << combo->ItemIndex(); };
    QVERIFY(w.ShowActive());
    auto *box = static_cast<QComboBox *>(combo->Widget());
    box->setFocus();
    box->lineEdit()->selectAll();
    QTest::keyClicks(box, typed);
    if (end == QLatin1String("tab"))
        QTest::keyClick(box, Qt::Key_Tab);
    else if (end == QLatin1String("return"))
        QTest::keyClick(box, Qt::Key_Return);
    else if (end == QLatin1String("click"))
        QTest::mouseClick(other->Widget(), Qt::LeftButton);
    else
        QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(combo->Text(), text);
    QCOMPARE(seen, changes);
    QCOMPARE(combo->ItemIndex(), changes.constLast());
}

void TestValues::checkBoxMouseUpAfterToggle_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("releaseOutside");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("left toggles, then mouse-up") << Qt::LeftButton << false
                                                 << QStringList{"click:1", "up:1:1"};
    QTest::newRow("right: mouse-up only") << Qt::RightButton << false << QStringList{"up:2:0"};
    QTest::newRow("middle: mouse-up only") << Qt::MiddleButton << false << QStringList{"up:4:0"};
    QTest::newRow("left released outside: nothing") << Qt::LeftButton << true << QStringList{};
}

void TestValues::checkBoxMouseUpAfterToggle()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, releaseOutside);
    QFETCH(QStringList, log);
    TestWindow w;
    auto *box = w.Place(new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Logging")));
    QStringList got;
    QPoint upAt;
    box->OnClick = [&](TComponent *) { got << QStringLiteral("click:%1").arg(int(box->Checked())); };
    box->OnMouseUp = [&](TComponent *sender, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
        QCOMPARE(sender, box);
        got << QStringLiteral("up:%1:%2").arg(int(b)).arg(int(box->Checked()));
        upAt = QPoint(x, y);
    };
    QVERIFY(w.ShowActive());
    auto *widget = static_cast<QAbstractButton *>(box->Widget());
    const QPoint at = IndicatorPoint(widget);
    const QPoint release = releaseOutside ? QPoint(widget->width() + 30, widget->height() + 30) : at;
    QTest::mousePress(widget, button, {}, at);
    QTest::mouseRelease(widget, button, {}, release);
    QCOMPARE(got, log);
    if (!log.isEmpty())
        QCOMPARE(upAt, release); // in the box's own coordinates
    QCOMPARE(box->Checked(), button == Qt::LeftButton && !releaseOutside);
}

// ------------------------------------------------------------ memo

namespace {
// Runs a script of memo operations: "+text" adds, "-n" deletes line n, "clear" clears.
void RunMemoScript(TMemo *memo, const QStringList &ops)
{
    for (const QString &op : ops) {
        if (op.startsWith(QLatin1Char('+')))
            memo->Add(op.mid(1));
        else if (op.startsWith(QLatin1Char('-')))
            memo->Delete(op.mid(1).toInt());
        else if (op == QLatin1String("clear"))
            memo->Clear();
        else if (op.startsWith(QLatin1String("many")))
            for (int i = 0; i < op.mid(4).toInt(); ++i)
                memo->Add(QStringLiteral("line %1 ").arg(i) + QString(120, QLatin1Char('x')));
    }
}

QStringList ManyLines(int count, int from = 0)
{
    QStringList lines;
    for (int i = from; i < count; ++i)
        lines << QStringLiteral("line %1 ").arg(i) + QString(120, QLatin1Char('x'));
    return lines;
}
} // namespace

void TestValues::memoLinesFollowWidget_data()
{
    QTest::addColumn<QStringList>("ops");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("add three") << QStringList{"+a", "+b", "+c"} << QStringList{"a", "b", "c"};
    QTest::newRow("empty first line") << QStringList{"+", "+x"} << QStringList{"", "x"};
    QTest::newRow("empty lines only") << QStringList{"+", "+", "+"} << QStringList{"", "", ""};
    QTest::newRow("empty line after clear") << QStringList{"+a", "clear", "+", "+b"} << QStringList{"", "b"};
    QTest::newRow("delete first") << QStringList{"+a", "+b", "+c", "-0"} << QStringList{"b", "c"};
    QTest::newRow("delete middle") << QStringList{"+a", "+b", "+c", "-1"} << QStringList{"a", "c"};
    QTest::newRow("delete last") << QStringList{"+a", "+b", "+c", "-2"} << QStringList{"a", "b"};
    QTest::newRow("delete the only line") << QStringList{"+a", "-0"} << QStringList{};
    QTest::newRow("delete all from the front") << QStringList{"+a", "+b", "-0", "-0"} << QStringList{};
    QTest::newRow("add after deleting all") << QStringList{"+a", "-0", "+b"} << QStringList{"b"};
    QTest::newRow("delete an empty first line") << QStringList{"+", "+x", "-0"} << QStringList{"x"};
    QTest::newRow("clear") << QStringList{"+a", "+b", "clear"} << QStringList{};
    QTest::newRow("CR LF inside a line makes two") << QStringList{"+a\r\nb", "+c"} << QStringList{"a", "b", "c"};
    QTest::newRow("LF and CR inside a line") << QStringList{"+x\ny\rz"} << QStringList{"x", "y", "z"};
    QTest::newRow("delete after a two-line add") << QStringList{"+a\r\nb", "+c", "-0", "-1"} << QStringList{"b"};
    QTest::newRow("paragraph separator inside a line") << QStringList{"+p\u2029q"} << QStringList{"p", "q"};
    QTest::newRow("trailing line break") << QStringList{"+a\r\n", "+b"} << QStringList{"a", "", "b"};
    QTest::newRow("long memo, delete first three") << QStringList{"many400", "-0", "-0", "-0"} << ManyLines(400, 3);
    QTest::newRow("long memo, delete first and last")
        << QStringList{"many300", "-0", "-298"} << ManyLines(299, 1);
}

void TestValues::memoLinesFollowWidget()
{
    QFETCH(QStringList, ops);
    QFETCH(QStringList, lines);
    TestWindow w;
    auto *memo = w.Place(new TMemo(&w.form, QStringLiteral("Memo1"), w.Client()), {});
    RunMemoScript(memo, ops);
    QCOMPARE(memo->Lines(), lines);
    QCOMPARE(memo->Count(), int(lines.size()));
    QCOMPARE(memo->TextEdit()->toPlainText(), lines.join(QLatin1Char('\n')));
    QCOMPARE(memo->TextEdit()->document()->blockCount(), int(std::max<qsizetype>(1, lines.size())));
    // Nothing of what was added or deleted is kept beyond the lines themselves.
    QCOMPARE(memo->TextEdit()->document()->availableUndoSteps(), 0);
}

void TestValues::memoDeleteOutsideThrows_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("minus one") << -1;
    QTest::newRow("the count") << 3;
    QTest::newRow("far beyond") << 100;
}

void TestValues::memoDeleteOutsideThrows()
{
    QFETCH(int, index);
    TestWindow w;
    auto *memo = new TMemo(&w.form, QStringLiteral("Memo1"), w.Client());
    RunMemoScript(memo, {"+a", "+b", "+c"});
    QVERIFY_THROWS_EXCEPTION(EListError, memo->Delete(index));
    QCOMPARE(memo->Lines(), (QStringList{"a", "b", "c"}));
    QCOMPARE(memo->TextEdit()->toPlainText(), QStringLiteral("a\nb\nc"));
}

void TestValues::memoCaretFollowsDoubleClick_data()
{
    QTest::addColumn<int>("line");
    QTest::newRow("first") << 0;
    QTest::newRow("fifth") << 4;
    QTest::newRow("last") << 9;
}

void TestValues::memoCaretFollowsDoubleClick()
{
    QFETCH(int, line);
    TestWindow w;
    auto *memo = w.Place(new TMemo(&w.form, QStringLiteral("Memo1"), w.Client()), {});
    memo->TextEdit()->setMinimumHeight(320);
    for (int i = 0; i < 10; ++i)
        memo->Add(QStringLiteral("Fault %1 cleared").arg(i));
    memo->SetCaretLine(line == 0 ? 9 : 0); // start elsewhere
    QList<int> seen;
    memo->OnDblClick = [&](TComponent *) { seen << memo->CaretLine(); };
    QVERIFY(w.ShowActive());
    QPlainTextEdit *text = memo->TextEdit();
    const QRect r = text->cursorRect(QTextCursor(text->document()->findBlockByNumber(line)));
    QVERIFY(text->viewport()->rect().contains(r.center()));
    DoubleClick(text->viewport(), r.center() + QPoint(12, 0));
    QTRY_COMPARE(seen.size(), 1);
    QCOMPARE(seen.constFirst(), line);
}

// ------------------------------------------------------------ timer

void TestValues::timerEnableWhileRunningKeepsInterval()
{
    TestWindow w;
    auto *timer = new TTimer(&w.form, QStringLiteral("Timer1"), 600, false);
    QElapsedTimer clock;
    qint64 firedAt = -1;
    timer->OnTimer = [&](TComponent *) {
        if (firedAt < 0)
            firedAt = clock.elapsed();
    };
    clock.start();
    timer->SetEnabled(true);
    QTest::qWait(300);
    QVERIFY(timer->Enabled());
    timer->SetEnabled(true); // already running: the interval goes on
    QTRY_VERIFY_WITH_TIMEOUT(firedAt >= 0, 3000);
    // A restart would have fired at about 900 ms.
    QVERIFY2(firedAt < 800, qPrintable(QStringLiteral("fired after %1 ms").arg(firedAt)));
    QVERIFY(firedAt >= 550);
}

void TestValues::timerEnableStartsAndDisableStops()
{
    TestWindow w;
    auto *timer = new TTimer(&w.form, QStringLiteral("Timer1"), 20, false);
    int runs = 0;
    timer->OnTimer = [&](TComponent *) { ++runs; };
    QTest::qWait(80);
    QCOMPARE(runs, 0);
    QVERIFY(!timer->Enabled());
    timer->SetEnabled(true);
    QTRY_VERIFY(runs >= 2);
    timer->SetEnabled(false);
    QVERIFY(!timer->Enabled());
    const int stoppedAt = runs;
    QTest::qWait(80);
    QCOMPARE(runs, stoppedAt);
    QCOMPARE(timer->Interval(), 20);
}

int RunValueTests(int argc, char **argv)
{
    TestValues tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_values.moc"
