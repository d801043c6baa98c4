// The group data of one starter on a scripted control: the "Single Data" boxes, the
// request on handle 5, the read of the reply on handle 6 after the request has been
// written and again while the hub is busy, the status line, the static-data values and
// the titles of both starter generations.
#include "CommandsTestKit.h"

#include <QComboBox>
#include <QLineEdit>

using namespace TestUi;
using namespace StartersTestKit;
using namespace CommandsTestKit;
using namespace RegisterMap;

namespace {

int16_t W(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

SingleDataGroup &Single(TForm1 &f, int port) { return Port(f, port).SingleData; }

// The operator picks an item in a port's combo box.
void Pick(TForm1 &f, int port, int item) { CommandsTestKit::Pick(Single(f, port).ComboBox, item); }

// A reply of handle 6: the status, the data words 5 to 16 given from word 5 on.
std::vector<int16_t> Reply(int status, const std::vector<int> &data = {})
{
    std::vector<int16_t> words(17, 0);
    words[2] = W(status);
    for (size_t i = 0; i < data.size() && 5 + i < words.size(); ++i)
        words[5 + i] = W(data[i]);
    return words;
}

// Data words 5 to 16 that tell their rows apart: 500 + word number.
std::vector<int> Numbered()
{
    std::vector<int> data;
    for (int w = 5; w <= 16; ++w)
        data.push_back(500 + w);
    return data;
}

QStringList Column(TStringGrid *grid, int col)
{
    QStringList cells;
    for (int row = 1; row <= 14; ++row)
        cells << grid->Cells(col, row);
    return cells;
}

// Ticks a port's "QV4 or 5" box (newer titles) or its "Older QV" box.
void Generation(TForm1 &f, int port, bool newer)
{
    (newer ? Starters(f, port).QV4orHigher : Starters(f, port).QV2orLower)->SetChecked(true);
    QCOMPARE(Starters(f, port).QV4orHigher->Checked(), newer);
}

const QStringList StaticTitles{"Status",        "Load",         "Hours Run",       "Operations A (/100)",      "Operations B (/100)",
                               "Startup Time",  "Time to Trip", "Peak Start Current (%FLC)", "Earth Leakage", "Thermal Content",
                               "Power Factor (x 100)", "Supply Voltage (%Nominal)", "Timeout", "CRC Errors"};

// Rows 4 to 8 of the newer table by item 1 to 10.
const QStringList NewerTitles[10] = {
    {"Current ALC", "Current FLC", "Earth Fault Percentage", "Power", "Power Factor"},
    {"Link Timeouts", "CRC Errors", "Input Counter 1 (1000s)", "Input Counter 2 (units)", "Reserved"},
    {"Hours Run", "OpsA (100s)", "OpsA (units)", "Starts in Last Hour", "Reserved"},
    {"OpsB (100s)", "OpsB (units)", "OpsC (100s)", "OpsC (units)", "Supply Voltage %"},
    {"Input Counter 2 (1000s)", "Input Counter 2 (units)", "Input Counter 3 (1000s)", "Input Counter 3 (units)", "Hardware I/O"},
    {"Current", "Decimal Point Pos", "Power", "Earth Fault Current", "Decimal Point Pos"},
    {"Startup Time", "Peak Start Current", "Auto Restart Timer", "Imbalance %", "Reserved"},
    {"Start Thermal Content", "Thermal Content", "Time to Trip/Available", "kW Hours Meter", "Reserved"},
    {"Thermal Trip Counter", "Imbance Trip Counter", "Earth Trip Counter", "Other Trip Counter", "Reserved"},
    {"Item 1", "Item 2", "Item 3", "Item 4", "Item 5"},
};

// Rows 1 to 7 of the older table by item 1 to 4.
const QStringList OlderTitles[4] = {
    {"Status", "Percentage Current", "Percentage Power"},
    {"Status", "Percentage Current", "Percentage Power", "Time To Trip", "Earth Leakage", "Thermal Content", "Power factor"},
    {"Status", "Percentage Current", "Percentage Power", "Hours Run", "Ops A", "Ops B", "Supply Voltage"},
    {"Status", "Percentage Current", "Percentage Power", "Startup Time", "Peak Start Current", "Link Timeouts", "CRC Errors"},
};

// The rows of a test run on each port page.
void EveryPort()
{
    QTest::addColumn<int>("port");
    for (int port = 1; port <= 4; ++port)
        QTest::addRow("port %d", port) << port;
}

QStringList Padded(QStringList cells)
{
    while (cells.size() < 14)
        cells << QString();
    return cells;
}

} // namespace

class TestFormGroupData : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void atCreation();
    void nothingChosenSendsNothing();
    void requestUsesTheLastClickInAnyGrid();
    void refreshAsksAgain();
    void readFollowsTheCompletedWrite_data() { EveryPort(); }
    void readFollowsTheCompletedWrite();
    void busyReadsAgainAtOnce_data() { EveryPort(); }
    void busyReadsAgainAtOnce();
    void stoppedOrFailedEndsTheExchange();
    void statusLineShowsTheKeptLength();
    void staticData_data();
    void staticData();
    void titlesAndValues_data();
    void titlesAndValues();
    void olderItemsWithoutData();
    void titlesStayWithTheBoxAtTheRequest();
    void newestRequestTakesOver();
    void neverBeyondTheReply();
};

