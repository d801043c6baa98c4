// Start-up of the window on a scripted control: creation order, the activation's block
// registrations and log lines, the hub settings block, connection, errors and results.
#include "FormHarness.h"
#include "utilities/TextFiles.h"
#include "utilities/Utilities1.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const QStringList kLinkKinds = {"stats", "status words", "load words", "fault words", "QV Types", "command words", "settings"};

// The 35 lines of one activation, in order.
QStringList ActivationLines()
{
    QStringList lines{"Starting General Comms", "Starting general info comms (16:500 31 Registers)",
                      "Starting development data comms (16:7000 10 Registers)",
                      "Starting scratchpad data comms (16:9000 15 Registers)", "General Comms Started", "Starting Port Comms"};
    const int registers[] = {1100, 3800, 3900, 4000, 6000, 2000, 1000};
    const int counts[] = {12, 100, 100, 100, 100, 100, 9};
    for (int k = 0; k < kLinkKinds.size(); ++k)
        for (int port = 1; port <= 4; ++port)
            lines << QStringLiteral("Starting link %1 comms Port %2 (%3:%4 %5 Registers)")
                         .arg(kLinkKinds[k]).arg(port).arg(16 + port).arg(registers[k]).arg(counts[k]);
    lines << "Port Comms started";
    return lines;
}

// The block registrations of one activation, as the control records them.
QStringList ActivationCalls()
{
    QStringList calls{"Read(2,16,499,31,500)", "Enable(2)", "Read(9,16,6999,10,500)", "Enable(9)",
                      "Read(10,16,8999,15,60000)", "Once(10)"};
    const int handles[] = {27, 37, 47, 57, 67, 77, 17};
    const int addresses[] = {1099, 3799, 3899, 3999, 5999, 1999, 999};
    const int counts[] = {12, 100, 100, 100, 100, 100, 9};
    const int rates[] = {500, 1000, 1000, 1000, 2500, 1000, 1000};
    for (int k = 0; k < 7; ++k)
        for (int l = 0; l < 4; ++l)
            calls << QStringLiteral("Read(%1,%2,%3,%4,%5)").arg(handles[k] + l).arg(17 + l).arg(addresses[k]).arg(counts[k]).arg(rates[k])
                  << QStringLiteral("Enable(%1)").arg(handles[k] + l);
    return calls;
}

QStringList FileLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromLatin1(f.readAll());
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestFormStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void firstStartWithoutSettings();
    void hubSettingsBlockAfterTimer();
    void missingModbusErrorsFile();
    void errorEventThenResult();
    void errorTextBounds_data();
    void errorTextBounds();
    void errorTextIsNotAFormat();
    void resultsOfWriteHandles();
    void applyToPortWithNonNumericField();
    void logFileEvery26Lines();
    void unwritableLogFolderDoesNotStopRegistration();
    void destructionOrder();
};

void TestFormStartup::firstStartWithoutSettings()
{
    FormHarness h;
    TForm1 &f = h.form();

    // 1 line at creation and 35 in the first activation.
    const QStringList log = TestEnvironment::LogTexts(f);
    QCOMPARE(log.size(), 36);
    QCOMPARE(log.first(), QStringLiteral("Starting Package"));
    QCOMPARE(log.mid(1), ActivationLines());

    // The connection of creation: RTU on COM port 3 with the control's RTU values.
    QCOMPARE(h.control.calls.mid(0, 2), (QStringList{"Close", "Open"}));
    QCOMPARE(h.control.Connection, 3);
    QCOMPARE(h.control.BaudRate, int16_t(5));
    QCOMPARE(h.control.Parity, int16_t(0));
    QCOMPARE(h.control.ProtocolMode, int16_t(0));
    QCOMPARE(h.control.calls.mid(2), ActivationCalls());
    // Three pauses of 100 ms between the hub blocks.
    QCOMPARE(h.clock.sleeps, (std::vector<int>{100, 100, 100}));
    QVERIFY(f.Frame->Timer1->Enabled());

    // Creation's visible results.
    QCOMPARE(f.Caption(), QStringLiteral("VelkarHub Interface"));
    QCOMPARE(f.About->Label130->Caption(), QStringLiteral("Running From: ") + h.programFolder.path() + "/");
    QVERIFY(f.About->Label60->Caption().startsWith(QStringLiteral("Application version: ")));
    QVERIFY(QRegularExpression("^Application version: \\d+\\.\\d+\\.\\d+\\.\\d+$").match(f.About->Label60->Caption()).hasMatch());
    QCOMPARE(f.About->Label60->Caption(), QStringLiteral("Application version: ") + TUtilities::VersionInfo());
    QCOMPARE(f.Ports[2]->StringGrid->Cells(0, 1), QStringLiteral("0"));
    QCOMPARE(f.Ports[2]->StringGrid->Cells(0, 100), QStringLiteral("99"));
    QCOMPARE(f.Ports[0]->StringGrid->Cells(5, 0), QStringLiteral("Command"));
    QCOMPARE(f.Ports[3]->SingleData.GroupGrid->Cells(1, 0), QStringLiteral("Value"));
    QCOMPARE(f.Ports[0]->SingleData.GroupGrid->ColWidth(0), 130);
    QVERIFY(!f.Diagnostics->TabSheet2->TabVisible());
    QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Overview->TabSheet8);
    QCOMPARE(f.Comms->Label4->Caption(), QStringLiteral("No Issues"));
    QCOMPARE(f.Ports[3]->Sheet->Caption(), QStringLiteral("Port 4"));

    // The 26th line, inside the activation, wrote the log file.
    QCOMPARE(FileLines(TestEnvironment::DataFolder() + "/VelkarHubData/Log.txt").size(), 26);
}

