// The hub overview on a scripted control: general data, run-time message, identification
// text, statistics and their resets.
#include "FormHarness.h"

#include <QtTest>

using namespace TestUi;

namespace {

// 31 words of general data with the firmware version given.
std::vector<int16_t> General(int16_t v1, int16_t v2, int16_t v3, int16_t v4)
{
    std::vector<int16_t> w(31, 0);
    w[0] = v1;
    w[1] = v2;
    w[2] = v3;
    w[3] = v4;
    return w;
}

int16_t W(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

// The 15 registers of an identification text, padded with spaces.
std::vector<int16_t> IdentWords(const QString &text)
{
    std::vector<int16_t> words(15, ' ');
    for (int k = 0; k < text.size() && k < 15; ++k)
        words[static_cast<size_t>(k)] = static_cast<int16_t>(text[k].unicode());
    return words;
}

// The words of every write of the identification text (16:8999, 15 registers) started.
std::vector<std::vector<int16_t>> IdentWrites(const ScriptedMbaxp &control)
{
    std::vector<std::vector<int16_t>> writes;
    for (const ScriptedMbaxp::Start &w : control.Writes())
        if (w.definition.slave == 16 && w.definition.address == 8999 && w.definition.quantity == 15)
            writes.push_back(w.words);
    return writes;
}

// The runs of the identification text's read (handle 10) started, each checked to be
// its read as the register map defines it.
int IdentReadRuns(const ScriptedMbaxp &control)
{
    int runs = 0;
    for (const ScriptedMbaxp::Start &s : control.starts) {
        if (s.handle != 10)
            continue;
        if (s.definition.kind != ScriptedMbaxp::Kind::Read || s.definition.slave != 16 || s.definition.address != 8999 ||
            s.definition.quantity != 15)
            return -1;
        ++runs;
    }
    return runs;
}


} // namespace

class TestFormOverview : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void statisticsLengthByFirmware_data();
    void statisticsLengthByFirmware();
    void checksumAndMac_data();
    void checksumAndMac();
    void statusBitsAndPorts();
    void automaticTimeSend();
    void wrongDevice();
    void runtimeMessage();
    void identificationText();
    void identTextAfterAFailedRead_data();
    void identTextAfterAFailedRead();
    void applyIdentificationText();
    void clipboardAndNotice();
    void statisticsLabels();
    void lastIpBlock_data();
    void lastIpBlock();
    void resets_data();
    void resets();
};

void TestFormOverview::statisticsLengthByFirmware_data()
{
    QTest::addColumn<int>("v4");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("upgradeNote");
    QTest::newRow("-1") << -1 << 24 << true;
    QTest::newRow("0") << 0 << 24 << true;
    QTest::newRow("3") << 3 << 24 << true;
    QTest::newRow("4") << 4 << 35 << false;
    QTest::newRow("5") << 5 << 37 << false;
    QTest::newRow("9") << 9 << 37 << false;
}

void TestFormOverview::statisticsLengthByFirmware()
{
    QFETCH(int, v4);
    QFETCH(int, length);
    QFETCH(bool, upgradeNote);
    FormHarness h;
    TForm1 &f = h.form();
    h.control.Clear();
    h.control.DeliverOk(2, General(4, 60, 2, W(v4)));
    // Handle 3 is defined afresh and read once, never repeated.
    QCOMPARE(h.control.calls.mid(0, 2), (QStringList{QStringLiteral("Read(3,16,599,%1,500)").arg(length), "Once(3)"}));
    QVERIFY(!h.control.calls.contains("Enable(3)"));
    QCOMPARE(f.Comms->Label116->Caption(), upgradeNote ? QStringLiteral("Above not avaiable with this unit, upgrade firmare to enable")
                                                : QStringLiteral("Click on Item to Reset, or use button to reset all"));
    QCOMPARE(f.Comms->Label116->FontColor(), upgradeNote ? QColor(255, 0, 0) : QColor(0, 0, 128));
    QCOMPARE(f.Overview->Label8->Caption(), QStringLiteral("4:60:2:%1").arg(v4));
}

void TestFormOverview::checksumAndMac_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<QString>("checksum");
    QTest::addColumn<int>("mac8");
    QTest::addColumn<QString>("mac");
    QTest::newRow("high 0x1234 low 0x8000") << 0x8000 << 0x1234 << "305430528 (12348000)" << 0x3412 << "12:34:00:00:00:00";
    QTest::newRow("all ones") << 0xFFFF << 0xFFFF << "4294967295 (FFFFFFFF)" << 0xFFFF << "FF:FF:00:00:00:00";
    QTest::newRow("zero") << 0 << 0 << "0 (00000000)" << 0x0A0B << "0B:0A:00:00:00:00";
}

