// "To Excel" on a scripted spreadsheet application: the cells written and their order,
// where the writing stops, the failures that reach the exception handling, and what
// stays of earlier exports. The expected cells are built here from cell names (A1
// form), not from the window's own tables.
#include "ExportTestKit.h"
#include "FormHarness.h"
#include "utilities/Exceptions.h"

#include <QtTest>

using namespace TestUi;

namespace {

const QString Application = QStringLiteral("Excel.Application");

QString TemplatePath() { return TestEnvironment::DataFolder() + QStringLiteral("/VelkarHubProjects/VelkarHub.xlsx"); }

using ExportKit::RowColumn;

QString CellCall(int application, const QString &name, const QString &text)
{
    const auto [row, column] = RowColumn(name);
    return QStringLiteral("Cell(%1,%2,%3,%4)").arg(application).arg(row).arg(column).arg(text);
}

// Sets every control the export reads so that no two cells of a kind get the same text:
// each edit shows its own name; boxes and groups follow patterns that differ from one
// control to the next.
void SetEveryControl(TForm1 &f)
{
    for (const char *name : {"IP1", "IP2", "IP3", "IP4", "IP_Port", "IPTimeout", "edtRouter1", "edtRouter2", "edtRouter3",
                             "edtRouter4", "edtMask1", "edtMask2", "edtmask3", "edtMask4", "Edit15"})
        f.Find<TEdit>(name)->SetText(name);
    f.Find<TCheckBox>("CheckBox1")->SetChecked(true);
    f.Find<TRadioGroup>("EthernetTimeoutAction")->SetItemIndex(2);
    for (int n = 1; n <= 4; ++n) {
        const QString p = QStringLiteral("QVL%1").arg(n);
        f.Find<TRadioGroup>(QStringLiteral("Link%1Control").arg(n))->SetItemIndex(n);
        for (const char *edit : {"Link", "First", "Last", "Noreply"})
            f.Find<TEdit>(p + edit)->SetText(p + edit);
        f.Find<TCheckBox>(p + "FastBroad")->SetChecked(n % 2 == 0);
        f.Find<TRadioGroup>(p + "ConfigConflict")->SetItemIndex(n);
        f.Find<TRadioGroup>(p + "Baud")->SetItemIndex(8 - n);
        f.Find<TRadioGroup>(p + "InputDataSize")->SetItemIndex(n - 1);
    }
    for (int r = 1; r <= 16; ++r) {
        f.Find<TCheckBox>(QStringLiteral("UserR%1").arg(r))->SetChecked(r % 2 == 1);
        f.Find<TCheckBox>(QStringLiteral("ControlR%1").arg(r))->SetChecked(r % 3 == 0);
    }
    for (int k = 1; k <= 80; ++k)
        f.Find<TEdit>(QStringLiteral("Range%1").arg(k))->SetText(QStringLiteral("Range%1").arg(k));
}

// The cells the window's state gives, in the order they are to be written, as the
// scripted application records them (the test clock's time in AE13).
QStringList ExpectedCells(const TForm1 &f, int application = 1)
{
    QStringList calls;
    for (const ExportKit::Cell &cell : ExportKit::Cells())
        calls << CellCall(application, cell.name, ExportKit::TextOf(f, cell, QStringLiteral("07/03/2026 14:05:09")));
    return calls;
}

QStringList OpeningCalls(int application)
{
    return {QStringLiteral("Visible(%1,true)").arg(application), QStringLiteral("Open(%1,%2)").arg(application).arg(TemplatePath())};
}

QStringList CellCalls(const ScriptedSpreadsheets &s)
{
    QStringList out;
    for (const QString &call : s.Calls())
        if (call.startsWith(QStringLiteral("Cell(")))
            out << call;
    return out;
}

// What an export must never do: write to the hub, log, show a box or reach the
// exception handling.
struct Quiet {
    explicit Quiet(FormHarness &h)
        : h(h), log(TestEnvironment::LogTexts(h.form()).size()), faults(h.form().FaultLog->size()),
          boxes(h.dialogs.shown.size()), exception(h.form().Comms->Label93->Caption())
    {
        h.control.Clear();
    }
    void Verify() const
    {
        QCOMPARE(h.control.Writes().size(), size_t(0));
        QCOMPARE(TestEnvironment::LogTexts(h.form()).size(), log);
        QCOMPARE(h.form().FaultLog->size(), faults);
        QCOMPARE(h.dialogs.shown.size(), boxes);
        QCOMPARE(h.form().Comms->Label93->Caption(), exception);
    }
    FormHarness &h;
    qsizetype log;
    qsizetype faults;
    size_t boxes;
    QString exception;
};

// The operator's click on "To Excel", on its page.
void ClickToExcel(FormHarness &h)
{
    ClickTab(h.form(), h.form().Comms->TabSheet7);
    Click(h.form().Comms->Button41);
}

} // namespace

class TestFormExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void button();
    void everyCellInOrder();
    void stopsAtTheFirstCellWithoutAValue_data();
    void stopsAtTheFirstCellWithoutAValue();
    void failuresBeforeTheCellsReachTheExceptionHandling_data();
    void failuresBeforeTheCellsReachTheExceptionHandling();
    void failedCreationKeepsThePreviousApplication();
    void twoExportsTwoApplications();
    void valueForms_data();
    void valueForms();
    void baudRateTheGroupCannotShow_data();
    void baudRateTheGroupCannotShow();
    void dateAndTime_data();
    void dateAndTime();
};

void TestFormExport::button()
{
    FormHarness h;
    TForm1 &f = h.form();
    QCOMPARE(f.Find<TButton>("Button41"), f.Comms->Button41);
    QCOMPARE(f.Comms->Button41->Caption(), QStringLiteral("To Excel"));
    QVERIFY(f.Comms->TabSheet7->Widget()->isAncestorOf(f.Comms->Button41->Widget()));
    QVERIFY(!f.Excel);
    QCOMPARE(h.spreadsheets.Created(), 0);
}

void TestFormExport::everyCellInOrder()
{
    FormHarness h;
    TForm1 &f = h.form();
    SetEveryControl(f);
    const Quiet quiet(h);
    ClickToExcel(h);
    const QStringList cells = ExpectedCells(f);
    QCOMPARE(cells.size(), 166);
    QCOMPARE(h.spreadsheets.Calls(), QStringList{"Create(Excel.Application)"} + OpeningCalls(1) + cells);
    quiet.Verify();
    QVERIFY(f.Excel);
    QCOMPARE(h.spreadsheets.Alive(), 1);
}

void TestFormExport::stopsAtTheFirstCellWithoutAValue_data()
{
    // setEvery: the controls set as above (else the window as created, before any hub
    // result); cleared: a group whose selection is then cleared; failAtCell: the cell
    // whose write the application refuses; cells: how many cells are asked for.
    QTest::addColumn<bool>("setEvery");
    QTest::addColumn<QString>("cleared");
    QTest::addColumn<int>("failAtCell");
    QTest::addColumn<int>("cells");
    QTest::newRow("before the first hub result: K20") << false << QString() << 0 << 17;
    QTest::newRow("time-out action") << true << "EthernetTimeoutAction" << 0 << 17;
    QTest::newRow("link 3 control: H24") << true << "Link3Control" << 0 << 20;
    for (int n = 1; n <= 4; ++n) {
        const int block = 22 + 8 * (n - 1);
        QTest::addRow("port %d conflict: L%d", n, 32 + 10 * (n - 1)) << true << QStringLiteral("QVL%1ConfigConflict").arg(n) << 0 << block + 5;
    }
    QTest::newRow("port 2 baud") << true << "QVL2Baud" << 0 << 22 + 8 + 6;
    QTest::newRow("port 4 input data content") << true << "QVL4InputDataSize" << 0 << 22 + 24 + 7;
    QTest::newRow("first cell refused") << true << QString() << 1 << 1;
    QTest::newRow("application gone at Q70") << true << QString() << 22 + 32 + 32 + 11 << 22 + 32 + 32 + 11;
    QTest::newRow("last cell refused") << true << QString() << 166 << 166;
}