void TestFormStartup::hubSettingsBlockAfterTimer()
{
    FormHarness h;
    TForm1 &f = h.form();
    h.control.Clear();
    // Before any general-data result the firmware word is 0: 108 registers, no notice.
    f.Timer1Timer(f.Frame->Timer1);
    QCOMPARE(h.control.calls, (QStringList{"Read(1,16,99,108,2000)", "Enable(1)"}));
    QCOMPARE(f.Comms->Label125->Caption(), QStringLiteral("Data Size: 108"));
    QCOMPARE(TestEnvironment::LogTexts(f).last(), QStringLiteral("Starting development data comms (16:100 108 Registers)"));
    QVERIFY(!f.Frame->Timer1->Enabled());
    QVERIFY(!f.Overview->Label123->Visible());

    struct Case { int16_t v4; int count; bool notice; };
    for (Case c : {Case{-1, 108, false}, Case{5, 108, true}, Case{1, 108, true}, Case{6, 109, false}, Case{9, 109, false}}) {
        f.Info_V4 = c.v4;
        h.control.Clear();
        f.Timer1Timer(f.Frame->Timer1);
        QCOMPARE(h.control.calls.first(), QStringLiteral("Read(1,16,99,%1,2000)").arg(c.count));
        QCOMPARE(f.Overview->Label123->Visible(), c.notice);
    }
}

void TestFormStartup::missingModbusErrorsFile()
{
    FormHarness::Options options;
    options.modbusErrors = false;
    FormHarness h(options);
    TForm1 &f = h.form();
    // Creation stopped at the file: reported, no connection, later steps undone.
    QVERIFY(f.Comms->Label93->Visible());
    QVERIFY2(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: EFOpenError : ")), qPrintable(f.Comms->Label93->Caption()));
    QVERIFY(f.Comms->Label93->Caption().contains(QStringLiteral("ModbusErrors.txt")));
    QVERIFY(!h.control.calls.contains(QStringLiteral("Open")));
    QCOMPARE(f.Ports[0]->StringGrid->Cells(1, 0), QString());
    QCOMPARE(f.Ports[0]->StringGrid->Cells(0, 1), QString());
    QCOMPARE(f.About->Label60->Caption(), QStringLiteral("Application version: "));
    QVERIFY(f.Diagnostics->TabSheet2->TabVisible());
    // The activation still registers and logs every block.
    QCOMPARE(TestEnvironment::LogTexts(f).mid(1), ActivationLines());
    QVERIFY(h.control.calls.contains(QStringLiteral("Enable(20)")));
    // The failure is in the fault log file.
    const QStringList faults = FileLines(TestEnvironment::DataFolder() + "/VelkarHubData/FaultLog.txt");
    QCOMPARE(faults.size(), 1);
    QVERIFY(faults[0].contains(QStringLiteral(" - Exception: EFOpenError : ")));
}

void TestFormStartup::errorEventThenResult()
{
    FormHarness h;
    TForm1 &f = h.form();
    h.control.DeliverOk(2, {});
    QVERIFY(f.Frame->ILLed1->Value());
    h.control.DeliverError(27, 2);
    // Code, line 2 of the file (its third line), handle.
    QCOMPARE(f.Comms->Label4->Caption(), QStringLiteral("2 : Illegal data address : 27"));
    QVERIFY(!f.Frame->ILLed1->Value());
    const QDateTime before = f.LastCommsRec;
    h.clock.Advance(250);
    h.control.DeliverError(27, 12);
    QCOMPARE(f.LastCommsRec, before);
    h.control.DeliverOk(2, {});
    QVERIFY(f.Frame->ILLed1->Value());
    QCOMPARE(f.Frame->ILLed1->Color(), 0xFF00FF00u);
    // The caption stays until the operator clicks it.
    QCOMPARE(f.Comms->Label4->Caption(), QStringLiteral("12 : Time-out: no reply from the unit : 27"));
    QTest::mouseClick(f.Comms->Label4->Widget(), Qt::LeftButton);
    QCOMPARE(f.Comms->Label4->Caption(), QStringLiteral("No Issues"));
}

void TestFormStartup::errorTextBounds_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("hasText");
    // The lines of the file the window loads, read the way it reads them.
    const int lines = static_cast<int>(TextFiles::Load(qEnvironmentVariable("VELKARHUB_SOURCE_DIR") + "/comms/ModbusErrors.txt").lines.size());
    QTest::newRow("-1") << -1 << false;
    QTest::newRow("0") << 0 << true;
    QTest::newRow("17, not connected") << 17 << true;
    QTest::newRow("the last line") << lines - 1 << true;
    QTest::newRow("one past the last line") << lines << false;
    QTest::newRow("99") << 99 << false;
}

