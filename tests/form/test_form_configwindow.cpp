// The configuration window of the selected starter and the clearing of a link's stored
// data, on a scripted control: "Read VKH" and the grid of the window, "Update VKH", and
// the "QVType Data", "Config Data" and "All Config" buttons of the four port pages with
// their questions, writes, log lines and progress label.
#include "CommandsTestKit.h"

#include <QApplication>
#include <QLabel>
#include <QRegularExpression>

using namespace TestUi;
using namespace StartersTestKit;
using namespace CommandsTestKit;
using namespace RegisterMap;

Q_DECLARE_METATYPE(IMbaxp::WriteFlush)

namespace {

int16_t W(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

QStringList Row(TStringGrid *grid, int row)
{
    QStringList cells;
    for (int c = 0; c < 6; ++c)
        cells << grid->Cells(c, row);
    return cells;
}

enum Clear { TypeData, ConfigData, AllConfig };

TButton *ClearButton(TForm1 &f, int port, int which)
{
    const ClearItemsGroup &g = Port(f, port).ClearItems;
    TButton *const buttons[] = {g.TypeData, g.ConfigData, g.AllConfig};
    return buttons[which];
}

const QString TypesQuestion = QStringLiteral("This will clear out the Quorvane types array, do you wish to continue?");
const QString ConfigQuestion = QStringLiteral("This will clear out the Quorvane configuration array, do you wish to continue?");
const QString AllQuestion =
    QStringLiteral("This will clear out all Quorvane configuration arrays for this port, do you wish to continue?");

} // namespace

class TestFormConfigWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void atCreation();
    void nothingBeforeTheFirstClick();
    void readTheWindowOfTheLastClick();
    void showConfigWindow();
    void updateClearsTheSelectedWindow();
    void clearingAnsweredNo_data();
    void clearingAnsweredNo();
    void clearStarterTypes();
    void clearConfigDataUsesThePageUnit();
    void allConfigFollowsTheWriteResults_data();
    void allConfigFollowsTheWriteResults();
    void secondAllConfigWhileOneRuns();
    void closeSendsTheWaitingWritesWithANotice_data();
    void closeSendsTheWaitingWritesWithANotice();
    void closeReportsWritesGivenUp_data();
    void closeReportsWritesGivenUp();
};

void TestFormConfigWindow::atCreation()
{
    FormHarness h;
    TForm1 &f = h.form();
    const ConfigurationPage &c = *f.Config;
    QCOMPARE(c.Configuration->Caption(), QStringLiteral("Configuration"));
    QCOMPARE(c.Configuration->HelpContext, 4000);
    QCOMPARE(c.Button22->Name(), QStringLiteral("Button22"));
    QCOMPARE(c.Button22->Caption(), QStringLiteral("Read VKH"));
    QCOMPARE(c.Button23->Name(), QStringLiteral("Button23"));
    QCOMPARE(c.Button23->Caption(), QStringLiteral("Update VKH"));
    QCOMPARE(c.StringGrid5->Name(), QStringLiteral("StringGrid5"));
    QCOMPARE(c.StringGrid5->ColCount(), 6);
    QCOMPARE(c.StringGrid5->RowCount(), 130);
    for (int row = 0; row < 130; ++row)
        QCOMPARE(Row(c.StringGrid5, row), QStringList(6, QString()));
    QCOMPARE(c.Label40->Caption(), QStringLiteral("Select a Quorvane by clicking on the appropriate line on the status grids on any of the "
                                                  "tabs marked Port 1 to Port 4. Then click the Read VKH button to read the "
                                                  "configuration data."));
    QCOMPARE(c.Label56->Caption(), QStringLiteral("Select a Quorvane by clicking on the appropriate line on the status grids on any of the "
                                                  "tabs marked Port 1 to Port 4. Clicking the Update VKH button will force the VelkarHub "
                                                  "to re read the configuration data from the selected Quorvane."));
    const int numbers[4][3] = {{24, 39, 40}, {45, 46, 47}, {48, 49, 50}, {51, 52, 53}};
    for (int port = 1; port <= 4; ++port) {
        const ClearItemsGroup &g = Port(f, port).ClearItems;
        QCOMPARE(g.Box->Name(), QStringLiteral("GroupBox%1").arg(23 + port));
        QCOMPARE(g.Box->Caption(), QStringLiteral("Clear Items"));
        QVERIFY(!g.Box->Visible());
        const QStringList captions{"QVType Data", "Config Data", "All Config"};
        for (int which = TypeData; which <= AllConfig; ++which) {
            QCOMPARE(ClearButton(f, port, which)->Name(), QStringLiteral("Button%1").arg(numbers[port - 1][which]));
            QCOMPARE(ClearButton(f, port, which)->Caption(), captions[which]);
        }
        QCOMPARE(g.Progress->Name(), QStringLiteral("Label%1").arg(125 + port));
        QCOMPARE(g.Progress->Caption(), QStringLiteral("Writing: "));
        QVERIFY(!g.Progress->Visible());
    }
}

