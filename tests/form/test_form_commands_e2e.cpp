// Commands, group data, the configuration window and the clearing of all windows of a
// link with the real communications control against the hub simulator over Modbus TCP
// on loopback: a command reaches the starter's command word and shows in the grid, a
// group read goes through the hub's busy-then-ready handshake, and "All Config" sends
// every one of its 100 writes.
#include "LiveForm.h"
#include "StartersTestKit.h"

#include <QRegularExpression>

using namespace TestUi;
using namespace StartersTestKit;

namespace {

// Ticks "Allow Commands" as the operator does and answers the password box.
void AllowCommands(LiveForm &live)
{
    live.dialogs.inputAnswers.push_back(ConfigConst::CommandPassword);
    Click(live.form->Comms->AllowCommands);
    QVERIFY(live.form->Ports[2]->Commands.Box->Visible());
}

// Starts the window and waits until every link's settings have been decoded once: a port
// page shown before that would write the first decoded settings back.
bool StartAndSettle(LiveForm &live)
{
    if (!live.Start())
        return false;
    for (int handle = RegisterMap::Handle::LinkSettings; handle < RegisterMap::Handle::LinkSettings + 4; ++handle)
        if (!live.WaitForResults(handle, 1))
            return false;
    return true;
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
    QCOMPARE(f.Ports[2]->ClearItems.Progress->Caption(), QStringLiteral("Writing complete"));

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

QTEST_MAIN(TestFormCommandsE2e)
#include "test_form_commands_e2e.moc"
