// Commands, group data, the configuration window and the clearing of all windows of a
// link with the real communications control against the hub simulator over Modbus TCP
// on loopback: a command reaches the starter's command word and shows in the grid, a
// group read goes through the hub's busy-then-ready handshake, and "All Config" sends
// every one of its 100 writes.
#include "LiveForm.h"
#include "StartersTestKit.h"

#include <QElapsedTimer>
#include <QRegularExpression>

using namespace TestUi;
using namespace StartersTestKit;

namespace {

// Ticks "Allow Commands" as the operator does and answers the password box.
void AllowCommands(LiveForm &live) { QVERIFY(live.AllowCommands()); }

// Starts the window and waits until every link's settings have been decoded once.
bool StartAndSettle(LiveForm &live) { return live.Start() && live.Settle(); }

// A live window over Modbus TCP or over Modbus RTU on a pseudo-terminal pair, settled.
struct AnyLive {
    std::unique_ptr<LiveForm> tcp;
    std::unique_ptr<LiveRtu> rtu;
    LiveForm &live() { return tcp ? *tcp : *rtu->live; }
    bool Start(bool overRtu)
    {
        if (overRtu) {
            rtu = std::make_unique<LiveRtu>();
            return rtu->Start() && rtu->live->Settle();
        }
        tcp = std::make_unique<LiveForm>();
        return StartAndSettle(*tcp);
    }
    // Started, on the communications page, with "Allow Commands" ticked.
    bool StartWithCommands(bool overRtu)
    {
        if (!Start(overRtu))
            return false;
        TForm1 &f = *live().form;
        ClickTab(f, f.Comms->TabSheet7);
        return live().AllowCommands();
    }
};

// The rows of a test that runs over Modbus TCP and over Modbus RTU.
void OverTcpAndRtu()
{
    QTest::addColumn<bool>("overRtu");
    QTest::newRow("tcp") << false;
    QTest::newRow("rtu") << true;
}

double MonotonicMs()
{
    QElapsedTimer now;
    now.start();
    return double(now.msecsSinceReference());
}

// The 100 writes of "All Config" of port 3 as the simulator received them: windows
// 4x5000 to 4x5099 of unit 19, in order, each of 120 zeros, each at least 50 ms after the
// one before.
void CheckPacedWindows(const QVector<HubSimulator::TimedWrite> &writes)
{
    const QString zeros = QStringList(120, QStringLiteral("0")).join(QLatin1Char(','));
    QCOMPARE(writes.size(), qsizetype(100));
    for (int a = 0; a < 100; ++a) {
        QCOMPARE(writes[a].entry, QStringLiteral("19:%1:").arg(5000 + a) + zeros);
        if (a > 0)
            QVERIFY2(writes[a].atMs - writes[a - 1].atMs >= 50,
                     qPrintable(QStringLiteral("window %1: %2 ms after the one before").arg(a).arg(writes[a].atMs - writes[a - 1].atMs)));
    }
}

struct LoggedWrite {
    int unit, reg;
    QStringList values;
};

std::vector<LoggedWrite> LoggedWrites(HubSimulator &simulator)
{
    std::vector<LoggedWrite> out;
    for (const QString &entry : simulator.writeLog()) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        if (parts.size() == 3)
            out.push_back({parts[0].toInt(), parts[1].toInt(), parts[2].split(QLatin1Char(','))});
    }
    return out;
}

} // namespace

class TestFormCommandsE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void commandReachesTheCommandWordAndShowsInTheGrid();
    void groupReadThroughTheBusyHandshake();
    void configWindowReadAndAllConfigSendsEveryWindow();
    void allConfigIsPacedOnTheWire_data();
    void allConfigIsPacedOnTheWire();
    void closeDuringAllConfigDeliversEveryWrite_data();
    void closeDuringAllConfigDeliversEveryWrite();
};

