// The hub settings page with the real communications control against the hub
// simulator over Modbus TCP on loopback: the page shows the simulated hub's settings, a
// chosen LED test reaches the hub and comes back without being written back, and the
// automatic time send reaches the hub at every general-data result while it asks.
#include "LiveForm.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QRadioButton>
#include <QRegularExpression>
#include <QtTest>

namespace {

// The writes the simulator received to a register of the hub, as "16:REG:V1,V2".
QStringList HubWrites(LiveForm &live, int reg)
{
    return live.simulator.writeLog().filter(QRegularExpression(QStringLiteral("^16:%1:").arg(reg)));
}

} // namespace

class TestFormHubSettingsE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void pageShowsTheSimulatedHub();
    void ledTestGoesToTheHubAndComesBack();
    void automaticTimeSendAtEveryGeneralResult();
    void typedTimeoutWrittenOnceOnLeaving();
    void typedValueReachesTheHubOnce_data();
    void typedValueReachesTheHubOnce();
    void pageJumpDropsTheTyping();
};

void TestFormHubSettingsE2e::pageShowsTheSimulatedHub()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    const HubSettingsPage &s = *f.HubSettings;
    TestUi::ClickTab(f, s.TabSheet1);
    // The settings block is registered 2.5 s after the connection, then every 2 s.
    QTRY_VERIFY_WITH_TIMEOUT(s.Label1->Caption().startsWith(QStringLiteral("VelkarHub Date and Time: ")), 15000);
    QCOMPARE(f.Comms->Label125->Caption(), QStringLiteral("Data Size: 109"));

    const std::pair<TEdit *, const char *> edits[] = {
        {s.IP1, "192"},         {s.IP2, "168"},         {s.IP3, "1"},           {s.IP4, "50"},         {s.IP_Port, "502"},
        {s.edtRouter1, "192"},  {s.edtRouter4, "1"},    {s.edtMask1, "255"},    {s.edtmask3, "255"},   {s.edtMask4, "0"},
        {s.IPTimeout, "1000"},
    };
    for (const auto &[edit, text] : edits)
        QCOMPARE(edit->Text(), QString::fromLatin1(text));
    QVERIFY(s.CheckBox1->Checked());
    QCOMPARE(s.EthernetTimeoutAction->ItemIndex(), 0);
    QCOMPARE(s.LinkControl[0]->ItemIndex(), 2);
    QCOMPARE(s.LinkControl[2]->ItemIndex(), 3);
    QCOMPARE(s.LinkControl[3]->ItemIndex(), 0);
    QCOMPARE(f.Overview->PortDes[2]->Caption(), QStringLiteral("Modbus"));
    QCOMPARE(s.LEDTest->ItemIndex(), 0);
    const QStringList ranges{"192", "168", "1", "10", "99", "192", "168", "1", "200", "210", "10", "20", "0", "1", "30", "0"};
    for (int k = 1; k <= ranges.size(); ++k)
        QCOMPARE(f.Find<TEdit>(QStringLiteral("Range%1").arg(k))->Text(), ranges.at(k - 1));
    for (int r = 1; r <= 16; ++r) {
        QCOMPARE(f.Find<TCheckBox>(QStringLiteral("UserR%1").arg(r))->Checked(), r <= 3);
        QCOMPARE(f.Find<TCheckBox>(QStringLiteral("ControlR%1").arg(r))->Checked(), r == 1 || r == 3);
    }
    QCOMPARE(s.Label94->Caption(), QStringLiteral("Enable bits (40126): 7 $7"));
    QCOMPARE(s.Label122->Caption(), QStringLiteral("CRange bits (40208): 5 $5"));

    // The hub's clock runs, and it is the simulator's (the local time).
    const QString shown = s.Label1->Caption();
    QTRY_VERIFY_WITH_TIMEOUT(s.Label1->Caption() != shown, 10000);
    const QDateTime hubTime(f.Gen_TimeDate.date(), f.Gen_TimeDate.time());
    QVERIFY2(qAbs(hubTime.secsTo(QDateTime::currentDateTime())) <= 10, qPrintable(s.Label1->Caption()));

    // What the first result wrote back is what the hub holds: its settings are unchanged.
    QCOMPARE(live.simulator.get(16, 106, 8), (QVector<quint16>{2, 2, 10, 0, 502, 1000, 0, 1}));
    QCOMPARE(live.simulator.get(16, 126, 1), (QVector<quint16>{7}));
    QCOMPARE(live.simulator.get(16, 207, 2), (QVector<quint16>{0, 5}));
}

