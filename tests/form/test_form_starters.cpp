// The starter grids on a scripted control: the status, load, fault, type and command
// columns, the selected starter's status bits in both layouts, the fault texts of older
// starters, the layout boxes and the selection by a click on a grid row.
#include "StartersTestKit.h"
#include "utilities/Exceptions.h"

#include <QSignalSpy>
#include <QtTest>

using namespace TestUi;
using namespace RegisterMap;
using namespace StartersTestKit;

namespace {

int16_t W(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

// 100 words, all `fill`, with the words given at their addresses.
std::vector<int16_t> Words(std::initializer_list<std::pair<int, int>> at = {}, int fill = 0)
{
    std::vector<int16_t> words(100, W(fill));
    for (const auto &[address, value] : at)
        words[static_cast<size_t>(address)] = W(value);
    return words;
}

int16_t HandleOf(int16_t first, int port) { return static_cast<int16_t>(first + port - 1); }

void SetInputData(TForm1 &f, int port, int item) { f.Ports[static_cast<size_t>(port - 1)]->LinkSettings.InputDataSize->SetItemIndex(item); }

const QColor Green(0, 128, 0), Red(255, 0, 0), Black(0, 0, 0);

} // namespace

class TestFormStarters : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void atCreation();
    void statusColumn_data();
    void statusColumn();
    void newerLayout();
    void olderLayoutAndFaultText();
    void selectedAddressOutsideTheTable();
    void faultColumn_data();
    void faultColumn();
    void faultCodeOfAnOlderStarterKeepsTheSeverity();
    void loadColumn_data();
    void loadColumn();
    void typesAndCommands();
    void classificationAndPrefix();
    void clickSelects_data();
    void clickSelects();
    void clickSetsTheLayoutBoxes_data();
    void clickSetsTheLayoutBoxes();
    void layoutBoxesByHand();
    void faultLabelFollowsTheLastClickInAnyGrid();
    void faultCodeWithoutText();
    void clickSendsAndRefreshesNothing();
    void steadyHubChangesNoCell();
    void errorsAndBadLinks();
};

void TestFormStarters::atCreation()
{
    FormHarness h;
    TForm1 &f = h.form();
    for (int port = 1; port <= 4; ++port) {
        StarterStatusGroup &g = Starters(f, port);
        const int unit = 16 + port;
        QCOMPARE(g.HexCheckbox->Name(), QStringLiteral("HexCheckbox%1").arg(port));
        QCOMPARE(g.HexCheckbox->Caption(), QStringLiteral("Status in Hex"));
        QCOMPARE(g.QV4orHigher->Name(), QStringLiteral("QV4orHigherG%1").arg(unit));
        QCOMPARE(g.QV4orHigher->Caption(), QStringLiteral("QV4 or 5"));
        QCOMPARE(g.QV2orLower->Name(), QStringLiteral("QV2orLowerG%1").arg(unit));
        QCOMPARE(g.QV2orLower->Caption(), QStringLiteral("Older QV"));
        QCOMPARE(g.QV4orHigher->Tag, unit);
        QCOMPARE(g.QV2orLower->Tag, unit);
        QVERIFY(!g.HexCheckbox->Checked() && !g.QV4orHigher->Checked() && !g.QV2orLower->Checked());
        QCOMPARE(g.Fault->Name(), QStringLiteral("FaultL%1").arg(port - 1));
        QVERIFY(!g.Fault->Visible());
        QCOMPARE(g.Fault->FontColor(), Red);
        QCOMPARE(g.Status[0]->Name(), QStringLiteral("L%1Status0").arg(port));
        QCOMPARE(g.Status[15]->Name(), QStringLiteral("L%1Status15").arg(port));
        QStringList legend;
        for (TLabel *label : g.Legend)
            legend << label->Caption();
        QCOMPARE(legend, (QStringList{"Fault column:", "W- warn", "A- alarm", "T- trip", "LT- latched trip"}));
        QCOMPARE(Grid(f, port)->Tag, port - 1);
        QVERIFY(f.Find<TControl>(QStringLiteral("StringGrid%1").arg(port)) == Grid(f, port));
    }
    QCOMPARE(f.PortCommon->Label61->Caption(), QStringLiteral("Selected Quorvane: 0:0"));
    QCOMPARE(f.WhichLink, int16_t(0));
    QCOMPARE(f.QuorvaneInLink, int16_t(0));
    QCOMPARE(f.ActiveQuorvane, int16_t(0));
    for (const auto &link : f.QuorvaneLinks)
        for (const auto &kind : link)
            for (int16_t value : kind)
                QCOMPARE(value, int16_t(0));
}