void TestFormOverview::checksumAndMac()
{
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(QString, checksum);
    QFETCH(int, mac8);
    QFETCH(QString, mac);
    FormHarness h;
    auto w = General(4, 60, 2, 6);
    w[4] = W(low);
    w[5] = W(high);
    w[8] = W(mac8);
    h.control.DeliverOk(2, w);
    QCOMPARE(h.form().Overview->Label11->Caption(), checksum);
    QCOMPARE(h.form().Overview->Label48->Caption(), mac);
    // The other bytes keep their order: low byte first in each word.
    w[9] = W(0x2B1A);
    w[10] = W(0x5E4D);
    h.control.DeliverOk(2, w);
    QCOMPARE(h.form().Overview->Label48->Caption().mid(6), QStringLiteral("1A:2B:4D:5E"));
}

void TestFormOverview::statusBitsAndPorts()
{
    FormHarness h;
    TForm1 &f = h.form();
    QVERIFY(f.Overview->Label42->Visible());
    QVERIFY(f.Overview->Button5->Visible());
    auto w = General(4, 60, 2, 6);
    w[11] = 0x0002; // cable missing
    w[12] = 0x0005; // ports 1 and 3 have data
    for (int k = 13; k <= 24; ++k)
        w[static_cast<size_t>(k)] = static_cast<int16_t>(k);
    f.Comms->UnitAddressEdits[0]->Widget()->setFocus();
    h.control.DeliverOk(2, w);
    QCOMPARE(f.Overview->Label41->Caption(), QStringLiteral("Ethernet Cable: Missing"));
    QVERIFY(!f.Overview->Label42->Visible());
    QVERIFY(!f.Overview->Button5->Visible());
    QCOMPARE(f.Overview->Label44->Caption(), QStringLiteral("VelkarsHub Status: 2"));
    QCOMPARE(f.Overview->PortData[0]->Caption(), QStringLiteral("P1 Data"));
    QCOMPARE(f.Overview->PortData[0]->FontColor(), QColor(0, 128, 0));
    QCOMPARE(f.Overview->PortData[1]->Caption(), QStringLiteral("P2 No Data"));
    QCOMPARE(f.Overview->PortData[1]->FontColor(), QColor(255, 0, 0));
    QCOMPARE(f.Overview->PortData[2]->Caption(), QStringLiteral("P3 Data"));
    QCOMPARE(f.Overview->PortData[3]->Caption(), QStringLiteral("P4 No Data"));
    // The Ethernet settings in use are shown whatever has the focus.
    QCOMPARE(f.Comms->UnitAddressEdits[0]->Text(), QStringLiteral("13"));
    QCOMPARE(f.Comms->UnitAddressEdits[11]->Text(), QStringLiteral("24"));
    QCOMPARE(f.Comms->UnitAddressEdits[4]->Name(), QStringLiteral("Edit17"));

    w[11] = 0x000C; // time-out expired, reboot requested, cable present
    w[12] = W(0xFFF8);
    h.control.DeliverOk(2, w);
    QCOMPARE(f.Overview->Label41->Caption(), QStringLiteral("Ethernet Cable: Present"));
    QVERIFY(f.Overview->Label42->Visible());
    QVERIFY(f.Overview->Button5->Visible());
    QCOMPARE(f.Overview->PortData[0]->Caption(), QStringLiteral("P1 No Data"));
    QCOMPARE(f.Overview->PortData[3]->Caption(), QStringLiteral("P4 Data"));
    QVERIFY(f.EthernetTimeout && f.RebootRequest && !f.NetworkCableMissing && !f.DateandTimeNeeded);
}

void TestFormOverview::automaticTimeSend()
{
    FormHarness h;
    TForm1 &f = h.form();
    int sends = 0;
    f.HubSettings->Btn_UpdateTime->OnClick = [&](TComponent *) { ++sends; };
    auto w = General(4, 60, 2, 6);
    w[11] = 0x0001; // the hub asks for the date and time
    h.control.DeliverOk(2, w);
    QCOMPARE(sends, 0); // "Auto update time" unticked: never sent
    f.HubSettings->CheckBox3->SetChecked(true);
    h.control.DeliverOk(2, w);
    h.control.DeliverOk(2, w);
    QCOMPARE(sends, 2); // every result while the hub asks
    w[11] = 0;
    h.control.DeliverOk(2, w);
    QCOMPARE(sends, 2);
}