void TestFormGroupData::atCreation()
{
    FormHarness h;
    TForm1 &f = h.form();
    const int boxes[] = {13, 15, 16, 14};
    QStringList items{"Static Data"};
    for (int n = 1; n <= 10; ++n)
        items << QStringLiteral("Group %1").arg(n);
    for (int port = 1; port <= 4; ++port) {
        SingleDataGroup &g = Single(f, port);
        const int unit = 16 + port;
        QCOMPARE(g.Box->Name(), QStringLiteral("GroupBox%1").arg(boxes[port - 1]));
        QCOMPARE(g.Box->Caption(), QStringLiteral("Single Data"));
        QCOMPARE(g.ComboBox->Name(), QStringLiteral("ComboBox%1").arg(port));
        QCOMPARE(g.ComboBox->ItemIndex(), -1);
        QCOMPARE(g.ComboBox->Text(), QStringLiteral("Select Item to View"));
        auto *combo = static_cast<QComboBox *>(g.ComboBox->Widget());
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i)
            shown << combo->itemText(i);
        QCOMPARE(shown, items);
        QCOMPARE(g.BitBtn->Name(), QStringLiteral("BitBtn%1").arg(port));
        QCOMPARE(g.BitBtn->Caption(), QStringLiteral("&Refresh"));
        QCOMPARE(g.ComboBox->Tag, unit);
        QCOMPARE(g.BitBtn->Tag, unit);
        QCOMPARE(g.GroupGrid->Name(), QStringLiteral("GroupGrid%1").arg(unit));
        QCOMPARE(g.GroupGrid->ColCount(), 2);
        QCOMPARE(g.GroupGrid->RowCount(), 15);
        QCOMPARE(g.GrpStat->Name(), QStringLiteral("GrpStat_L%1").arg(unit));
        QCOMPARE(g.GrpStat->Caption(), QStringLiteral("Status"));
        QCOMPARE(g.GrpStat->FontColor(), QColor(128, 128, 128));
        QVERIFY(g.Box->Visible());
    }
    QCOMPARE(f.GR_LastGroupReadStationAddress, int16_t(0));
    QCOMPARE(f.GR_ItemRequested, int16_t(0));
    QCOMPARE(f.GroupDataLength, int16_t(0));
}

void TestFormGroupData::nothingChosenSendsNothing()
{
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, 2).Sheet);
    h.control.Clear();
    Click(Single(f, 2).BitBtn);
    QVERIFY(h.control.calls.isEmpty());
    // Text typed into the combo box's edit field leaves no item chosen.
    Pick(f, 2, 3);
    h.control.Clear();
    QLineEdit *edit = static_cast<QComboBox *>(Single(f, 2).ComboBox->Widget())->lineEdit();
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("x"));
    QCOMPARE(Single(f, 2).ComboBox->ItemIndex(), -1);
    Click(Single(f, 2).BitBtn);
    QVERIFY2(h.control.calls.isEmpty(), qPrintable(h.control.calls.join(' ')));
    QCOMPARE(Single(f, 2).GrpStat->Caption(), QStringLiteral("Requesting QV: 0 Item: 3 Using Port: 18"));
    // Nor does text that names an item, when the field is left: only a pick from the list asks.
    auto *combo = static_cast<QComboBox *>(Single(f, 2).ComboBox->Widget());
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, QStringLiteral("Group 5"));
    QTest::keyClick(combo, Qt::Key_Tab);
    QCOMPARE(Single(f, 2).ComboBox->ItemIndex(), -1);
    QVERIFY2(h.control.calls.isEmpty(), qPrintable(h.control.calls.join(' ')));
}

