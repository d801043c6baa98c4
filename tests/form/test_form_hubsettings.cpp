// The hub settings page on a scripted control: the settings block decoded onto the page,
// and every write the page's controls make, driven through the controls as the operator
// drives them.
#include "FormHarness.h"
#include "utilities/Exceptions.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QtTest>

using namespace TestUi;

namespace {


// A settings block as a hub sends it: 7 March 2025 14:05:09, link modes 2, 2, 10, 0,
// port 502, time-out 1000 ms, action 0, fixed address 192.168.1.50, router 192.168.1.1,
// mask 255.255.255.0, range 1 = 192.168.1.10 to .99 in use and controlling, LED test 0.
std::vector<int16_t> Block()
{
    std::vector<int16_t> w(109, 0);
    const std::vector<int16_t> head{7, 3, 25, 14, 5, 9, 2, 2, 10, 0, 502, 1000, 0, 1, 192, 168, 1, 50,
                                    192, 168, 1, 1, 255, 255, 255, 0, 1, 192, 168, 1, 10, 99};
    std::copy(head.begin(), head.end(), w.begin());
    w[108] = 1;
    return w;
}

// The same block with another fixed address.
std::vector<int16_t> BlockWithAddress(int16_t ip1, int16_t ip2, int16_t ip3, int16_t ip4)
{
    auto w = Block();
    w[14] = ip1;
    w[15] = ip2;
    w[16] = ip3;
    w[17] = ip4;
    return w;
}

int16_t W(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }


QString Zeros(int count) { return QStringList(count, QStringLiteral("0")).join(QLatin1Char(',')); }

// The operator log since a mark.
QStringList LogsSince(const TForm1 &form, qsizetype mark) { return TestEnvironment::LogTexts(form).mid(mark); }

void ShowSettingsPage(FormHarness &h) { ClickTab(h.form(), h.form().HubSettings->TabSheet1); }

// The operator's keys in an edit: "<" is a backspace, "*" selects the whole text, any
// other character is typed.
void Keys(TEdit *edit, const QString &keys)
{
    for (QChar key : keys) {
        if (key == QLatin1Char('<'))
            QTest::keyClick(edit->Widget(), Qt::Key_Backspace);
        else if (key == QLatin1Char('*'))
            edit->LineEdit()->selectAll();
        else
            QTest::keyClicks(edit->Widget(), QString(key));
    }
}

// Moves the keyboard focus to another control of the page: the edit's exit runs.
void Leave(TForm1 &form) { form.HubSettings->Btn_UpdateTime->Widget()->setFocus(); }

// The widget of any control or radio-group item, by name.
QWidget *WidgetNamed(TForm1 &form, const QString &name) { return form.Window()->findChild<QWidget *>(name); }

// The operator's click on a widget (a check box or radio button on its indicator), with
// the page that holds it shown by its tab first.
void ClickOnItsPage(FormHarness &h, const QString &name, Qt::MouseButton button = Qt::LeftButton)
{
    TForm1 &f = h.form();
    QWidget *widget = WidgetNamed(f, name);
    QVERIFY2(widget, qPrintable(name));
    for (int i = 0; i < f.Frame->PageControl1->PageCount(); ++i)
        if (f.Frame->PageControl1->Page(i)->Widget()->isAncestorOf(widget) && f.Frame->PageControl1->ActivePageIndex() != i)
            ClickTab(f, f.Frame->PageControl1->Page(i));
    widget->setVisible(true);
    QTest::mouseClick(widget, button, {}, QPoint(8, widget->height() / 2));
}

} // namespace

class TestFormHubSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void pageAtCreation();
    void editWrites_data();
    void editWrites();
    void typedValueWrittenOnceOnLeaving_data();
    void typedValueWrittenOnceOnLeaving();
    void everyEditWritesOnceOnLeaving_data();
    void everyEditWritesOnceOnLeaving();
    void tabOrderFollowsThePage();
    void decodedTextSkipsTheFocusedEdit_data();
    void decodedTextSkipsTheFocusedEdit();
    void exitWritesOnlyThroughThePageGate_data();
    void exitWritesOnlyThroughThePageGate();
    void timeSendYear_data();
    void timeSendYear();
    void radioGroupItems_data();
    void radioGroupItems();
    void exitComparesNumbers();
    void exitWithRememberedTextNotANumber_data();
    void exitWithRememberedTextNotANumber();
    void clickWrites_data();
    void clickWrites();
    void fixedAddressEnablesTheAddressEdits();
    void rangeMasksOnEveryMouseRelease();
    void controlRangesRefusedBelowFirmware6();
    void clockWords_data();
    void clockWords();
    void invalidClockShowsNotDecoded_data();
    void invalidClockShowsNotDecoded();
    void rangeMasks_data();
    void rangeMasks();
    void firstResultWritesBackTheSelections();
    void fixedAddressNotInUseFromTheStart();
    void decodedValuesOutsideTheItems_data();
    void decodedValuesOutsideTheItems();
    void linkModeSelectionRule();
    void focusedEditsKeepTheOperatorsText();
    void rangeEditsLeftAloneWhileOneIsEdited();
    void addressPartsWrittenBackOnTheSettingsPageOnly();
    void addressPartRefreshFailure();
    void failureEndsTheDecoding();
    void shortBlockReadsTheControlMaskAllTheSame();
};

void TestFormHubSettings::pageAtCreation()
{
    FormHarness h;
    TForm1 &f = h.form();
    const HubSettingsPage &s = *f.HubSettings;
    QCOMPARE(s.TabSheet1->Caption(), QStringLiteral("VelkarHub Settings"));
    QCOMPARE(s.Label1->Caption(), QStringLiteral("Time and date"));
    QCOMPARE(f.Comms->Label131->Caption(), QStringLiteral("Label131"));
    QCOMPARE(f.Comms->Label131->Parent(), f.Comms->TabSheet7);
    // The 14 edits: text and Tag (the register's one-based number).
    const std::pair<const char *, std::pair<const char *, int>> edits[] = {
        {"IP1", {"192", 114}},        {"IP2", {"168", 115}},        {"IP3", {"1", 116}},          {"IP4", {"4", 117}},
        {"IP_Port", {"502", 110}},    {"edtRouter1", {"192", 118}}, {"edtRouter2", {"168", 119}}, {"edtRouter3", {"1", 120}},
        {"edtRouter4", {"4", 121}},   {"edtMask1", {"192", 122}},   {"edtMask2", {"168", 123}},   {"edtmask3", {"1", 124}},
        {"edtMask4", {"4", 125}},     {"IPTimeout", {"1000", 111}},
    };
    for (const auto &[name, spec] : edits) {
        auto *e = f.Find<TEdit>(QString::fromLatin1(name));
        QCOMPARE(e->Text(), QString::fromLatin1(spec.first));
        QCOMPARE(e->Tag, spec.second);
    }
    QCOMPARE(s.IP_Port->Hint(), QStringLiteral("16: 4x110"));
    QCOMPARE(s.CheckBox1->Caption(), QStringLiteral("Use Fixed IP"));
    QCOMPARE(s.CheckBox1->Tag, 113);
    QVERIFY(!s.CheckBox1->Checked());
    QCOMPARE(s.EthernetTimeoutAction->Caption(), QStringLiteral("Ethernet Control Timeout Action"));
    QCOMPARE(s.EthernetTimeoutAction->Items().size(), 4);
    QCOMPARE(s.EthernetTimeoutAction->Hint(), QStringLiteral("16: 4x112"));
    for (int n = 1; n <= 4; ++n) {
        auto *g = f.Find<TRadioGroup>(QStringLiteral("Link%1Control").arg(n));
        QCOMPARE(g->Caption(), QStringLiteral("Link %1 Control").arg(n));
        QCOMPARE(g->Tag, 105 + n);
        QCOMPARE(g->Hint(), QStringLiteral("16: 4x%1").arg(105 + n));
        QCOMPARE(g->Items().at(4), QStringLiteral("Simulate Link"));
        QCOMPARE(g->ItemIndex(), -1);
        QCOMPARE(f.Find<TLabel>(QStringLiteral("PortDes%1").arg(105 + n))->Caption(), QStringLiteral("Velkar"));
    }
    QCOMPARE(s.LEDTest->Items(), (QStringList{"Do Not Test", "All six LEDs green", "All Six LEDs red", "All six LEDs yellow",
                                              "All Six LEDs cycle"}));
    QCOMPARE(s.LEDTest->Hint(), QStringLiteral("16: 4x207"));
    QCOMPARE(s.LEDTest->ItemIndex(), -1);
    for (int k = 1; k <= 80; ++k) {
        auto *e = f.Find<TEdit>(QStringLiteral("Range%1").arg(k));
        QCOMPARE(e->Text(), QStringLiteral("192"));
        QCOMPARE(e->Tag, 126 + k);
    }
    for (int r = 1; r <= 16; ++r) {
        QCOMPARE(f.Find<TCheckBox>(QStringLiteral("UserR%1").arg(r))->Caption(), QStringLiteral("Use Range %1").arg(r));
        QCOMPARE(f.Find<TCheckBox>(QStringLiteral("ControlR%1").arg(r))->Caption(), QStringLiteral("Control Range %1").arg(r));
    }
    QCOMPARE(s.Button42->Caption(), QStringLiteral("Clear All Ranges"));
    QCOMPARE(s.Btn_UpdateTime->Caption(), QStringLiteral("Update from PC"));

    // The time-out shares the enter handling of the link-setting edits.
    ShowSettingsPage(h);
    s.IPTimeout->Widget()->setFocus();
    QCOMPARE(f.EditOriginalValue, QStringLiteral("1000"));
}

