// Pages, stored settings, port names, the connection page, help, and the fault log.
#include "FormHarness.h"

#include <QDir>
#include <QFile>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

using namespace TestUi;

namespace {

QString ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

QString IniPath() { return TestEnvironment::DataFolder() + "/VelkarHubProjects/Settings.ini"; }



QStringList FaultLines()
{
    QString text = ReadFile(TestEnvironment::DataFolder() + "/VelkarHubData/FaultLog.txt");
    QStringList lines = text.split("\r\n");
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestFormPages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void restoreHandWrittenSettings();
    void saveSettingsAtDestruction();
    void missingSettingsFolder();
    void renamePort();
    void renameGate_data();
    void renameGate();
    void pageChangeGates();
    void connectionChoices();
    void usbPortsAndPick();
    void diagnosticsSwitchAndAbout();
    void helpAtFocusedControl();
    void faultLogLimits_data();
    void faultLogLimits();
};

void TestFormPages::restoreHandWrittenSettings()
{
    FormHarness::Options options;
    options.settingsIni =
        "[TForm1]\r\n"
        "edit1.text=  127  \r\n"
        "Edit2.Text=0\r\n"
        "Edit3.Text= 0\r\n"
        "Edit4.Text=1\r\n"
        "Edit6.Text=   7   \r\n"
        "RadioButton1.Checked= true \r\n"
        "RadioButton2.Checked=False\r\n"
        "Edit16.Text=1502\r\n"
        "CheckBox2.Checked=maybe\r\n"
        "CheckBox4.Checked=TRUE\r\n"
        "[Port Descriptions]\r\n"
        "Port 1=Pumps  \r\n"
        "Port 3=UTF7-coded:+ZeVnLIqe-\r\n";
    FormHarness h(options);
    TForm1 &f = h.form();
    QCOMPARE(f.Comms->Edit1->Text(), QStringLiteral("127"));
    QCOMPARE(f.Comms->Edit6->Text(), QStringLiteral("7"));
    QVERIFY(f.Comms->RadioButton1->Checked());
    QVERIFY(!f.Comms->RadioButton2->Checked());
    QVERIFY(!f.Comms->CheckBox2->Checked()); // "maybe" is skipped
    QVERIFY(f.Comms->CheckBox4->Checked());
    // Ticking unit 1 ran the choice's handling: its fields show, the RTU fields do not.
    QVERIFY(f.Comms->Edit1->Visible());
    QVERIFY(f.Comms->Edit5->Visible());
    QVERIFY(!f.Comms->Edit6->Visible());
    QVERIFY(!f.Comms->Memo2->Visible());
    // The connection was opened over TCP to unit 1 with the restored values.
    QCOMPARE(f.Mbaxp1.Connection, 0);
    QCOMPARE(f.Mbaxp1.IPAddr1, int16_t(127));
    QCOMPARE(f.Mbaxp1.IPAddr4, int16_t(1));
    QCOMPARE(f.Mbaxp1.TCPIPPort, 1502);
    QCOMPARE(f.Mbaxp1.Timeout, int16_t(1000));
    QCOMPARE(h.control.calls.mid(0, 2), (QStringList{"Close", "Open"}));
    QCOMPARE(f.Ports[0]->Sheet->Caption(), QStringLiteral("Pumps"));
    QCOMPARE(f.Ports[1]->Sheet->Caption(), QStringLiteral("Port 2"));
    QCOMPARE(f.Ports[2]->Sheet->Caption(), QString::fromUtf8("日本語"));
    QCOMPARE(f.About->Label130->Caption().left(14), QStringLiteral("Running From: "));
}

void TestFormPages::saveSettingsAtDestruction()
{
    FormHarness h;
    TForm1 &f = h.form();
    f.Comms->Edit1->SetText(QStringLiteral("  10 "));
    f.Comms->Edit25->SetText(QString::fromUtf8("5ü2"));
    f.Comms->RadioButton3->SetChecked(true);
    f.Ports[0]->Commands.PriorityCommand->SetChecked(true);
    h.Destroy();
    const QString ini = ReadFile(IniPath());
    const QStringList expected{"[TForm1]", "Edit1.Text=10", "Edit2.Text=168", "Edit3.Text=1", "Edit4.Text=10",
                               "Edit5.Text=1000", "Edit6.Text=3", "RadioButton1.Checked=False",
                               "RadioButton2.Checked=False", "Edit7.Text=192", "Edit8.Text=168", "Edit9.Text=1",
                               "Edit10.Text=10", "CheckBox3.Checked=False", "PriorityCommandL1.Checked=True",
                               "CheckBox4.Checked=False", "Edit16.Text=502", QString::fromUtf8("Edit25.Text=5ü2"),
                               "RadioButton3.Checked=True", "CheckBox2.Checked=False"};
    QCOMPARE(ini, expected.join("\r\n") + "\r\n");
}

void TestFormPages::missingSettingsFolder()
{
    FormHarness::Options options;
    options.projectsFolder = false;
    FormHarness h(options);
    TForm1 &f = h.form();
    // Reading gives the defaults; nothing is created.
    QCOMPARE(f.Ports[0]->Sheet->Caption(), QStringLiteral("Port 1"));
    QVERIFY(f.Comms->RadioButton2->Checked());
    QVERIFY(!QDir(TestEnvironment::DataFolder() + "/VelkarHubProjects").exists());
    // Saving fails at destruction: reported, and the last log line is not added.
    const int linesBefore = f.Diagnostics->Memo4->Count();
    h.Destroy();
    QVERIFY(!QDir(TestEnvironment::DataFolder() + "/VelkarHubProjects").exists());
    QStringList faults = FaultLines();
    QCOMPARE(faults.size(), 1);
    QVERIFY(faults[0].contains(" - Exception: EFCreateError : "));
    Q_UNUSED(linesBefore);
}

void TestFormPages::renamePort()
{
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, f.Ports[3]->Sheet);
    const int linesBefore = f.Diagnostics->Memo4->Count();
    h.control.Clear();
    h.dialogs.inputAnswers.push_back(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXY")); // 25 characters
    ClickTab(f, f.Ports[3]->Sheet, Qt::RightButton);
    QCOMPARE(h.dialogs.shown.size(), size_t(1));
    QCOMPARE(h.dialogs.shown[0].caption, QStringLiteral("EnterDescription"));
    QCOMPARE(h.dialogs.shown[0].text, QStringLiteral("What do you want the port to be called?"));
    QCOMPARE(h.dialogs.shown[0].initial, QStringLiteral("Port 4"));
    QCOMPARE(f.Ports[3]->Sheet->Caption(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    QCOMPARE(f.PortTabDesc[3], QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    const QString ini = ReadFile(IniPath());
    QVERIFY(ini.contains("[Port Descriptions]\r\nPort 1=Port 1\r\nPort 2=Port 2\r\nPort 3=Port 3\r\nPort 4=ABCDEFGHIJKLMNOPQRST\r\n"));

    // Closing the box gave the focus back: the activation ran again, blocks and 35 lines.
    FormHarness::ProcessEvents();
    QCOMPARE(f.Diagnostics->Memo4->Count(), linesBefore + 35);
    QCOMPARE(h.control.calls.filter(QRegularExpression("^Enable\\(")).size(), 30);

    // Cancelling keeps the name; a name outside Latin-1 is stored UTF-7 coded.
    ClickTab(f, f.Ports[3]->Sheet, Qt::RightButton);
    QCOMPARE(f.Ports[3]->Sheet->Caption(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    h.dialogs.inputAnswers.push_back(QString::fromUtf8("日本語ABC"));
    ClickTab(f, f.Ports[3]->Sheet, Qt::RightButton);
    QVERIFY2(ReadFile(IniPath()).contains("Port 4=UTF7-coded:+ZeVnLIqe-ABC\r\n"), qPrintable(ReadFile(IniPath())));
}

void TestFormPages::renameGate_data()
{
    QTest::addColumn<int>("index");
    for (int index = 0; index < 10; ++index)
        QTest::addRow("page %d", index) << index;
}

void TestFormPages::renameGate()
{
    QFETCH(int, index);
    FormHarness h;
    TForm1 &f = h.form();
    f.Diagnostics->TabSheet2->SetTabVisible(true);
    TTabSheet *shown = f.Frame->PageControl1->Page(index);
    ClickTab(f, shown);
    QCOMPARE(f.Frame->PageControl1->ActivePageIndex(), index);
    h.dialogs.inputAnswers.push_back(QStringLiteral("Conveyors"));
    // The tab under the mouse does not matter: the shown page decides.
    ClickTab(f, f.HubSettings->TabSheet1, Qt::RightButton);
    const bool portPage = index >= 2 && index <= 5;
    QCOMPARE(h.dialogs.shown.size(), size_t(portPage ? 1 : 0));
    for (int n = 0; n < 4; ++n)
        QCOMPARE(f.Ports[static_cast<size_t>(n)]->Sheet->Caption(),
                 portPage && n == index - 2 ? QStringLiteral("Conveyors") : QStringLiteral("Port %1").arg(n + 1));
}

void TestFormPages::pageChangeGates()
{
    FormHarness h;
    TForm1 &f = h.form();
    QVERIFY(!f.PortTab);
    QVERIFY(!f.VKHSettingsTab);
    f.ActiveQuorvaneinLink[2] = 7;
    ClickTab(f, f.Ports[2]->Sheet);
    QCOMPARE(f.ActiveQuorvane, int16_t(207));
    QCOMPARE(f.Caption(), QStringLiteral("Quorvane Selected: 207 Link: 3 Address: 7"));
    QCOMPARE(f.PortCommon->Label61->Parent(), f.Ports[2]->Sheet);
    QCOMPARE(f.PortCommon->Label61->Caption(), QStringLiteral("Quorvane Selected: 3 : 7"));
    QVERIFY(f.PortTab);
    QVERIFY(!f.VKHSettingsTab);

    f.SettingRange = true;
    ClickTab(f, f.HubSettings->TabSheet1);
    QVERIFY(!f.PortTab);
    QVERIFY(f.VKHSettingsTab);
    QVERIFY(!f.SettingRange);
    QCOMPARE(f.Caption(), QStringLiteral("Quorvane Selected: 207 Link: 3 Address: 7"));

    ClickTab(f, f.Config->Configuration);
    QCOMPARE(f.PortCommon->Label61->Parent(), f.Config->Configuration);
    QCOMPARE(f.PortCommon->Label61->Caption(), QStringLiteral("Quorvane Selected: 3 : 7"));

    // Every showing of the overview page reads the identification text again.
    h.control.Clear();
    ClickTab(f, f.Overview->TabSheet8);
    QCOMPARE(h.control.calls, (QStringList{"Read(10,16,8999,15,600000)", "Once(10)"}));
    ClickTab(f, f.Ports[0]->Sheet);
    h.control.Clear();
    ClickTab(f, f.Overview->TabSheet8);
    QCOMPARE(h.control.calls.size(), 2);

    // A page shown by the program runs none of this.
    ClickTab(f, f.Ports[1]->Sheet);
    QVERIFY(f.PortTab);
    f.Frame->PageControl1->SetActivePage(f.Comms->TabSheet7);
    QVERIFY(f.PortTab);
    QCOMPARE(f.PortCommon->Label61->Parent(), f.Ports[1]->Sheet);
}

void TestFormPages::connectionChoices()
{
    FormHarness h;
    TForm1 &f = h.form();
    // At first start: RTU fields shown, TCP fields and the two labels hidden.
    QVERIFY(f.Comms->Edit6->Visible() && f.Comms->Memo2->Visible() && f.Comms->Label59->Visible() && f.Comms->Label62->Visible());
    QVERIFY(!f.Comms->Edit1->Visible() && !f.Comms->Edit7->Visible() && !f.Comms->Edit5->Visible());
    QVERIFY(!f.Comms->Label2->Visible() && !f.Comms->Label3->Visible());

    struct Case { TRadioButton *choice; bool unit1, unit2, rtu; };
    for (Case c : {Case{f.Comms->RadioButton1, true, false, false}, Case{f.Comms->RadioButton3, false, true, false},
                   Case{f.Comms->RadioButton2, false, false, true}}) {
        f.Frame->PageControl1->SetActivePage(f.Comms->TabSheet7);
        Click(c.choice);
        QVERIFY(c.choice->Checked());
        for (TControl *w : std::initializer_list<TControl *>{f.Comms->Edit1, f.Comms->Edit2, f.Comms->Edit3, f.Comms->Edit4, f.Comms->Edit16, f.Comms->Label95})
            QCOMPARE(w->Visible(), c.unit1);
        for (TControl *w : std::initializer_list<TControl *>{f.Comms->Edit7, f.Comms->Edit8, f.Comms->Edit9, f.Comms->Edit10, f.Comms->Edit25, f.Comms->Label96})
            QCOMPARE(w->Visible(), c.unit2);
        QCOMPARE(f.Comms->Edit5->Visible(), c.unit1 || c.unit2);
        QCOMPARE(f.Comms->Label2->Visible(), c.unit1 || c.unit2);
        for (TControl *w : std::initializer_list<TControl *>{f.Comms->Edit6, f.Comms->Label3, f.Comms->Memo2, f.Comms->Label59, f.Comms->Label62})
            QCOMPARE(w->Visible(), c.rtu);
    }
    // Nothing reaches the control until "Apply to Port".
    h.control.Clear();
    Click(f.Comms->RadioButton1);
    Click(f.Comms->RadioButton3);
    QVERIFY(h.control.calls.isEmpty());
    f.Comms->Edit7->SetText("10");
    f.Comms->Edit8->SetText("0");
    f.Comms->Edit9->SetText("0");
    f.Comms->Edit10->SetText("9");
    f.Comms->Edit25->SetText("1503");
    f.Comms->Edit5->SetText("250");
    QTest::mouseClick(f.Comms->Button2->Widget(), Qt::LeftButton);
    QCOMPARE(h.control.calls, (QStringList{"Close", "Open"}));
    QCOMPARE(f.Mbaxp1.Connection, 0);
    QCOMPARE(f.Mbaxp1.Timeout, int16_t(250));
    QCOMPARE(f.Mbaxp1.IPAddr1, int16_t(10));
    QCOMPARE(f.Mbaxp1.IPAddr4, int16_t(9));
    QCOMPARE(f.Mbaxp1.TCPIPPort, 1503);
    QVERIFY(f.Frame->Timer1->Enabled());
}

void TestFormPages::usbPortsAndPick()
{
    QTemporaryDir dev;
    for (const char *name : {"ttyACM4", "ttyUSB0", "ttyS0", "ttyACM0"}) {
        QFile file(dev.path() + "/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    qputenv("VELKARHUB_DEV_DIR", dev.path().toUtf8());
    FormHarness h;
    TForm1 &f = h.form();
    // The activation listed the USB serial devices as COM ports.
    QCOMPARE(f.Comms->Memo2->Lines(), (QStringList{"COM1", "COM5", "COM101"}));
    f.Frame->PageControl1->SetActivePage(f.Comms->TabSheet7);
    f.Comms->Memo2->SetCaretLine(1);
    f.Memo2DblClick(f.Comms->Memo2);
    QCOMPARE(f.Comms->Edit6->Text(), QStringLiteral("5"));
    f.Comms->Memo2->SetCaretLine(2);
    f.Memo2DblClick(f.Comms->Memo2);
    QCOMPARE(f.Comms->Edit6->Text(), QStringLiteral("101"));
    qunsetenv("VELKARHUB_DEV_DIR");

    // With no device the list is empty, and a double click empties the field.
    QTemporaryDir empty;
    qputenv("VELKARHUB_DEV_DIR", empty.path().toUtf8());
    f.ListUsbSerialPorts();
    QCOMPARE(f.Comms->Memo2->Count(), 0);
    f.Memo2DblClick(f.Comms->Memo2);
    QCOMPARE(f.Comms->Edit6->Text(), QString());
    qunsetenv("VELKARHUB_DEV_DIR");
}

void TestFormPages::diagnosticsSwitchAndAbout()
{
    FormHarness h;
    TForm1 &f = h.form();
    QVERIFY(!f.Diagnostics->TabSheet2->TabVisible());
    f.Frame->PageControl1->SetActivePage(f.About->TabSheet6);
    QTest::mouseClick(f.About->Label132->Widget(), Qt::LeftButton);
    QVERIFY(f.Diagnostics->TabSheet2->TabVisible());
    QTest::mouseClick(f.About->Label132->Widget(), Qt::LeftButton);
    QVERIFY(!f.Diagnostics->TabSheet2->TabVisible());
    QTest::mouseClick(f.About->Label52->Widget(), Qt::LeftButton);
    QTest::mouseClick(f.About->Image1->Widget(), Qt::LeftButton);
    QCOMPARE(h.shell.opened, (std::vector<QString>{f.About->Label52->Caption(), f.About->Label52->Caption()}));
    QVERIFY(f.About->Label57->Caption().contains(QStringLiteral("Halvern")));
}

void TestFormPages::helpAtFocusedControl()
{
    FormHarness h;
    TForm1 &f = h.form();
    f.Frame->PageControl1->SetActivePage(f.Comms->TabSheet7);
    f.Comms->Edit6->Widget()->setFocus();
    QTest::keyClick(f.Window(), Qt::Key_F1);
    QCOMPARE(h.shell.opened.size(), size_t(1));
    QCOMPARE(h.shell.opened[0], QUrl::fromLocalFile(f.HelpFile).toString() + "#Modbus_Related");
    QVERIFY(f.HelpFile.endsWith("/VelkarHub.html"));
    f.Comms->CheckBox2->Widget()->setFocus();
    QTest::keyClick(f.Window(), Qt::Key_F1);
    QCOMPARE(h.shell.opened[1], QUrl::fromLocalFile(f.HelpFile).toString() + "#context-5000");
    f.Frame->PageControl1->SetActivePage(f.Ports[0]->Sheet);
    f.Ports[0]->StringGrid->Widget()->setFocus();
    QTest::keyClick(f.Window(), Qt::Key_F1);
    QCOMPARE(h.shell.opened[2], QUrl::fromLocalFile(f.HelpFile).toString() + "#Port_Tabs");
}

void TestFormPages::faultLogLimits_data()
{
    QTest::addColumn<int>("startLines");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("expectedLines");
    QTest::newRow("199 + 2 keeps 200") << 199 << 2 << 200;
    QTest::newRow("200 + 1 keeps 200") << 200 << 1 << 200;
    QTest::newRow("250 + 3 keeps 250") << 250 << 3 << 250;
    QTest::newRow("empty + 1") << 0 << 1 << 1;
}

void TestFormPages::faultLogLimits()
{
    QFETCH(int, startLines);
    QFETCH(int, failures);
    QFETCH(int, expectedLines);
    TestEnvironment::ResetDataFolder();
    if (startLines > 0) {
        QDir().mkdir(TestEnvironment::DataFolder() + "/VelkarHubData");
        QFile file(TestEnvironment::DataFolder() + "/VelkarHubData/FaultLog.txt");
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 1; i <= startLines; ++i)
            file.write(QStringLiteral("old %1\r\n").arg(i).toLatin1());
    }
    FormHarness::Options options;
    options.resetDataFolder = false;
    FormHarness h(options);
    TForm1 &f = h.form();
    for (int i = 0; i < failures; ++i)
        h.control.DeliverError(1, 500); // no text for code 500: a list-index failure
    const QStringList lines = FaultLines();
    QCOMPARE(lines.size(), expectedLines);
    QCOMPARE(*f.FaultLog, lines);
    // The newest failure is last: date and time, " - Exception: ", class and message.
    QCOMPARE(lines.last(), QStringLiteral("07/03/2026 14:05:09 - Exception: EListError : List index out of bounds (500)"));
    if (startLines + failures > 200 && startLines <= 200)
        QCOMPARE(lines.first(), QStringLiteral("old %1").arg(startLines + failures - 199));
    if (startLines > 200)
        QCOMPARE(lines.first(), QStringLiteral("old %1").arg(failures + 1));
    QCOMPARE(f.Comms->Label93->Caption(), QStringLiteral("Exception: EListError : List index out of bounds (500)"));
}

QTEST_MAIN(TestFormPages)
#include "test_form_pages.moc"
