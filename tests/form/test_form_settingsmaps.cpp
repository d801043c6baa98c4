// The two settings maps against what the window must keep, row by row: each register's
// control shows the block's word of that register and has the Tag of its register, its
// write goes to register - 1, its settings-file line holds its value in the golden file
// under its label, and its export cell is the template's cell of that control; every
// word of each block is described once.
#include "CommandsTestKit.h"
#include "ExportTestKit.h"
#include "FormHarness.h"
#include "SettingsFileTestKit.h"
#include "mainform/HubSettingsMap.h"
#include "mainform/LinkSettingsMap.h"

#include <QtTest>

#include <map>

using namespace TestUi;
using CommandsTestKit::Written;
using SettingsMap::Load;
using SettingsMap::Text;

namespace {

// The first register of each write started since the last Clear() and its count.
std::vector<std::pair<int, int>> WrittenRanges(const ScriptedMbaxp &control)
{
    std::vector<std::pair<int, int>> out;
    for (const auto &start : control.Writes())
        out.emplace_back(start.definition.address + 1, static_cast<int>(start.words.size()));
    return out;
}

// One register of a map, a run's element k (from 1) on its own.
struct HubRegister {
    const HubSettingsMap::Row *row;
    int k;
    int Register() const { return row->rule == HubSettingsMap::Rule::RangePart ? row->reg + k - 1 : row->reg; }
    int Bit() const { return row->rule == HubSettingsMap::Rule::MaskBits ? k - 1 : -1; }
    QString Control() const { return row->Control(k); }
};

std::vector<HubRegister> HubRegisters()
{
    std::vector<HubRegister> out;
    for (const HubSettingsMap::Row &row : HubSettingsMap::Rows)
        for (int k = 1; k <= row.count; ++k)
            out.push_back({&row, k});
    return out;
}

// The export template's cells by place ("H17"), each with its control.
std::map<std::pair<int, int>, QString> TemplateCells()
{
    std::map<std::pair<int, int>, QString> cells;
    for (const ExportKit::Cell &cell : ExportKit::Cells())
        cells[ExportKit::RowColumn(cell.name)] = cell.control;
    return cells;
}

// The baud items' codes, as the groups offer them.
const std::vector<int> BaudItemCodes{3, 6, 12, 24, 48, 96, 192, 384};

// The text a settings-file line holds for a register's value, by what a load makes of it.
QString SavedForm(Load load, int value, int bit)
{
    switch (load) {
    case Load::Number:
    case Load::Item: return QString::number(value);
    case Load::Baud: return QString::number(std::find(BaudItemCodes.begin(), BaudItemCodes.end(), value) - BaudItemCodes.begin());
    case Load::LinkControl: return QString::number(value == 12321 ? 4 : value == 10 ? 3 : value);
    case Load::FixedIP: return value == 1 ? QStringLiteral("true") : QStringLiteral("false");
    case Load::RangeBit: return (static_cast<uint16_t>(value) >> bit) & 1 ? QStringLiteral("1") : QStringLiteral("0");
    case Load::None: break;
    }
    return {};
}

} // namespace

class TestFormSettingsMaps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void everyWordOnce();
    void hubRegisters_data();
    void hubRegisters();
    void linkRegisters_data();
    void linkRegisters();
    void exportCellsAreTheTemplates();
};

void TestFormSettingsMaps::everyWordOnce()
{
    // Words of each block that no row describes; none, for either block.
    const QList<int> notShownHub, notShownLink;

    std::map<int, int> hub;
    for (const HubRegister &r : HubRegisters())
        if (r.Bit() <= 0) // a mask's 16 boxes are one register
            ++hub[r.Register() - 100];
    QList<int> missing;
    for (int word = 0; word < 109; ++word) {
        QVERIFY2(hub[word] <= 1, qPrintable(QStringLiteral("hub word %1 described %2 times").arg(word).arg(hub[word])));
        if (hub[word] == 0)
            missing << word;
    }
    QCOMPARE(missing, notShownHub);
    QCOMPARE(int(hub.size()), 109); // and none beyond 4x208
    QCOMPARE(HubSettingsMap::Words, int16_t(109));

    std::map<int, int> link;
    for (const LinkSettingsMap::Row &row : LinkSettingsMap::Rows)
        ++link[row.reg - 1000];
    missing.clear();
    for (int word = 0; word < 9; ++word) {
        QVERIFY2(link[word] <= 1, qPrintable(QStringLiteral("link word %1 described twice").arg(word)));
        if (link[word] == 0)
            missing << word;
    }
    QCOMPARE(missing, notShownLink);
    QCOMPARE(int(link.size()), 9);
}