void TestFormExport::stopsAtTheFirstCellWithoutAValue()
{
    QFETCH(bool, setEvery);
    QFETCH(QString, cleared);
    QFETCH(int, failAtCell);
    QFETCH(int, cells);
    FormHarness h;
    TForm1 &f = h.form();
    if (setEvery)
        SetEveryControl(f);
    if (!cleared.isEmpty())
        f.Find<TRadioGroup>(cleared)->SetItemIndex(-1);
    const Quiet quiet(h);
    h.spreadsheets.failAtCall = failAtCell > 0 ? 3 + failAtCell : 0;
    ClickToExcel(h);
    const QStringList written = CellCalls(h.spreadsheets);
    if (setEvery) {
        QCOMPARE(written, ExpectedCells(f).mid(0, cells));
    } else {
        // The window as created: its edits' first texts, "Use Fixed IP" unticked, the
        // identification text empty.
        QCOMPARE(written, (QStringList{CellCall(1, "AE13", "07/03/2026 14:05:09"), CellCall(1, "H17", "192"), CellCall(1, "J17", "168"),
                                       CellCall(1, "L17", "1"), CellCall(1, "N17", "4"), CellCall(1, "P17", "502"),
                                       CellCall(1, "Z17", "1000"), CellCall(1, "H18", "192"), CellCall(1, "J18", "168"),
                                       CellCall(1, "L18", "1"), CellCall(1, "N18", "4"), CellCall(1, "H19", "192"),
                                       CellCall(1, "J19", "168"), CellCall(1, "L19", "1"), CellCall(1, "N19", "4"),
                                       CellCall(1, "Z18", "No"), CellCall(1, "Z19", "")}));
    }
    QCOMPARE(written.size(), cells);
    quiet.Verify();
    // The application stays, visible, with what was written.
    QVERIFY(f.Excel);
    QCOMPARE(h.spreadsheets.Alive(), 1);
}

void TestFormExport::failuresBeforeTheCellsReachTheExceptionHandling_data()
{
    QTest::addColumn<int>("failAtCall");
    QTest::addColumn<QString>("exceptionClass");
    QTest::addColumn<bool>("held");
    QTest::newRow("no application") << 1 << "EOleSysError" << false;
    QTest::newRow("not made visible") << 2 << "EOleException" << true;
    QTest::newRow("template missing") << 3 << "EOleException" << true;
}

void TestFormExport::failuresBeforeTheCellsReachTheExceptionHandling()
{
    QFETCH(int, failAtCall);
    QFETCH(QString, exceptionClass);
    QFETCH(bool, held);
    {
        // Called directly, the failure escapes the click.
        FormHarness h;
        SetEveryControl(h.form());
        h.spreadsheets.failAtCall = failAtCall;
        h.spreadsheets.failureMessage = QStringLiteral("The file could not be opened");
        if (failAtCall == 1)
            QVERIFY_THROWS_EXCEPTION(EOleSysError, h.form().Button41Click(h.form().Comms->Button41));
        else
            QVERIFY_THROWS_EXCEPTION(EOleException, h.form().Button41Click(h.form().Comms->Button41));
        QVERIFY(CellCalls(h.spreadsheets).isEmpty());
    }
    // Clicked, it reaches the window's exception handling: shown and in the fault log.
    FormHarness h;
    TForm1 &f = h.form();
    SetEveryControl(f);
    h.spreadsheets.failAtCall = failAtCall;
    h.spreadsheets.failureMessage = QStringLiteral("The file could not be opened");
    const auto faults = f.FaultLog->size();
    ClickToExcel(h);
    QCOMPARE(h.spreadsheets.Calls(), (QStringList{"Create(Excel.Application)"} + OpeningCalls(1)).mid(0, failAtCall));
    const QString text = QStringLiteral("Exception: %1 : The file could not be opened").arg(exceptionClass);
    QVERIFY(f.Comms->Label93->Visible());
    QCOMPARE(f.Comms->Label93->Caption(), text);
    QCOMPARE(f.FaultLog->size(), faults + 1);
    QVERIFY(f.FaultLog->last().endsWith(text));
    // A created application stays held (and visible once that worked).
    QCOMPARE(bool(f.Excel), held);
    QCOMPARE(h.spreadsheets.Alive(), held ? 1 : 0);
}