// The operator's keys in an edit of the page write nothing while they are typed; leaving
// the edit writes the finished value once.
void TestFormHubSettings::editWrites_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("exitWrites");
    QTest::addColumn<QStringList>("exitLogs");
    const QString change = QStringLiteral("IP Range Data written to VKH station 16 Address: %1 Val: %2");
    const QString exit = QStringLiteral("Controlling device timeout written to VKH station 16 Address: %1 Val: %2");

    QTest::newRow("IP4 emptied, then 195 typed") << "IP4" << "<195" << QStringList{"F6 16:116=195"} << QStringList{exit.arg(116).arg(195)};
    QTest::newRow("IPTimeout 1000 replaced by 2000")
        << "IPTimeout" << "*2000" << QStringList{"F6 16:110=2000"} << QStringList{exit.arg(110).arg(2000)};
    QTest::newRow("edtMask4 emptied: 0 on exit") << "edtMask4" << "<" << QStringList{"F6 16:124=0"} << QStringList{exit.arg(124).arg(0)};
    QTest::newRow("IP_Port 70000 is never written") << "IP_Port" << "*70000" << QStringList{} << QStringList{};
    QTest::newRow("a number too long for 32 bits is out of range, not 0") << "IP3" << "*99999999999" << QStringList{} << QStringList{};
    QTest::newRow("a text that is not a number: 0 on exit") << "IP1" << "*x" << QStringList{"F6 16:113=0"} << QStringList{exit.arg(113).arg(0)};
    QTest::newRow("the value it had: nothing on exit") << "edtRouter2" << "*168" << QStringList{} << QStringList{};
    QTest::newRow("negative and out-of-range parts are written as typed")
        << "edtmask3" << "*-300" << QStringList{"F6 16:123=-300"} << QStringList{exit.arg(123).arg(-300)};
    // A range part is written on exit by the rule of the change handling: never 0.
    QTest::newRow("a range part typed 42: written once on exit")
        << "Range3" << "*42" << QStringList{"F6 16:128=42"} << QStringList{change.arg(128).arg(42)};
    QTest::newRow("a negative range part") << "Range4" << "*-5" << QStringList{"F6 16:129=-5"} << QStringList{change.arg(129).arg(-5)};
    QTest::newRow("a range part emptied: never written") << "Range80" << "<<<" << QStringList{} << QStringList{};
    QTest::newRow("a range part typed 0: never written") << "Range5" << "*0" << QStringList{} << QStringList{};
    QTest::newRow("a range part not a number: never written") << "Range6" << "*x" << QStringList{} << QStringList{};
    QTest::newRow("a range part beyond 16 bits: never written") << "Range7" << "*32768" << QStringList{} << QStringList{};
    QTest::newRow("a range part typed back to the value it had") << "Range8" << "<<<192" << QStringList{} << QStringList{};
    QTest::newRow("a range part compared as a number") << "Range9" << "*+192" << QStringList{} << QStringList{};
}

void TestFormHubSettings::editWrites()
{
    QFETCH(QString, edit);
    QFETCH(QString, keys);
    QFETCH(QStringList, exitWrites);
    QFETCH(QStringList, exitLogs);
    FormHarness h;
    TForm1 &f = h.form();
    ShowSettingsPage(h);
    auto *e = f.Find<TEdit>(edit);
    e->Widget()->setFocus();
    QVERIFY(e->Focused());
    h.control.Clear();
    const qsizetype mark = TestEnvironment::LogTexts(f).size();
    Keys(e, keys);
    QCOMPARE(h.control.WriteTexts(), QStringList{});
    QCOMPARE(LogsSince(f, mark), QStringList{});
    Leave(f);
    QVERIFY(!e->Focused());
    QCOMPARE(h.control.WriteTexts(), exitWrites);
    QCOMPARE(LogsSince(f, mark), exitLogs);
    // The convention of a single register: define, set word 0, send once.
    if (!exitWrites.isEmpty())
        QCOMPARE(h.control.calls, (QStringList{QStringLiteral("Single(0,16,%1,1000)").arg(e->Tag - 1),
                                               QStringLiteral("Set(0,0,%1)").arg(h.control.Writes()[0].words[0]), "Once(0)"}));
    QVERIFY(!f.SettingRange);
    QVERIFY(!f.Comms->Label93->Visible());
}

// IPTimeout, "1000" in the hub, replaced by typing 2000: every way the operator leaves the
// edit writes 2000 once, before a page change clears the page gate; closing the window
// and the focus moves that the program causes write nothing.
void TestFormHubSettings::typedValueWrittenOnceOnLeaving_data()
{
    QTest::addColumn<QString>("leave");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QStringList>("logs");
    QTest::addColumn<QString>("shown"); // the edit's text afterwards
    const QStringList once{"F6 16:110=2000"};
    const QStringList logged{"Controlling device timeout written to VKH station 16 Address: 110 Val: 2000"};
    QTest::newRow("Tab") << "tab" << once << logged << "2000";
    QTest::newRow("Shift+Tab") << "backtab" << once << logged << "2000";
    QTest::newRow("a click on another edit") << "click edit" << once << logged << "2000";
    QTest::newRow("a click on the tab of another page") << "click tab" << once << logged << "2000";
    QTest::newRow("Ctrl+Tab to the next page") << "ctrl tab" << once << logged << "2000";
    QTest::newRow("Ctrl+Shift+Tab to the previous page") << "ctrl backtab" << once << logged << "2000";
    QTest::newRow("closing the window") << "close" << QStringList{} << QStringList{} << "2000";
    // The program's page jump ends the typing unfinished: the edit shows the hub's value
    // again, and nothing is written.
    QTest::newRow("the run-time message jump to the communications page")
        << "jump" << QStringList{} << QStringList{} << "1000";
    // The hub stops using the fixed address: the edit is disabled under the operator's
    // hands. The typing ends unfinished as well; the hub's 1000 shown again is no change,
    // so nothing but the box's own write goes out.
    QTest::newRow("the hub's fixed-address word disables the edit")
        << "disabled" << QStringList{"F6 16:112=0"} << QStringList{} << "1000";
}