void TestFormGroupData::requestUsesTheLastClickInAnyGrid()
{
    // "Group 3" on port 2 after a click on address 7 of port 1: address 7, item 3, unit 18.
    FormHarness h;
    TForm1 &f = h.form();
    ShowAndClickRow(f, 1, 8);
    ClickTab(f, Port(f, 2).Sheet);
    h.control.Clear();
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Pick(f, 2, 3);
    QCOMPARE(h.control.calls, (QStringList{"Multi(5,18,1302,2,500)", "Set(5,0,7)", "Set(5,1,3)", "Once(5)"}));
    QCOMPARE(f.GR_ItemRequested, int16_t(3));
    QCOMPARE(f.GR_LastGroupReadStationAddress, int16_t(18));
    QCOMPARE(LogSince(f, logged), QStringList{});
    QCOMPARE(Single(f, 2).GrpStat->Caption(), QStringLiteral("Requesting QV: 7 Item: 3 Using Port: 18"));
    QCOMPARE(Single(f, 1).GrpStat->Caption(), QStringLiteral("Status"));
}

void TestFormGroupData::refreshAsksAgain()
{
    FormHarness h;
    TForm1 &f = h.form();
    ShowAndClickRow(f, 4, 43);
    Pick(f, 4, 0);
    h.control.Clear();
    Click(Single(f, 4).BitBtn);
    QCOMPARE(Written(h.control), QStringList{"5:20:1302=42,0"});
    Single(f, 4).ComboBox->SetItemIndex(10);
    h.control.Clear();
    Click(Single(f, 4).BitBtn);
    QCOMPARE(Written(h.control), QStringList{"5:20:1302=42,10"});
}

void TestFormGroupData::readFollowsTheCompletedWrite()
{
    QFETCH(int, port);
    const int unit = 16 + port;
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, port).Sheet);
    h.control.Clear();
    Pick(f, port, 2);
    QCOMPARE(h.control.calls, (QStringList{QStringLiteral("Multi(5,%1,1302,2,500)").arg(unit), "Set(5,0,0)", "Set(5,1,2)", "Once(5)"}));
    // A failed write is followed by nothing.
    h.control.Clear();
    h.control.DeliverError(Handle::GroupRequest, 12);
    QVERIFY(h.control.calls.isEmpty());
    // A completed one by the one-shot read of the reply from the same unit.
    h.control.DeliverOk(Handle::GroupRequest);
    QCOMPARE(h.control.calls, (QStringList{QStringLiteral("Read(6,%1,1302,17,500)").arg(unit), "Once(6)"}));
    QVERIFY(f.Frame->ILLed1->Value());
}

void TestFormGroupData::busyReadsAgainAtOnce()
{
    QFETCH(int, port);
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, port).Sheet);
    Generation(f, port, true);
    Pick(f, port, 1);
    h.control.DeliverOk(Handle::GroupRequest);
    for (int n = 0; n < 3; ++n) {
        h.control.Clear();
        h.control.DeliverOk(Handle::GroupData, Reply(1));
        QCOMPARE(h.control.calls, (QStringList{QStringLiteral("Read(6,%1,1302,17,500)").arg(16 + port), "Once(6)"}));
        QCOMPARE(Single(f, port).GrpStat->Caption(), QStringLiteral("Returned Status: 1 - 0 Returned"));
    }
    h.control.Clear();
    h.control.DeliverOk(Handle::GroupData, Reply(2, Numbered()));
    QVERIFY(h.control.calls.isEmpty());
    QCOMPARE(f.GR_RequestStatus, int16_t(2));
    // The data reach the box that asked.
    QCOMPARE(Single(f, port).GrpStat->Caption(), QStringLiteral("Returned Status: 2 - 0 Returned"));
    QCOMPARE(Column(Single(f, port).GroupGrid, 1).mid(0, 8), (QStringList{"505", "506", "507", "508", "509", "510", "511", "512"}));
}

void TestFormGroupData::stoppedOrFailedEndsTheExchange()
{
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, 2).Sheet);
    Pick(f, 2, 0);
    h.control.DeliverOk(Handle::GroupRequest);
    h.control.DeliverOk(Handle::GroupData, Reply(2, Numbered()));
    const QStringList values = Column(Single(f, 2).GroupGrid, 1);
    for (int status : {0, 3, -1}) {
        h.control.Clear();
        h.control.DeliverOk(Handle::GroupData, Reply(status, {1, 2, 3}));
        QVERIFY(h.control.calls.isEmpty());
        QCOMPARE(f.GR_RequestStatus, int16_t(status));
        QCOMPARE(Single(f, 2).GrpStat->Caption(), QStringLiteral("Single Data stop: %1").arg(status));
        QCOMPARE(Column(Single(f, 2).GroupGrid, 1), values);
    }
    h.control.Clear();
    h.control.DeliverError(Handle::GroupData, 12);
    QVERIFY(h.control.calls.isEmpty());
    QCOMPARE(Column(Single(f, 2).GroupGrid, 1), values);
}