void TestFormSettingsMaps::hubRegisters_data()
{
    QTest::addColumn<int>("index");
    const auto registers = HubRegisters();
    for (size_t i = 0; i < registers.size(); ++i)
        QTest::newRow(qPrintable(QStringLiteral("4x%1 %2").arg(registers[i].Register()).arg(registers[i].Control()))) << int(i);
}

void TestFormSettingsMaps::hubRegisters()
{
    using HubSettingsMap::Rule;
    QFETCH(int, index);
    const HubRegister r = HubRegisters().at(static_cast<size_t>(index));
    const HubSettingsMap::Row &row = *r.row;
    const int reg = r.Register();
    const int word = reg - 100;
    FormHarness h;
    TForm1 &f = h.form();
    TControl *control = f.Find<TControl>(r.Control());

    // The Tag: the register's one-based number for the edits, "Use Fixed IP" and the
    // link-control groups; none for the other groups and the range boxes.
    const bool tagged = row.rule == Rule::AddressPart || row.rule == Rule::Edit || row.rule == Rule::RangePart ||
                        row.rule == Rule::FixedIP || row.rule == Rule::LinkControl;
    if (row.rule != Rule::Clock)
        QCOMPARE(control->Tag, tagged ? reg : 0);

    // The write the control makes goes to register - 1 of the hub.
    ClickTab(f, f.HubSettings->TabSheet1);
    f.Info_V4 = 6;
    h.control.Clear();
    QString expected;
    switch (row.rule) {
    case Rule::Clock: {
        Click(f.HubSettings->Btn_UpdateTime);
        const auto written = WrittenRanges(h.control);
        QCOMPARE(written.size(), size_t(1));
        QVERIFY(reg >= written[0].first && reg < written[0].first + written[0].second);
        break;
    }
    case Rule::AddressPart:
    case Rule::Edit:
    case Rule::RangePart:
        TypeAndLeave(static_cast<TEdit *>(control), QStringLiteral("42"), f.HubSettings->Btn_UpdateTime);
        expected = QStringLiteral("0:16:%1=42").arg(reg - 1);
        break;
    case Rule::FixedIP:
        Click(control);
        expected = QStringLiteral("0:16:%1=1").arg(reg - 1);
        break;
    case Rule::Item:
    case Rule::LinkControl:
        ClickItem(static_cast<TRadioGroup *>(control), 1);
        expected = QStringLiteral("0:16:%1=1").arg(reg - 1);
        break;
    case Rule::MaskBits:
        Click(control);
        expected = QStringLiteral("0:16:%1=%2").arg(reg - 1).arg(static_cast<int16_t>(1u << r.Bit()));
        break;
    }
    if (!expected.isEmpty())
        QCOMPARE(Written(h.control), QStringList{expected});

    // The decoder shows the block's word of the register in the control.
    std::vector<int16_t> block(109, 0);
    const std::vector<int16_t> clock{7, 3, 25, 14, 5, 9};
    std::copy(clock.begin(), clock.end(), block.begin());
    ClickTab(f, f.Overview->TabSheet8);
    switch (row.rule) {
    case Rule::Clock:
        // The word alone made impossible: the hub's date and time is not decoded.
        block[static_cast<size_t>(word)] = word == 2 ? -5000 : 99;
        h.control.DeliverOk(1, block);
        QCOMPARE(f.HubSettings->Label1->Caption(), QStringLiteral("Not Decoded"));
        break;
    case Rule::AddressPart:
    case Rule::Edit:
    case Rule::RangePart:
        block[static_cast<size_t>(word)] = static_cast<int16_t>(4000 + word);
        h.control.DeliverOk(1, block);
        QCOMPARE(static_cast<TEdit *>(control)->Text(), QString::number(4000 + word));
        break;
    case Rule::FixedIP:
        static_cast<TCheckBox *>(control)->SetChecked(false);
        block[static_cast<size_t>(word)] = 1;
        h.control.DeliverOk(1, block);
        QVERIFY(static_cast<TCheckBox *>(control)->Checked());
        break;
    case Rule::Item:
    case Rule::LinkControl:
        block[static_cast<size_t>(word)] = row.rule == Rule::Item ? 3 : 12321;
        h.control.DeliverOk(1, block);
        QCOMPARE(static_cast<TRadioGroup *>(control)->ItemIndex(), row.rule == Rule::Item ? 3 : 4);
        break;
    case Rule::MaskBits:
        block[static_cast<size_t>(word)] = static_cast<int16_t>(1u << r.Bit());
        h.control.DeliverOk(1, block);
        for (int k = 1; k <= row.count; ++k)
            QCOMPARE(f.Find<TCheckBox>(row.Control(k))->Checked(), k == r.k);
        break;
    }

    // Its line of the golden file holds the known state's value, under its label.
    const QStringList golden = SettingsFileKit::GoldenLines();
    const SettingsMap::FileLine &file = row.file;
    if (file.load == Load::None)
        return;
    const int line = file.line + (r.k - 1);
    const int value = SettingsFileKit::KnownHubBlock().at(static_cast<size_t>(word));
    QCOMPARE(golden.at(line), SavedForm(file.load, value, r.Bit()));
    if (file.label && r.k == 1)
        QCOMPARE(golden.at(line - 1), QString::fromLatin1(file.label));
}