void TestFormConfigWindow::nothingBeforeTheFirstClick()
{
    // Until a starter has been clicked the unit would be the hub's own (16): both buttons
    // send nothing and log nothing.
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, f.Config->Configuration);
    h.control.Clear();
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Click(f.Config->Button22);
    Click(f.Config->Button23);
    QVERIFY2(h.control.calls.isEmpty(), qPrintable(h.control.calls.join(' ')));
    QCOMPARE(LogSince(f, logged), QStringList{});
    // A port page shown does not select a starter either.
    ClickTab(f, Port(f, 2).Sheet);
    ClickTab(f, f.Config->Configuration);
    h.control.Clear();
    Click(f.Config->Button22);
    Click(f.Config->Button23);
    QVERIFY(h.control.calls.isEmpty());
}

void TestFormConfigWindow::readTheWindowOfTheLastClick()
{
    // The starter clicked last in any grid, even after another port page was shown and the
    // selection label names that port's starter.
    FormHarness h;
    TForm1 &f = h.form();
    ShowAndClickRow(f, 3, 43);
    ClickTab(f, Port(f, 1).Sheet);
    ClickTab(f, f.Config->Configuration);
    QCOMPARE(f.PortCommon->Label61->Caption(), QStringLiteral("Quorvane Selected: 1 : 0"));
    h.control.Clear();
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Click(f.Config->Button22);
    QCOMPARE(h.control.calls, (QStringList{"Read(8,19,5041,120,1000)", "Once(8)"}));
    QCOMPARE(LogSince(f, logged), QStringList{});
}

void TestFormConfigWindow::showConfigWindow()
{
    FormHarness h;
    TForm1 &f = h.form();
    std::vector<int16_t> words(120);
    for (int i = 0; i < 120; ++i)
        words[static_cast<size_t>(i)] = W(i * 3);
    words[0] = W(0xFFFF);
    words[1] = W(0x0102);
    words[2] = W(0x8000);
    words[119] = W(0x7FFF);
    h.control.DeliverOk(Handle::ConfigWindow, words);
    TStringGrid *grid = f.Config->StringGrid5;
    QCOMPARE(Row(grid, 0), (QStringList{"Offset", "Value", "Page", "High", "Low", "Hex"}));
    QCOMPARE(Row(grid, 1), (QStringList{"0", "-1", "1", "255", "255", "FFFF"}));
    QCOMPARE(Row(grid, 2), (QStringList{"1", "258", "1", "1", "2", "0102"}));
    QCOMPARE(Row(grid, 3), (QStringList{"2", "-32768", "1", "128", "0", "8000"}));
    QCOMPARE(Row(grid, 8), (QStringList{"7", "21", "1", "0", "21", "0015"}));
    QCOMPARE(Row(grid, 9), (QStringList{"8", "24", "2", "0", "24", "0018"}));
    QCOMPARE(Row(grid, 91), (QStringList{"90", "270", "12", "1", "14", "010E"}));
    QCOMPARE(Row(grid, 120), (QStringList{"119", "32767", "15", "127", "255", "7FFF"}));
    for (int row = 121; row < 130; ++row)
        QCOMPARE(Row(grid, row), QStringList(6, QString()));
    // Every result overwrites the rows whole; nothing is read or written meanwhile.
    h.control.Clear();
    h.control.DeliverOk(Handle::ConfigWindow, std::vector<int16_t>(120, 0));
    QCOMPARE(Row(grid, 1), (QStringList{"0", "0", "1", "0", "0", "0000"}));
    QVERIFY(h.control.calls.isEmpty());
}