void TestFormHubSettings::typedValueWrittenOnceOnLeaving()
{
    QFETCH(QString, leave);
    QFETCH(QStringList, writes);
    QFETCH(QStringList, logs);
    QFETCH(QString, shown);
    FormHarness h;
    TForm1 &f = h.form();
    f.Comms->CheckBox4->SetChecked(true); // "Jump to this page on new runtime message"
    ShowSettingsPage(h);
    h.control.DeliverOk(1, Block()); // the hub uses its fixed address; time-out 1000
    TEdit *timeout = f.HubSettings->IPTimeout;
    QCOMPARE(timeout->Text(), QStringLiteral("1000"));
    QTest::mouseClick(timeout->Widget(), Qt::LeftButton);
    QVERIFY(timeout->Focused());
    h.control.Clear();
    const qsizetype mark = TestEnvironment::LogTexts(f).size();
    Keys(timeout, QStringLiteral("*2000"));
    QCOMPARE(h.control.WriteTexts(), QStringList{});

    QWidget *focused = QApplication::focusWidget();
    const bool pageByKeys = leave.startsWith(QLatin1String("ctrl"));
    if (leave == QLatin1String("tab")) {
        QTest::keyClick(focused, Qt::Key_Tab);
    } else if (leave == QLatin1String("backtab")) {
        QTest::keyClick(focused, Qt::Key_Backtab, Qt::ShiftModifier);
    } else if (leave == QLatin1String("click edit")) {
        QTest::mouseClick(f.HubSettings->edtRouter1->Widget(), Qt::LeftButton);
    } else if (leave == QLatin1String("click tab")) {
        ClickTab(f, f.Ports[0]->Sheet);
    } else if (leave == QLatin1String("ctrl tab")) {
        QTest::keyClick(focused, Qt::Key_Tab, Qt::ControlModifier);
    } else if (leave == QLatin1String("ctrl backtab")) {
        QTest::keyClick(focused, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    } else if (leave == QLatin1String("close")) {
        f.Close();
    } else if (leave == QLatin1String("jump")) {
        std::vector<int16_t> message(10, 0);
        message[0] = 1;
        h.control.DeliverOk(9, message);
        QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Comms->TabSheet7);
        QVERIFY(f.VKHSettingsTab);
        // Nor does the operator's next move on the page shown write what was left unfinished.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    } else {
        auto w = Block();
        w[13] = 0;
        h.control.DeliverOk(1, w);
        QVERIFY(!timeout->Enabled());
    }
    QVERIFY(!timeout->Focused());
    QCOMPARE(h.control.WriteTexts(), writes);
    QCOMPARE(LogsSince(f, mark), logs);
    QCOMPARE(timeout->Text(), shown);
    QVERIFY(!f.Comms->Label93->Visible());
    if (leave == QLatin1String("click tab") || pageByKeys) {
        // The page changed after the exit: the gate follows the page shown.
        QVERIFY(f.Frame->PageControl1->ActivePage() != f.HubSettings->TabSheet1);
        QVERIFY(!f.VKHSettingsTab);
    }
    if (leave == QLatin1String("close")) {
        // Destroying the window writes its identification text, and no hub setting.
        h.Destroy();
        QCOMPARE(h.control.WriteTexts().filter(QRegularExpression("^F6 16:")), QStringList{});
    }
}

// Every one of the 94 edits of the page: typing writes nothing, leaving by Tab writes the
// typed number once to the edit's register and logs it.
void TestFormHubSettings::everyEditWritesOnceOnLeaving_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("address"); // zero-based
    QTest::addColumn<QString>("logged");
    const QString exit = QStringLiteral("Controlling device timeout written to VKH station 16 Address: ");
    const std::pair<const char *, int> ethernet[] = {
        {"IP1", 113},        {"IP2", 114},        {"IP3", 115},        {"IP4", 116},      {"IP_Port", 109},
        {"edtRouter1", 117}, {"edtRouter2", 118}, {"edtRouter3", 119}, {"edtRouter4", 120}, {"edtMask1", 121},
        {"edtMask2", 122},   {"edtmask3", 123},   {"edtMask4", 124},   {"IPTimeout", 110},
    };
    for (const auto &[name, address] : ethernet)
        QTest::newRow(name) << QString::fromLatin1(name) << address << exit;
    for (int k = 1; k <= 80; ++k) // Range k shows 4x(126 + k)
        QTest::newRow(qPrintable(QStringLiteral("Range%1").arg(k)))
            << QStringLiteral("Range%1").arg(k) << 125 + k << QStringLiteral("IP Range Data written to VKH station 16 Address: ");
}

void TestFormHubSettings::everyEditWritesOnceOnLeaving()
{
    QFETCH(QString, edit);
    QFETCH(int, address);
    QFETCH(QString, logged);
    FormHarness h;
    TForm1 &f = h.form();
    ShowSettingsPage(h);
    auto *e = f.Find<TEdit>(edit);
    QTest::mouseClick(e->Widget(), Qt::LeftButton);
    QVERIFY(e->Focused());
    h.control.Clear();
    const qsizetype mark = TestEnvironment::LogTexts(f).size();
    Keys(e, QStringLiteral("*42"));
    QCOMPARE(h.control.WriteTexts(), QStringList{});
    QTest::keyClick(e->Widget(), Qt::Key_Tab);
    QVERIFY(!e->Focused());
    QCOMPARE(h.control.WriteTexts(), QStringList{QStringLiteral("F6 16:%1=42").arg(address)});
    QCOMPARE(LogsSince(f, mark), QStringList{logged + QString::number(address) + QStringLiteral(" Val: 42")});
}

// Tab visits the page's controls as the engineer reads it: the columns from left to right,
// each from top to bottom, and each row of a group from left to right.
void TestFormHubSettings::tabOrderFollowsThePage()
{
    FormHarness h;
    TForm1 &f = h.form();
    ShowSettingsPage(h);
    f.HubSettings->GroupBox22->SetVisible(true); // "Last IP Block", shown once the hub reports one
    QStringList expected{"IP1", "IP2", "IP3", "IP4", "IP_Port", "edtRouter1", "edtRouter2", "edtRouter3", "edtRouter4",
                         "edtMask1", "edtMask2", "edtmask3", "edtMask4", "CheckBox1", "IPTimeout", "EthernetTimeoutAction",
                         "CheckBox3", "Btn_UpdateTime", "LEDTest", "Link1Control", "Link2Control", "Link3Control", "Link4Control"};
    for (int r = 1; r <= 16; ++r) {
        expected << QStringLiteral("UserR%1").arg(r) << QStringLiteral("ControlR%1").arg(r);
        for (int k = 5 * r - 4; k <= 5 * r; ++k)
            expected << QStringLiteral("Range%1").arg(k);
    }
    expected << "Button42" << "InvalidIP1" << "InvalidIP2" << "InvalidIP3" << "InvalidIP4" << "InvalidIP5" << "Button43";

    QTest::mouseClick(f.HubSettings->IP1->Widget(), Qt::LeftButton);
    QStringList visited{f.ActiveControl()->Name()};
    for (int presses = 0; presses < 2 * expected.size(); ++presses) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        TControl *now = f.ControlForWidget(QApplication::focusWidget());
        if (!now || !f.HubSettings->TabSheet1->Widget()->isAncestorOf(now->Widget()))
            break; // off the page: the tabs
        if (now->Name() != visited.constLast()) // a radio group's item is its group
            visited << now->Name();
    }
    QCOMPARE(visited, expected);
}