void TestFormOverview::wrongDevice()
{
    FormHarness h;
    TForm1 &f = h.form();
    h.control.Clear();
    QStringList callsAtBox;
    h.dialogs.onShown = [&](const ScriptedDialogs::Shown &) { callsAtBox = h.control.calls; };
    auto w = General(4, 67, 2, 6);
    w[4] = 7;
    h.control.DeliverOk(2, w);
    QCOMPARE(h.dialogs.shown.size(), size_t(1));
    const auto &box = h.dialogs.shown[0];
    QCOMPARE(box.text, QStringLiteral("This is an Brisnel, not a VelkarHub.\r\nAlthough it is another quality product, it cannot "
                                      "be used with this application.\r\nApplication will terminate."));
    QCOMPARE(box.type, TMsgDlgType::mtError);
    QCOMPARE(box.buttons, TMsgDlgBtn::mbOK);
    // Both blocks were stopped before the box; the data were shown before it.
    QVERIFY(callsAtBox.contains("Disable(2)") && callsAtBox.contains("Disable(3)"));
    QCOMPARE(f.Overview->Label8->Caption(), QStringLiteral("4:67:2:6"));
    QCOMPARE(f.Overview->Label11->Caption(), QStringLiteral("7 (00000007)"));
    // The window closed through the ordinary path.
    QVERIFY(f.Closed());
    FormHarness::ProcessEvents();
    QVERIFY(!f.Window()->isVisible());
}

void TestFormOverview::runtimeMessage()
{
    FormHarness h;
    TForm1 &f = h.form();
    f.Comms->CheckBox4->SetChecked(true);
    f.PortTab = true; // as if a port page had been shown by the operator
    std::vector<int16_t> w(10, 0);
    w[0] = 2;
    w[1] = W(-5);
    // "PUMP.BAS" then zeros: low byte first in each word.
    const char name[] = "PUMP.BAS";
    for (int k = 0; k < 8; ++k)
        w[static_cast<size_t>(2 + k / 2)] = static_cast<int16_t>(w[static_cast<size_t>(2 + k / 2)] | (name[k] << (k % 2 ? 8 : 0)));
    h.control.DeliverOk(9, w);
    QVERIFY(f.Comms->Memo1->Visible());
    QVERIFY(f.Comms->Label120->Visible());
    QCOMPARE(f.Comms->Memo1->Lines(), (QStringList{"Run time message available", "Run Time message count: 2", "Line number: -5",
                                             "Program file name: PUMP.BAS        "}));
    QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Comms->TabSheet7);
    // The jump ran no page handling.
    QVERIFY(f.PortTab);

    // The same count again: no jump.
    f.Frame->PageControl1->SetActivePage(f.Overview->TabSheet8);
    h.control.DeliverOk(9, w);
    QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Overview->TabSheet8);
    // A drop to 0 hides the message and still jumps.
    h.control.DeliverOk(9, std::vector<int16_t>(10, 0));
    QVERIFY(!f.Comms->Memo1->Visible());
    QVERIFY(!f.Comms->Label120->Visible());
    QCOMPARE(f.Comms->Memo1->Count(), 0);
    QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Comms->TabSheet7);
    // Without the jump ticked the page stays.
    f.Comms->CheckBox4->SetChecked(false);
    f.Frame->PageControl1->SetActivePage(f.Overview->TabSheet8);
    h.control.DeliverOk(9, w);
    QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Overview->TabSheet8);
}

void TestFormOverview::identificationText()
{
    FormHarness h;
    TForm1 &f = h.form();
    const std::vector<int16_t> w = IdentWords(QStringLiteral("Mill 7"));
    f.Overview->Edit15->Widget()->setFocus();
    QVERIFY(f.Overview->Edit15->Focused());
    h.control.DeliverOk(10, w);
    QCOMPARE(f.Overview->Edit15->Text(), QString()); // dropped while the operator may be typing
    // Asked again at a general-data result, once the operator has left the edit.
    h.control.Clear();
    h.control.DeliverOk(2, General(4, 60, 2, 6));
    QCOMPARE(IdentReadRuns(h.control), 0);
    f.Comms->Button2->Widget()->setFocus();
    h.control.DeliverOk(2, General(4, 60, 2, 6));
    QCOMPARE(IdentReadRuns(h.control), 1);
    h.control.DeliverOk(10, w);
    QCOMPARE(f.Overview->Edit15->Text(), QStringLiteral("Mill 7         ")); // whole, trailing blanks kept
    QVERIFY(!f.Overview->Button38->Visible());
    h.control.DeliverOk(2, General(4, 60, 2, 6));
    QCOMPARE(IdentReadRuns(h.control), 1);
    // The close writes back the text the hub gave.
    h.Destroy();
    QCOMPARE(IdentWrites(h.control), std::vector<std::vector<int16_t>>{w});
}