void TestFormConfigWindow::updateClearsTheSelectedWindow()
{
    FormHarness h;
    TForm1 &f = h.form();
    h.control.DeliverOk(Handle::ConfigWindow, std::vector<int16_t>(120, 5));
    ShowAndClickRow(f, 2, 4);
    ClickTab(f, f.Config->Configuration);
    h.control.Clear();
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Click(f.Config->Button23);
    QCOMPARE(Written(h.control), QStringList{"0:18:5002=" + Zeros(120)});
    QCOMPARE(h.control.Writes().front().definition.rate, 1000);
    QCOMPARE(LogSince(f, logged), QStringList{"Send Config Data to VKH"});
    QVERIFY(h.dialogs.shown.empty());
    // The grid is left as it was.
    QCOMPARE(Row(f.Config->StringGrid5, 1), (QStringList{"0", "5", "1", "0", "5", "0005"}));
}

void TestFormConfigWindow::clearingAnsweredNo_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("question");
    for (int port = 1; port <= 4; ++port) {
        // Port 1 asks its own way.
        QTest::addRow("QVType Data, port %d", port)
            << port << int(TypeData)
            << (port == 1 ? QStringLiteral("This will clear out the Quorvane types array, do you whish to continue?") : TypesQuestion);
        QTest::addRow("Config Data, port %d", port) << port << int(ConfigData) << ConfigQuestion;
        QTest::addRow("All Config, port %d", port) << port << int(AllConfig) << AllQuestion;
    }
}

void TestFormConfigWindow::clearingAnsweredNo()
{
    QFETCH(int, port);
    QFETCH(int, which);
    QFETCH(QString, question);
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ClickTab(f, Port(f, port).Sheet);
    h.control.Clear();
    h.dialogs.shown.clear();
    h.clock.sleeps.clear();
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Click(ClearButton(f, port, which));
    QCOMPARE(h.dialogs.shown.size(), size_t(1));
    QCOMPARE(h.dialogs.shown.front().text, question);
    QCOMPARE(h.dialogs.shown.front().type, TMsgDlgType::mtConfirmation);
    QCOMPARE(h.dialogs.shown.front().buttons, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo);
    QVERIFY(h.control.calls.isEmpty());
    QCOMPARE(LogSince(f, logged), QStringList{});
    QVERIFY(!Port(f, port).ClearItems.Progress->Visible());
    QVERIFY(h.clock.sleeps.empty());
}

void TestFormConfigWindow::clearStarterTypes()
{
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    for (int port = 1; port <= 4; ++port) {
        ClickTab(f, Port(f, port).Sheet);
        h.control.Clear();
        h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
        const qsizetype logged = TestEnvironment::LogTexts(f).size();
        Click(ClearButton(f, port, TypeData));
        QCOMPARE(Written(h.control), QStringList{QStringLiteral("0:%1:5999=").arg(16 + port) + Zeros(100)});
        QCOMPARE(LogSince(f, logged), QStringList{"Reset QV Type Data in VKH"});
    }
}