void TestFormStarters::statusColumn_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QString>("hex");
    QTest::newRow("0x8001") << 0x8001 << "-32767" << "8001";
    QTest::newRow("0x000A") << 0x000A << "10" << "000A";
    QTest::newRow("0") << 0 << "0" << "0000";
    QTest::newRow("0xFFFF") << 0xFFFF << "-1" << "FFFF";
    QTest::newRow("0x7FFF") << 0x7FFF << "32767" << "7FFF";
}

void TestFormStarters::statusColumn()
{
    QFETCH(int, word);
    QFETCH(QString, decimal);
    QFETCH(QString, hex);
    FormHarness h;
    TForm1 &f = h.form();
    for (int port = 1; port <= 4; ++port) {
        const auto words = Words({{0, word}, {99, word}}, 0x1234);
        h.control.DeliverOk(HandleOf(Handle::StatusWords, port), words);
        QCOMPARE(Grid(f, port)->Cells(1, 1), decimal);
        QCOMPARE(Grid(f, port)->Cells(1, 100), decimal);
        QCOMPARE(Grid(f, port)->Cells(1, 50), QStringLiteral("4660"));
        QCOMPARE(f.QuorvaneLinks[static_cast<size_t>(port - 1)][TForm1::StatusWord][99], W(word));
        // The hex box is read at the next result, on its own port only.
        Starters(f, port).HexCheckbox->SetChecked(true);
        QCOMPARE(Grid(f, port)->Cells(1, 1), decimal);
        h.control.DeliverOk(HandleOf(Handle::StatusWords, port), words);
        QCOMPARE(Grid(f, port)->Cells(1, 1), hex);
        QCOMPARE(Grid(f, port)->Cells(1, 50), QStringLiteral("1234"));
        if (port > 1)
            QCOMPARE(Grid(f, port - 1)->Cells(1, 1), hex);
        if (port < 4)
            QCOMPARE(Grid(f, port + 1)->Cells(1, 1), QString());
    }
}

void TestFormStarters::newerLayout()
{
    FormHarness h;
    TForm1 &f = h.form();
    for (int port = 1; port <= 4; ++port)
        Starters(f, port).QV4orHigher->SetChecked(true);
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 2), Words({{0, 0x8101}}));
    QCOMPARE(StatusTexts(f, 2),
             (QStringList{"Not Communicating", "No Trips", "No Alarms", "No Warn", "No Faults", "No Latched trip",
                          "Not in start phase", "Open not needed", "Contactor A Closed", "Contactor B Open", "Running",
                          "Bit 11 off", "Not Manual", "Bit 13 off", "HHP Not Active", "Available"}));
    StarterStatusGroup &g = Starters(f, 2);
    QCOMPARE(g.Status[9]->FontColor(), Black);
    QCOMPARE(g.Status[15]->FontColor(), Green);
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 2), Words({{0, 0x7EFE}}));
    QCOMPARE(StatusTexts(f, 2),
             (QStringList{"Communicating", "Trip Active", "Alarm Active", "Warn Active", "A Fault is Active",
                          "A Latched Trip is Active", "Motor in Start up", "Open is required", "Contactor A Open",
                          "Contactor B Closed", "Stopped", "Bit 11 on", "Manual Mode", "Bit 13 on", "HHP Active",
                          "Not Available"}));
    // Only labels 9 and 15 have a colour set; the others keep the window's text colour.
    for (int n = 0; n < 15; ++n)
        if (n != 9)
            QVERIFY2(!g.Status[static_cast<size_t>(n)]->FontColor().isValid(), qPrintable(QString::number(n)));
    for (int port = 1; port <= 4; ++port) {
        h.control.DeliverOk(HandleOf(Handle::StatusWords, port), Words());
        QCOMPARE(Starters(f, port).Status[15]->Caption(), QStringLiteral("Not Available"));
        QCOMPARE(Starters(f, port).Status[15]->FontColor(), Red);
    }
}