// A decoded value does not replace the text of the edit that has the keyboard focus; the
// other edits follow the hub.
void TestFormHubSettings::decodedTextSkipsTheFocusedEdit_data()
{
    QTest::addColumn<QString>("edit");
    for (const char *name : {"IP1", "IP2", "IP3", "IP4", "IP_Port", "edtRouter1", "edtRouter2", "edtRouter3", "edtRouter4",
                             "edtMask1", "edtMask2", "edtmask3", "edtMask4", "IPTimeout"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestFormHubSettings::decodedTextSkipsTheFocusedEdit()
{
    QFETCH(QString, edit);
    // The word of the settings block that each edit shows.
    const std::pair<const char *, int> shown[] = {
        {"IP_Port", 10},    {"IPTimeout", 11},  {"IP1", 14},        {"IP2", 15},        {"IP3", 16},
        {"IP4", 17},        {"edtRouter1", 18}, {"edtRouter2", 19}, {"edtRouter3", 20}, {"edtRouter4", 21},
        {"edtMask1", 22},   {"edtMask2", 23},   {"edtmask3", 24},   {"edtMask4", 25},
    };
    FormHarness h;
    TForm1 &f = h.form();
    ShowSettingsPage(h);
    auto *focused = f.Find<TEdit>(edit);
    QTest::mouseClick(focused->Widget(), Qt::LeftButton);
    Keys(focused, QStringLiteral("*7"));
    auto w = Block();
    for (const auto &[name, word] : shown)
        w[static_cast<size_t>(word)] = static_cast<int16_t>(600 + word);
    h.control.Clear();
    h.control.DeliverOk(1, w);
    for (const auto &[name, word] : shown) {
        auto *e = f.Find<TEdit>(QString::fromLatin1(name));
        QCOMPARE(e->Text(), e == focused ? QStringLiteral("7") : QString::number(600 + word));
    }
    QCOMPARE(h.control.WriteTexts().filter(QStringLiteral("16:%1=").arg(focused->Tag - 1)), QStringList{});
}

// The exit writes only while the hub settings page is the active page by the operator's
// choice: a page shown by the program leaves the gate closed.
void TestFormHubSettings::exitWritesOnlyThroughThePageGate_data()
{
    QTest::addColumn<QString>("edit");
    for (const char *name : {"IP1", "IP_Port", "edtRouter3", "edtMask2", "IPTimeout", "Range9"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestFormHubSettings::exitWritesOnlyThroughThePageGate()
{
    QFETCH(QString, edit);
    FormHarness h;
    TForm1 &f = h.form();
    f.Frame->PageControl1->SetActivePage(f.HubSettings->TabSheet1);
    QVERIFY(!f.VKHSettingsTab);
    auto *e = f.Find<TEdit>(edit);
    QTest::mouseClick(e->Widget(), Qt::LeftButton);
    QVERIFY(e->Focused());
    h.control.Clear();
    Keys(e, QStringLiteral("*42"));
    QTest::keyClick(e->Widget(), Qt::Key_Tab);
    QVERIFY(!e->Focused());
    QCOMPARE(h.control.WriteTexts(), QStringList{});
    QVERIFY(!f.Comms->Label93->Visible());
}

// "Update from PC": a year above 2000 is sent less 2000, a year of 2000 or before as it is.
void TestFormHubSettings::timeSendYear_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("sent");
    QTest::newRow("1999") << 1999 << 1999;
    QTest::newRow("2000") << 2000 << 2000;
    QTest::newRow("2001") << 2001 << 1;
    QTest::newRow("2100") << 2100 << 100;
}

void TestFormHubSettings::timeSendYear()
{
    QFETCH(int, year);
    QFETCH(int, sent);
    FormHarness h;
    h.clock.now = QDateTime(QDate(year, 3, 7), QTime(14, 5, 9));
    h.control.Clear();
    ClickOnItsPage(h, "Btn_UpdateTime");
    QCOMPARE(h.control.WriteTexts(), QStringList{QStringLiteral("F16 16:99=7,3,%1,14,5,9").arg(sent)});
}

// The captions and items of the time-out action and link-control groups, as shown.
void TestFormHubSettings::radioGroupItems_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("EthernetTimeoutAction")
        << "EthernetTimeoutAction" << "Ethernet Control Timeout Action"
        << QStringList{"Keep Running", "Keep Running and change all commands to no action",
                       "Keep running and change all commands to stop", "Stop the Velkar communications"};
    const QStringList linkModes{"No Transmission", "Transmissions enabled disabled next power cycle",
                                "Transmission enabled and auto enabled after power cycle", "Act as Modbus RTU Slave port",
                                "Simulate Link"};
    for (int n = 1; n <= 4; ++n)
        QTest::newRow(qPrintable(QStringLiteral("Link%1Control").arg(n)))
            << QStringLiteral("Link%1Control").arg(n) << QStringLiteral("Link %1 Control").arg(n) << linkModes;
}

void TestFormHubSettings::radioGroupItems()
{
    QFETCH(QString, group);
    QFETCH(QString, caption);
    QFETCH(QStringList, items);
    FormHarness h;
    auto *g = h.form().Find<TRadioGroup>(group);
    QCOMPARE(g->Caption(), caption);
    QCOMPARE(g->Items(), items);
    QStringList shown;
    for (const QRadioButton *button : g->Widget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly))
        shown << button->text();
    QCOMPARE(shown, items);
}

void TestFormHubSettings::exitComparesNumbers()
{
    // The remembered text and the new one are compared as numbers.
    FormHarness h;
    TForm1 &f = h.form();
    ShowSettingsPage(h);
    f.HubSettings->IP2->SetText(QStringLiteral("0168"));
    f.HubSettings->IP2->Widget()->setFocus();
    h.control.Clear();
    Keys(f.HubSettings->IP2, QStringLiteral("*168"));
    Leave(f);
    QCOMPARE(h.control.WriteTexts(), QStringList{});
}

// A remembered text that is not a number counts as 0, as a typed one does: the number
// typed after it is written once, by the address and range edits alike.
void TestFormHubSettings::exitWithRememberedTextNotANumber_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("remembered"); // "" : emptied by the operator and left
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QString>("logged");
    const QString exit = QStringLiteral("Controlling device timeout written to VKH station 16 Address: ");
    const QString change = QStringLiteral("IP Range Data written to VKH station 16 Address: ");
    // Emptying the address part and leaving it writes 0; entered again before the next
    // result, the edit remembers the empty text.
    QTest::newRow("IP4 emptied") << "IP4" << "" << QStringList{"F6 16:116=0", "F6 16:116=77"} << exit + "116 Val: 77";
    QTest::newRow("IP4 not a number") << "IP4" << "abc" << QStringList{"F6 16:116=77"} << exit + "116 Val: 77";
    QTest::newRow("IPTimeout emptied") << "IPTimeout" << "" << QStringList{"F6 16:110=0", "F6 16:110=77"} << exit + "110 Val: 77";
    // Only "Clear All Ranges" writes 0 into a range part.
    QTest::newRow("Range1 emptied") << "Range1" << "" << QStringList{"F6 16:126=77"} << change + "126 Val: 77";
}

void TestFormHubSettings::exitWithRememberedTextNotANumber()
{
    QFETCH(QString, edit);
    QFETCH(QString, remembered);
    QFETCH(QStringList, writes);
    QFETCH(QString, logged);
    FormHarness h;
    TForm1 &f = h.form();
    ShowSettingsPage(h);
    h.control.DeliverOk(1, Block());
    auto *e = f.Find<TEdit>(edit);
    h.control.Clear();
    if (remembered.isEmpty()) {
        QTest::mouseClick(e->Widget(), Qt::LeftButton);
        Keys(e, QStringLiteral("*<"));
        Leave(f);
    } else {
        e->SetText(remembered);
    }
    QTest::mouseClick(e->Widget(), Qt::LeftButton);
    QCOMPARE(f.EditOriginalValue, remembered);
    const qsizetype mark = TestEnvironment::LogTexts(f).size();
    Keys(e, QStringLiteral("*77"));
    Leave(f);
    QCOMPARE(h.control.WriteTexts().filter(QStringLiteral("16:%1=").arg(e->Tag - 1)), writes);
    QCOMPARE(LogsSince(f, mark), QStringList{logged});
    QVERIFY2(!f.Comms->Label93->Visible(), qPrintable(f.Comms->Label93->Caption()));
}

void TestFormHubSettings::clickWrites_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("infoV4");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QStringList>("logs");
    QTest::addColumn<QString>("label");   // a label set by the click ...
    QTest::addColumn<QString>("caption"); // ... and its caption

    QTest::newRow("Simulate Link for link 3") << "Link3Control_item4" << 6 << QStringList{"F6 16:107=12321"}
                                              << QStringList{"Port control setting written to VKH 16:108 Val: 12321"} << "PortDes108"
                                              << "Simbus";
    QTest::newRow("Modbus RTU slave for link 1") << "Link1Control_item3" << 6 << QStringList{"F6 16:105=10"}
                                                 << QStringList{"Port control setting written to VKH 16:106 Val: 10"} << "PortDes106"
                                                 << "Modbus";
    QTest::newRow("No Transmission for link 4") << "Link4Control_item0" << 6 << QStringList{"F6 16:108=0"}
                                                << QStringList{"Port control setting written to VKH 16:109 Val: 0"} << "PortDes109"
                                                << "Velkar";
    QTest::newRow("Auto enabled for link 2") << "Link2Control_item2" << 6 << QStringList{"F6 16:106=2"}
                                             << QStringList{"Port control setting written to VKH 16:107 Val: 2"} << "PortDes107"
                                             << "Velkar";
    QTest::newRow("time-out action: change all commands to stop")
        << "EthernetTimeoutAction_item2" << 6 << QStringList{"F6 16:111=2"}
        << QStringList{"Ethernet controlling device timeout setting written to VKH 16:110  Val: 2"} << "" << "";
    QTest::newRow("LED test: all six yellow") << "LEDTest_item3" << 6 << QStringList{"F6 16:206=3"}
                                              << QStringList{"LED test setting written to VKH 16:205  Val: 3"} << "" << "";
    QTest::newRow("Use Fixed IP ticked: not logged") << "CheckBox1" << 6 << QStringList{"F6 16:112=1"} << QStringList{} << "" << "";
    QTest::newRow("UserR16 alone") << "UserR16" << 6 << QStringList{"F6 16:125=-32768"} << QStringList{"IP Address Range Enable Change"}
                                   << "" << "";
    QTest::newRow("ControlR2 at firmware 6") << "ControlR2" << 6 << QStringList{"F6 16:207=2"}
                                             << QStringList{"Controlling Device Range Enable Change"} << "" << "";
    QTest::newRow("ControlR2 at firmware 5: refused") << "ControlR2" << 5 << QStringList{} << QStringList{} << "" << "";
    QTest::newRow("Clear All Ranges at firmware 5: 81 zeros")
        << "Button42" << 5 << QStringList{"F16 16:125=" + Zeros(81)} << QStringList{} << "" << "";
    QTest::newRow("Clear All Ranges at firmware 6: 83 zeros")
        << "Button42" << 6 << QStringList{"F16 16:125=" + Zeros(83)} << QStringList{} << "" << "";
    QTest::newRow("Update from PC on 7 March 2025 14:05:09")
        << "Btn_UpdateTime" << 6 << QStringList{"F16 16:99=7,3,25,14,5,9"} << QStringList{"Update time PC -> VKH"} << "" << "";
    QTest::newRow("Reboot Required: not logged") << "Button5" << 6 << QStringList{"F16 16:99=82,69,66,79,79,84"} << QStringList{} << ""
                                                 << "";
}

void TestFormHubSettings::clickWrites()
{
    QFETCH(QString, control);
    QFETCH(int, infoV4);
    QFETCH(QStringList, writes);
    QFETCH(QStringList, logs);
    QFETCH(QString, label);
    QFETCH(QString, caption);
    FormHarness h;
    TForm1 &f = h.form();
    f.Info_V4 = static_cast<int16_t>(infoV4);
    h.clock.now = QDateTime(QDate(2025, 3, 7), QTime(14, 5, 9, 730));
    h.control.Clear();
    const qsizetype mark = TestEnvironment::LogTexts(f).size();
    ClickOnItsPage(h, control);
    QCOMPARE(h.control.WriteTexts(), writes);
    QCOMPARE(LogsSince(f, mark), logs);
    if (!label.isEmpty())
        QCOMPARE(f.Find<TLabel>(label)->Caption(), caption);
    QCOMPARE(h.dialogs.shown.size(), size_t(writes.isEmpty() ? 1 : 0));
    QVERIFY(!f.Comms->Label93->Visible());
}

void TestFormHubSettings::fixedAddressEnablesTheAddressEdits()
{
    FormHarness h;
    TForm1 &f = h.form();
    const HubSettingsPage &s = *f.HubSettings;
    const std::vector<TEdit *> gated{s.IP1, s.IP2, s.IP3, s.IP4, s.IP_Port, s.IPTimeout};
    const std::vector<TEdit *> free{s.edtRouter1, s.edtRouter4, s.edtMask1, s.edtMask4};
    ShowSettingsPage(h);
    h.control.Clear();
    const qsizetype mark = TestEnvironment::LogTexts(f).size();
    Click(s.CheckBox1);
    QVERIFY(s.CheckBox1->Checked());
    for (TEdit *e : gated)
        QVERIFY(e->Enabled());
    Click(s.CheckBox1);
    QVERIFY(!s.CheckBox1->Checked());
    for (TEdit *e : gated)
        QVERIFY2(!e->Enabled(), qPrintable(e->Name()));
    for (TEdit *e : free)
        QVERIFY(e->Enabled());
    QCOMPARE(h.control.WriteTexts(), (QStringList{"F6 16:112=1", "F6 16:112=0"}));
    QCOMPARE(LogsSince(f, mark), QStringList{});
}

void TestFormHubSettings::rangeMasksOnEveryMouseRelease()
{
    FormHarness h;
    TForm1 &f = h.form();
    ShowSettingsPage(h);
    h.control.Clear();
    ClickOnItsPage(h, "UserR1");
    ClickOnItsPage(h, "UserR3");
    // The right button changes no box but writes the mask again.
    ClickOnItsPage(h, "UserR3", Qt::RightButton);
    QVERIFY(f.Find<TCheckBox>("UserR3")->Checked());
    QCOMPARE(h.control.WriteTexts(), (QStringList{"F6 16:125=1", "F6 16:125=5", "F6 16:125=5"}));

    // The space bar toggles a box and writes nothing; the next release over a box of the
    // row writes the mask with it.
    h.control.Clear();
    auto *box = f.Find<TCheckBox>("UserR2");
    box->Widget()->setFocus();
    QTest::keyClick(box->Widget(), Qt::Key_Space);
    QVERIFY(box->Checked());
    QVERIFY(h.control.calls.isEmpty());
    ClickOnItsPage(h, "UserR1"); // clears range 1
    QCOMPARE(h.control.WriteTexts(), (QStringList{"F6 16:125=6"}));

    // A decoded mask ticks boxes without writing; a release writes what they show.
    h.control.Clear();
    auto w = Block();
    w[26] = W(0x8010);
    h.control.DeliverOk(1, w);
    h.control.Clear();
    ClickOnItsPage(h, "UserR1", Qt::MiddleButton);
    QCOMPARE(h.control.WriteTexts(), (QStringList{"F6 16:125=-32752"}));
}

void TestFormHubSettings::controlRangesRefusedBelowFirmware6()
{
    FormHarness h;
    TForm1 &f = h.form();
    f.Info_V4 = 5;
    ShowSettingsPage(h);
    h.control.Clear();
    const qsizetype mark = TestEnvironment::LogTexts(f).size();
    ClickOnItsPage(h, "ControlR2");
    QCOMPARE(h.dialogs.shown.size(), size_t(1));
    QCOMPARE(h.dialogs.shown[0].text, QStringLiteral("The attached unit does not support this function."));
    QCOMPARE(h.dialogs.shown[0].type, TMsgDlgType::mtWarning);
    QCOMPARE(h.dialogs.shown[0].buttons, TMsgDlgBtn::mbCancel);
    QVERIFY(h.control.calls.isEmpty());
    QCOMPARE(LogsSince(f, mark), QStringList{});
    // The box keeps the state the click gave it until the next block sets it.
    QVERIFY(f.Find<TCheckBox>("ControlR2")->Checked());
    h.control.DeliverOk(1, Block());
    QVERIFY(!f.Find<TCheckBox>("ControlR2")->Checked());
    QVERIFY(f.Find<TCheckBox>("ControlR1")->Checked());
}

void TestFormHubSettings::clockWords_data()
{
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("shown");
    QTest::newRow("year 24") << 7 << 3 << 24 << 14 << 5 << 9 << "07/03/2024 14:05:09";
    QTest::newRow("year 1999 becomes 3999") << 7 << 3 << 1999 << 14 << 5 << 9 << "07/03/3999 14:05:09";
    QTest::newRow("year 2025 stays") << 7 << 3 << 2025 << 14 << 5 << 9 << "07/03/2025 14:05:09";
    QTest::newRow("year -1 becomes 1999") << 31 << 12 << -1 << 23 << 59 << 59 << "31/12/1999 23:59:59";
    QTest::newRow("midnight: the date only") << 1 << 3 << 24 << 0 << 0 << 0 << "01/03/2024";
    QTest::newRow("29 February of a leap year") << 29 << 2 << 24 << 12 << 0 << 0 << "29/02/2024 12:00:00";
    QTest::newRow("29 February 2000") << 29 << 2 << 0 << 0 << 0 << 1 << "29/02/2000 00:00:01";
}

void TestFormHubSettings::clockWords()
{
    QFETCH(int, day);
    QFETCH(int, month);
    QFETCH(int, year);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(QString, shown);
    FormHarness h;
    TForm1 &f = h.form();
    auto w = Block();
    w[0] = W(day);
    w[1] = W(month);
    w[2] = W(year);
    w[3] = W(hour);
    w[4] = W(minute);
    w[5] = W(second);
    h.control.DeliverOk(1, w);
    QCOMPARE(f.HubSettings->Label1->Caption(), QStringLiteral("VelkarHub Date and Time: ") + shown);
    QCOMPARE(f.Gen_Year, int16_t(year < 2000 ? year + 2000 : year));
    QCOMPARE(f.Gen_TimeDate.date(), QDate(f.Gen_Year, month, day));
    QCOMPARE(f.Gen_TimeDate.time(), QTime(hour, minute, second));
}

void TestFormHubSettings::invalidClockShowsNotDecoded_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("value");
    QTest::newRow("month 13") << 1 << 13;
    QTest::newRow("month 0") << 1 << 0;
    QTest::newRow("31 April") << 0 << 31;
    QTest::newRow("day 0") << 0 << 0;
    QTest::newRow("hour 24") << 3 << 24;
    QTest::newRow("minute 60") << 4 << 60;
    QTest::newRow("second -1") << 5 << -1;
    QTest::newRow("year 10000") << 2 << 10000;
    QTest::newRow("year word -2000 gives year 0") << 2 << -2000;
    QTest::newRow("year word -5000 gives year -3000") << 2 << -5000;
    QTest::newRow("29 February 2023") << 0 << 29;
}