void TestFormSettingsMaps::linkRegisters_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("index");
    for (int port = 1; port <= 4; ++port)
        for (size_t i = 0; i < std::size(LinkSettingsMap::Rows); ++i)
            QTest::newRow(qPrintable(QStringLiteral("%1:4x%2 %3")
                                         .arg(16 + port)
                                         .arg(LinkSettingsMap::Rows[i].reg)
                                         .arg(LinkSettingsMap::Rows[i].Control(port))))
                << port << int(i);
}

void TestFormSettingsMaps::linkRegisters()
{
    using LinkSettingsMap::Rule;
    QFETCH(int, port);
    QFETCH(int, index);
    const LinkSettingsMap::Row &row = LinkSettingsMap::Rows[index];
    const int unit = 16 + port;
    const int word = row.reg - 1000;
    FormHarness h;
    TForm1 &f = h.form();
    PortPage &page = *f.Ports[static_cast<size_t>(port - 1)];
    TControl *control = f.Find<TControl>(row.Control(port));
    QVERIFY(page.Sheet->Widget()->isAncestorOf(control->Widget()));

    // The Tag: the register's zero-based address for the edits, the unit for the others.
    const bool edit = row.rule == Rule::Shown || row.rule == Rule::Exit;
    QCOMPARE(control->Tag, edit ? row.reg - 1 : unit);

    // The write the control makes goes to register - 1 of the port's unit.
    ClickTab(f, page.Sheet);
    h.control.Clear();
    QString expected;
    switch (row.rule) {
    case Rule::Shown: break;
    case Rule::Exit:
        TypeAndLeave(static_cast<TEdit *>(control), QStringLiteral("7"), page.LinkSettings.Port);
        expected = QStringLiteral("0:%1:%2=7").arg(unit).arg(row.reg - 1);
        break;
    case Rule::Item:
        ClickItem(static_cast<TRadioGroup *>(control), 2);
        expected = QStringLiteral("0:%1:%2=2").arg(unit).arg(row.reg - 1);
        break;
    case Rule::Box:
        Click(control);
        expected = QStringLiteral("0:%1:%2=1").arg(unit).arg(row.reg - 1);
        break;
    case Rule::Baud:
        ClickItem(static_cast<TRadioGroup *>(control), 5);
        expected = QStringLiteral("0:%1:%2=96").arg(unit).arg(row.reg - 1);
        break;
    }
    QCOMPARE(Written(h.control), expected.isEmpty() ? QStringList{} : QStringList{expected});

    // The decoder shows the block's word of the register in the control.
    ClickTab(f, f.Overview->TabSheet8);
    std::vector<int16_t> block(9, 0);
    switch (row.rule) {
    case Rule::Shown:
    case Rule::Exit:
        block[static_cast<size_t>(word)] = static_cast<int16_t>(40 + word);
        h.control.DeliverOk(static_cast<int16_t>(16 + port), block);
        QCOMPARE(static_cast<TEdit *>(control)->Text(), QString::number(40 + word));
        break;
    case Rule::Item:
        block[static_cast<size_t>(word)] = 3;
        h.control.DeliverOk(static_cast<int16_t>(16 + port), block);
        QCOMPARE(static_cast<TRadioGroup *>(control)->ItemIndex(), 3);
        break;
    case Rule::Box:
        static_cast<TCheckBox *>(control)->SetChecked(false);
        block[static_cast<size_t>(word)] = 1;
        h.control.DeliverOk(static_cast<int16_t>(16 + port), block);
        QVERIFY(static_cast<TCheckBox *>(control)->Checked());
        break;
    case Rule::Baud:
        block[static_cast<size_t>(word)] = 192;
        h.control.DeliverOk(static_cast<int16_t>(16 + port), block);
        QCOMPARE(static_cast<TRadioGroup *>(control)->ItemIndex(), 6);
        break;
    }

    // Its line of the port's lines in the golden file holds the known state's value, under
    // its label.
    const SettingsMap::FileLine &file = row.file;
    if (file.load == Load::None)
        return;
    const QStringList golden = SettingsFileKit::GoldenLines();
    const int heading = 1 + 17 * (port - 1);
    QCOMPARE(golden.at(heading), QStringLiteral("***** Quorvane Port %1 *****").arg(port));
    const int value = SettingsFileKit::KnownLinkBlocks().at(static_cast<size_t>(port - 1)).at(static_cast<size_t>(word));
    QCOMPARE(golden.at(heading + file.line), SavedForm(file.load, value, 0));
    const char *label = port >= 3 && file.labelOnPorts3And4 ? file.labelOnPorts3And4 : file.label;
    QVERIFY(label);
    QCOMPARE(golden.at(heading + file.line - 1), QString::fromLatin1(label));
}