void TestFormStarters::olderLayoutAndFaultText()
{
    FormHarness h;
    TForm1 &f = h.form();
    *f.FaultsQV2 = QStringList{"No fault", "Overload", "Phase loss"};
    // Port 1 first in the newer layout, so that label 9 is black and label 15 green.
    Starters(f, 1).QV4orHigher->SetChecked(true);
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x8000}}));
    QCOMPARE(Starters(f, 1).Status[15]->FontColor(), Green);
    Starters(f, 1).QV2orLower->SetChecked(true);
    QVERIFY(!Starters(f, 1).QV4orHigher->Checked());

    h.control.DeliverOk(Handle::StarterTypes, Words({{0, 20}}));
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x8041}}));
    h.control.DeliverOk(Handle::FaultWords, Words({}, 0x0303));
    QCOMPARE(f.QuorvaneLinks[0][TForm1::FaultCode][0], int16_t(1));
    QCOMPARE(Grid(f, 1)->Cells(3, 1), QStringLiteral("1"));
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x8041}}));
    QCOMPARE(StatusTexts(f, 1), (QStringList{"HHP in Control", "Not in test", "Contactor A Open", "Contactor B Open", "Not on",
                                             "Man Stop not active", "Input 1 Open", "Input 2 Open", "Not Local", "Available",
                                             "", "", "", "", "", ""}));
    QCOMPARE(Starters(f, 1).Status[9]->FontColor(), Green);
    QCOMPARE(Starters(f, 1).Status[15]->FontColor(), Green); // emptied, colour kept
    QVERIFY(Starters(f, 1).Fault->Visible());
    QCOMPARE(Starters(f, 1).Fault->Caption(), QStringLiteral("Overload"));

    // Every flag of the older layout set; bit 11 reports an active manual stop.
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0xFFC0}}));
    QCOMPARE(StatusTexts(f, 1).mid(0, 10), (QStringList{"HHP in Control", "In test", "Contactor A Closed", "Contactor B Closed",
                                                        "Quorvane 3", "Man Stop active", "Input 1 Closed", "Input 2 Closed",
                                                        "Local Control", "Available"}));
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x0800}}));
    QCOMPARE(Starters(f, 1).Status[5]->Caption(), QStringLiteral("Man Stop active"));
    QCOMPARE(Starters(f, 1).Status[9]->Caption(), QStringLiteral("Not Available"));
    QCOMPARE(Starters(f, 1).Status[9]->FontColor(), Red);

    // A newer starter at the selection hides the label, which keeps its text.
    h.control.DeliverOk(Handle::StarterTypes, Words({{0, 42}}));
    h.control.DeliverOk(Handle::StatusWords, Words());
    QVERIFY(!Starters(f, 1).Fault->Visible());
    QCOMPARE(Starters(f, 1).Fault->Caption(), QStringLiteral("Overload"));
    // Type 0 ("Unknown") counts as older.
    h.control.DeliverOk(Handle::StarterTypes, Words());
    h.control.DeliverOk(Handle::StatusWords, Words());
    QVERIFY(Starters(f, 1).Fault->Visible());
}

void TestFormStarters::selectedAddressOutsideTheTable()
{
    // The selection fields are public: an address outside 0 to 99 reads as 0 (status word
    // 0, type 0, fault code 0), never outside the table.
    FormHarness h;
    TForm1 &f = h.form();
    *f.FaultsQV2 = QStringList{"No fault", "Overload"};
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 3), Words({}, 0xFFFF));
    f.ActiveQuorvaneinLink[2] = 150;
    f.QuorvaneInLink = -4;
    Starters(f, 3).QV4orHigher->SetChecked(true);
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 3), Words({}, 0xFFFF));
    QCOMPARE(Starters(f, 3).Status[15]->Caption(), QStringLiteral("Not Available"));
    QCOMPARE(Starters(f, 3).Fault->Caption(), QStringLiteral("No fault"));
    f.ActiveQuorvaneinLink[2] = -1;
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 3), Words({}, 0xFFFF));
    QCOMPARE(Starters(f, 3).Status[0]->Caption(), QStringLiteral("Communicating"));
}

void TestFormStarters::faultColumn_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("faultWord");
    QTest::addColumn<QString>("cell");
    // Older and in-between starters: the low six bits of status 0x0047, whatever the item.
    for (int type : {30, 20, 39, -5})
        for (int item : {-1, 0, 1, 2, 3})
            QTest::addRow("type %d item %d", type, item) << type << item << 0x0309 << "7";
    for (int item : {-1, 0, 1})
        QTest::addRow("type 41 item %d", item) << 41 << item << 0x000C << "Not Read";
    for (int item : {2, 3}) {
        QTest::addRow("type 41 item %d 0x000C", item) << 41 << item << 0x000C << "W : 12";
        QTest::addRow("type 41 item %d 0x0309", item) << 41 << item << 0x0309 << "LT : 9";
        QTest::addRow("type 41 item %d 0x0200", item) << 41 << item << 0x0200 << "0";
        QTest::addRow("type 41 item %d 0x0409", item) << 41 << item << 0x0409 << "9";
        QTest::addRow("type 40 item %d 0x0203", item) << 40 << item << 0x0203 << "T : 3";
        QTest::addRow("type 50 item %d 0x0105", item) << 50 << item << 0x0105 << "A : 5";
        QTest::addRow("type 44 item %d 0xFFFF", item) << 44 << item << 0xFFFF << "255";
    }
}