void TestFormHubSettings::invalidClockShowsNotDecoded()
{
    QFETCH(int, word);
    QFETCH(int, value);
    FormHarness h;
    TForm1 &f = h.form();
    h.control.DeliverOk(1, Block());
    const QDateTime before = f.Gen_TimeDate;
    QCOMPARE(before, QDateTime(QDate(2025, 3, 7), QTime(14, 5, 9), Qt::UTC));
    auto w = Block();
    w[static_cast<size_t>(word)] = W(value);
    const QString row = QString::fromLatin1(QTest::currentDataTag());
    if (row == "31 April")
        w[1] = 4;
    if (row == "29 February 2023") {
        w[1] = 2;
        w[2] = 23;
    }
    w[17] = 77; // the rest of the block is still shown
    w[26] = 3;
    w[28] = 10;
    h.control.DeliverOk(1, w);
    QCOMPARE(f.HubSettings->Label1->Caption(), QStringLiteral("Not Decoded"));
    QCOMPARE(f.Gen_TimeDate, before);
    QCOMPARE(f.HubSettings->IP4->Text(), QStringLiteral("77"));
    QCOMPARE(f.Find<TEdit>("Range2")->Text(), QStringLiteral("10"));
    QVERIFY(f.Find<TCheckBox>("UserR2")->Checked());
    QCOMPARE(f.HubSettings->Label94->Caption(), QStringLiteral("Enable bits (40126): 3 $3"));
    QVERIFY(!f.Comms->Label93->Visible());
}