void TestFormHubSettingsE2e::ledTestGoesToTheHubAndComesBack()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    TestUi::ClickTab(f, f.HubSettings->TabSheet1);
    QTRY_COMPARE_WITH_TIMEOUT(f.HubSettings->LEDTest->ItemIndex(), 0, 15000);
    // Choose right after a settings result, so that no read of the old value is on its way.
    QVERIFY(live.WaitForResults(1, 1, 10000));
    QCOMPARE(live.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    auto *item = f.Window()->findChild<QRadioButton *>(QStringLiteral("LEDTest_item2"));
    QVERIFY(item);
    QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(8, item->height() / 2));
    QCOMPARE(f.HubSettings->LEDTest->ItemIndex(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(live.simulator.get(16, 207, 1), (QVector<quint16>{2}), 5000);
    QVERIFY(TestEnvironment::LogTexts(f).contains(QStringLiteral("LED test setting written to VKH 16:205  Val: 2")));

    // The next blocks bring it back; nothing is written back.
    QVERIFY(live.WaitForResults(1, 1, 10000));
    QVERIFY(live.WaitForResults(1, 1, 10000));
    QCOMPARE(f.HubSettings->LEDTest->ItemIndex(), 2);
    QCOMPARE(f.Gen_LEDTest, int16_t(2));
    QCOMPARE(live.simulator.writeLog(), QStringList{QStringLiteral("16:207:2")});
}

void TestFormHubSettingsE2e::automaticTimeSendAtEveryGeneralResult()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    TestUi::ClickTab(f, f.HubSettings->TabSheet1);
    TestUi::Click(f.HubSettings->CheckBox3);
    QVERIFY(f.HubSettings->CheckBox3->Checked());
    QVERIFY(live.WaitForResults(2, 1, 10000));
    QVERIFY(HubWrites(live, 100).isEmpty()); // the hub does not ask yet

    // A hub that asks on after every time it receives.
    QCOMPARE(live.simulator.command(QStringLiteral("asktime keep")), QStringLiteral("OK"));
    QTRY_VERIFY_WITH_TIMEOUT(f.DateandTimeNeeded, 3000);
    QCOMPARE(live.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    const int first = live.results[2];
    QTRY_VERIFY_WITH_TIMEOUT(live.results[2] - first >= 4, 15000);
    // Unticking stops the sends; the last ones may still be on their way.
    TestUi::Click(f.HubSettings->CheckBox3);
    const int results = live.results[2] - first;
    QStringList sends;
    QTRY_VERIFY_WITH_TIMEOUT((sends = HubWrites(live, 100)).size() >= results, 3000);
    qInfo("%d general-data results, %lld time sends", results, static_cast<long long>(sends.size()));
    // One send per result, and at most the sends of the results just before the log was
    // cleared, still on their way then.
    QVERIFY2(sends.size() <= results + 2, qPrintable(sends.join(' ')));

    // Each is the PC's date and time: day, month, year - 2000, hour, minute, second.
    const QStringList words = sends.last().section(QLatin1Char(':'), 2).split(QLatin1Char(','));
    QCOMPARE(words.size(), 6);
    const QDateTime sent(QDate(2000 + words[2].toInt(), words[1].toInt(), words[0].toInt()),
                         QTime(words[3].toInt(), words[4].toInt(), words[5].toInt()));
    QVERIFY2(qAbs(sent.secsTo(QDateTime::currentDateTime())) <= 5, qPrintable(sends.last()));
    QVERIFY(TestEnvironment::LogTexts(f).count(QStringLiteral("Update time PC -> VKH")) >= sends.size());
}

void TestFormHubSettingsE2e::typedTimeoutWrittenOnceOnLeaving()
{
    // "2000" typed over the time-out's "1000" reaches the hub once, when Tab leaves the edit.
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    TEdit *timeout = f.HubSettings->IPTimeout;
    TestUi::ClickTab(f, f.HubSettings->TabSheet1);
    QTRY_VERIFY_WITH_TIMEOUT(f.HubSettings->Label1->Caption().startsWith(QStringLiteral("VelkarHub Date and Time: ")), 15000);
    QCOMPARE(timeout->Text(), QStringLiteral("1000"));
    // Type right after a settings result, so that no read of the old value is on its way.
    QVERIFY(live.WaitForResults(1, 1, 10000));
    QCOMPARE(live.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    QTest::mouseClick(timeout->Widget(), Qt::LeftButton);
    QVERIFY(timeout->Focused());
    timeout->LineEdit()->selectAll();
    QTest::keyClicks(timeout->Widget(), QStringLiteral("2000"));
    QTest::qWait(300); // time for anything sent while typing to arrive
    QCOMPARE(live.simulator.writeLog(), QStringList{});
    QTest::keyClick(timeout->Widget(), Qt::Key_Tab);
    QTRY_COMPARE_WITH_TIMEOUT(live.simulator.get(16, 111, 1), (QVector<quint16>{2000}), 5000);

    // The next blocks bring the new value back; nothing more is written.
    QVERIFY(live.WaitForResults(1, 2, 10000));
    QCOMPARE(timeout->Text(), QStringLiteral("2000"));
    QCOMPARE(live.simulator.writeLog(), QStringList{QStringLiteral("16:111:2000")});
}

// The operator's typing on the wire: kept while another program's window is active and
// the hub's blocks keep coming, sent by Enter, and a number typed after an emptied edit;
// each value reaches the hub once, and nothing else is written.
void TestFormHubSettingsE2e::typedValueReachesTheHubOnce_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("Tab after another window was active") << "IPTimeout" << "away" << QStringList{"16:111:3000"};
    QTest::newRow("Enter, then Tab") << "IPTimeout" << "enter" << QStringList{"16:111:3000"};
    QTest::newRow("Enter in a port page's link number") << "QVL1Link" << "enter" << QStringList{"17:1001:9"};
    QTest::newRow("a number typed after the emptied edit was left")
        << "IP4" << "emptied" << QStringList{"16:117:0", "16:117:77"};
}

void TestFormHubSettingsE2e::typedValueReachesTheHubOnce()
{
    QFETCH(QString, edit);
    QFETCH(QString, how);
    QFETCH(QStringList, writes);
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    auto *e = f.Find<TEdit>(edit);
    const bool linkEdit = edit.startsWith(QLatin1String("QVL"));
    // The first blocks decoded before a page with writing controls is shown: they would
    // be written back.
    QVERIFY(live.Settle());
    QVERIFY(live.WaitForResults(1, 1, 15000));
    TestUi::ClickTab(f, linkEdit ? f.Ports[0]->Sheet : f.HubSettings->TabSheet1);
    QVERIFY(live.WaitForResults(linkEdit ? 17 : 1, 1, 10000));
    QCOMPARE(live.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    QTest::mouseClick(e->Widget(), Qt::LeftButton);
    e->LineEdit()->selectAll();
    if (how == QLatin1String("emptied")) {
        QTest::keyClick(e->Widget(), Qt::Key_Backspace);
        QTest::keyClick(e->Widget(), Qt::Key_Tab);
        QTest::mouseClick(e->Widget(), Qt::LeftButton); // back at once, before the next block
        QTest::keyClicks(e->Widget(), QStringLiteral("77"));
        QTest::keyClick(e->Widget(), Qt::Key_Tab);
    } else {
        const QString typed = writes.constFirst().section(QLatin1Char(':'), 2);
        QTest::keyClicks(e->Widget(), typed);
        if (how == QLatin1String("away")) {
            QWidget other;
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            QVERIFY(live.WaitForResults(linkEdit ? 17 : 1, 2, 10000));
            QCOMPARE(e->Text(), typed);
            QCOMPARE(live.simulator.writeLog(), QStringList{});
            f.Window()->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f.Window()));
            QTest::keyClick(e->Widget(), Qt::Key_Tab);
        } else {
            QTest::keyClick(e->Widget(), Qt::Key_Return);
            QTRY_COMPARE_WITH_TIMEOUT(live.simulator.writeLog(), writes, 5000);
            QVERIFY(e->Focused());
            QTest::keyClick(e->Widget(), Qt::Key_Tab);
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(live.simulator.writeLog(), writes, 5000);
    // The next blocks bring the value back; nothing more is written.
    QVERIFY(live.WaitForResults(linkEdit ? 17 : 1, 2, 10000));
    QCOMPARE(e->Text(), writes.constLast().section(QLatin1Char(':'), 2));
    QCOMPARE(live.simulator.writeLog(), writes);
}

// The run-time message jump while the operator types over a range part: nothing of the
// typing reaches the hub, and a settings file saved after the jump is the one saved before
// the typing began.
void TestFormHubSettingsE2e::pageJumpDropsTheTyping()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    QTemporaryDir folder;
    const auto save = [&](const QString &name) {
        const QString path = folder.filePath(name);
        live.dialogs.fileAnswers.push_back(path);
        TestUi::Click(f.Comms->Button25);
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    TestUi::Click(f.Comms->CheckBox4); // "Jump to this page on new runtime message"
    QVERIFY(live.Settle());
    QVERIFY(live.WaitForResults(1, 1, 15000));
    const QByteArray before = save(QStringLiteral("before.txt"));
    QVERIFY(!before.isEmpty());
    TestUi::ClickTab(f, f.HubSettings->TabSheet1);
    QVERIFY(live.WaitForResults(1, 1, 10000));
    QCOMPARE(live.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    auto *range1 = f.Find<TEdit>(QStringLiteral("Range1"));
    QCOMPARE(range1->Text(), QStringLiteral("192"));
    QTest::mouseClick(range1->Widget(), Qt::LeftButton);
    range1->LineEdit()->selectAll();
    QTest::keyClicks(range1->Widget(), QStringLiteral("99"));

    QCOMPARE(live.simulator.command(QStringLiteral("runtime 1 120 PUMPS.C")), QStringLiteral("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(f.Frame->PageControl1->ActivePage(), f.Comms->TabSheet7, 5000);
    QCOMPARE(range1->Text(), QStringLiteral("192"));
    QCOMPARE(save(QStringLiteral("after.txt")), before);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    // The range parts follow the hub again.
    QVERIFY(live.simulator.set(16, 128, {172}));
    QTRY_COMPARE_WITH_TIMEOUT(f.Find<TEdit>(QStringLiteral("Range2"))->Text(), QStringLiteral("172"), 10000);
    QCOMPARE(live.simulator.writeLog().filter(QRegularExpression(QStringLiteral("^16:127:"))), QStringList{});
}

QTEST_MAIN(TestFormHubSettingsE2e)
#include "test_form_hubsettings_e2e.moc"
