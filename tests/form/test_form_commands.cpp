// The commands to the selected starter and the command password, on a scripted control:
// the buttons of the four port pages, the code and priority written into the starter's
// command word, the questions before closing a contactor, the log lines, the guard that
// keeps a command on its own link, and "Allow Commands".
#include "CommandsTestKit.h"

using namespace TestUi;
using namespace StartersTestKit;
using namespace CommandsTestKit;

namespace {

// The six commands as a test names them, in the order of the group.
enum Cmd { Open, CloseA, CloseB, NoAction, ResetThermal, ResetUnder };

TButton *CommandButton(TForm1 &f, int port, int command)
{
    const CommandsGroup &g = Port(f, port).Commands;
    TButton *const buttons[] = {g.Open, g.CloseA, g.CloseB, g.NoAction, g.ResetThermal, g.ResetUnder};
    return buttons[command];
}

// The eight groups the password shows.
std::vector<TGroupBox *> Guarded(TForm1 &f)
{
    std::vector<TGroupBox *> groups;
    for (int port = 1; port <= 4; ++port) {
        groups.push_back(Port(f, port).Commands.Box);
        groups.push_back(Port(f, port).ClearItems.Box);
    }
    return groups;
}

bool AllShown(TForm1 &f, bool shown)
{
    for (TGroupBox *g : Guarded(f))
        if (g->Visible() != shown)
            return false;
    return true;
}

} // namespace

class TestFormCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void atCreation();
    void commandWrites_data();
    void commandWrites();
    void closeAnsweredNoSendsNothing_data();
    void closeAnsweredNoSendsNothing();
    void priorityOfOnePortOnly();
    void commandFollowsThePageShown();
    void commandNeverReachesAnotherLink();
    void commandAddressEdges_data();
    void commandAddressEdges();
    void password_data();
    void password();
    void untickingNeverAsks();
};

void TestFormCommands::atCreation()
{
    FormHarness h;
    TForm1 &f = h.form();
    const int numbers[4][6] = {{9, 10, 11, 21, 27, 28}, {12, 13, 14, 32, 33, 34}, {15, 16, 17, 29, 30, 31}, {18, 19, 20, 35, 36, 37}};
    const QStringList captions{"Open", "Close A", "Close B", "No Action", "Reset Thermal", "Reset Under"};
    for (int port = 1; port <= 4; ++port) {
        const CommandsGroup &g = Port(f, port).Commands;
        QCOMPARE(g.Box->Name(), QStringLiteral("GroupBox%1").arg(17 + port));
        QCOMPARE(g.Box->Caption(), QStringLiteral("Commands"));
        QVERIFY(!g.Box->Visible());
        for (int c = Open; c <= ResetUnder; ++c) {
            TButton *b = CommandButton(f, port, c);
            QCOMPARE(b->Name(), QStringLiteral("Button%1").arg(numbers[port - 1][c]));
            QCOMPARE(b->Caption(), captions[c]);
            QCOMPARE(b->Tag, port - 1);
            QCOMPARE(b->Parent(), g.Box);
        }
        QCOMPARE(g.PriorityCommand->Name(), QStringLiteral("PriorityCommandL%1").arg(port));
        QCOMPARE(g.PriorityCommand->Caption(), QStringLiteral("Use Priority"));
        QVERIFY(!g.PriorityCommand->Checked());
    }
    QCOMPARE(f.Comms->AllowCommands->Name(), QStringLiteral("AllowCommands"));
    QCOMPARE(f.Comms->AllowCommands->Caption(), QStringLiteral("Allow Commands"));
    QCOMPARE(f.Comms->AllowCommands->Parent(), f.Comms->TabSheet7);
    QVERIFY(!f.Comms->AllowCommands->Checked());
    QVERIFY(AllShown(f, false));
}