void TestFormStarters::faultColumn()
{
    QFETCH(int, type);
    QFETCH(int, item);
    QFETCH(int, faultWord);
    QFETCH(QString, cell);
    FormHarness h;
    TForm1 &f = h.form();
    SetInputData(f, 3, item);
    QCOMPARE(f.Ports[2]->LinkSettings.InputDataSize->ItemIndex(), item);
    h.control.DeliverOk(HandleOf(Handle::StarterTypes, 3), Words({{5, type}}));
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 3), Words({{5, 0x0047}}));
    h.control.DeliverOk(HandleOf(Handle::FaultWords, 3), Words({{5, faultWord}}));
    QCOMPARE(Grid(f, 3)->Cells(3, 6), cell);
    const auto &table = f.QuorvaneLinks[2];
    if (type < 40) {
        QCOMPARE(table[TForm1::FaultCode][5], int16_t(7));
        QCOMPARE(table[TForm1::FaultSeverity][5], int16_t(0));
    } else {
        // Stored also when the column shows "Not Read".
        QCOMPARE(table[TForm1::FaultCode][5], int16_t(faultWord & 255));
        QCOMPARE(table[TForm1::FaultSeverity][5], int16_t((faultWord >> 8) & 255));
    }
    // Address 0, type 0: its status word's low bits, 0.
    QCOMPARE(Grid(f, 3)->Cells(3, 1), QStringLiteral("0"));
}

void TestFormStarters::faultCodeOfAnOlderStarterKeepsTheSeverity()
{
    FormHarness h;
    TForm1 &f = h.form();
    SetInputData(f, 1, 2);
    h.control.DeliverOk(Handle::StarterTypes, Words({{3, 41}}));
    h.control.DeliverOk(Handle::FaultWords, Words({{3, 0x0309}}));
    QCOMPARE(Grid(f, 1)->Cells(3, 4), QStringLiteral("LT : 9"));
    h.control.DeliverOk(Handle::StarterTypes, Words({{3, 30}}));
    h.control.DeliverOk(Handle::StatusWords, Words({{3, 0x8045}}));
    h.control.DeliverOk(Handle::FaultWords, Words({{3, 0x0101}}));
    QCOMPARE(Grid(f, 1)->Cells(3, 4), QStringLiteral("5"));
    QCOMPARE(f.QuorvaneLinks[0][TForm1::FaultCode][3], int16_t(5));
    QCOMPARE(f.QuorvaneLinks[0][TForm1::FaultSeverity][3], int16_t(3));
}

void TestFormStarters::loadColumn_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("cell");
    QTest::newRow("no item") << -1 << "-1";
    QTest::newRow("normal") << 0 << "-1";
    QTest::newRow("short") << 1 << "Not Read";
    QTest::newRow("long") << 2 << "-1";
    QTest::newRow("G10") << 3 << "-1";
}

void TestFormStarters::loadColumn()
{
    QFETCH(int, item);
    QFETCH(QString, cell);
    FormHarness h;
    TForm1 &f = h.form();
    SetInputData(f, 4, item);
    h.control.DeliverOk(HandleOf(Handle::LoadWords, 4), Words({{42, 77}}, 0xFFFF));
    for (int row = 1; row <= 100; ++row)
        QCOMPARE(Grid(f, 4)->Cells(2, row), row == 43 && cell != "Not Read" ? QStringLiteral("77") : cell);
    QCOMPARE(f.QuorvaneLinks[3][TForm1::LoadWord][0], int16_t(-1));
    QCOMPARE(f.QuorvaneLinks[3][TForm1::LoadWord][42], int16_t(77));
    QCOMPARE(Grid(f, 3)->Cells(2, 1), QString());
}

