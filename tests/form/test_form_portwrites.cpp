// What every per-port control of the port pages sends, on a scripted control, on each of
// the four pages: the link-setting edits left with a new value, the link-setting groups
// and box clicked, the counter labels clicked, the command and clearing buttons, and the
// group-data box. Some of them have a handler of their own on each page, others share one
// that takes the unit from the control's Tag or the page's link from the button's; either
// way, what a page's control sends must reach that page's link unit (17 to 20), at the
// control's register and with its value.
#include "CommandsTestKit.h"

using namespace TestUi;
using namespace StartersTestKit;
using namespace CommandsTestKit;
using namespace RegisterMap;

namespace {

// The starter selected on a port page before its control is used.
int Address(int port) { return 40 + port; }

// The item the group-data combo box of every page shows before its control is used (set
// as the program sets it, which sends nothing).
constexpr int ChosenGroupItem = 7;

// Uses a control as the operator does: an edit gets the focus, is typed into and left
// for the page's port number edit; a radio group's item (input) or a combo box's item
// (input) is picked; anything else is clicked. Every question is answered Yes.
void Operate(FormHarness &h, int port, const QString &name, const QString &input)
{
    TForm1 &f = h.form();
    h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    TComponent *component = f.FindComponent(name);
    QVERIFY2(component, qPrintable(name));
    if (auto *edit = dynamic_cast<TEdit *>(component))
        TypeAndLeave(edit, input, Port(f, port).LinkSettings.Port);
    else if (auto *group = dynamic_cast<TRadioGroup *>(component))
        ClickItem(group, input.toInt());
    else if (auto *combo = dynamic_cast<TComboBox *>(component))
        Pick(combo, input.toInt());
    else
        Click(static_cast<TControl *>(component));
}

} // namespace

class TestFormPortWrites : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void eachPageSendsToItsOwnLink_data();
    void eachPageSendsToItsOwnLink();
};

void TestFormPortWrites::eachPageSendsToItsOwnLink_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("input"); // typed text, or the item picked
    QTest::addColumn<QStringList>("sent");

    // The command and clearing buttons on ports 1 to 4: what each writes from which
    // register (zero-based), that of the selected starter's address 0 where `perStarter`.
    struct Button {
        const char *what;
        int numbers[4];
        int firstRegister;
        bool perStarter;
        QString values;
    };
    const Button buttons[] = {
        {"Open", {9, 12, 15, 18}, 1999, true, "0"},
        {"Close A", {10, 13, 16, 19}, 1999, true, "1"},
        {"Close B", {11, 14, 17, 20}, 1999, true, "2"},
        {"No Action", {21, 32, 29, 35}, 1999, true, "3"},
        {"Reset Thermal", {27, 33, 30, 36}, 1999, true, "5"},
        {"Reset Under", {28, 34, 31, 37}, 1999, true, "6"},
        {"QVType Data", {24, 45, 48, 51}, 5999, false, Zeros(100)},
        {"Config Data", {39, 46, 49, 52}, 4999, true, Zeros(120)},
    };

    for (int port = 1; port <= 4; ++port) {
        const int unit = 16 + port;
        const int a = Address(port);
        const auto row = [&](const QString &what, const QString &control, const QString &input, const QStringList &sent) {
            QTest::addRow("port %d, %s", port, qPrintable(what)) << port << control << input << sent;
        };
        const auto write = [unit](int address, const QString &values) {
            return QStringLiteral("0:%1:%2=%3").arg(unit).arg(address).arg(values);
        };
        const QString n = QString::number(port);

        // "Connector n Parameters": the four edits (each field's value is out of range for
        // the fields with a lower maximum), the three groups and the box.
        row("link number exit", "QVL" + n + "Link", "7", {write(1000, "7")});
        row("first address exit", "QVL" + n + "First", "23", {write(1002, "23")});
        row("last address exit", "QVL" + n + "Last", "45", {write(1003, "45")});
        row("no-reply limit exit", "QVL" + n + "Noreply", "200", {write(1005, "200")});
        row("baud rate 19200", "QVL" + n + "Baud", "6", {write(1001, "192")});
        row("config conflict action", "QVL" + n + "ConfigConflict", "3", {write(1004, "3")});
        row("input data content", "QVL" + n + "InputDataSize", "2", {write(1007, "2")});
        row("fast command broadcast", "QVL" + n + "FastBroad", "", {write(1006, "1")});

        // "Link Information": the counters a click resets.
        row("CRC errors reset", "CRCError" + n, "", {write(1103, "0")});
        row("time-outs reset", "Timeouts" + n, "", {write(1105, "0")});
        row("average scan time reset", "AverageScan" + n, "", {write(1109, "0")});
        row("maximum scan time reset", "MaxScan" + n, "", {write(1110, "0")});
        row("transmission count reset", "TransCount" + n, "", {write(1101, "0,0")});

        // Commands into the selected starter's command word; the clearings of the link's
        // starter types and of the selected starter's configuration window.
        for (const Button &b : buttons) {
            const QString control = QStringLiteral("Button%1").arg(b.numbers[port - 1]);
            const QString what = QStringLiteral("%1 (%2)").arg(QString::fromLatin1(b.what), control);
            row(what, control, "", {write(b.firstRegister + (b.perStarter ? a : 0), b.values)});
        }

        // "Single Data": the request (handle 5) and, once it is written, the read of the reply
        // (handle 6), both from this page's unit.
        const QString read = QStringLiteral("6:%1:1302 read 17").arg(unit);
        row("group item picked", "ComboBox" + n, "4", {QStringLiteral("5:%1:1302=%2,4").arg(unit).arg(a), read});
        row("group data refresh", "BitBtn" + n, "",
            {QStringLiteral("5:%1:1302=%2,%3").arg(unit).arg(a).arg(ChosenGroupItem), read});
    }
}

void TestFormPortWrites::eachPageSendsToItsOwnLink()
{
    QFETCH(int, port);
    QFETCH(QString, control);
    QFETCH(QString, input);
    QFETCH(QStringList, sent);
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ShowAndClickRow(f, port, Address(port) + 1);
    QVERIFY(f.PortTab);
    Port(f, port).SingleData.ComboBox->SetItemIndex(ChosenGroupItem);
    h.control.Clear();

    Operate(h, port, control, input);
    // Each write completes, as the control reports it.
    const std::vector<ScriptedMbaxp::Start> writes = h.control.Writes();
    for (const ScriptedMbaxp::Start &w : writes)
        h.control.DeliverOk(w.handle);
    QCOMPARE(Started(h.control), sent);
    QVERIFY(!f.Comms->Label93->Visible());
}

QTEST_MAIN(TestFormPortWrites)
#include "test_form_portwrites.moc"