void TestFormConfigWindow::clearConfigDataUsesThePageUnit()
{
    // "Config Data" on port 2 after a click on address 7 of port 3: address 7 of unit 18.
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ShowAndClickRow(f, 3, 8);
    ClickTab(f, Port(f, 2).Sheet);
    h.control.Clear();
    h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Click(ClearButton(f, 2, ConfigData));
    QCOMPARE(Written(h.control), QStringList{"0:18:5006=" + Zeros(120)});
    QCOMPARE(LogSince(f, logged), QStringList{"Clear Config Data in VKH"});
}

void TestFormConfigWindow::allConfigFollowsTheWriteResults_data()
{
    QTest::addColumn<int>("port");
    for (int port = 1; port <= 4; ++port)
        QTest::addRow("port %d", port) << port;
}

void TestFormConfigWindow::allConfigFollowsTheWriteResults()
{
    // The 100 writes are queued at once, paced by the control; the label and the log line
    // follow their results, told apart from those of the other writes on handle 0 started
    // before, during and after.
    QFETCH(int, port);
    const int unit = 16 + port;
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ClickTab(f, Port(f, port).Sheet);
    // Whatever addresses the link is set to scan, all 100 windows are cleared.
    ClickRow(f, port, 30);
    // A write started before, not answered yet.
    h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    Click(ClearButton(f, port, ConfigData));
    h.control.Clear();
    h.clock.sleeps.clear();
    h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    TLabel *progress = Port(f, port).ClearItems.Progress;
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Click(ClearButton(f, port, AllConfig));

    QStringList expected;
    for (int a = 0; a < 100; ++a)
        expected << QStringLiteral("0:%1:%2=").arg(unit).arg(4999 + a) + Zeros(120);
    QCOMPARE(Written(h.control), expected);
    for (const ScriptedMbaxp::Start &write : h.control.Writes()) {
        QCOMPARE(write.definition.kind, ScriptedMbaxp::Kind::WriteMultiple);
        QCOMPARE(write.definition.rate, 1000);
        QCOMPARE(write.gapMs, 50);
    }
    // The 120 zeros are set once, before the first definition; the handler does not pause.
    QCOMPARE(h.control.calls.filter(QRegularExpression("^Set\\(")).size(), 120);
    QCOMPARE(h.control.calls.indexOf(QStringLiteral("Set(0,119,0)")) + 1,
             h.control.calls.indexOf(QStringLiteral("Multi(0,%1,4999,120,1000)").arg(unit)));
    QVERIFY(h.clock.sleeps.empty());
    // Nothing has been answered yet.
    QVERIFY(progress->Visible());
    QCOMPARE(progress->Caption(), QStringLiteral("Writing: "));
    QCOMPARE(LogSince(f, logged), QStringList{});

    // The write started before is answered first: it is not one of these.
    h.control.DeliverOk(Handle::Write);
    QCOMPARE(progress->Caption(), QStringLiteral("Writing: "));
    QStringList shown;
    for (int a = 0; a < 100; ++a) {
        if (a == 50) {
            // Another write on handle 0 in the middle: it is answered after the 100.
            Click(ClearButton(f, port, TypeData));
            h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
        }
        // Some fail (a refused window, the connection lost at the end): each still counts.
        if (a == 7 || a >= 97)
            h.control.DeliverError(Handle::Write, a == 7 ? int16_t(2) : MbaxpError::NotConnected);
        else
            h.control.DeliverOk(Handle::Write);
        shown << progress->Caption();
        if (a < 99)
            QCOMPARE(LogSince(f, logged).filter("Clear all Config").size(), 0);
    }
    QStringList progressTexts;
    for (int a = 0; a < 99; ++a)
        progressTexts << QStringLiteral("Writing QV: %1").arg(a);
    progressTexts << QStringLiteral("Writing complete");
    QCOMPARE(shown, progressTexts);
    QCOMPARE(LogSince(f, logged).filter("Clear all Config"),
             QStringList{QStringLiteral("Clear all Config Data to VKH port %1 (%2)").arg(port).arg(unit)});
    QCOMPARE(f.Comms->Label4->Caption().section(QStringLiteral(" : "), 0, 0), QStringLiteral("17"));
    // The write of the middle and one after: they change nothing of it.
    h.control.DeliverOk(Handle::Write);
    ClickTab(f, f.Config->Configuration);
    Click(f.Config->Button23);
    h.control.DeliverOk(Handle::Write);
    QCOMPARE(progress->Caption(), QStringLiteral("Writing complete"));
    QCOMPARE(LogSince(f, logged).filter("Clear all Config").size(), 1);
    // The other pages' labels stay hidden.
    for (int other = 1; other <= 4; ++other)
        QCOMPARE(Port(f, other).ClearItems.Progress->Visible(), other == port);
}