void TestFormHubSettings::rangeMasks_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("ticked");
    QTest::newRow("0x8001") << 0x8001 << "32769 $8001" << QList<int>{1, 16};
    QTest::newRow("255") << 255 << "255 $FF" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8};
    QTest::newRow("0") << 0 << "0 $0" << QList<int>{};
    QTest::newRow("0xFFFF") << 0xFFFF << "65535 $FFFF" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
}

void TestFormHubSettings::rangeMasks()
{
    QFETCH(int, mask);
    QFETCH(QString, text);
    QFETCH(QList<int>, ticked);
    // The same mask in either register; the other one holds the mask with its bits
    // flipped, so that the two rows are told apart.
    for (const bool controlRow : {false, true}) {
        FormHarness h;
        TForm1 &f = h.form();
        ShowSettingsPage(h);
        auto w = Block();
        w[26] = W(controlRow ? ~mask : mask);
        w[108] = W(controlRow ? mask : ~mask);
        h.control.Clear();
        h.control.DeliverOk(1, w);
        const QString row = controlRow ? QStringLiteral("ControlR") : QStringLiteral("UserR");
        const QString other = controlRow ? QStringLiteral("UserR") : QStringLiteral("ControlR");
        for (int r = 1; r <= 16; ++r) {
            QCOMPARE(f.Find<TCheckBox>(row + QString::number(r))->Checked(), ticked.contains(r));
            QCOMPARE(f.Find<TCheckBox>(other + QString::number(r))->Checked(), !ticked.contains(r));
        }
        QCOMPARE((controlRow ? f.HubSettings->Label122 : f.HubSettings->Label94)->Caption(),
                 (controlRow ? QStringLiteral("CRange bits (40208): ") : QStringLiteral("Enable bits (40126): ")) + text);
        QCOMPARE(controlRow ? f.ControlRangeSelection : f.LimitIPRangeSelection, uint16_t(mask));
        // Decoded boxes write nothing, whatever page is shown.
        for (const QString &written : h.control.WriteTexts())
            QVERIFY2(!written.startsWith("F6 16:125=") && !written.startsWith("F6 16:207="), qPrintable(written));
    }
}