void TestFormStartup::errorTextBounds()
{
    QFETCH(int, code);
    QFETCH(bool, hasText);
    FormHarness h;
    TForm1 &f = h.form();
    h.control.DeliverOk(2, {});
    h.control.DeliverError(9, static_cast<int16_t>(code));
    if (hasText) {
        QCOMPARE(f.Comms->Label4->Caption(), QString::number(code) + " : " + f.ModbusErrors->at(code) + " : 9");
        QVERIFY(!f.Frame->ILLed1->Value());
        QVERIFY(!f.Comms->Label93->Visible());
    } else {
        // A list-index failure instead; label and lamp keep their state.
        QCOMPARE(f.Comms->Label4->Caption(), QStringLiteral("No Issues"));
        QVERIFY(f.Frame->ILLed1->Value());
        QVERIFY2(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: EListError : ")), qPrintable(f.Comms->Label93->Caption()));
    }
}

void TestFormStartup::errorTextIsNotAFormat()
{
    FormHarness::Options options;
    options.modbusErrorsText = QStringLiteral("No error\r\nIllegal function\r\nBad %1 value %2\r\n");
    FormHarness h(options);
    h.control.DeliverError(27, 2);
    QCOMPARE(h.form().Comms->Label4->Caption(), QStringLiteral("2 : Bad %1 value %2 : 27"));
}

void TestFormStartup::resultsOfWriteHandles()
{
    FormHarness h;
    TForm1 &f = h.form();
    QCOMPARE(f.LastCommsRec, QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    for (int16_t handle : {int16_t(0), int16_t(5), int16_t(116), int16_t(120)}) {
        f.Frame->ILLed1->SetValue(false);
        h.clock.Advance(100);
        h.control.DeliverOk(handle, {});
        QVERIFY(f.Frame->ILLed1->Value());
        QCOMPARE(f.LastCommsRec, h.clock.now);
    }
    // With "Log Incomming Messages" ticked each result is logged.
    f.Comms->CheckBox2->SetChecked(true);
    h.control.DeliverOk(116, {});
    QCOMPARE(TestEnvironment::LogTexts(f).last(), QStringLiteral("Rec Message (116)"));
}

void TestFormStartup::applyToPortWithNonNumericField()
{
    FormHarness h;
    TForm1 &f = h.form();
    f.Frame->Timer1->SetEnabled(false);
    h.control.Clear();
    f.Comms->Edit6->SetText(QStringLiteral("abc"));
    QTest::mouseClick(f.Comms->Button2->Widget(), Qt::LeftButton);
    // Closed and not reopened; the conversion failure is reported; no timer.
    QCOMPARE(h.control.calls, QStringList{"Close"});
    QVERIFY(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: EConvertError : ")));
    QVERIFY(!f.Frame->Timer1->Enabled());

    // A negative COM port, and over TCP an address part beyond 16 bits, fail the same way.
    f.Comms->Edit6->SetText(QStringLiteral("-2"));
    h.control.Clear();
    QTest::mouseClick(f.Comms->Button2->Widget(), Qt::LeftButton);
    QCOMPARE(h.control.calls, QStringList{"Close"});
    QVERIFY(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: ERangeError : ")));
    f.Comms->RadioButton1->SetChecked(true);
    f.Comms->Edit3->SetText(QStringLiteral("40000"));
    h.control.Clear();
    QTest::mouseClick(f.Comms->Button2->Widget(), Qt::LeftButton);
    QCOMPARE(h.control.calls, QStringList{"Close"});
    QVERIFY(!f.Frame->Timer1->Enabled());
}

void TestFormStartup::logFileEvery26Lines()
{
    FormHarness::Options options;
    options.show = false;
    FormHarness h(options);
    TForm1 &f = h.form();
    const QString path = TestEnvironment::DataFolder() + "/VelkarHubData/Log.txt";
    // The creation logged 1 line; the 25th line of the run is not saved, the 26th is.
    for (int i = 2; i <= 25; ++i)
        f.LogMessage(QStringLiteral("line %1").arg(i));
    QVERIFY(!QFile::exists(path));
    f.LogMessage(QStringLiteral("line 26"));
    QStringList saved = FileLines(path);
    QCOMPARE(saved.size(), 26);
    QVERIFY(saved.last().endsWith(QStringLiteral(" : line 26")));
    for (int i = 27; i <= 52; ++i)
        f.LogMessage(QStringLiteral("line %1").arg(i));
    QCOMPARE(FileLines(path).size(), 52);

    // The line format: long time, a point, milliseconds without leading zeros.
    h.clock.now = QDateTime(QDate(2026, 1, 2), QTime(9, 8, 7, 5));
    f.LogMessage(QStringLiteral("x"));
    QCOMPARE(f.Diagnostics->Memo4->Lines().last(), QStringLiteral("09:08:07.5 : x"));

    // The memo keeps at most 10,000 lines, dropping the oldest.
    while (f.Diagnostics->Memo4->Count() < 10000)
        f.LogMessage(QStringLiteral("fill"));
    f.LogMessage(QStringLiteral("newest"));
    QCOMPARE(f.Diagnostics->Memo4->Count(), 10000);
    QVERIFY(f.Diagnostics->Memo4->Lines().last().endsWith(QStringLiteral(" : newest")));
    QVERIFY(f.Diagnostics->Memo4->Lines().first().endsWith(QStringLiteral(" : line 2")));
}

void TestFormStartup::unwritableLogFolderDoesNotStopRegistration()
{
    // A file where the log folder should be: neither log can be written.
    TestEnvironment::ResetDataFolder();
    FormHarness::Options options;
    options.show = false;
    FormHarness h(options);
    QFile blocker(TestEnvironment::DataFolder() + "/VelkarHubData");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    h.Show();
    TForm1 &f = h.form();
    // The 26th line fell in the middle of the link blocks; all of them were registered.
    QCOMPARE(TestEnvironment::LogTexts(f).mid(1), ActivationLines());
    QCOMPARE(h.control.calls.filter(QRegularExpression("^Enable\\(")).size(), 30);
    QVERIFY2(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: EInOutError : ")), qPrintable(f.Comms->Label93->Caption()));
    // The fault log could not be written either.
    QCOMPARE(f.About->Label130->Caption(), QStringLiteral("Exception in App Events"));
    // Every further line tries again; once the folder can be made, the log is saved.
    QFile::remove(blocker.fileName());
    f.LogMessage(QStringLiteral("again"));
    QCOMPARE(FileLines(TestEnvironment::DataFolder() + "/VelkarHubData/Log.txt").size(), 37);
}

void TestFormStartup::destructionOrder()
{
    FormHarness h;
    std::vector<int16_t> ident(15, ' ');
    const QString text = QStringLiteral("Pump house");
    for (int k = 0; k < text.size(); ++k)
        ident[static_cast<size_t>(k)] = static_cast<int16_t>(text[k].unicode());
    h.control.DeliverOk(RegisterMap::Handle::IdentText, ident);
    QCOMPARE(h.form().Overview->Edit15->Text(), QStringLiteral("Pump house     "));
    h.control.Clear();
    h.Destroy();
    // The identification text the hub gave is written back, then the hub blocks stop, and
    // the writes that wait (the identification text's) are sent before the program ends.
    QCOMPARE(h.control.calls.first(), QStringLiteral("Multi(0,16,8999,15,1000)"));
    QCOMPARE(h.control.calls.mid(h.control.calls.size() - 4),
             (QStringList{"Once(0)", "Disable(2)", "Disable(3)", "Flush"}));
    QCOMPARE(h.control.Writes().back().words.size(), size_t(15));
    QCOMPARE(h.control.Writes().back().words[10], int16_t(' '));
    // The stored values were saved.
    QFile ini(TestEnvironment::DataFolder() + "/VelkarHubProjects/Settings.ini");
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("RadioButton2.Checked=True"));
}

QTEST_MAIN(TestFormStartup)
#include "test_form_startup.moc"
