// The settings file with the real communications control against the hub simulator: a
// file saved from the window that shows the simulated hub, loaded back after the hub's
// settings have changed, puts into the hub's registers what the window showed.
#include "LiveForm.h"

#include <QRegularExpression>

using namespace TestUi;

namespace {

// Registers as the simulator gives them (unsigned), from signed or unsigned values.
QVector<quint16> Registers(std::initializer_list<int> values)
{
    QVector<quint16> out;
    for (int v : values)
        out << static_cast<quint16>(v);
    return out;
}

// Whether the window came to show the hub: its settings (requested 2.5 s after the
// connection), the four links' settings and the identification text, with the first
// settings result's write-backs done.
bool ShowsTheHub(LiveForm &live)
{
    return QTest::qWaitFor([&] { return live.AllCompleted({1, 10, 17, 18, 19, 20}); }, 15000) &&
           live.WaitForResults(1, 1, 10000);
}

} // namespace

class TestFormSettingsFileE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void savedFileLoadsBackIntoTheHub();
    void baudRateAboveTheGroupsItemsLoadsBack();
};

void TestFormSettingsFileE2e::savedFileLoadsBackIntoTheHub()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("hub.txt"));

    QVERIFY(ShowsTheHub(live));
    QCOMPARE(f.HubSettings->LinkControl[2]->ItemIndex(), 3);
    QCOMPARE(f.Ports[3]->LinkSettings.Baud->SelectedCaption(), QStringLiteral("9600"));
    QCOMPARE(f.Overview->Edit15->Text(), QStringLiteral("VelkarHub Sim  "));
    QVector<quint16> hub = live.simulator.get(16, 106, 103);
    QCOMPARE(hub.size(), 103);
    std::array<QVector<quint16>, 4> links;
    for (int l = 0; l < 4; ++l)
        links[static_cast<size_t>(l)] = live.simulator.get(17 + l, 1001, 8);
    const QVector<quint16> ident = live.simulator.get(16, 9000, 15);

    live.dialogs.fileAnswers.push_back(file);
    Click(f.Comms->Button25);
    QVERIFY(QFile::exists(file));
    QVERIFY2(!f.Comms->Label93->Visible(), qPrintable(f.Comms->Label93->Caption()));

    // The hub's settings change behind the window (as its own firmware or another master
    // would change them). The overview page stays shown, so no decoded change is written
    // back; the link modes, the time-out action, the fixed-address option and the LED
    // test, which are written back on any page, stay as they were.
    QVERIFY(live.simulator.set(16, 110, {1502, 2500}));
    QVERIFY(live.simulator.set(16, 114, {10, 0, 0, 7, 10, 0, 0, 1, 255, 0, 0, 0, 0x8001, 172, 16, 0, 1, 50}));
    QVERIFY(live.simulator.set(16, 208, {0xFFFF}));
    QVERIFY(live.simulator.set(16, 9000, {'O', 't', 'h', 'e', 'r'}));
    for (int l = 0; l < 4; ++l)
        QVERIFY(live.simulator.set(17 + l, 1001, {9, 384, 20, 30, 4, 200, 1, 0}));
    QTRY_COMPARE_WITH_TIMEOUT(f.HubSettings->IP1->Text(), QStringLiteral("10"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(f.Ports[0]->LinkSettings.Baud->SelectedCaption(), QStringLiteral("38400"), 10000);
    QCOMPARE(live.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));

    live.dialogs.fileAnswers.push_back(file);
    Click(f.Comms->Button26);
    QVERIFY2(!f.Comms->Label93->Visible(), qPrintable(f.Comms->Label93->Caption()));

    // What the window showed is back in the hub, with the LED test 0.
    hub[101] = 0;
    QTRY_COMPARE_WITH_TIMEOUT(live.simulator.get(16, 106, 103), hub, 5000);
    for (int l = 0; l < 4; ++l)
        QTRY_COMPARE_WITH_TIMEOUT(live.simulator.get(17 + l, 1001, 8), links[static_cast<size_t>(l)], 5000);
    QTRY_COMPARE_WITH_TIMEOUT(live.simulator.get(16, 9000, 15), ident, 5000);
    QCOMPARE(live.simulator.get(16, 110, 2), Registers({502, 1000}));
    QCOMPARE(live.simulator.get(16, 126, 1), Registers({7}));

    // Six writes, each block whole: four links, the hub and the identification text.
    QStringList writes = live.simulator.writeLog();
    QCOMPARE(writes.size(), 6);
    const QStringList starts{"17:1001:", "18:1001:", "19:1001:", "20:1001:", "16:106:", "16:9000:"};
    for (const QString &start : starts) {
        const QStringList block = writes.filter(QRegularExpression(QLatin1Char('^') + start));
        QCOMPARE(block.size(), 1);
        QCOMPARE(block.first().section(QLatin1Char(':'), 2).split(QLatin1Char(',')).size(),
                 start.startsWith(QLatin1String("16:106")) ? 103 : start.startsWith(QLatin1String("16:")) ? 15 : 8);
    }

    // The window follows the hub again with the next results, and writes nothing more.
    QTRY_COMPARE_WITH_TIMEOUT(f.HubSettings->IP1->Text(), QStringLiteral("192"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(f.Ports[0]->LinkSettings.Baud->SelectedCaption(), QStringLiteral("9600"), 10000);
    QVERIFY(live.WaitForResults(1, 1, 10000));
    QCOMPARE(live.simulator.writeLog().size(), 6);
}

void TestFormSettingsFileE2e::baudRateAboveTheGroupsItemsLoadsBack()
{
    // Link 3 runs at 57,600 baud, which no item of its "Baud Rate" group shows: with its
    // port page shown the window shows no rate and writes nothing; the file saved then
    // holds that rate, and loading it into a hub whose link runs at 9,600 baud sets 57,600
    // again.
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("hub.txt"));
    QVERIFY(ShowsTheHub(live));
    const TRadioGroup *baud = f.Ports[2]->LinkSettings.Baud;
    QCOMPARE(baud->SelectedCaption(), QStringLiteral("9600"));

    ClickTab(f, f.Ports[2]->Sheet);
    QVERIFY(f.PortTab);
    QCOMPARE(live.simulator.command(QStringLiteral("clearlog")), QStringLiteral("OK"));
    QCOMPARE(live.simulator.command(QStringLiteral("set 19 1002 576")), QStringLiteral("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(baud->ItemIndex(), -1, 5000);
    QVERIFY(live.WaitForResults(19, 2));
    QCOMPARE(baud->ItemIndex(), -1);
    QCOMPARE(live.LinkWrites(), QStringList{});
    QCOMPARE(live.simulator.get(19, 1002), Registers({576}));

    live.dialogs.fileAnswers.push_back(file);
    Click(f.Comms->Button25);
    QVERIFY2(!f.Comms->Label93->Visible(), qPrintable(f.Comms->Label93->Caption()));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLatin1(saved.readAll()).split(QStringLiteral("\r\n")).value(39), QStringLiteral("8"));

    // The link runs at 9,600 baud again; with the overview page shown the window follows
    // without writing.
    ClickTab(f, f.Overview->TabSheet8);
    QCOMPARE(live.simulator.command(QStringLiteral("set 19 1002 96")), QStringLiteral("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(baud->ItemIndex(), 5, 5000); // "9600"
    QCOMPARE(live.simulator.command(QStringLiteral("get 19 1002")), QStringLiteral("OK 96"));

    live.dialogs.fileAnswers.push_back(file);
    Click(f.Comms->Button26);
    QVERIFY2(!f.Comms->Label93->Visible(), qPrintable(f.Comms->Label93->Caption()));
    QTRY_COMPARE_WITH_TIMEOUT(live.simulator.command(QStringLiteral("get 19 1002")), QStringLiteral("OK 576"), 5000);
    const QStringList writes = live.LinkWrites();
    QVERIFY2(!writes.filter(QRegularExpression(QStringLiteral("^19:1001:[^,]*,576,"))).isEmpty(), qPrintable(writes.join(' ')));
    QTRY_COMPARE_WITH_TIMEOUT(baud->ItemIndex(), -1, 5000);
}

QTEST_MAIN(TestFormSettingsFileE2e)
#include "test_form_settingsfile_e2e.moc"