void TestFormOverview::identTextAfterAFailedRead_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("busy (6)") << 6;
    QTest::newRow("illegal data address (2)") << 2;
    QTest::newRow("time-out (12)") << 12;
    QTest::newRow("connection lost (14)") << 14;
    QTest::newRow("invalid reply (16)") << 16;
    QTest::newRow("no reply (18)") << 18;
}

void TestFormOverview::identTextAfterAFailedRead()
{
    // The read of the identification text failed: the edit holds nothing of the hub's.
    QFETCH(int, code);
    using Writes = std::vector<std::vector<int16_t>>;
    const std::vector<int16_t> hubText = IdentWords(QStringLiteral("Mill 7"));
    const auto readFails = [code](FormHarness &h) {
        h.control.DeliverError(10, static_cast<int16_t>(code));
        h.control.Clear();
    };
    const auto generalData = [](FormHarness &h) { h.control.DeliverOk(2, General(4, 60, 2, 6)); };

    {
        // The next general-data result asks for it again, and no more while that read
        // is unanswered. The close writes nothing over the hub's text.
        FormHarness h;
        readFails(h);
        generalData(h);
        QCOMPARE(IdentReadRuns(h.control), 1);
        generalData(h);
        QCOMPARE(IdentReadRuns(h.control), 1);
        h.Destroy();
        QCOMPARE(IdentWrites(h.control), Writes{});
    }
    {
        // Failed again: asked again at the next result. Once answered, the text is shown,
        // not asked for any more, and the close writes exactly that text.
        FormHarness h;
        readFails(h);
        generalData(h);
        readFails(h);
        generalData(h);
        QCOMPARE(IdentReadRuns(h.control), 1);
        h.control.DeliverOk(10, hubText);
        QCOMPARE(h.form().Overview->Edit15->Text(), QStringLiteral("Mill 7         "));
        generalData(h);
        QCOMPARE(IdentReadRuns(h.control), 1);
        h.Destroy();
        QCOMPARE(IdentWrites(h.control), Writes{hubText});
    }
    {
        // The operator types a text (without "Apply"): not asked again while the operator
        // is in the edit, and the close writes what was typed.
        FormHarness h;
        TForm1 &f = h.form();
        readFails(h);
        f.Overview->Edit15->Widget()->setFocus();
        QTest::keyClicks(f.Overview->Edit15->Widget(), QStringLiteral("Pump 4"));
        generalData(h);
        QCOMPARE(IdentReadRuns(h.control), 0);
        h.Destroy();
        QCOMPARE(IdentWrites(h.control), Writes{IdentWords(QStringLiteral("Pump 4"))});
    }
    {
        // What the operator typed is dropped by the run-time message's page jump: the
        // close has nothing of the operator's to write either.
        FormHarness h;
        TForm1 &f = h.form();
        f.Comms->CheckBox4->SetChecked(true);
        readFails(h);
        QTest::mouseClick(f.Overview->Edit15->Widget(), Qt::LeftButton);
        QTest::keyClicks(f.Overview->Edit15->Widget(), QStringLiteral("Pump 4"));
        std::vector<int16_t> message(10, 0);
        message[0] = 1;
        h.control.DeliverOk(9, message);
        QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Comms->TabSheet7);
        QCOMPARE(f.Overview->Edit15->Text(), QString());
        h.Destroy();
        QCOMPARE(IdentWrites(h.control), Writes{});
    }
}