void TestFormConfigWindow::secondAllConfigWhileOneRuns()
{
    // On the same port the button does nothing until the run has been answered; another
    // port's run is queued behind it and followed on its own label.
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ClickTab(f, Port(f, 1).Sheet);
    h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    Click(ClearButton(f, 1, AllConfig));
    h.control.Clear();
    h.dialogs.shown.clear();
    Click(ClearButton(f, 1, AllConfig));
    QVERIFY(h.dialogs.shown.empty());
    QVERIFY(h.control.calls.isEmpty());

    ClickTab(f, Port(f, 2).Sheet);
    h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    Click(ClearButton(f, 2, AllConfig));
    QCOMPARE(h.control.Writes().size(), size_t(100));
    TLabel *first = Port(f, 1).ClearItems.Progress;
    TLabel *second = Port(f, 2).ClearItems.Progress;
    for (int k = 0; k < 150; ++k)
        h.control.DeliverOk(Handle::Write);
    QCOMPARE(first->Caption(), QStringLiteral("Writing complete"));
    QCOMPARE(second->Caption(), QStringLiteral("Writing QV: 49"));
    // Port 1 may run again now.
    ClickTab(f, Port(f, 1).Sheet);
    h.control.Clear();
    h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    Click(ClearButton(f, 1, AllConfig));
    QCOMPARE(h.control.Writes().size(), size_t(100));
    QCOMPARE(first->Caption(), QStringLiteral("Writing: "));
    for (int k = 0; k < 100; ++k)
        h.control.DeliverOk(Handle::Write);
    QCOMPARE(second->Caption(), QStringLiteral("Writing complete"));
    QCOMPARE(first->Caption(), QStringLiteral("Writing QV: 49"));
}

namespace {
QLabel *CloseNotice()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("WritesAtClose") && w->isVisible())
            return qobject_cast<QLabel *>(w);
    return nullptr;
}
} // namespace

void TestFormConfigWindow::closeSendsTheWaitingWritesWithANotice_data()
{
    // The counts the control reports as the writes go out.
    QTest::addColumn<QList<int>>("progress");
    QTest::newRow("counting down") << QList<int>{100, 60, 1, 0};
    // Not expected (nothing is queued during the close), but the notice must still hold it.
    QTest::newRow("a count that grows") << QList<int>{3, 10000, 0};
}