void TestFormHubSettings::firstResultWritesBackTheSelections()
{
    FormHarness h;
    TForm1 &f = h.form();
    QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Overview->TabSheet8);
    auto w = Block();
    w[6] = 2;
    w[7] = W(12321);
    w[8] = 10;
    w[9] = 0;
    w[12] = 2;
    w[107] = 1;
    h.control.Clear();
    const qsizetype mark = TestEnvironment::LogTexts(f).size();
    h.control.DeliverOk(1, w);
    // The fixed-address box first (not logged), then the time-out action, the four
    // link modes and the LED test; each a single register. No edit writes on the
    // overview page.
    QCOMPARE(h.control.WriteTexts(), (QStringList{"F6 16:112=1", "F6 16:111=2", "F6 16:105=2", "F6 16:106=12321", "F6 16:107=10",
                                                 "F6 16:108=0", "F6 16:206=1"}));
    QCOMPARE(LogsSince(f, mark), (QStringList{"Ethernet controlling device timeout setting written to VKH 16:110  Val: 2",
                                              "Port control setting written to VKH 16:106 Val: 2",
                                              "Port control setting written to VKH 16:107 Val: 12321",
                                              "Port control setting written to VKH 16:108 Val: 10",
                                              "Port control setting written to VKH 16:109 Val: 0",
                                              "LED test setting written to VKH 16:205  Val: 1"}));
    QCOMPARE(f.Overview->PortDes[0]->Caption(), QStringLiteral("Velkar"));
    QCOMPARE(f.Overview->PortDes[1]->Caption(), QStringLiteral("Simbus"));
    QCOMPARE(f.Overview->PortDes[2]->Caption(), QStringLiteral("Modbus"));
    QCOMPARE(f.Overview->PortDes[3]->Caption(), QStringLiteral("Velkar"));
    QCOMPARE(f.HubSettings->IP4->Text(), QStringLiteral("50"));
    QCOMPARE(f.HubSettings->IPTimeout->Text(), QStringLiteral("1000"));
    QCOMPARE(f.Find<TEdit>("Range5")->Text(), QStringLiteral("99"));
    QCOMPARE(f.Find<TEdit>("Range6")->Text(), QStringLiteral("0"));

    // The same block again changes nothing and writes nothing.
    h.control.Clear();
    h.control.DeliverOk(1, w);
    QVERIFY(h.control.calls.isEmpty());
}

void TestFormHubSettings::fixedAddressNotInUseFromTheStart()
{
    // The box stays clear, its handling never runs, and the address edits stay enabled
    // until the operator ticks and clears the box.
    FormHarness h;
    auto w = Block();
    w[13] = 0;
    h.control.Clear();
    h.control.DeliverOk(1, w);
    h.control.DeliverOk(1, w);
    QCOMPARE(h.control.WriteTexts().filter("16:112="), QStringList{});
    QVERIFY(!h.form().HubSettings->CheckBox1->Checked());
    QVERIFY(h.form().HubSettings->IP1->Enabled() && h.form().HubSettings->IPTimeout->Enabled());
}

void TestFormHubSettings::decodedValuesOutsideTheItems_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("shown"); // the item shown; for the box 1 ticked, 0 clear
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("caption");
    QTest::newRow("link mode 5") << 6 << 5 << "Link1Control" << 4 << "PortDes106" << "Simbus";
    QTest::newRow("link mode 3") << 7 << 3 << "Link2Control" << 3 << "PortDes107" << "Modbus";
    QTest::newRow("link mode 11") << 8 << 11 << "Link3Control" << 4 << "PortDes108" << "Simbus";
    QTest::newRow("link mode -1 clears") << 9 << -1 << "Link4Control" << -1 << "PortDes109" << "Velkar";
    QTest::newRow("time-out action 7") << 12 << 7 << "EthernetTimeoutAction" << 3 << "" << "";
    QTest::newRow("time-out action -2 clears") << 12 << -2 << "EthernetTimeoutAction" << -1 << "" << "";
    QTest::newRow("LED test 9") << 107 << 9 << "LEDTest" << 4 << "" << "";
    QTest::newRow("fixed-address word 2") << 13 << 2 << "CheckBox1" << 0 << "" << "";
    QTest::newRow("fixed-address word -1") << 13 << -1 << "CheckBox1" << 0 << "" << "";
}

void TestFormHubSettings::decodedValuesOutsideTheItems()
{
    // Shown as the nearest item or state; nothing is written or logged, on any page.
    QFETCH(int, word);
    QFETCH(int, value);
    QFETCH(QString, control);
    QFETCH(int, shown);
    QFETCH(QString, label);
    QFETCH(QString, caption);
    for (const bool settingsPage : {false, true}) {
        FormHarness h;
        TForm1 &f = h.form();
        if (settingsPage)
            ShowSettingsPage(h);
        h.control.DeliverOk(1, Block());
        auto w = Block();
        w[static_cast<size_t>(word)] = W(value);
        h.control.Clear();
        const qsizetype mark = TestEnvironment::LogTexts(f).size();
        h.control.DeliverOk(1, w);
        QVERIFY2(h.control.calls.isEmpty(), qPrintable(h.control.calls.join(' ')));
        QCOMPARE(LogsSince(f, mark), QStringList{});
        if (auto *group = dynamic_cast<TRadioGroup *>(f.FindComponent(control)))
            QCOMPARE(group->ItemIndex(), shown);
        else
            QCOMPARE(f.Find<TCheckBox>(control)->Checked(), shown == 1);
        if (!label.isEmpty())
            QCOMPARE(f.Find<TLabel>(label)->Caption(), caption);
        if (control == "CheckBox1")
            QVERIFY(!f.HubSettings->IP1->Enabled() && !f.HubSettings->IPTimeout->Enabled());
        QVERIFY(!f.Comms->Label93->Visible());
    }
}

void TestFormHubSettings::linkModeSelectionRule()
{
    // A group that already shows the item writes nothing; a value that round-trips is
    // written again once the item changes.
    FormHarness h;
    TForm1 &f = h.form();
    auto w = Block();
    const auto deliver = [&](int mode) {
        w[6] = W(mode);
        h.control.Clear();
        h.control.DeliverOk(1, w);
        return h.control.WriteTexts();
    };
    QCOMPARE(deliver(12321).filter("16:105="), QStringList{"F6 16:105=12321"});
    QCOMPARE(deliver(5), QStringList{});      // still "Simulate Link"
    QCOMPARE(deliver(12321), QStringList{}); // no change of item
    QCOMPARE(deliver(10), QStringList{"F6 16:105=10"});
    QCOMPARE(deliver(3), QStringList{});
    QCOMPARE(deliver(1), QStringList{"F6 16:105=1"});
    QCOMPARE(f.Overview->PortDes[0]->Caption(), QStringLiteral("Velkar"));
    QCOMPARE(f.HubSettings->LinkControl[0]->ItemIndex(), 1);
}