void TestFormCommandsE2e::commandReachesTheCommandWordAndShowsInTheGrid()
{
    LiveForm live;
    QVERIFY(StartAndSettle(live));
    TForm1 &f = *live.form;
    AllowCommands(live);
    QTRY_COMPARE_WITH_TIMEOUT(Grid(f, 2)->Cells(5, 5), QStringLiteral("0"), 5000);
    ClickTab(f, f.Ports[1]->Sheet);
    ClickRow(f, 2, 5);
    QCOMPARE(live.simulator.command("clearlog"), QStringLiteral("OK"));

    // "Reset Thermal" with priority on port 2, address 4: 13 into 4x2004 of unit 18.
    Click(f.Ports[1]->Commands.PriorityCommand);
    Click(f.Ports[1]->Commands.ResetThermal);
    QTRY_COMPARE_WITH_TIMEOUT(live.simulator.get(18, 2004), QVector<quint16>{13}, 3000);
    QCOMPARE(live.LinkWrites(), QStringList{"18:2004:13"});
    QTRY_COMPARE_WITH_TIMEOUT(Grid(f, 2)->Cells(5, 5), QStringLiteral("13"), 3000);
    QCOMPARE(Grid(f, 2)->Cells(5, 4), QStringLiteral("0"));
    QVERIFY(TestEnvironment::LogTexts(f).contains(QStringLiteral("Send Reset Thermal Command: 13 To: 18 : 2004")));
}

void TestFormCommandsE2e::groupReadThroughTheBusyHandshake()
{
    LiveForm live;
    QVERIFY(StartAndSettle(live));
    TForm1 &f = *live.form;
    // Address 6 of link 3 is a Quorvane 4.3: the newer titles.
    QTRY_COMPARE_WITH_TIMEOUT(Grid(f, 3)->Cells(4, 7), QStringLiteral("Quorvane 4.3"), 5000);
    ClickTab(f, f.Ports[2]->Sheet);
    ClickRow(f, 3, 7);
    QVERIFY(Starters(f, 3).QV4orHigher->Checked());
    SingleDataGroup &g = f.Ports[2]->SingleData;
    const QString readsBefore = live.simulator.command("reads 19 1303");

    g.ComboBox->SetItemIndex(2);
    Click(g.BitBtn);
    // The hub answers busy twice, then the data: address * 100 + item * 10 + word index.
    QTRY_COMPARE_WITH_TIMEOUT(g.GroupGrid->Cells(1, 1), QStringLiteral("620"), 5000);
    QCOMPARE(live.simulator.command("reads 19 1303"), QStringLiteral("OK %1").arg(readsBefore.mid(3).toInt() + 3));
    QCOMPARE(g.GrpStat->Caption(), QStringLiteral("Returned Status: 2 - 0 Returned"));
    const QStringList titles{"Status", "Load", "Fault", "Link Timeouts", "CRC Errors", "Input Counter 1 (1000s)",
                             "Input Counter 2 (units)", "Reserved"};
    for (int row = 1; row <= 14; ++row) {
        QCOMPARE(g.GroupGrid->Cells(0, row), row <= 8 ? titles[row - 1] : QString());
        QCOMPARE(g.GroupGrid->Cells(1, row), row <= 8 ? QString::number(620 + row - 1) : QString());
    }
    QCOMPARE(live.LinkWrites(), QStringList{"19:1303:6,2"});

    // Asked again, the status line shows the length of the first data reply.
    Click(g.BitBtn);
    QTRY_COMPARE_WITH_TIMEOUT(g.GrpStat->Caption(), QStringLiteral("Returned Status: 2 - 11 Returned"), 5000);
}

void TestFormCommandsE2e::configWindowReadAndAllConfigSendsEveryWindow()
{
    LiveForm live;
    QVERIFY(StartAndSettle(live));
    TForm1 &f = *live.form;
    AllowCommands(live);
    QTRY_COMPARE_WITH_TIMEOUT(Grid(f, 3)->Cells(5, 12), QStringLiteral("0"), 5000);

    // "Read VKH" for address 11 of link 3: word j is 3000 + 11 + j.
    ClickRow(f, 3, 12);
    ClickTab(f, f.Config->Configuration);
    Click(f.Config->Button22);
    TStringGrid *grid = f.Config->StringGrid5;
    QTRY_COMPARE_WITH_TIMEOUT(grid->Cells(1, 120), QStringLiteral("3130"), 5000);
    QCOMPARE(grid->Cells(1, 1), QStringLiteral("3011"));
    QCOMPARE(grid->Cells(5, 1), QStringLiteral("0BC3"));

    ClickTab(f, f.Ports[2]->Sheet);
    QCOMPARE(live.simulator.command("clearlog"), QStringLiteral("OK"));
    live.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    Click(f.Ports[2]->ClearItems.AllConfig);
    QTRY_COMPARE_WITH_TIMEOUT(f.Ports[2]->ClearItems.Progress->Caption(), QStringLiteral("Writing complete"), 30000);

    // Exactly 100 writes into the configuration windows, each of 120 zeros, starting at
    // 4x5000 to 4x5099 of unit 19 in ascending order, and none into another unit's.
    const QStringList zeros(120, QStringLiteral("0"));
    auto windowWrites = [&] {
        std::vector<LoggedWrite> writes;
        for (const LoggedWrite &w : LoggedWrites(live.simulator))
            if (w.reg >= 5000 && w.reg <= 5218)
                writes.push_back(w);
        return writes;
    };
    QTRY_COMPARE_WITH_TIMEOUT(windowWrites().size(), size_t(100), 30000);
    const std::vector<LoggedWrite> writes = windowWrites();
    for (int a = 0; a < 100; ++a) {
        const LoggedWrite &w = writes[static_cast<size_t>(a)];
        QCOMPARE(w.unit, 19);
        QCOMPARE(w.reg, 5000 + a);
        QCOMPARE(w.values, zeros);
    }
    // The hub's windows are all cleared.
    QCOMPARE(live.simulator.get(19, 5000, 100), QVector<quint16>(100, 0));
    QCOMPARE(live.simulator.get(19, 5100, 119), QVector<quint16>(119, 0));
    QCOMPARE(live.simulator.get(18, 5000), QVector<quint16>{2000});
}