void TestFormStarters::typesAndCommands()
{
    FormHarness h;
    TForm1 &f = h.form();
    const std::vector<std::pair<int, QString>> types{
        {0, "Unknown"},       {10, "Quorvane 1"},          {20, "Quorvane 2"},   {23, "QV3 Emulated"},
        {30, "Quorvane 3"},   {31, "Quorvane 3 Enhanced"}, {41, "Quorvane 4.2"}, {42, "Quorvane 4.2E"},
        {43, "Quorvane 4.3"}, {50, "Quorvane 5"},          {40, "40"},           {44, "44"},
        {-1, "-1"},           {32767, "32767"},
    };
    std::vector<int16_t> words(100, 0);
    for (size_t k = 0; k < types.size(); ++k)
        words[k] = W(types[k].first);
    h.control.DeliverOk(HandleOf(Handle::StarterTypes, 2), words);
    for (size_t k = 0; k < types.size(); ++k) {
        QCOMPARE(Grid(f, 2)->Cells(4, static_cast<int>(k) + 1), types[k].second);
        QCOMPARE(f.QuorvaneLinks[1][TForm1::StarterType][k], W(types[k].first));
    }

    // Command words are shown and never kept.
    const auto before = f.QuorvaneLinks;
    h.control.DeliverOk(HandleOf(Handle::CommandWords, 2), Words({{0, 0x8000}, {99, 0x7FFF}}, 12));
    QCOMPARE(Grid(f, 2)->Cells(5, 1), QStringLiteral("-32768"));
    QCOMPARE(Grid(f, 2)->Cells(5, 50), QStringLiteral("12"));
    QCOMPARE(Grid(f, 2)->Cells(5, 100), QStringLiteral("32767"));
    QVERIFY(f.QuorvaneLinks == before);
    QCOMPARE(Grid(f, 1)->Cells(5, 1), QString());
}

void TestFormStarters::classificationAndPrefix()
{
    for (int type : {-32768, -1, 0, 10, 20, 23, 29}) {
        QVERIFY2(TForm1::IsOlderStarterType(W(type)), qPrintable(QString::number(type)));
        QVERIFY(!TForm1::IsNewerStarterType(W(type)));
    }
    for (int type : {30, 31, 40, 44, 49, 51, 32767}) {
        QVERIFY2(!TForm1::IsOlderStarterType(W(type)), qPrintable(QString::number(type)));
        QVERIFY(!TForm1::IsNewerStarterType(W(type)));
    }
    for (int type : {41, 42, 43, 50}) {
        QVERIFY(!TForm1::IsOlderStarterType(W(type)));
        QVERIFY(TForm1::IsNewerStarterType(W(type)));
    }
    // The fault code is tested first: code 0 has no prefix whatever the severity.
    const std::vector<std::tuple<int, int, QString>> prefixes{
        {0, 0, ""}, {0, 3, ""}, {1, 0, "W : "}, {1, 1, "A : "}, {1, 2, "T : "},
        {1, 3, "LT : "}, {1, 4, ""}, {255, 255, ""}, {7, -1, ""},
    };
    for (const auto &[code, severity, prefix] : prefixes)
        QCOMPARE(TForm1::FaultSeverityPrefix(W(code), W(severity)), prefix);
}

void TestFormStarters::clickSelects_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("active");
    QTest::newRow("row 1 of port 3") << 3 << 1 << 200;
    QTest::newRow("row 6 of port 2") << 2 << 6 << 105;
    QTest::newRow("row 100 of port 4") << 4 << 100 << 399;
    QTest::newRow("row 1 of port 1") << 1 << 1 << 0;
}

void TestFormStarters::clickSelects()
{
    QFETCH(int, port);
    QFETCH(int, row);
    QFETCH(int, active);
    FormHarness h;
    TForm1 &f = h.form();
    f.ActiveQuorvaneinLink = {11, 12, 13, 14};
    f.ActiveQuorvane = 333;
    ClickRow(f, port, row);
    const int address = row - 1;
    QCOMPARE(f.QuorvaneInLink, int16_t(address));
    QCOMPARE(f.WhichLink, int16_t(port));
    QCOMPARE(f.ActiveQuorvane, int16_t(active));
    for (int link = 0; link < 4; ++link)
        QCOMPARE(f.ActiveQuorvaneinLink[static_cast<size_t>(link)], int16_t(link == port - 1 ? address : 11 + link));
    QCOMPARE(f.Caption(), QStringLiteral("Quorvane Selected: %1 Link: %2 Address: %3").arg(active).arg(port).arg(address));
    QCOMPARE(f.PortCommon->Label61->Caption(), QStringLiteral("Quorvane Selected: %1 : %2").arg(port).arg(address));
}