void TestFormHubSettings::focusedEditsKeepTheOperatorsText()
{
    FormHarness h;
    TForm1 &f = h.form();
    ShowSettingsPage(h);
    f.HubSettings->IP2->Widget()->setFocus();
    Keys(f.HubSettings->IP2, QStringLiteral("*17"));
    const auto w = BlockWithAddress(10, 11, 12, 13);
    h.control.DeliverOk(1, w);
    QCOMPARE(f.HubSettings->IP1->Text(), QStringLiteral("10"));
    QCOMPARE(f.HubSettings->IP2->Text(), QStringLiteral("17"));
    QCOMPARE(f.HubSettings->IP3->Text(), QStringLiteral("12"));
    QCOMPARE(f.HubSettings->IP4->Text(), QStringLiteral("13"));
    // Once the operator has left it, the next block replaces the text.
    Leave(f);
    h.control.DeliverOk(1, w);
    QCOMPARE(f.HubSettings->IP2->Text(), QStringLiteral("11"));
}

void TestFormHubSettings::rangeEditsLeftAloneWhileOneIsEdited()
{
    FormHarness h;
    TForm1 &f = h.form();
    ShowSettingsPage(h);
    h.control.DeliverOk(1, Block());
    auto *range7 = f.Find<TEdit>("Range7");
    range7->Widget()->setFocus();
    QVERIFY(f.SettingRange);
    Keys(range7, QStringLiteral("*5"));
    auto w = Block();
    for (int k = 1; k <= 80; ++k)
        w[static_cast<size_t>(26 + k)] = static_cast<int16_t>(1000 + k);
    h.control.Clear();
    h.control.DeliverOk(1, w);
    for (int k = 1; k <= 80; ++k)
        QCOMPARE(f.Find<TEdit>(QStringLiteral("Range%1").arg(k))->Text(),
                 k == 7 ? QStringLiteral("5") : QString::number(Block()[static_cast<size_t>(26 + k)]));
    for (const QString &written : h.control.WriteTexts())
        QVERIFY2(!written.contains(QRegularExpression("16:(12[6-9]|1[3-9]\\d|20[0-5])=")), qPrintable(written));

    // After leaving it, all 80 follow the hub, and each changed part is written back.
    Leave(f);
    QVERIFY(!f.SettingRange);
    h.control.Clear();
    h.control.DeliverOk(1, w);
    for (int k = 1; k <= 80; ++k)
        QCOMPARE(f.Find<TEdit>(QStringLiteral("Range%1").arg(k))->Text(), QString::number(1000 + k));
    QCOMPARE(h.control.WriteTexts().size(), 80);
    QCOMPARE(h.control.WriteTexts().first(), QStringLiteral("F6 16:126=1001"));
    QCOMPARE(h.control.WriteTexts().last(), QStringLiteral("F6 16:205=1080"));
}

void TestFormHubSettings::addressPartsWrittenBackOnTheSettingsPageOnly()
{
    FormHarness h;
    TForm1 &f = h.form();
    auto w = Block();
    h.control.DeliverOk(1, w);

    // The overview page: the edit follows the hub, nothing is written.
    w[17] = 60;
    h.control.Clear();
    h.control.DeliverOk(1, w);
    QCOMPARE(f.HubSettings->IP4->Text(), QStringLiteral("60"));
    QVERIFY(h.control.calls.isEmpty());

    // The settings page: the change is written back to the same register and logged,
    // except a new value of 0.
    ShowSettingsPage(h);
    const auto deliver = [&](int ip4) {
        w[17] = W(ip4);
        h.control.Clear();
        h.control.DeliverOk(1, w);
        return h.control.WriteTexts();
    };
    const qsizetype mark = TestEnvironment::LogTexts(f).size();
    QCOMPARE(deliver(61), QStringList{"F6 16:116=61"});
    QCOMPARE(LogsSince(f, mark), QStringList{"IP Range Data written to VKH station 16 Address: 116 Val: 61"});
    QCOMPARE(deliver(0), QStringList{});
    QCOMPARE(f.HubSettings->IP4->Text(), QStringLiteral("0"));

    // The gate is the page flag: a page shown by the program (the run-time message jump)
    // keeps it set; the operator's change of page clears it.
    f.Frame->PageControl1->SetActivePage(f.Comms->TabSheet7);
    QCOMPARE(deliver(62), QStringList{"F6 16:116=62"});
    ClickTab(f, f.Overview->TabSheet8);
    QCOMPARE(deliver(63), QStringList{});
}

void TestFormHubSettings::addressPartRefreshFailure()
{
    // A failing refresh of one address part shows its number and decoding goes on.
    FormHarness h;
    TForm1 &f = h.form();
    f.HubSettings->IP2->OnChange = [](TComponent *) { throw ERangeError(QStringLiteral("refresh failed")); };
    auto w = BlockWithAddress(10, 11, 12, 4);
    w[26] = 2;
    h.control.DeliverOk(1, w);
    QCOMPARE(f.Comms->Label131->Caption(), QStringLiteral("2"));
    QCOMPARE(f.HubSettings->IP1->Text(), QStringLiteral("10"));
    QCOMPARE(f.HubSettings->IP3->Text(), QStringLiteral("12"));
    QCOMPARE(f.HubSettings->Label94->Caption(), QStringLiteral("Enable bits (40126): 2 $2"));
    QVERIFY(!f.Comms->Label93->Visible());
}

void TestFormHubSettings::failureEndsTheDecoding()
{
    // Any other failure ends this result's decoding there and reaches the exception
    // handling; the lamp and the time stamp of the result are skipped.
    FormHarness h;
    TForm1 &f = h.form();
    f.HubSettings->IP_Port->OnChange = [](TComponent *) { throw ERangeError(QStringLiteral("port refused")); };
    f.Frame->ILLed1->SetValue(false);
    auto w = Block();
    w[10] = 503; // a new text: its change handling runs
    w[11] = 2500;
    w[26] = 2;
    h.control.DeliverOk(1, w);
    QVERIFY2(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: ERangeError : port refused")),
             qPrintable(f.Comms->Label93->Caption()));
    QCOMPARE(f.HubSettings->edtMask4->Text(), QStringLiteral("0")); // step 7 ran
    QCOMPARE(f.HubSettings->IPTimeout->Text(), QStringLiteral("1000"));
    QCOMPARE(f.HubSettings->EthernetTimeoutAction->ItemIndex(), -1); // step 10 did not
    QCOMPARE(f.HubSettings->Label94->Caption(), QString());
    QVERIFY(!f.Frame->ILLed1->Value());
}

void TestFormHubSettings::shortBlockReadsTheControlMaskAllTheSame()
{
    // With 108 registers, word 108 is what the control's buffer holds beyond the block.
    FormHarness h;
    TForm1 &f = h.form();
    auto w = Block();
    w[108] = 5;
    h.control.DeliverOk(1, w);
    w.resize(108);
    w[26] = 4;
    h.control.DeliverOk(1, w);
    QVERIFY(f.Find<TCheckBox>("UserR3")->Checked());
    QVERIFY(f.Find<TCheckBox>("ControlR1")->Checked() && f.Find<TCheckBox>("ControlR3")->Checked());
    QCOMPARE(f.HubSettings->Label122->Caption(), QStringLiteral("CRange bits (40208): 5 $5"));
}

QTEST_MAIN(TestFormHubSettings)
#include "test_form_hubsettings.moc"