void TestFormCommandsE2e::allConfigIsPacedOnTheWire_data()
{ OverTcpAndRtu(); }

void TestFormCommandsE2e::allConfigIsPacedOnTheWire()
{
    // The windows reach the hub paced, and "Writing complete" shows only once the last
    // one has been answered, so after it reached the hub.
    QFETCH(bool, overRtu);
    AnyLive any;
    QVERIFY(any.StartWithCommands(overRtu));
    LiveForm &live = any.live();
    TForm1 &f = *live.form;
    TLabel *progress = f.Ports[2]->ClearItems.Progress;
    double completeAt = -1;
    const auto noteComplete = [&] {
        if (completeAt < 0 && progress->Caption() == QStringLiteral("Writing complete"))
            completeAt = MonotonicMs();
    };
    auto ok = live.control.OnResultOk;
    live.control.OnResultOk = [&, ok](int16_t handle) {
        ok(handle);
        noteComplete();
    };
    auto error = live.control.OnResultError;
    live.control.OnResultError = [&, error](int16_t handle, int16_t code) {
        error(handle, code);
        noteComplete();
    };
    QCOMPARE(live.simulator.command("clearlog"), QStringLiteral("OK"));
    const int generalBefore = live.results[RegisterMap::Handle::GeneralData];
    live.ClickAllConfig(3);
    QTRY_VERIFY_WITH_TIMEOUT(completeAt >= 0, 60000);
    const QVector<HubSimulator::TimedWrite> writes = live.ConfigWindowWrites(19);
    CheckPacedWindows(writes);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(completeAt > writes.last().atMs, qPrintable(QStringLiteral("%1 ms before").arg(writes.last().atMs - completeAt)));
    QVERIFY(TestEnvironment::LogTexts(f).contains(QStringLiteral("Clear all Config Data to VKH port 3 (19)")));
    // The hub was polled meanwhile.
    QVERIFY(live.results[RegisterMap::Handle::GeneralData] > generalBefore);
}

void TestFormCommandsE2e::closeDuringAllConfigDeliversEveryWrite_data()
{ OverTcpAndRtu(); }

void TestFormCommandsE2e::closeDuringAllConfigDeliversEveryWrite()
{
    // The window closes with most of the windows still to be written: the close sends
    // them all, still paced, and the identification text after them.
    QFETCH(bool, overRtu);
    AnyLive any;
    QVERIFY(any.StartWithCommands(overRtu));
    LiveForm &live = any.live();
    QCOMPARE(live.simulator.command("clearlog"), QStringLiteral("OK"));
    live.ClickAllConfig(3);
    QTRY_VERIFY_WITH_TIMEOUT(live.ConfigWindowWrites(19).size() >= 10, 10000);
    QVERIFY(live.ConfigWindowWrites(19).size() < 100);
    live.form.reset();
    CheckPacedWindows(live.ConfigWindowWrites(19));
    if (QTest::currentTestFailed())
        return;
    const QVector<HubSimulator::TimedWrite> all = live.simulator.timedWriteLog();
    QVERIFY(!all.isEmpty());
    QVERIFY2(all.last().entry.startsWith(QStringLiteral("16:9000:")), qPrintable(all.last().entry));
}

QTEST_MAIN(TestFormCommandsE2e)
#include "test_form_commands_e2e.moc"