void TestFormStarters::clickSetsTheLayoutBoxes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("qv4Before");
    QTest::addColumn<bool>("olderBefore");
    QTest::addColumn<bool>("qv4After");
    QTest::addColumn<bool>("olderAfter");
    for (bool qv4 : {false, true})
        for (bool older : {false, true}) {
            if (qv4 && older)
                continue; // the boxes' own handling never leaves both ticked
            const QByteArray before = QByteArray(qv4 ? "ticked" : "unticked") + (older ? "/ticked" : "/unticked");
            QTest::addRow("type 42, %s", before.constData()) << 42 << qv4 << older << true << false;
            QTest::addRow("type 50, %s", before.constData()) << 50 << qv4 << older << true << false;
            QTest::addRow("type 0, %s", before.constData()) << 0 << qv4 << older << false << true;
            QTest::addRow("type 23, %s", before.constData()) << 23 << qv4 << older << false << true;
            const bool neitherStays = !qv4 && !older;
            QTest::addRow("type 31, %s", before.constData()) << 31 << qv4 << older << !neitherStays << false;
            QTest::addRow("type 30, %s", before.constData()) << 30 << qv4 << older << !neitherStays << false;
        }
}

void TestFormStarters::clickSetsTheLayoutBoxes()
{
    QFETCH(int, type);
    QFETCH(bool, qv4Before);
    QFETCH(bool, olderBefore);
    QFETCH(bool, qv4After);
    QFETCH(bool, olderAfter);
    FormHarness h;
    TForm1 &f = h.form();
    h.control.DeliverOk(HandleOf(Handle::StarterTypes, 2), Words({{7, type}}, 42));
    StarterStatusGroup &g = Starters(f, 2);
    if (qv4Before)
        g.QV4orHigher->SetChecked(true);
    if (olderBefore)
        g.QV2orLower->SetChecked(true);
    QCOMPARE(g.QV4orHigher->Checked(), qv4Before);
    QCOMPARE(g.QV2orLower->Checked(), olderBefore);
    ClickRow(f, 2, 8);
    QCOMPARE(g.QV4orHigher->Checked(), qv4After);
    QCOMPARE(g.QV2orLower->Checked(), olderAfter);
    // The other ports' boxes are untouched.
    for (int port : {1, 3, 4})
        QVERIFY(!Starters(f, port).QV4orHigher->Checked() && !Starters(f, port).QV2orLower->Checked());
}

void TestFormStarters::layoutBoxesByHand()
{
    FormHarness h;
    TForm1 &f = h.form();
    f.Frame->PageControl1->SetActivePage(f.Ports[0]->Sheet);
    StarterStatusGroup &g = Starters(f, 1);
    Click(g.QV4orHigher);
    QVERIFY(g.QV4orHigher->Checked());
    QVERIFY(!g.QV2orLower->Checked());
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x8041}}));
    QCOMPARE(g.Status[0]->Caption(), QStringLiteral("Not Communicating"));

    h.control.Clear();
    Click(g.QV2orLower);
    QVERIFY(g.QV2orLower->Checked());
    QVERIFY(!g.QV4orHigher->Checked());
    // Nothing is read, written or refreshed until the next status result of the link.
    QVERIFY2(h.control.calls.isEmpty(), qPrintable(h.control.calls.join(' ')));
    QCOMPARE(g.Status[0]->Caption(), QStringLiteral("Not Communicating"));
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x8041}}));
    QCOMPARE(g.Status[0]->Caption(), QStringLiteral("HHP in Control"));
    // Unticking "Older QV" ticks "QV4 or 5" again.
    Click(g.QV2orLower);
    QVERIFY(g.QV4orHigher->Checked());
    for (int port = 2; port <= 4; ++port)
        QVERIFY(!Starters(f, port).QV4orHigher->Checked() && !Starters(f, port).QV2orLower->Checked());
}

void TestFormStarters::faultLabelFollowsTheLastClickInAnyGrid()
{
    FormHarness h;
    TForm1 &f = h.form();
    *f.FaultsQV2 = QStringList{"None", "One", "Two", "Three"};
    // Link 2: an older starter with fault code 2 at address 7, its own selection at 3.
    h.control.DeliverOk(HandleOf(Handle::StarterTypes, 2), Words({{7, 20}, {3, 42}}, 42));
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 2), Words({{7, 0x8002}, {3, 0x8000}}));
    h.control.DeliverOk(HandleOf(Handle::FaultWords, 2), Words());
    ClickRow(f, 2, 4);
    Starters(f, 2).QV4orHigher->SetChecked(true);
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 2), Words({{7, 0x8002}, {3, 0x8000}}));
    QVERIFY(!Starters(f, 2).Fault->Visible()); // type 42 at address 3

    ClickRow(f, 1, 8);
    QCOMPARE(f.QuorvaneInLink, int16_t(7));
    QVERIFY(!Starters(f, 2).Fault->Visible()); // not before the link's next status result
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 2), Words({{7, 0x8002}, {3, 0x8000}}));
    QVERIFY(Starters(f, 2).Fault->Visible());
    QCOMPARE(Starters(f, 2).Fault->Caption(), QStringLiteral("Two"));
    // The status labels of port 2 still show its own selection, address 3.
    QCOMPARE(f.ActiveQuorvaneinLink[1], int16_t(3));
    QCOMPARE(Starters(f, 2).Status[15]->Caption(), QStringLiteral("Available"));
    QCOMPARE(Starters(f, 2).Status[1]->Caption(), QStringLiteral("No Trips"));
}