void TestFormSettingsMaps::exportCellsAreTheTemplates()
{
    // The cells the maps place, with the export's own two (the date and time, the
    // identification text), are the template's cells, each with its control.
    std::map<std::pair<int, int>, QString> placed{{{13, 31}, QString()}, {{19, 26}, QStringLiteral("Edit15")}};
    const auto place = [&](int row, int column, const QString &control) {
        QVERIFY2(placed.emplace(std::pair{row, column}, control).second,
                 qPrintable(QStringLiteral("row %1 column %2 placed twice").arg(row).arg(column)));
    };
    for (const HubSettingsMap::Row &row : HubSettingsMap::Rows) {
        const SettingsMap::ExportCell &c = row.cell;
        if (c.text != Text::None)
            for (int i = 0; i < row.count; ++i)
                place(c.row + i / c.perRow, c.column + (i % c.perRow) * c.columnStep, row.Control(i + 1));
    }
    for (int port = 1; port <= 4; ++port)
        for (const LinkSettingsMap::Row &row : LinkSettingsMap::Rows)
            if (row.cell.text != Text::None)
                place(28 + 10 * (port - 1) + row.cell.row, row.cell.column, row.Control(port));
    QCOMPARE(placed, TemplateCells());
}

QTEST_MAIN(TestFormSettingsMaps)
#include "test_form_settingsmaps.moc"
