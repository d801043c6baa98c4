// The configuration window of the selected starter and the clearing of a link's stored
// data, on a scripted control: "Read VKH" and the grid of the window, "Update VKH", and
// the "QVType Data", "Config Data" and "All Config" buttons of the four port pages with
// their questions, writes, log lines and progress label.
#include "CommandsTestKit.h"

using namespace TestUi;
using namespace StartersTestKit;
using namespace CommandsTestKit;
using namespace RegisterMap;

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
    void allConfigWritesEveryWindow_data();
    void allConfigWritesEveryWindow();
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

void TestFormConfigWindow::allConfigWritesEveryWindow_data()
{
    QTest::addColumn<int>("port");
    for (int port = 1; port <= 4; ++port)
        QTest::addRow("port %d", port) << port;
}

void TestFormConfigWindow::allConfigWritesEveryWindow()
{
    QFETCH(int, port);
    const int unit = 16 + port;
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ClickTab(f, Port(f, port).Sheet);
    // Whatever addresses the link is set to scan, all 100 windows are cleared.
    ClickRow(f, port, 30);
    h.control.Clear();
    h.clock.sleeps.clear();
    h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    TLabel *progress = Port(f, port).ClearItems.Progress;
    QStringList shown;
    h.clock.onSleep = [&](int) { shown << (progress->Visible() ? progress->Caption() : QStringLiteral("hidden")); };
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Click(ClearButton(f, port, AllConfig));
    h.clock.onSleep = nullptr;

    QStringList expected;
    QStringList progressTexts;
    for (int a = 0; a < 100; ++a) {
        expected << QStringLiteral("0:%1:%2=").arg(unit).arg(4999 + a) + Zeros(120);
        progressTexts << QStringLiteral("Writing QV: %1").arg(a);
    }
    QCOMPARE(Written(h.control), expected);
    for (const ScriptedMbaxp::Start &write : h.control.Writes()) {
        QCOMPARE(write.definition.kind, ScriptedMbaxp::Kind::WriteMultiple);
        QCOMPARE(write.definition.rate, 1000);
    }
    // One pause of 50 ms after each window, the label showing the window just written.
    QCOMPARE(h.clock.sleeps, std::vector<int>(100, 50));
    QCOMPARE(shown, progressTexts);
    QCOMPARE(LogSince(f, logged), QStringList{QStringLiteral("Clear all Config Data to VKH port %1 (%2)").arg(port).arg(unit)});
    QVERIFY(progress->Visible());
    QCOMPARE(progress->Caption(), QStringLiteral("Writing complete"));
    // The other pages' labels stay hidden.
    for (int other = 1; other <= 4; ++other)
        QCOMPARE(Port(f, other).ClearItems.Progress->Visible(), other == port);
}

QTEST_MAIN(TestFormConfigWindow)
#include "test_form_configwindow.moc"