void TestFormStarters::faultCodeWithoutText()
{
    FormHarness h;
    TForm1 &f = h.form();
    // No FaultsQV2.txt beside the program: a healthy older starter (type 0 until its type
    // is read, fault code 0) is shown from the first status result on without a fault,
    // on every port; a code other than 0 still names itself.
    QVERIFY(f.FaultsQV2->isEmpty());
    for (int port = 1; port <= 4; ++port) {
        h.control.DeliverOk(HandleOf(Handle::StatusWords, port), Words({}, 0x8000));
        QVERIFY(Starters(f, port).Fault->Visible());
        QCOMPARE(Starters(f, port).Fault->Caption(), QStringLiteral("No fault"));
    }
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x8001}}));
    h.control.DeliverOk(Handle::FaultWords, Words());
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x8001}}));
    QCOMPARE(Starters(f, 1).Fault->Caption(), QStringLiteral("Fault code 1 (no text in FaultsQV2.txt)"));
    // A line for code 0 is shown as the file gives it.
    *f.FaultsQV2 = QStringList{"Healthy"};
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x8000}}));
    h.control.DeliverOk(Handle::FaultWords, Words());
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x8000}}));
    QCOMPARE(Starters(f, 1).Fault->Caption(), QStringLiteral("Healthy"));

    *f.FaultsQV2 = QStringList{"None", "One", "Two"};
    // Code 200 was stored while the starter reported a newer type; it is older now.
    h.control.DeliverOk(Handle::StarterTypes, Words({{0, 41}}));
    h.control.DeliverOk(Handle::FaultWords, Words({{0, 200}}));
    h.control.DeliverOk(Handle::StarterTypes, Words({{0, 20}}));
    h.control.DeliverOk(Handle::StatusWords, Words());
    QVERIFY(Starters(f, 1).Fault->Visible());
    QCOMPARE(Starters(f, 1).Fault->Caption(), QStringLiteral("Fault code 200 (no text in FaultsQV2.txt)"));
    // Code 3, one past the last line, and a list that is missing altogether (creation
    // stopped before loading it) are treated alike.
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x0003}}));
    h.control.DeliverOk(Handle::FaultWords, Words());
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x0003}}));
    QCOMPARE(Starters(f, 1).Fault->Caption(), QStringLiteral("Fault code 3 (no text in FaultsQV2.txt)"));
    f.FaultsQV2.reset();
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x0002}}));
    h.control.DeliverOk(Handle::FaultWords, Words());
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x0002}}));
    QCOMPARE(Starters(f, 1).Fault->Caption(), QStringLiteral("Fault code 2 (no text in FaultsQV2.txt)"));
    // A text from the file is shown as it is, "%1" included.
    f.FaultsQV2 = std::make_unique<QStringList>(QStringList{"a", "b", "Phase %1 lost"});
    h.control.DeliverOk(Handle::StatusWords, Words({{0, 0x0002}}));
    QCOMPARE(Starters(f, 1).Fault->Caption(), QStringLiteral("Phase %1 lost"));
    // Code 0 without a list is no fault either.
    f.FaultsQV2.reset();
    h.control.DeliverOk(Handle::StatusWords, Words());
    h.control.DeliverOk(Handle::FaultWords, Words());
    h.control.DeliverOk(Handle::StatusWords, Words());
    QCOMPARE(Starters(f, 1).Fault->Caption(), QStringLiteral("No fault"));
}

