// The starter grids with the real communications control against the hub simulator over
// Modbus TCP on loopback: each port's grid follows the simulator's 100 starters, and a
// click on a row spells out that starter's status bits at the link's next status result.
#include "LiveForm.h"
#include "StartersTestKit.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace StartersTestKit;

namespace {

// A fault-text file beside the program: line n is "Fault text n".
bool WriteFaultTexts(const QString &folder)
{
    QFile file(folder + "/FaultsQV2.txt");
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (int n = 0; n < 64; ++n)
        file.write(QStringLiteral("Fault text %1\r\n").arg(n).toLatin1());
    return true;
}

// What the simulator's starters show in the fault column, by type, with the fault words
// read (input data content "3 Status registers (Long)"): a tripped Quorvane 5 with fault
// 12, a Quorvane 4.3 with alarm 5, a Quorvane 1 with fault code 5 and a Quorvane 3
// Enhanced with fault code 3 in their status words; no fault elsewhere.
QString FaultCell(int type)
{
    switch (type) {
    case 50: return QStringLiteral("T : 12");
    case 43: return QStringLiteral("A : 5");
    case 10: return QStringLiteral("5");
    case 31: return QStringLiteral("3");
    default: return QStringLiteral("0");
    }
}

// The grid of a port against the simulator's registers of its link: status, load and
// type of every address, and the fault column.
QString GridMismatch(TForm1 &f, HubSimulator &simulator, int port)
{
    const int unit = 16 + port;
    const QVector<quint16> status = simulator.get(unit, 3800, 100);
    const QVector<quint16> load = simulator.get(unit, 3900, 100);
    const QVector<quint16> type = simulator.get(unit, 6000, 100);
    if (status.size() != 100 || load.size() != 100 || type.size() != 100)
        return QStringLiteral("simulator did not answer");
    TStringGrid *grid = Grid(f, port);
    for (int a = 0; a < 100; ++a) {
        const QStringList expected{QString::number(a), QString::number(int16_t(status[a])), QString::number(int16_t(load[a])),
                                   FaultCell(type[a]), TForm1::StarterTypeText(int16_t(type[a])), QStringLiteral("0")};
        for (int c = 0; c < 6; ++c)
            if (grid->Cells(c, a + 1) != expected[c])
                return QStringLiteral("port %1 row %2 column %3: '%4', expected '%5'")
                    .arg(port).arg(a + 1).arg(c).arg(grid->Cells(c, a + 1), expected[c]);
    }
    return QString();
}

// Writes to the link units (commands, group requests, clearing): a click sends none.
QStringList LinkWrites(HubSimulator &simulator)
{
    QStringList writes;
    for (const QString &entry : simulator.writeLog())
        if (!entry.startsWith(QStringLiteral("16:")))
            writes << entry;
    return writes;
}

} // namespace

class TestFormStartersE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void gridsFollowTheHubAndAClickSpellsOutTheBits();
};

void TestFormStartersE2e::gridsFollowTheHubAndAClickSpellsOutTheBits()
{
    LiveForm live;
    QVERIFY(WriteFaultTexts(live.programFolder.path()));
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    // The simulator's links report "3 Status registers (Long)"; shown here whether or not
    // the link settings have been decoded yet.
    for (int port = 1; port <= 4; ++port)
        f.Ports[static_cast<size_t>(port - 1)]->LinkSettings.InputDataSize->SetItemIndex(2);

    for (int port = 1; port <= 4; ++port) {
        QString mismatch;
        QTRY_VERIFY2_WITH_TIMEOUT((mismatch = GridMismatch(f, live.simulator, port)).isEmpty(), qPrintable(mismatch), 10000);
    }
    // The hub's firmware changes a starter: the grid follows.
    QVERIFY(live.simulator.set(19, 3900 + 42, {-7}));
    QTRY_COMPARE_WITH_TIMEOUT(Grid(f, 3)->Cells(2, 43), QStringLiteral("-7"), 3000);

    const QStringList writesBefore = LinkWrites(live.simulator);
    // Port 1, address 4: a Quorvane 5, tripped (0x8492): the newer layout.
    ClickRow(f, 1, 5);
    QElapsedTimer shown;
    shown.start();
    QVERIFY(Starters(f, 1).QV4orHigher->Checked());
    QVERIFY(!Starters(f, 1).QV2orLower->Checked());
    const QStringList tripped{"Communicating", "Trip Active", "No Alarms", "No Warn", "A Fault is Active", "No Latched trip",
                              "Not in start phase", "Open is required", "Contactor A Open", "Contactor B Open", "Stopped",
                              "Bit 11 off", "Not Manual", "Bit 13 off", "HHP Not Active", "Available"};
    QTRY_COMPARE_WITH_TIMEOUT(StatusTexts(f, 1), tripped, 2500);
    qInfo("status bits of the clicked starter shown after %lld ms", static_cast<long long>(shown.elapsed()));
    QVERIFY(!Starters(f, 1).Fault->Visible());

    // Port 2, address 4: a Quorvane 1 stopped with fault code 5 (0x8005): the older
    // layout and line 5 of the fault texts.
    ClickRow(f, 2, 5);
    QVERIFY(Starters(f, 2).QV2orLower->Checked());
    QVERIFY(!Starters(f, 2).QV4orHigher->Checked());
    const QStringList stopped{"No HHP", "Not in test", "Contactor A Open", "Contactor B Open", "Not on", "Man Stop not active",
                              "Input 1 Open", "Input 2 Open", "Not Local", "Available", "", "", "", "", "", ""};
    QTRY_COMPARE_WITH_TIMEOUT(StatusTexts(f, 2), stopped, 2500);
    QTRY_VERIFY_WITH_TIMEOUT(Starters(f, 2).Fault->Visible(), 2500);
    QCOMPARE(Starters(f, 2).Fault->Caption(), QStringLiteral("Fault text 5"));
    QCOMPARE(f.Caption(), QStringLiteral("Quorvane Selected: 104 Link: 2 Address: 4"));
    QCOMPARE(f.PortCommon->Label61->Caption(), QStringLiteral("Quorvane Selected: 2 : 4"));
    // Port 1 still shows its own selection; its fault label follows address 4 of link 1,
    // a newer starter: hidden.
    QCOMPARE(StatusTexts(f, 1), tripped);
    QVERIFY(!Starters(f, 1).Fault->Visible());

    QCOMPARE(LinkWrites(live.simulator), writesBefore);
}

QTEST_MAIN(TestFormStartersE2e)
#include "test_form_starters_e2e.moc"