void TestFormOverview::applyIdentificationText()
{
    FormHarness h;
    TForm1 &f = h.form();
    f.Overview->Edit15->Widget()->setFocus();
    QTest::keyClicks(f.Overview->Edit15->Widget(), QStringLiteral("ABC"));
    QVERIFY(f.Overview->Button38->Visible());
    h.control.Clear();
    QTest::mouseClick(f.Overview->Button38->Widget(), Qt::LeftButton);
    QVERIFY(!f.Overview->Button38->Visible());
    QCOMPARE(h.control.calls.first(), QStringLiteral("Multi(0,16,8999,15,1000)"));
    const auto writes = h.control.Writes();
    QCOMPARE(writes.size(), size_t(1));
    std::vector<int16_t> expected{65, 66, 67};
    expected.resize(15, 32);
    QCOMPARE(writes[0].words, expected);
    QCOMPARE(writes[0].definition.slave, int16_t(16));

    // Typing stops at 15 characters.
    QTest::keyClicks(f.Overview->Edit15->Widget(), QStringLiteral("DEFGHIJKLMNOPQRSTU"));
    QCOMPARE(f.Overview->Edit15->Text().size(), 15);

    // A character that does not fit a register is refused before anything is sent.
    f.Overview->Edit15->SetText(QStringLiteral("OK") + QChar(0x8000));
    h.control.Clear();
    QTest::mouseClick(f.Overview->Button38->Widget(), Qt::LeftButton);
    QVERIFY(h.control.calls.isEmpty());
    QVERIFY2(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: ERangeError : ")), qPrintable(f.Comms->Label93->Caption()));
}

void TestFormOverview::clipboardAndNotice()
{
    FormHarness h;
    TForm1 &f = h.form();
    Click(f.Overview->Label8);
    QCOMPARE(h.shell.clipboard, QStringLiteral("Version:"));
    Click(f.Overview->Label48);
    QCOMPARE(h.shell.clipboard, QStringLiteral("MAC Address:"));
    h.control.DeliverOk(2, General(4, 60, 2, 6));
    Click(f.Overview->Label8);
    QCOMPARE(h.shell.clipboard, QStringLiteral("4:60:2:6"));
    f.Overview->Label123->SetVisible(true);
    Click(f.Overview->Label123);
    QCOMPARE(f.Overview->Label123->Caption(), QStringLiteral(" "));
}

namespace {
// Every label of the statistics, the word it shows and its text.
struct StatisticsLabel {
    const char *name;
    int word;
    const char *text;
};
const StatisticsLabel kStatisticsLabels[] = {
    {"Label12", 0, "Number of Transmissions: "},
    {"Label13", 1, "Number of Receptions:  "},
    {"Label14", 2, "Number of Tx Errors: "},
    {"Label15", 3, "Number of Rx Errors: "},
    {"Label16", 4, "Number of Timeouts: "},
    {"Label17", 5, "Power on Counter: "},
    {"Label18", 6, "Watchdog Counter: "},
    {"Label19", 7, "Runtime Messages: "},
    {"Label105", 24, "Active Connections: "},
    {"Label107", 25, "Receiving when transmitting: "},
    {"Label106", 26, "Total Connections: "},
    {"Label108", 27, "Modbus TCP/IP Tx: "},
    {"Label109", 28, "Modbus TCP/IP ReTx: "},
    {"Label110", 29, "Modbus TCP/IP Total Acks: "},
    {"Label111", 30, "Modbus TCP/IP Rx: "},
    {"Label112", 31, "Modbus TCP/IP Timeouts: "},
    {"Label113", 32, "Modbus TCP/IP connection Closures: "},
    {"Label114", 33, "Modbus TCP/IP connection aborts: "},
    {"Label115", 34, "Modbus TCP/IP address allocations: "},
    {"Label118", 35, "Flash Writes: "},
    {"Label119", 36, "Flash Read CRC Errors: "},
};
} // namespace

void TestFormOverview::statisticsLabels()
{
    FormHarness h;
    TForm1 &f = h.form();
    // A distinct value in every word: 40000 + k in the unsigned counters 0 to 7, a
    // negative value in the signed ones.
    std::vector<int16_t> w(37);
    for (int k = 0; k < 37; ++k)
        w[static_cast<size_t>(k)] = k < 8 ? W(40000 + k) : static_cast<int16_t>(-100 - k);
    h.control.DeliverOk(3, w);
    for (const StatisticsLabel &l : kStatisticsLabels) {
        const QString value = l.word < 8 ? QString::number(40000 + l.word) : QString::number(-100 - l.word);
        QCOMPARE(f.Find<TLabel>(QString::fromLatin1(l.name))->Caption(), QString::fromLatin1(l.text) + value);
    }
    QCOMPARE(f.Stats_WDCount, W(40006));

    // A shorter block: the words beyond it keep what the control holds.
    h.control.DeliverOk(3, std::vector<int16_t>(24, 1));
    QCOMPARE(f.Comms->Label119->Caption(), QStringLiteral("Flash Read CRC Errors: -136"));
    QCOMPARE(f.Overview->Label12->Caption(), QStringLiteral("Number of Transmissions: 1"));
}

void TestFormOverview::lastIpBlock_data()
{
    QTest::addColumn<int>("blocks");
    QTest::addColumn<bool>("shown");
    QTest::newRow("0 hides") << 0 << false;
    QTest::newRow("1 shows") << 1 << true;
    QTest::newRow("0x8000 hides") << 0x8000 << false;
}

void TestFormOverview::lastIpBlock()
{
    QFETCH(int, blocks);
    QFETCH(bool, shown);
    FormHarness h;
    TForm1 &f = h.form();
    QVERIFY(f.HubSettings->GroupBox22->Visible());
    QCOMPARE(f.HubSettings->Label104->Caption(), QStringLiteral("Blocks: "));
    QCOMPARE(f.HubSettings->InvalidIP[2]->Text(), QStringLiteral("192"));
    std::vector<int16_t> w(37, 0);
    w[18] = W(blocks);
    w[19] = 10;
    w[20] = 1;
    w[21] = 2;
    w[22] = 3;
    w[23] = 5020;
    h.control.DeliverOk(3, w);
    QCOMPARE(f.HubSettings->GroupBox22->Visible(), shown);
    if (shown) {
        QCOMPARE(f.HubSettings->Label104->Caption(), QStringLiteral("Blocks: 1"));
        QCOMPARE(f.HubSettings->InvalidIP[0]->Text(), QStringLiteral("10"));
        QCOMPARE(f.HubSettings->InvalidIP[3]->Text(), QStringLiteral("3"));
        QCOMPARE(f.HubSettings->InvalidIP[4]->Text(), QStringLiteral("5020"));
    } else {
        QCOMPARE(f.HubSettings->Label104->Caption(), QStringLiteral("Blocks: ")); // contents keep their last values
        QCOMPARE(f.HubSettings->InvalidIP[0]->Text(), QStringLiteral("192"));
    }
}

void TestFormOverview::resets_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("definition");
    QTest::addColumn<int>("zeros");
    // Every counter label but "Active Connections" clears the register it shows.
    for (const StatisticsLabel &l : kStatisticsLabels) {
        if (l.word == 24)
            continue;
        QTest::addRow("%s (4x%d)", l.name, 600 + l.word) << l.name << QStringLiteral("Single(0,16,%1,1000)").arg(599 + l.word) << 1;
    }
    QTest::newRow("Label120 (4x7000)") << "Label120" << "Single(0,16,6999,1000)" << 1;
    QTest::newRow("Reset All (4x600..607)") << "Button8" << "Multi(0,16,599,8,1000)" << 8;
    QTest::newRow("Reset (4x625..634)") << "Button44" << "Multi(0,16,624,10,1000)" << 10;
    QTest::newRow("Clear (4x618..623)") << "Button43" << "Multi(0,16,617,6,1000)" << 6;
    QTest::newRow("Active Connections resets nothing") << "Label105" << "" << 0;
}

void TestFormOverview::resets()
{
    QFETCH(QString, control);
    QFETCH(QString, definition);
    QFETCH(int, zeros);
    FormHarness h;
    TForm1 &f = h.form();
    auto *c = f.Find<TControl>(control);
    c->SetVisible(true);
    for (TWinControl *p = c->Parent(); p; p = p->Parent())
        if (auto *page = dynamic_cast<TTabSheet *>(p))
            f.Frame->PageControl1->SetActivePage(page);
    const int linesBefore = f.Diagnostics->Memo4->Count();
    h.control.Clear();
    Click(c);
    if (definition.isEmpty()) {
        QVERIFY(h.control.calls.isEmpty());
        return;
    }
    QCOMPARE(h.control.calls.first(), definition);
    const auto writes = h.control.Writes();
    QCOMPARE(writes.size(), size_t(1));
    QCOMPARE(writes[0].words, std::vector<int16_t>(static_cast<size_t>(zeros), 0));
    // Nothing is logged and nothing is asked.
    QCOMPARE(f.Diagnostics->Memo4->Count(), linesBefore);
    QVERIFY(h.dialogs.shown.empty());
}

QTEST_MAIN(TestFormOverview)
#include "test_form_overview.moc"