void TestFormGroupData::statusLineShowsTheKeptLength()
{
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, 1).Sheet);
    Pick(f, 1, 4);
    std::vector<int> data(12, 0);
    data[11] = 11; // word 16, the length
    h.control.DeliverOk(Handle::GroupData, Reply(2, data));
    QCOMPARE(Single(f, 1).GrpStat->Caption(), QStringLiteral("Returned Status: 2 - 0 Returned"));
    QCOMPARE(f.GroupDataLength, int16_t(11));
    data[11] = -3;
    h.control.DeliverOk(Handle::GroupData, Reply(1, data));
    QCOMPARE(Single(f, 1).GrpStat->Caption(), QStringLiteral("Returned Status: 1 - 11 Returned"));
    QCOMPARE(f.GroupDataLength, int16_t(11)); // taken only from data replies
    h.control.DeliverOk(Handle::GroupData, Reply(2, data));
    h.control.DeliverOk(Handle::GroupData, Reply(2, data));
    QCOMPARE(Single(f, 1).GrpStat->Caption(), QStringLiteral("Returned Status: 2 - -3 Returned"));
}

void TestFormGroupData::staticData_data()
{
    QTest::addColumn<bool>("newer");
    QTest::addColumn<std::vector<int>>("data"); // words 5 to 15
    QTest::addColumn<QStringList>("values");
    QTest::newRow("bytes 0x1E05") << true << std::vector<int>{1, 2, 3, 4, 5, 0x1E05, 7, 0x0102, 0x6450, 9, 10}
                                  << QStringList{"1", "2", "3", "4", "5", "5", "30", "7", "2", "1", "80", "100", "9", "10"};
    QTest::newRow("unsigned bytes, signed words")
        << false << std::vector<int>{0xFFFF, 0x8000, 32767, 0, 0, 0xFF05, 0xFFFE, 0x00FF, 0xFF00, -2, -32768}
        << QStringList{"-1", "-32768", "32767", "0", "0", "5", "255", "-2", "255", "0", "0", "255", "-2", "-32768"};
}

void TestFormGroupData::staticData()
{
    QFETCH(bool, newer);
    QFETCH(std::vector<int>, data);
    QFETCH(QStringList, values);
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, 3).Sheet);
    Generation(f, 3, newer);
    Pick(f, 3, 0);
    TStringGrid *grid = Single(f, 3).GroupGrid;
    QCOMPARE(Column(grid, 0), StaticTitles);
    QVERIFY(grid->ColWidth(0) >= 150);
    QCOMPARE(grid->ColWidth(1), grid->ClientWidth() - grid->ColWidth(0));
    h.control.DeliverOk(Handle::GroupData, Reply(2, data));
    QCOMPARE(Column(grid, 1), values);
    QCOMPARE(Column(grid, 0), StaticTitles);
    for (int row = 1; row <= 14; ++row)
        QCOMPARE(f.GR_Data[static_cast<size_t>(row - 1)], int16_t(values[row - 1].toInt()));
}

void TestFormGroupData::titlesAndValues_data()
{
    QTest::addColumn<bool>("newer");
    QTest::addColumn<int>("item");
    QTest::addColumn<QStringList>("titles");
    for (int item = 1; item <= 10; ++item)
        QTest::addRow("newer, group %d", item) << true << item << Padded(QStringList{"Status", "Load", "Fault"} + NewerTitles[item - 1]);
    for (int item = 1; item <= 4; ++item)
        QTest::addRow("older, group %d", item) << false << item << Padded(OlderTitles[item - 1]);
}