void TestFormCommands::commandWrites_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("row"); // grid row clicked on that port's page; 0: none
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("priority");
    QTest::addColumn<QString>("write");
    QTest::addColumn<QString>("log");

    // Before any click on the port's grid the address is 0.
    QTest::newRow("open, port 1, no click") << 1 << 0 << int(Open) << false << "0:17:1999=0" << "Send Open Command: 0 To: 17 : 2000";
    QTest::newRow("no action, port 4, no click") << 4 << 0 << int(NoAction) << false << "0:20:1999=3"
                                                 << "Send No Action Command: 3 To: 20 : 2000";
    QTest::newRow("open with priority, address 5") << 1 << 6 << int(Open) << true << "0:17:2004=8" << "Send Open Command: 8 To: 17 : 2005";
    QTest::newRow("close A, port 2") << 2 << 1 << int(CloseA) << false << "0:18:1999=1" << "Send Start A Command: 1 To: 18 : 2000";
    QTest::newRow("close A with priority") << 2 << 50 << int(CloseA) << true << "0:18:2048=9" << "Send Start A Command: 9 To: 18 : 2049";
    QTest::newRow("close B, port 3, address 99") << 3 << 100 << int(CloseB) << false << "0:19:2098=2"
                                                 << "Send Start B Command: 2 To: 19 : 2099";
    QTest::newRow("close B with priority") << 3 << 100 << int(CloseB) << true << "0:19:2098=10" << "Send Start B Command: 10 To: 19 : 2099";
    QTest::newRow("no action with priority") << 2 << 8 << int(NoAction) << true << "0:18:2006=11" << "Send No Action Command: 11 To: 18 : 2007";
    QTest::newRow("reset thermal") << 4 << 3 << int(ResetThermal) << false << "0:20:2001=5" << "Send Reset Thermal Command: 5 To: 20 : 2002";
    QTest::newRow("reset thermal with priority") << 1 << 3 << int(ResetThermal) << true << "0:17:2001=13"
                                                 << "Send Reset Thermal Command: 13 To: 17 : 2002";
    QTest::newRow("reset under") << 3 << 2 << int(ResetUnder) << false << "0:19:2000=6"
                                 << "Send Under Current Reset Command: 6 To: 19 : 2001";
    QTest::newRow("reset under with priority, port 4") << 4 << 21 << int(ResetUnder) << true << "0:20:2019=14"
                                                       << "Send Under Current Reset Command: 14 To: 20 : 2020";
}

void TestFormCommands::commandWrites()
{
    QFETCH(int, port);
    QFETCH(int, row);
    QFETCH(int, command);
    QFETCH(bool, priority);
    QFETCH(QString, write);
    QFETCH(QString, log);
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ClickTab(f, Port(f, port).Sheet);
    if (row > 0)
        ClickRow(f, port, row);
    if (priority)
        Click(Port(f, port).Commands.PriorityCommand);
    h.dialogs.messageAnswers.push_back(TModalResult::mrYes);
    h.dialogs.shown.clear();
    h.control.Clear();
    const qsizetype logged = TestEnvironment::LogTexts(f).size();

    Click(CommandButton(f, port, command));
    QCOMPARE(Written(h.control), QStringList{write});
    QCOMPARE(h.control.Writes().front().definition.kind, ScriptedMbaxp::Kind::WriteSingle);
    QCOMPARE(h.control.Writes().front().definition.rate, 1000);
    QCOMPARE(LogSince(f, logged), QStringList{log});

    // Only the two close commands ask, with a warning.
    const bool close = command == CloseA || command == CloseB;
    QCOMPARE(h.dialogs.shown.size(), size_t(close ? 1 : 0));
    if (close) {
        const auto &box = h.dialogs.shown.front();
        QCOMPARE(box.text, command == CloseA ? QStringLiteral("This will send a close contactor A command to the Quorvane, are you sure?")
                                             : QStringLiteral("This will send a close contactor B command to the Quorvane, are you sure?"));
        QCOMPARE(box.type, TMsgDlgType::mtWarning);
        QCOMPARE(box.buttons, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo);
    }
}

void TestFormCommands::closeAnsweredNoSendsNothing_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("answer");
    QTest::newRow("close A, No") << int(CloseA) << TModalResult::mrNo;
    QTest::newRow("close B, No") << int(CloseB) << TModalResult::mrNo;
    QTest::newRow("close B, box closed") << int(CloseB) << TModalResult::mrCancel;
}

void TestFormCommands::closeAnsweredNoSendsNothing()
{
    QFETCH(int, command);
    QFETCH(int, answer);
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ShowAndClickRow(f, 3, 100);
    h.dialogs.messageAnswers.push_back(answer);
    h.control.Clear();
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Click(CommandButton(f, 3, command));
    QCOMPARE(h.dialogs.shown.back().what, ScriptedDialogs::Shown::What::Message);
    QVERIFY(h.control.Writes().empty());
    QCOMPARE(LogSince(f, logged), QStringList{});
}

void TestFormCommands::priorityOfOnePortOnly()
{
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ClickTab(f, Port(f, 2).Sheet);
    Click(Port(f, 2).Commands.PriorityCommand);
    QStringList written;
    for (int port = 1; port <= 4; ++port) {
        ClickTab(f, Port(f, port).Sheet);
        h.control.Clear();
        Click(CommandButton(f, port, ResetThermal));
        written << Written(h.control);
    }
    QCOMPARE(written, (QStringList{"0:17:1999=5", "0:18:1999=13", "0:19:1999=5", "0:20:1999=5"}));
}

void TestFormCommands::commandFollowsThePageShown()
{
    // A click on address 7 of port 1, then "No Action" on port 2, whose grid has not been
    // clicked: address 0 of unit 18.
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ShowAndClickRow(f, 1, 8);
    QCOMPARE(f.ActiveQuorvane, int16_t(7));
    ClickTab(f, Port(f, 2).Sheet);
    h.control.Clear();
    Click(CommandButton(f, 2, NoAction));
    QCOMPARE(Written(h.control), QStringList{"0:18:1999=3"});
    // Back on port 1, its own selection is used again.
    ClickTab(f, Port(f, 1).Sheet);
    h.control.Clear();
    Click(CommandButton(f, 1, NoAction));
    QCOMPARE(Written(h.control), QStringList{"0:17:2006=3"});
}