void TestFormStarters::clickSendsAndRefreshesNothing()
{
    FormHarness h;
    TForm1 &f = h.form();
    Starters(f, 3).QV4orHigher->SetChecked(true);
    h.control.DeliverOk(HandleOf(Handle::StarterTypes, 3), Words({}, 42));
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 3), Words({{9, 0x8000}}));
    QCOMPARE(Starters(f, 3).Status[15]->Caption(), QStringLiteral("Not Available"));
    const QString cell = Grid(f, 3)->Cells(1, 10);
    h.control.Clear();
    ClickRow(f, 3, 10);
    QCOMPARE(f.ActiveQuorvaneinLink[2], int16_t(9));
    QVERIFY2(h.control.calls.isEmpty(), qPrintable(h.control.calls.join(' ')));
    QVERIFY(h.control.Writes().empty());
    QCOMPARE(Starters(f, 3).Status[15]->Caption(), QStringLiteral("Not Available"));
    QCOMPARE(Grid(f, 3)->Cells(1, 10), cell);
    // The labels follow the new selection at the link's next status result.
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 3), Words({{9, 0x8000}}));
    QCOMPARE(Starters(f, 3).Status[15]->Caption(), QStringLiteral("Available"));
}

void TestFormStarters::steadyHubChangesNoCell()
{
    // The model is updated at every result; a cell whose text is the same is not set
    // again, so a steady hub repaints nothing.
    FormHarness h;
    TForm1 &f = h.form();
    SetInputData(f, 1, 2);
    auto deliverAll = [&](int status) {
        h.control.DeliverOk(Handle::StarterTypes, Words({{1, 41}, {2, 20}}));
        h.control.DeliverOk(Handle::StatusWords, Words({{1, status}, {2, 0x8005}}));
        h.control.DeliverOk(Handle::LoadWords, Words({{1, 80}}));
        h.control.DeliverOk(Handle::FaultWords, Words({{1, 0x0203}}));
        h.control.DeliverOk(Handle::CommandWords, Words({{1, 3}}));
    };
    deliverAll(0x8100);
    QSignalSpy changes(Grid(f, 1)->View()->model(), &QAbstractItemModel::dataChanged);
    deliverAll(0x8100);
    QCOMPARE(changes.count(), 0);
    deliverAll(0x8101);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(Grid(f, 1)->Cells(3, 2), QStringLiteral("T : 3"));
    QCOMPARE(Grid(f, 1)->Cells(3, 3), QStringLiteral("5"));
}

void TestFormStarters::errorsAndBadLinks()
{
    FormHarness h;
    TForm1 &f = h.form();
    h.control.DeliverOk(HandleOf(Handle::StatusWords, 4), Words({}, 5));
    h.control.DeliverOk(HandleOf(Handle::StarterTypes, 4), Words({}, 43));
    const auto table = f.QuorvaneLinks;
    const QStringList labels = StatusTexts(f, 4);
    for (int16_t first : {Handle::StatusWords, Handle::LoadWords, Handle::FaultWords, Handle::StarterTypes, Handle::CommandWords})
        h.control.DeliverError(HandleOf(first, 4), 12);
    QVERIFY(f.QuorvaneLinks == table);
    QCOMPARE(StatusTexts(f, 4), labels);
    QCOMPARE(Grid(f, 4)->Cells(1, 1), QStringLiteral("5"));
    QCOMPARE(Grid(f, 4)->Cells(4, 1), QStringLiteral("Quorvane 4.3"));
    QCOMPARE(Grid(f, 4)->Cells(5, 1), QString());

    // A link index outside 0 to 3 is a range error, never an index outside the table.
    for (int16_t link : {int16_t(-1), int16_t(4), int16_t(32767)}) {
        QVERIFY_THROWS_EXCEPTION(ERangeError, f.DecodeStatusWords(link));
        QVERIFY_THROWS_EXCEPTION(ERangeError, f.DecodeLoadWords(link));
        QVERIFY_THROWS_EXCEPTION(ERangeError, f.DecodeFaultWords(link));
        QVERIFY_THROWS_EXCEPTION(ERangeError, f.DecodeStarterTypes(link));
        QVERIFY_THROWS_EXCEPTION(ERangeError, f.ShowCommandWords(link));
    }
    QVERIFY(f.QuorvaneLinks == table);
    // Likewise a grid whose Tag names no link, and a layout box whose Tag names no unit.
    Grid(f, 4)->Tag = 4;
    QVERIFY_THROWS_EXCEPTION(ERangeError, f.StringGrid1Click(Grid(f, 4)));
    Grid(f, 4)->Tag = 3;
    Starters(f, 4).QV2orLower->Tag = 21;
    QVERIFY_THROWS_EXCEPTION(ERangeError, f.QV2orLowerG17Click(Starters(f, 4).QV2orLower));
    Starters(f, 4).QV2orLower->Tag = 20;
    QCOMPARE(f.WhichLink, int16_t(0));
}

QTEST_MAIN(TestFormStarters)
#include "test_form_starters.moc"