void TestFormGroupData::titlesAndValues()
{
    QFETCH(bool, newer);
    QFETCH(int, item);
    QFETCH(QStringList, titles);
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, 4).Sheet);
    Generation(f, 4, newer);
    TStringGrid *grid = Single(f, 4).GroupGrid;
    // The values of an earlier reply stay until this item's reply arrives.
    Pick(f, 4, 0);
    h.control.DeliverOk(Handle::GroupData, Reply(2, std::vector<int>(11, 77)));
    const QStringList before = Column(grid, 1);
    const int widths[] = {grid->ColWidth(0), grid->ColWidth(1)};
    Pick(f, 4, item);
    QCOMPARE(Column(grid, 0), titles);
    QCOMPARE(Column(grid, 1), before);
    QCOMPARE(grid->ColWidth(0), widths[0]);
    QCOMPARE(grid->ColWidth(1), widths[1]);
    // Row r shows word r + 4, where the row has a title.
    h.control.DeliverOk(Handle::GroupData, Reply(2, Numbered()));
    QStringList values;
    for (int row = 1; row <= 14; ++row)
        values << (titles[row - 1].isEmpty() ? QString() : QString::number(500 + row + 4));
    QCOMPARE(Column(grid, 1), values);
}

void TestFormGroupData::olderItemsWithoutData()
{
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, 1).Sheet);
    Generation(f, 1, false);
    TStringGrid *grid = Single(f, 1).GroupGrid;
    for (int item = 5; item <= 10; ++item) {
        Pick(f, 1, 0);
        h.control.DeliverOk(Handle::GroupData, Reply(2, std::vector<int>(11, 77)));
        Pick(f, 1, item);
        // The titles step clears the values too.
        QCOMPARE(Column(grid, 0), Padded({"No Data Provided"}));
        QCOMPARE(Column(grid, 1), Padded({}));
        // A data reply still shows word 5 in row 1.
        h.control.DeliverOk(Handle::GroupData, Reply(2, Numbered()));
        QCOMPARE(Column(grid, 1), Padded({"505"}));
    }
}

void TestFormGroupData::titlesStayWithTheBoxAtTheRequest()
{
    // Asked with "QV4 or 5" ticked, the box unticked before the reply: newer titles stay,
    // and the values follow them.
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, 2).Sheet);
    Generation(f, 2, true);
    Pick(f, 2, 7);
    Generation(f, 2, false);
    h.control.DeliverOk(Handle::GroupData, Reply(2, Numbered()));
    const QStringList titles = Padded(QStringList{"Status", "Load", "Fault"} + NewerTitles[6]);
    QCOMPARE(Column(Single(f, 2).GroupGrid, 0), titles);
    QCOMPARE(Single(f, 2).GroupGrid->Cells(1, 8), QStringLiteral("512"));
}

void TestFormGroupData::newestRequestTakesOver()
{
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, 1).Sheet);
    Generation(f, 1, true);
    Pick(f, 1, 1);
    ClickTab(f, Port(f, 2).Sheet);
    Generation(f, 2, true);
    Pick(f, 2, 0);
    // The write of port 1's request completes: the read goes to the newest request's unit.
    h.control.Clear();
    h.control.DeliverOk(Handle::GroupRequest);
    QCOMPARE(h.control.calls, (QStringList{"Read(6,18,1302,17,500)", "Once(6)"}));
    h.control.DeliverOk(Handle::GroupData, Reply(2, {1, 2, 3, 4, 5, 0x0201}));
    QCOMPARE(Single(f, 2).GroupGrid->Cells(1, 6), QStringLiteral("1"));
    QCOMPARE(Single(f, 2).GroupGrid->Cells(1, 7), QStringLiteral("2"));
    QCOMPARE(Column(Single(f, 1).GroupGrid, 1), Padded({}));
    QCOMPARE(Single(f, 2).GrpStat->Caption(), QStringLiteral("Returned Status: 2 - 0 Returned"));
    QCOMPARE(Single(f, 1).GrpStat->Caption(), QStringLiteral("Requesting QV: 0 Item: 1 Using Port: 17"));
}

void TestFormGroupData::neverBeyondTheReply()
{
    // Words 17 and 18 in the control's buffer (left there by nothing the window reads)
    // never reach the data.
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, Port(f, 3).Sheet);
    Generation(f, 3, true);
    Pick(f, 3, 5);
    std::vector<int16_t> words = Reply(2, Numbered());
    words.push_back(1717);
    words.push_back(1818);
    h.control.DeliverOk(Handle::GroupData, words);
    QCOMPARE(f.GR_Data[11], int16_t(516));
    QCOMPARE(f.GR_Data[12], int16_t(0));
    QCOMPARE(f.GR_Data[13], int16_t(0));
    QCOMPARE(Column(Single(f, 3).GroupGrid, 1).mid(8), QStringList(6, QString()));
}

QTEST_MAIN(TestFormGroupData)
#include "test_form_groupdata.moc"