void TestFormConfigWindow::closeSendsTheWaitingWritesWithANotice()
{
    // The close lets the control send what waits after the settings were saved, with a
    // notice while it does; meanwhile no handler of the window runs (the event loop runs).
    QFETCH(QList<int>, progress);
    FormHarness h;
    TForm1 &f = h.form();
    int ticks = 0;
    f.Frame->Timer2->OnTimer = [&](TComponent *) { ++ticks; };
    f.Frame->Timer2->SetEnabled(true);
    QTRY_VERIFY(ticks > 0);
    h.control.flushProgress = std::vector<int>(progress.begin(), progress.end());
    h.control.flushResult = IMbaxp::WriteFlush{progress[0], progress[0], 0, 0, 0, IMbaxp::FlushStop::None};
    QStringList notices;
    QStringList cutOff;
    int ticksInFlush = 0;
    bool iniSaved = false;
    h.control.onFlushProgress = [&] {
        QLabel *notice = CloseNotice();
        notices << (notice ? notice->text() : QStringLiteral("none"));
        // The notice holds its whole sentence, whatever the count.
        if (notice) {
            const QSize hint = notice->sizeHint();
            const QRect room = notice->contentsRect().marginsRemoved(QMargins(notice->margin(), notice->margin(), notice->margin(), notice->margin()));
            const QFontMetrics metrics = notice->fontMetrics();
            if (notice->width() < hint.width() || notice->height() < hint.height() ||
                room.width() < metrics.horizontalAdvance(notice->text()) || room.height() < metrics.height())
                cutOff << QStringLiteral("%1 x %2 for \"%3\" (needs %4 x %5)")
                              .arg(notice->width()).arg(notice->height()).arg(notice->text()).arg(hint.width()).arg(hint.height());
        }
        const int before = ticks;
        QTest::qWait(250);
        ticksInFlush += ticks - before;
        QFile ini(TestEnvironment::DataFolder() + "/VelkarHubProjects/Settings.ini");
        iniSaved = ini.open(QIODevice::ReadOnly) && ini.readAll().contains("RadioButton2.Checked=True");
    };
    h.Destroy();
    QStringList expected;
    for (const int waiting : progress)
        expected << QStringLiteral("VelkarHub is closing: %1 writes still to be sent to the hub").arg(waiting);
    QCOMPARE(notices, expected);
    QVERIFY2(cutOff.isEmpty(), qPrintable(cutOff.join(QStringLiteral("; "))));
    QCOMPARE(ticksInFlush, 0);
    QVERIFY(iniSaved);
    QVERIFY(!CloseNotice());
    // Nothing was given up: the fault log has nothing to say.
    QVERIFY(!QFile::exists(TestEnvironment::DataFolder() + "/VelkarHubData/FaultLog.txt"));
}

void TestFormConfigWindow::closeReportsWritesGivenUp_data()
{
    using Stop = IMbaxp::FlushStop;
    QTest::addColumn<IMbaxp::WriteFlush>("flush");
    QTest::addColumn<QString>("line");
    QTest::newRow("time-out") << IMbaxp::WriteFlush{100, 40, 0, 1, 59, Stop::Timeout}
                              << "Writes to the hub at close: 60 of 100 given up (59 not sent, 1 not answered): the hub did not answer";
    QTest::newRow("connection lost") << IMbaxp::WriteFlush{3, 0, 1, 1, 1, Stop::ConnectionLost}
                                     << "Writes to the hub at close: 2 of 3 given up (1 not sent, 1 not answered), 1 refused: the connection was lost";
    QTest::newRow("refused only") << IMbaxp::WriteFlush{2, 1, 1, 0, 0, Stop::None}
                                  << "Writes to the hub at close: 0 of 2 given up (0 not sent, 0 not answered), 1 refused: all sent";
    QTest::newRow("time up") << IMbaxp::WriteFlush{5, 4, 0, 1, 0, Stop::TimeUp}
                             << "Writes to the hub at close: 1 of 5 given up (0 not sent, 1 not answered): the time for the close ran out";
}

void TestFormConfigWindow::closeReportsWritesGivenUp()
{
    QFETCH(IMbaxp::WriteFlush, flush);
    QFETCH(QString, line);
    FormHarness h;
    h.control.flushProgress = {flush.waiting};
    h.control.flushResult = flush;
    h.Destroy();
    const QString path = TestEnvironment::DataFolder() + "/VelkarHubData/FaultLog.txt";
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].endsWith(QStringLiteral(" - ") + line), qPrintable(lines[0]));
}

QTEST_MAIN(TestFormConfigWindow)
#include "test_form_configwindow.moc"