void TestFormExport::failedCreationKeepsThePreviousApplication()
{
    FormHarness h;
    TForm1 &f = h.form();
    SetEveryControl(f);
    ClickToExcel(h);
    ISpreadsheetApplication *first = f.Excel.get();
    QVERIFY(first);
    h.spreadsheets.Clear();
    h.spreadsheets.failAtCall = 1;
    ClickToExcel(h);
    QCOMPARE(h.spreadsheets.Calls(), QStringList{"Create(Excel.Application)"});
    QCOMPARE(f.Excel.get(), first);
    QCOMPARE(h.spreadsheets.Alive(), 1);
    QVERIFY(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: EOleSysError")));
}

void TestFormExport::twoExportsTwoApplications()
{
    FormHarness h;
    TForm1 &f = h.form();
    SetEveryControl(f);
    ClickToExcel(h);
    ClickToExcel(h);
    // The second export creates its own application; replacing the first one releases
    // it (its office and workbook stay open) before the second is used.
    const QStringList expected = QStringList{"Create(Excel.Application)"} + OpeningCalls(1) + ExpectedCells(f, 1) +
                                 QStringList{"Create(Excel.Application)", "Release(1)"} + OpeningCalls(2) + ExpectedCells(f, 2);
    QCOMPARE(h.spreadsheets.Calls(), expected);
    QCOMPARE(h.spreadsheets.Created(), 2);
    QCOMPARE(h.spreadsheets.Alive(), 1);
    QVERIFY(f.Excel);
    h.spreadsheets.Clear();
    h.Destroy();
    QCOMPARE(h.spreadsheets.Calls(), QStringList{"Release(2)"});
    QCOMPARE(h.spreadsheets.Alive(), 0);
}

void TestFormExport::valueForms_data()
{
    // control: set to `value` after every other control ("ticked"/"unticked" for a box,
    // the item index for a group, the text for an edit); cell: where its value goes.
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("text");
    QTest::newRow("Use Fixed IP unticked") << "CheckBox1" << "unticked" << "Z18" << "No";
    QTest::newRow("Use Fixed IP ticked") << "CheckBox1" << "ticked" << "Z18" << "Yes";
    QTest::newRow("range use ticked") << "UserR16" << "ticked" << "G83" << "Enabled";
    QTest::newRow("range use unticked") << "UserR1" << "unticked" << "G68" << "Not Enabled";
    QTest::newRow("control range ticked") << "ControlR1" << "ticked" << "AI68" << "Yes";
    QTest::newRow("control range unticked") << "ControlR3" << "unticked" << "AI70" << "No";
    QTest::newRow("fast broadcast ticked") << "QVL3FastBroad" << "ticked" << "L51" << "Yes";
    QTest::newRow("leading zeros and a trailing blank") << "IP2" << "007 " << "J17" << "007 ";
    QTest::newRow("empty edit") << "QVL4Last" << "" << "W59" << "";
    QTest::newRow("blank identification text") << "Edit15" << "               " << "Z19" << "               ";
    QTest::newRow("range part not a number") << "Range80" << "-x" << "AC83" << "-x";
    QTest::newRow("text like a formula") << "IPTimeout" << "=1+1" << "Z17" << "=1+1";
    QTest::newRow("time-out action caption") << "EthernetTimeoutAction" << "3" << "K20" << "Stop the Velkar communications";
    QTest::newRow("link 4 mode caption") << "Link4Control" << "3" << "H25" << "Act as Modbus RTU Slave port";
    QTest::newRow("link 1 first item") << "Link1Control" << "0" << "H22" << "No Transmission";
    QTest::newRow("port 1 conflict caption") << "QVL1ConfigConflict" << "3" << "L32" << "Host Read Only";
    QTest::newRow("port 2 baud as its item shows it") << "QVL2Baud" << "6" << "L43" << "19200";
    QTest::newRow("port 3 input data caption") << "QVL3InputDataSize" << "3" << "L54" << "8 Status Registers (inc G10)";
}

void TestFormExport::valueForms()
{
    QFETCH(QString, control);
    QFETCH(QString, value);
    QFETCH(QString, cell);
    QFETCH(QString, text);
    FormHarness h;
    TForm1 &f = h.form();
    SetEveryControl(f);
    if (auto *box = dynamic_cast<TCheckBox *>(f.FindComponent(control)))
        box->SetChecked(value == QStringLiteral("ticked"));
    else if (auto *group = dynamic_cast<TRadioGroup *>(f.FindComponent(control)))
        group->SetItemIndex(value.toInt());
    else
        f.Find<TEdit>(control)->SetText(value);
    ClickToExcel(h);
    const QStringList written = CellCalls(h.spreadsheets);
    QCOMPARE(written.size(), 166);
    const auto [row, column] = RowColumn(cell);
    const auto &cells = h.spreadsheets.Cells();
    const auto at = std::find_if(cells.begin(), cells.end(), [&](const auto &c) { return c.row == row && c.column == column; });
    QVERIFY(at != cells.end());
    QCOMPARE(at->text, text);
}

void TestFormExport::baudRateTheGroupCannotShow_data()
{
    // A baud code decoded for link 3 that none of the group's items shows: the group has
    // no selection, and port 3's baud cell (L53) gets the rate the hub reported.
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("57600") << 576 << "57600";
    QTest::newRow("115200") << 1152 << "115200";
    QTest::newRow("128000") << 1280 << "128000";
    QTest::newRow("code 4800") << 4800 << "480000";
    QTest::newRow("code 0") << 0 << "0";
    QTest::newRow("code -1") << -1 << "-100";
}

void TestFormExport::baudRateTheGroupCannotShow()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    FormHarness h;
    TForm1 &f = h.form();
    SetEveryControl(f);
    h.control.DeliverOk(RegisterMap::Handle::LinkSettings + 2, {3, 4, static_cast<int16_t>(code), 5, 6, 1, 7, 0, 2});
    QCOMPARE(f.Find<TRadioGroup>("QVL3Baud")->ItemIndex(), -1);
    const Quiet quiet(h);
    ClickToExcel(h);
    // Every cell is written, that one with the hub's rate, the others as the window shows.
    QStringList expected = ExpectedCells(f);
    const qsizetype at = expected.indexOf(CellCall(1, "L53", QString()));
    QVERIFY(at >= 0);
    expected[at] = CellCall(1, "L53", text);
    QCOMPARE(CellCalls(h.spreadsheets), expected);
    quiet.Verify();
}

void TestFormExport::dateAndTime_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("text");
    QTest::newRow("afternoon") << QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9, 5)) << "07/03/2026 14:05:09";
    QTest::newRow("midnight keeps its time") << QDateTime(QDate(2025, 12, 31), QTime(0, 0)) << "31/12/2025 00:00:00";
    QTest::newRow("morning") << QDateTime(QDate(2024, 2, 29), QTime(7, 8, 0)) << "29/02/2024 07:08:00";
}

void TestFormExport::dateAndTime()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, text);
    FormHarness h;
    h.clock.now = now;
    ClickToExcel(h);
    QVERIFY(!h.spreadsheets.Cells().empty());
    const auto &first = h.spreadsheets.Cells().front();
    QCOMPARE(first.row, 13);
    QCOMPARE(first.column, 31);
    QCOMPARE(first.text, text);
}

QTEST_MAIN(TestFormExport)
#include "test_form_export.moc"