void TestFormCommands::commandNeverReachesAnotherLink()
{
    // Should a page ever show while the selection belongs to another link (the program
    // shows pages without the page handling), a command goes nowhere and asks nothing.
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ClickTab(f, Port(f, 3).Sheet);
    ClickRow(f, 3, 8); // ActiveQuorvane 207
    for (int port : {1, 2, 4}) {
        f.Frame->PageControl1->SetActivePage(Port(f, port).Sheet);
        for (int command = Open; command <= ResetUnder; ++command) {
            h.control.Clear();
            h.dialogs.shown.clear();
            const qsizetype logged = TestEnvironment::LogTexts(f).size();
            Click(CommandButton(f, port, command));
            QVERIFY(h.control.calls.isEmpty());
            QVERIFY(h.dialogs.shown.empty());
            QCOMPARE(LogSince(f, logged), QStringList{});
        }
    }
    QVERIFY(!f.Comms->Label93->Visible());
}

void TestFormCommands::commandAddressEdges_data()
{
    // Port 2's page shown without its page handling after a click on a row of port 1, 2
    // or 3: the address on link 2 is the selection less 100, and only 0 to 99 are sent.
    QTest::addColumn<int>("clickedPort");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("write"); // empty: refused
    QTest::newRow("-1: address 99 of port 1") << 1 << 100 << -1 << "";
    QTest::newRow("0") << 2 << 1 << 0 << "0:18:1999=3";
    QTest::newRow("99") << 2 << 100 << 99 << "0:18:2098=3";
    QTest::newRow("100: address 0 of port 3") << 3 << 1 << 100 << "";
}

void TestFormCommands::commandAddressEdges()
{
    QFETCH(int, clickedPort);
    QFETCH(int, row);
    QFETCH(int, address);
    QFETCH(QString, write);
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    ShowAndClickRow(f, clickedPort, row);
    f.Frame->PageControl1->SetActivePage(Port(f, 2).Sheet);
    QCOMPARE(f.ActiveQuorvane - 100, address);
    h.control.Clear();
    const qsizetype logged = TestEnvironment::LogTexts(f).size();
    Click(CommandButton(f, 2, NoAction));
    QCOMPARE(Written(h.control), write.isEmpty() ? QStringList{} : QStringList{write});
    QCOMPARE(LogSince(f, logged).size(), write.isEmpty() ? 0 : 1);
}

void TestFormCommands::password_data()
{
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("right") << std::optional<QString>(QStringLiteral("VirezaRAR")) << true;
    QTest::newRow("other letter case") << std::optional<QString>(QStringLiteral("virezarar")) << false;
    QTest::newRow("trailing space") << std::optional<QString>(QStringLiteral("VirezaRAR ")) << false;
    QTest::newRow("leading space") << std::optional<QString>(QStringLiteral(" VirezaRAR")) << false;
    QTest::newRow("empty") << std::optional<QString>(QString()) << false;
    QTest::newRow("the initial text") << std::optional<QString>(QStringLiteral("None")) << false;
    QTest::newRow("cancelled") << std::optional<QString>() << false;
}

void TestFormCommands::password()
{
    QFETCH(std::optional<QString>, answer);
    QFETCH(bool, allowed);
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h, answer);
    QCOMPARE(h.dialogs.shown.size(), size_t(1));
    const auto &box = h.dialogs.shown.front();
    QCOMPARE(box.what, ScriptedDialogs::Shown::What::Input);
    QCOMPARE(box.caption, QStringLiteral("Enter Password"));
    QCOMPARE(box.text, QStringLiteral("Please enter your password to proceed"));
    QCOMPARE(box.initial, QStringLiteral("None"));
    QCOMPARE(f.Comms->AllowCommands->Checked(), allowed);
    QVERIFY(AllShown(f, allowed));
    // The progress labels stay hidden until the first "All Config".
    for (int port = 1; port <= 4; ++port)
        QVERIFY(!Port(f, port).ClearItems.Progress->Visible());
}

void TestFormCommands::untickingNeverAsks()
{
    FormHarness h;
    TForm1 &f = h.form();
    GivePassword(h);
    QVERIFY(AllShown(f, true));
    h.dialogs.shown.clear();
    Click(f.Comms->AllowCommands);
    FormHarness::ProcessEvents();
    QVERIFY(!f.Comms->AllowCommands->Checked());
    QVERIFY(h.dialogs.shown.empty());
    QVERIFY(AllShown(f, false));
    // Ticked again, it asks again.
    GivePassword(h, QStringLiteral("wrong"));
    QCOMPARE(h.dialogs.shown.size(), size_t(1));
    QVERIFY(!f.Comms->AllowCommands->Checked());
    QVERIFY(AllShown(f, false));
}

QTEST_MAIN(TestFormCommands)
#include "test_form_commands.moc"
