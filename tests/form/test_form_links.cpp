// The links' settings and statistics on the port pages, on a scripted control: decoding,
// what decoded values write back, the click and exit writes, the statistics captions
// and the counter resets.
#include "FormHarness.h"
#include "utilities/Exceptions.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using namespace TestUi;

namespace {

int16_t W(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

// A settings block (words 0 to 8) that differs from the decoded values of every table
// below: port 1, link 1, 19200 baud, addresses 0 to 9, "Unit master", 10, broadcast
// off, "1 Status register (Short)".
std::vector<int16_t> SettingsBlock() { return {1, 1, 192, 0, 9, 1, 10, 0, 1}; }

// The writes started since the last Clear(), as "unit:address=v1,v2".
QStringList Written(const ScriptedMbaxp &control)
{
    QStringList out;
    for (const auto &start : control.Writes()) {
        QStringList words;
        for (int16_t w : start.words)
            words << QString::number(w);
        out << QStringLiteral("%1:%2=%3").arg(start.definition.slave).arg(start.definition.address).arg(words.join(','));
    }
    return out;
}

// The operator log's texts from line `from` on.
QStringList LogSince(const TForm1 &form, qsizetype from) { return TestEnvironment::LogTexts(form).mid(from); }

} // namespace

class TestFormLinks : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void controlsAtCreation();
    void decodedSettingsOnEachPage();
    void decodedSelections_data();
    void decodedSelections();
    void decodedChangesOnTheOverviewWriteNothing();
    void writeBackOrder();
    void focusedEditKeepsTypedText();
    void failingInputDataSelectionClears();
    void shortReadKeepsLaterWords_data();
    void shortReadKeepsLaterWords();
    void operatorClicks();
    void exitFamily_data();
    void exitFamily();
    void exitOutsidePortPages();
    void pageJumpWhileTypingRunsNoExit_data();
    void pageJumpWhileTypingRunsNoExit();
    void baudCode();
    void statistics_data();
    void statistics();
    void configurationStatusTexts_data();
    void configurationStatusTexts();
    void statusWithoutText();
    void expectedCountOverflow();
    void resets_data();
    void resets();
};

void TestFormLinks::controlsAtCreation()
{
    FormHarness h;
    TForm1 &f = h.form();
    for (int n = 1; n <= 4; ++n) {
        const QString p = QStringLiteral("QVL%1").arg(n);
        LinkSettingsGroup &g = f.Ports[static_cast<size_t>(n - 1)]->LinkSettings;
        QCOMPARE(g.Box->Caption(), QStringLiteral("Connector %1 Parameters").arg(n));
        // Name, Tag and typing limit of each edit; all read "1".
        const struct {
            TEdit *edit;
            const char *suffix;
            int tag;
            bool limited;
        } edits[] = {{g.Port, "Port", 999, false}, {g.Link, "Link", 1000, true}, {g.First, "First", 1002, true},
                     {g.Last, "Last", 1003, true}, {g.Noreply, "Noreply", 1005, false}};
        for (const auto &e : edits) {
            QCOMPARE(f.Find<TEdit>(p + e.suffix), e.edit);
            QCOMPARE(e.edit->Tag, e.tag);
            QCOMPARE(e.edit->Text(), QStringLiteral("1"));
            QCOMPARE(e.edit->LineEdit()->validator() != nullptr, e.limited);
        }
        QVERIFY(g.Port->ReadOnly());
        QCOMPARE(g.Port->LineEdit()->palette().color(QPalette::Base), QColor(192, 192, 192));
        QCOMPARE(f.Find<TCheckBox>(p + "FastBroad"), g.FastBroad);
        QCOMPARE(g.FastBroad->Caption(), QStringLiteral("Fast Command Broadcast"));
        QVERIFY(!g.FastBroad->Checked());
        QCOMPARE(g.FastBroad->Tag, 16 + n);
        QCOMPARE(f.Find<TRadioGroup>(p + "InputDataSize"), g.InputDataSize);
        QCOMPARE(g.ConfigConflict->Caption(), QStringLiteral("Config Conflict Action"));
        QCOMPARE(g.ConfigConflict->Items(), (QStringList{"No master", "Unit master", "Host master", "Host Read Only", "Maintenance"}));
        QCOMPARE(g.Baud->Caption(), QStringLiteral("Baud Rate"));
        QCOMPARE(g.Baud->Items(), (QStringList{"300", "600", "1200", "2400", "4800", "9600", "19200", "38400"}));
        QCOMPARE(g.InputDataSize->Caption(), QStringLiteral("Quorvane input data content"));
        QCOMPARE(g.InputDataSize->Items(), (QStringList{"2 Status registers (Normal)", "1 Status register (Short)",
                                                        "3 Status registers (Long)", "8 Status Registers (inc G10)"}));
        for (TRadioGroup *group : {g.ConfigConflict, g.Baud, g.InputDataSize}) {
            QCOMPARE(group->ItemIndex(), -1);
            QCOMPARE(group->Tag, 16 + n);
        }

        // "Link Information": captions, colours, Tags and the resettable labels' hint.
        LinkInfoGroup &i = f.Ports[static_cast<size_t>(n - 1)]->LinkInfo;
        QCOMPARE(i.Box->Caption(), QStringLiteral("Link Information"));
        const struct {
            TLabel *label;
            const char *stem, *caption;
            QColor colour;
            int tag;
        } labels[] = {
            {i.LinkConfigStatus, "LinkConfigStatus", "Link Configuration Status:", QColor(0, 0, 128), 0},
            {i.TransCount, "TransCount", "Transmission Count:", QColor(128, 0, 128), 1102},
            {i.CRCError, "CRCError", "CRC Errors:", QColor(0, 0, 255), 1104},
            {i.Timeouts, "Timeouts", "Timeouts:", QColor(128, 0, 128), 1106},
            {i.Responds, "Responds", "Units Responding:", QColor(0, 0, 255), 0},
            {i.LastScan, "LastScan", "Last Scan Time (ms):", QColor(0, 0, 255), 0},
            {i.AverageScan, "AverageScan", "Average Scan Time (ms):", QColor(0, 0, 255), 1110},
            {i.MaxScan, "MaxScan", "Maximum Scan Time (ms):", QColor(0, 0, 255), 1111},
        };
        for (const auto &l : labels) {
            QCOMPARE(f.Find<TLabel>(QString::fromLatin1(l.stem) + QString::number(n)), l.label);
            QCOMPARE(l.label->Caption(), QString::fromLatin1(l.caption));
            QCOMPARE(l.label->FontColor(), l.colour);
            QCOMPARE(l.label->Tag, l.tag);
            const bool resets = l.tag != 0;
            QCOMPARE(l.label->Hint(), resets ? QStringLiteral("Click to reset to zero") : QString());
            QCOMPARE(l.label->Widget()->cursor().shape(), resets ? Qt::PointingHandCursor : Qt::ArrowCursor);
        }
        QVERIFY(i.LinkConfigStatus->Label()->wordWrap());
        QCOMPARE(i.LinkConfigStatus->Widget()->minimumSize(), i.LinkConfigStatus->Widget()->maximumSize());
    }
}

void TestFormLinks::decodedSettingsOnEachPage()
{
    // Handles 17 to 20 reach the decoder of links 1 to 4; each decodes onto its own page.
    FormHarness h;
    TForm1 &f = h.form();
    for (int l = 0; l < 4; ++l) {
        const std::vector<int16_t> block{W(7 + l), W(l), 384, W(10 + l), W(150 + l), 2, W(-5 - l), 3, 3};
        h.control.DeliverOk(static_cast<int16_t>(17 + l), block);
        const std::array<int16_t, 10> elements{W(7 + l), W(l), 384, W(10 + l), W(150 + l), 0, 2, W(-5 - l), 3, 3};
        QCOMPARE(f.QVLinkSettings[static_cast<size_t>(l)], elements);
        LinkSettingsGroup &g = f.Ports[static_cast<size_t>(l)]->LinkSettings;
        QCOMPARE(g.Port->Text(), QString::number(7 + l));
        QCOMPARE(g.Link->Text(), QString::number(l));
        QCOMPARE(g.First->Text(), QString::number(10 + l));
        QCOMPARE(g.Last->Text(), QString::number(150 + l)); // longer than the typing limit
        QCOMPARE(g.Noreply->Text(), QString::number(-5 - l));
        QCOMPARE(g.ConfigConflict->ItemIndex(), 2);
        QVERIFY(g.FastBroad->Checked());
        QCOMPARE(g.InputDataSize->ItemIndex(), 3);
        QCOMPARE(g.Baud->ItemIndex(), 7);
        for (int other = l + 1; other < 4; ++other)
            QCOMPARE(f.Ports[static_cast<size_t>(other)]->LinkSettings.Port->Text(), QStringLiteral("1"));
    }
}

void TestFormLinks::decodedSelections_data()
{
    // One word of link 2's block changes while port page 1 is shown: the gate is that a
    // port page is shown, not this link's page. What it shows, and what is written back
    // to unit 18 (nothing when the shown value would write another value).
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("shown"); // item index, or 1/0 for the check box
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("logged");
    const auto none = QStringList{};
    QTest::newRow("conflict 3") << 5 << 3 << 3 << QStringList{"18:1004=3"}
                                << QStringList{"Config conflict setting written to VKH Station Address: 18 Val: 3"};
    QTest::newRow("conflict 0") << 5 << 0 << 0 << QStringList{"18:1004=0"}
                                << QStringList{"Config conflict setting written to VKH Station Address: 18 Val: 0"};
    QTest::newRow("conflict 4") << 5 << 4 << 4 << QStringList{"18:1004=4"}
                                << QStringList{"Config conflict setting written to VKH Station Address: 18 Val: 4"};
    QTest::newRow("conflict 7: Maintenance") << 5 << 7 << 4 << none << none;
    QTest::newRow("conflict -1: cleared") << 5 << -1 << -1 << none << none;
    QTest::newRow("broadcast 1") << 7 << 1 << 1 << QStringList{"18:1006=1"}
                                 << QStringList{"Fast Broadcast setting written to VKH Station Address: 18 Val: 1"};
    QTest::newRow("broadcast 5") << 7 << 5 << 1 << none << none;
    QTest::newRow("broadcast -1") << 7 << -1 << 1 << none << none;
    QTest::newRow("input data 0") << 8 << 0 << 0 << QStringList{"18:1007=0"}
                                  << QStringList{"Input data size written to VKH Station Address: 18 Val: 0"};
    QTest::newRow("input data 3") << 8 << 3 << 3 << QStringList{"18:1007=3"}
                                  << QStringList{"Input data size written to VKH Station Address: 18 Val: 3"};
    QTest::newRow("input data 4: last item") << 8 << 4 << 3 << none << none;
    QTest::newRow("input data -3: cleared") << 8 << -3 << -1 << none << none;
    QTest::newRow("baud 96") << 2 << 96 << 5 << QStringList{"18:1001=96"}
                             << QStringList{"Baud rate written to VKH Station Address: 18 Val: 96"};
    QTest::newRow("baud 48") << 2 << 48 << 4 << QStringList{"18:1001=48"}
                             << QStringList{"Baud rate written to VKH Station Address: 18 Val: 48"};
    QTest::newRow("baud 3") << 2 << 3 << 0 << QStringList{"18:1001=3"}
                            << QStringList{"Baud rate written to VKH Station Address: 18 Val: 3"};
    QTest::newRow("baud 384") << 2 << 384 << 7 << QStringList{"18:1001=384"}
                              << QStringList{"Baud rate written to VKH Station Address: 18 Val: 384"};
    // A code that none of the eight items shows clears the selection: no other rate is
    // shown, and nothing is written.
    for (int code : {0, 576, 1152, 1280, -1, 4800, 95})
        QTest::newRow(qPrintable(QStringLiteral("baud %1: no item").arg(code))) << 2 << code << -1 << none << none;
}

void TestFormLinks::decodedSelections()
{
    QFETCH(int, word);
    QFETCH(int, value);
    QFETCH(int, shown);
    QFETCH(QStringList, written);
    QFETCH(QStringList, logged);
    FormHarness h;
    TForm1 &f = h.form();
    LinkSettingsGroup &g = f.Ports[1]->LinkSettings;
    h.control.DeliverOk(18, SettingsBlock());
    ClickTab(f, f.Ports[0]->Sheet);
    QVERIFY(f.PortTab);
    h.control.Clear();
    const auto mark = TestEnvironment::LogTexts(f).size();

    auto block = SettingsBlock();
    block[static_cast<size_t>(word)] = W(value);
    h.control.DeliverOk(18, block);
    const int actual = word == 7 ? int(g.FastBroad->Checked()) : word == 5 ? g.ConfigConflict->ItemIndex()
                                                                 : word == 8 ? g.InputDataSize->ItemIndex()
                                                                             : g.Baud->ItemIndex();
    QCOMPARE(actual, shown);
    QCOMPARE(Written(h.control), written);
    QCOMPARE(LogSince(f, mark), logged);
    QCOMPARE(f.QVLinkSettings[1][static_cast<size_t>(word < 5 ? word : word + 1)], W(value));

    // The same value again shows what is already shown: nothing runs.
    h.control.Clear();
    h.control.DeliverOk(18, block);
    QCOMPARE(Written(h.control), QStringList{});
    // The groups' handlers are in place again after a value that was not written back.
    ClickTab(f, f.Ports[1]->Sheet);
    if (word != 7) {
        TRadioGroup *group = word == 5 ? g.ConfigConflict : word == 8 ? g.InputDataSize : g.Baud;
        ClickItem(group, 1);
        QCOMPARE(Written(h.control).size(), qsizetype(1));
    }
}

void TestFormLinks::decodedChangesOnTheOverviewWriteNothing()
{
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, f.Ports[2]->Sheet);
    ClickTab(f, f.Overview->TabSheet8);
    QVERIFY(!f.PortTab);
    h.control.Clear();
    h.control.DeliverOk(19, {3, 3, 96, 0, 9, 2, 10, 1, 2});
    LinkSettingsGroup &g = f.Ports[2]->LinkSettings;
    QCOMPARE(g.ConfigConflict->ItemIndex(), 2);
    QVERIFY(g.FastBroad->Checked());
    QCOMPARE(g.InputDataSize->ItemIndex(), 2);
    QCOMPARE(g.Baud->ItemIndex(), 5);
    QCOMPARE(Written(h.control), QStringList{});
}

void TestFormLinks::writeBackOrder()
{
    // One block that changes all four: conflict action, fast broadcast, input data
    // content, baud rate, each written and logged before the next is shown.
    FormHarness h;
    TForm1 &f = h.form();
    h.control.DeliverOk(17, SettingsBlock());
    ClickTab(f, f.Ports[0]->Sheet);
    h.control.Clear();
    const auto mark = TestEnvironment::LogTexts(f).size();
    h.control.DeliverOk(17, {1, 1, 96, 0, 9, 2, 10, 1, 3});
    QCOMPARE(Written(h.control), (QStringList{"17:1004=2", "17:1006=1", "17:1007=3", "17:1001=96"}));
    QCOMPARE(LogSince(f, mark), (QStringList{"Config conflict setting written to VKH Station Address: 17 Val: 2",
                                             "Fast Broadcast setting written to VKH Station Address: 17 Val: 1",
                                             "Input data size written to VKH Station Address: 17 Val: 3",
                                             "Baud rate written to VKH Station Address: 17 Val: 96"}));
    // The calls of each write: define, value, send once.
    QCOMPARE(h.control.calls.mid(0, 3), (QStringList{"Single(0,17,1004,1000)", "Set(0,0,2)", "Once(0)"}));
}

void TestFormLinks::focusedEditKeepsTypedText()
{
    FormHarness h;
    TForm1 &f = h.form();
    PortPage &page = *f.Ports[0];
    ClickTab(f, page.Sheet);
    page.LinkSettings.Link->Widget()->setFocus();
    QTest::keyClicks(page.LinkSettings.Link->Widget(), QStringLiteral("2"));
    h.control.DeliverOk(17, {4, 5, 96, 6, 7, 0, 8, 0, 0});
    QCOMPARE(page.LinkSettings.Link->Text(), QStringLiteral("12"));
    QCOMPARE(page.LinkSettings.First->Text(), QStringLiteral("6"));
    QCOMPARE(page.LinkSettings.Port->Text(), QStringLiteral("4"));
    QCOMPARE(f.QVLinkSettings[0][1], int16_t(5));
    // The read-only port number edit is overwritten also while it has the focus.
    page.LinkSettings.Port->Widget()->setFocus();
    QVERIFY(page.LinkSettings.Port->Focused());
    h.control.DeliverOk(17, {9, 5, 96, 6, 7, 0, 8, 0, 0});
    QCOMPARE(page.LinkSettings.Port->Text(), QStringLiteral("9"));
    QCOMPARE(page.LinkSettings.Link->Text(), QStringLiteral("5"));
}

void TestFormLinks::failingInputDataSelectionClears()
{
    // Selecting the input data content fails: the group is left with no item selected
    // and the baud rate is still decoded.
    FormHarness h;
    TForm1 &f = h.form();
    LinkSettingsGroup &g = f.Ports[3]->LinkSettings;
    g.InputDataSize->OnClick = [](TComponent *) { throw EListError(QStringLiteral("selection failed")); };
    h.control.DeliverOk(20, {4, 4, 12, 0, 9, 0, 10, 0, 1});
    QCOMPARE(g.InputDataSize->ItemIndex(), -1);
    QCOMPARE(g.Baud->ItemIndex(), 2);
    QVERIFY(!f.Comms->Label93->Visible());
}

void TestFormLinks::shortReadKeepsLaterWords_data()
{
    // Whether an activation defines the handle with 9 words again while the short read
    // started by Button7 is still under way, before its result arrives.
    QTest::addColumn<bool>("redefinedBeforeTheResult");
    QTest::newRow("result of the current definition") << false;
    QTest::newRow("result after a definition of 9 words") << true;
}

void TestFormLinks::shortReadKeepsLaterWords()
{
    // After Button7 the results of links 2 to 4 carry 7 fresh words; the control's buffer
    // still has words 7 and 8 of the earlier reads. They are not taken: the operator's
    // fast broadcast and input data content stay as set, and nothing is written back.
    QFETCH(bool, redefinedBeforeTheResult);
    FormHarness h;
    TForm1 &f = h.form();
    PortPage &page = *f.Ports[1];
    LinkSettingsGroup &g = page.LinkSettings;
    h.control.DeliverOk(18, {2, 2, 96, 0, 9, 0, 10, 0, 2});
    ClickTab(f, page.Sheet);
    Click(f.PortCommon->Button7);
    QCOMPARE(h.control.definitions.at(18).quantity, int16_t(7));
    Click(g.FastBroad);
    ClickItem(g.InputDataSize, 0);
    QVERIFY(g.FastBroad->Checked());
    if (redefinedBeforeTheResult) {
        f.FormActivate(&f);
        QCOMPARE(h.control.definitions.at(18).quantity, int16_t(9));
    }
    h.control.Clear();

    h.control.DeliverOk(18, {2, 3, 192, 1, 8, 1, 20});
    QVERIFY(g.FastBroad->Checked());
    QCOMPARE(g.InputDataSize->ItemIndex(), 0);
    QCOMPARE(g.Link->Text(), QStringLiteral("3"));
    QCOMPARE(g.Noreply->Text(), QStringLiteral("20"));
    QCOMPARE(g.Baud->ItemIndex(), 6);
    const std::array<int16_t, 10> elements{2, 3, 192, 1, 8, 0, 1, 20, 0, 2};
    QCOMPARE(f.QVLinkSettings[1], elements);
    // Only the words that changed were written back: conflict action and baud rate.
    QCOMPARE(Written(h.control), (QStringList{"18:1004=1", "18:1001=192"}));

    // The next activation defines 9 words again, and all of them are decoded.
    f.FormActivate(&f);
    h.control.Clear();
    h.control.DeliverOk(18, {2, 3, 192, 1, 8, 1, 20, 0, 2});
    QVERIFY(!g.FastBroad->Checked());
    QCOMPARE(g.InputDataSize->ItemIndex(), 2);
}

void TestFormLinks::operatorClicks()
{
    FormHarness h;
    TForm1 &f = h.form();
    ClickTab(f, f.Ports[2]->Sheet);
    LinkSettingsGroup &g = f.Ports[2]->LinkSettings;
    h.control.Clear();
    const auto mark = TestEnvironment::LogTexts(f).size();
    Click(g.FastBroad);
    Click(g.FastBroad);
    ClickItem(g.Baud, 6);
    ClickItem(g.ConfigConflict, 3);
    ClickItem(g.InputDataSize, 1);
    QCOMPARE(Written(h.control), (QStringList{"19:1006=1", "19:1006=0", "19:1001=192", "19:1004=3", "19:1007=1"}));
    QCOMPARE(LogSince(f, mark), (QStringList{"Fast Broadcast setting written to VKH Station Address: 19 Val: 1",
                                             "Fast Broadcast setting written to VKH Station Address: 19 Val: 0",
                                             "Baud rate written to VKH Station Address: 19 Val: 192",
                                             "Config conflict setting written to VKH Station Address: 19 Val: 3",
                                             "Input data size written to VKH Station Address: 19 Val: 1"}));
}

void TestFormLinks::exitFamily_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("field"); // Link, First, Last or Noreply
    QTest::addColumn<QString>("before"); // the text when the edit gets the focus
    QTest::addColumn<QString>("typed");  // empty: left untouched
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QString>("logged");
    const QString address = "Quorvane Address invlalid\r\nValue must be between 0 and 99";
    const QString link = "Quorvane Link Number invlalid\r\nValue must be between 0 and 15";
    const QString timeout = "Timeout Number invlalid\r\nValue must be between 0 and 255";
    const QStringList none;
    QTest::newRow("ab ignored") << 1 << "Link" << "3" << "ab" << "" << "ab" << none << "";
    QTest::newRow("abc cut to ab") << 1 << "Link" << "3" << "abc" << "" << "ab" << none << "";
    QTest::newRow("link 15") << 3 << "Link" << "3" << "15" << "" << "15" << QStringList{"19:1000=15"}
                             << "Link number written to VKH Port 3: 15";
    QTest::newRow("link 16") << 1 << "Link" << "3" << "16" << link << "3" << none << "";
    QTest::newRow("first -1") << 1 << "First" << "4" << "-1" << address << "4" << none << "";
    QTest::newRow("first 99") << 1 << "First" << "4" << "99" << "" << "99" << QStringList{"17:1002=99"}
                              << "Setting written to VKH Port 1 Address: 1003 Val: 99";
    QTest::newRow("last 0") << 1 << "Last" << "4" << "0" << "" << "0" << QStringList{"17:1003=0"}
                            << "Setting written to VKH Port 1 Address: 1004 Val: 0";
    QTest::newRow("QVL2First 10 after 12") << 2 << "First" << "12" << "10" << "" << "10" << QStringList{"18:1002=10"}
                                           << "Setting written to VKH Port 2 Address: 1003 Val: 10";
    QTest::newRow("QVL4Last 50") << 4 << "Last" << "9" << "50" << "" << "50" << QStringList{"20:1003=50"}
                                 << "Setting written to VKH Port 4 Address: 1004 Val: 50";
    QTest::newRow("QVL4First 7") << 4 << "First" << "9" << "7" << "" << "7" << QStringList{"20:1002=7"}
                                 << "Setting written to VKH Port 4 Address: 1003 Val: 7";
    QTest::newRow("no-reply 256") << 1 << "Noreply" << "10" << "256" << timeout << "10" << none << "";
    QTest::newRow("no-reply 255") << 2 << "Noreply" << "10" << "255" << "" << "255" << QStringList{"18:1005=255"}
                                  << "Control Timeout written to VKH Port 2 Address: 1006 Val: 255";
    QTest::newRow("no-reply 70000 silent") << 1 << "Noreply" << "10" << "70000" << "" << "70000" << none << "";
    QTest::newRow("no-reply -32769 silent") << 1 << "Noreply" << "10" << "-32769" << "" << "-32769" << none << "";
    QTest::newRow("no-reply -32768 box") << 1 << "Noreply" << "10" << "-32768" << timeout << "10" << none << "";
    QTest::newRow("untouched 150") << 1 << "First" << "150" << "" << address << "150" << none << "";
    QTest::newRow("untouched 5") << 1 << "First" << "5" << "" << "" << "5" << none << "";
    QTest::newRow("05 equals 5") << 1 << "First" << "5" << "05" << "" << "05" << none << "";
    QTest::newRow("remembered empty") << 1 << "First" << "" << "7" << "" << "7" << none << "";
    QTest::newRow("remembered 99999") << 1 << "Noreply" << "99999" << "7" << "" << "7" << none << "";
}

void TestFormLinks::exitFamily()
{
    QFETCH(int, port);
    QFETCH(QString, field);
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, box);
    QFETCH(QString, after);
    QFETCH(QStringList, written);
    QFETCH(QString, logged);
    FormHarness h;
    TForm1 &f = h.form();
    PortPage &page = *f.Ports[static_cast<size_t>(port - 1)];
    ClickTab(f, page.Sheet);
    auto *edit = f.Find<TEdit>(QStringLiteral("QVL%1%2").arg(port).arg(field));
    edit->SetText(before);
    h.control.Clear();
    const auto mark = TestEnvironment::LogTexts(f).size();
    // Left for the page's read-only port number edit.
    TypeAndLeave(edit, typed.isEmpty() ? std::nullopt : std::optional<QString>(typed), page.LinkSettings.Port);

    QCOMPARE(f.EditOriginalValue, before);
    QCOMPARE(h.dialogs.shown.size(), size_t(box.isEmpty() ? 0 : 1));
    if (!box.isEmpty()) {
        QCOMPARE(h.dialogs.shown[0].text, box);
        QCOMPARE(h.dialogs.shown[0].type, TMsgDlgType::mtError);
        QCOMPARE(h.dialogs.shown[0].buttons, TMsgDlgBtn::mbOK);
    }
    QCOMPARE(edit->Text(), after);
    QCOMPARE(Written(h.control), written);
    QStringList writes;
    for (const QString &line : LogSince(f, mark))
        if (line.contains(" written to "))
            writes << line;
    QCOMPARE(writes, logged.isEmpty() ? QStringList{} : QStringList{logged});
}

void TestFormLinks::exitOutsidePortPages()
{
    // Without a port page shown an exit does nothing, whatever the texts.
    FormHarness h;
    TForm1 &f = h.form();
    TEdit *edit = f.Ports[0]->LinkSettings.Noreply;
    f.EditOriginalValue = QStringLiteral("10");
    edit->SetText(QStringLiteral("300"));
    h.control.Clear();
    f.QVL1NoreplyExit(edit);
    edit->SetText(QStringLiteral("20"));
    f.QVL1NoreplyExit(edit);
    QVERIFY(h.dialogs.shown.empty());
    QCOMPARE(Written(h.control), QStringList{});
    QCOMPARE(edit->Text(), QStringLiteral("20"));
}

// The run-time message jump to the communications page while the operator types in a
// link-setting edit: the focus that the jump takes is not the operator leaving the edit,
// so the unfinished number is neither written nor refused with an error box; the edit
// shows again what it showed before the typing.
void TestFormLinks::pageJumpWhileTypingRunsNoExit_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::newRow("a first address that would be written") << 1 << "First" << "5";
    QTest::newRow("a link number that would be refused") << 2 << "Link" << "99";
    QTest::newRow("a no-reply limit that would be written") << 4 << "Noreply" << "25";
}

void TestFormLinks::pageJumpWhileTypingRunsNoExit()
{
    QFETCH(int, port);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    FormHarness h;
    TForm1 &f = h.form();
    f.Comms->CheckBox4->SetChecked(true); // "Jump to this page on new runtime message"
    ClickTab(f, f.Ports[static_cast<size_t>(port - 1)]->Sheet);
    QVERIFY(f.PortTab);
    auto *edit = f.Find<TEdit>(QStringLiteral("QVL%1%2").arg(port).arg(field));
    QTest::mouseClick(edit->Widget(), Qt::LeftButton);
    QVERIFY(edit->Focused());
    const QString before = edit->Text();
    edit->LineEdit()->selectAll();
    QTest::keyClicks(edit->Widget(), typed);
    QCOMPARE(edit->Text(), typed);
    h.control.Clear();
    std::vector<int16_t> message(10, 0);
    message[0] = 1;
    h.control.DeliverOk(9, message);
    QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Comms->TabSheet7);
    QVERIFY(!edit->Focused());
    // Nor does the operator's next move on the page shown.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(Written(h.control), QStringList{});
    QVERIFY(h.dialogs.shown.empty());
    QCOMPARE(edit->Text(), before);
}

void TestFormLinks::baudCode()
{
    const int16_t codes[] = {3, 6, 12, 24, 48, 96, 192, 384, 576, 1152, 1280};
    for (int16_t item = 0; item <= 10; ++item)
        QCOMPARE(TForm1::BaudCode(item), codes[item]);
    for (int16_t item : {int16_t(-1), int16_t(11), int16_t(32767)})
        QVERIFY_THROWS_EXCEPTION(ERangeError, TForm1::BaudCode(item));
}

void TestFormLinks::statistics_data()
{
    QTest::addColumn<int>("link");
    QTest::addColumn<QVector<int>>("words"); // 12 words of the block
    QTest::addColumn<QVector<int>>("settings"); // first and last address decoded before; empty: none
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("all ones, no settings yet")
        << 0 << QVector<int>{0, 0, 0xFFFF, 0xFFFF, 3, 4, 2, 9, 9, 38, 40, 55} << QVector<int>{}
        << QStringList{"Link Configuration Status: \r\n   OK No Errors", "Transmission Count: \r\n   4294967295",
                       "CRC Errors: \r\n   3    (Last Quorvane: 4)", "Timeout Errors: \r\n   2    (Last Quorvane: 9)",
                       "Units Responding: \r\n   9    (Number Expected: 1)", "Last Scan Time (ms): \r\n   38",
                       "Average Scan Time (ms): \r\n   40", "Maximum Scan Time (ms): \r\n   55"};
    QTest::newRow("65536, CRC 40000, last below first")
        << 1 << QVector<int>{6, 77, 0, 1, 40000, 12, 0xFFFF, 3, 0, 0x8000, 0, 0} << QVector<int>{10, 5}
        << QStringList{"Link Configuration Status: \r\n   Last Quorvane address not bigger than first Quorvane address, 99 selected",
                       "Transmission Count: \r\n   65536", "CRC Errors: \r\n   -25536    (Last Quorvane: 12)",
                       "Timeout Errors: \r\n   -1    (Last Quorvane: 3)", "Units Responding: \r\n   0    (Number Expected: -4)",
                       "Last Scan Time (ms): \r\n   -32768", "Average Scan Time (ms): \r\n   0", "Maximum Scan Time (ms): \r\n   0"};
    QTest::newRow("status 8, 0 to 99 on link 4")
        << 3 << QVector<int>{8, 0, 5, 0, 0, 0, 0, 0, 100, 1, 2, 3} << QVector<int>{0, 99}
        << QStringList{"Link Configuration Status: \r\n   No reply timeout out of range, 10 selected",
                       "Transmission Count: \r\n   5", "CRC Errors: \r\n   0    (Last Quorvane: 0)",
                       "Timeout Errors: \r\n   0    (Last Quorvane: 0)", "Units Responding: \r\n   100    (Number Expected: 100)",
                       "Last Scan Time (ms): \r\n   1", "Average Scan Time (ms): \r\n   2", "Maximum Scan Time (ms): \r\n   3"};
}

void TestFormLinks::statistics()
{
    QFETCH(int, link);
    QFETCH(QVector<int>, words);
    QFETCH(QVector<int>, settings);
    QFETCH(QStringList, captions);
    FormHarness h;
    TForm1 &f = h.form();
    if (!settings.isEmpty())
        h.control.DeliverOk(static_cast<int16_t>(17 + link), {1, 1, 96, W(settings[0]), W(settings[1]), 0, 10, 0, 2});
    std::vector<int16_t> block;
    for (int w : words)
        block.push_back(W(w));
    h.control.DeliverOk(static_cast<int16_t>(27 + link), block);

    const LinkInfoGroup &g = f.Ports[static_cast<size_t>(link)]->LinkInfo;
    const QStringList shown{g.LinkConfigStatus->Caption(), g.TransCount->Caption(), g.CRCError->Caption(), g.Timeouts->Caption(),
                            g.Responds->Caption(), g.LastScan->Caption(), g.AverageScan->Caption(), g.MaxScan->Caption()};
    QCOMPARE(shown, captions);
    const TForm1::TQVStatistics &s = f.QVStatistics[static_cast<size_t>(link)];
    QCOMPARE(s.ConfigStatus, W(words[0]));
    QCOMPARE(s.TransmissionCount, int64_t(uint16_t(words[3])) * 65536 + uint16_t(words[2]));
    QCOMPARE(s.CRCErrorCount, W(words[4]));
    QCOMPARE(s.LastCRCErrorAddress, W(words[5]));
    QCOMPARE(s.TimeoutCount, W(words[6]));
    QCOMPARE(s.LastTimeoutAddress, W(words[7]));
    QCOMPARE(s.RespondingCount, W(words[8]));
    QCOMPARE(s.LastScanTime, W(words[9]));
    QCOMPARE(s.AverageScanTime, W(words[10]));
    QCOMPARE(s.MaxScanTime, W(words[11]));
    const int expected = settings.isEmpty() ? 1 : settings[1] - settings[0] + 1;
    QCOMPARE(f.QVLinkSettings[static_cast<size_t>(link)][5], int16_t(expected));
    // The other ports keep their captions.
    for (int other = 0; other < 4; ++other)
        if (other != link)
            QCOMPARE(f.Ports[static_cast<size_t>(other)]->LinkInfo.LinkConfigStatus->Caption(),
                     QStringLiteral("Link Configuration Status:"));
}

void TestFormLinks::configurationStatusTexts_data()
{
    // Every code a link can report in 4x1100, each with its text; the codes next to the
    // table and at the ends of 16 bits have none.
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text"); // empty: no text
    const char *const texts[] = {
        "OK No Errors",
        "Wrong Port number selected, previous setting retained",
        "Quorvane link number out of range, previous setting retained",
        "Baud rate out of range, 9600 selected",
        "First Quorvane address out of range, 0 selected",
        "Last Quorvane address out of range, 99 selected",
        "Last Quorvane address not bigger than first Quorvane address, 99 selected",
        "Config conflict out of range, No master selected",
        "No reply timeout out of range, 10 selected",
    };
    for (int code = 0; code <= 8; ++code)
        QTest::addRow("code %d", code) << code << QString::fromLatin1(texts[code]);
    for (int code : {9, -1, 32767, -32768})
        QTest::addRow("code %d: no text", code) << code << QString();
}

void TestFormLinks::configurationStatusTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    FormHarness h;
    TForm1 &f = h.form();
    const int link = ((code % 4) + 4) % 4;
    const auto faults = f.FaultLog->size();
    h.control.DeliverOk(static_cast<int16_t>(27 + link), {W(code), 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const QString shown = f.Ports[static_cast<size_t>(link)]->LinkInfo.LinkConfigStatus->Caption();
    if (text.isEmpty()) {
        QCOMPARE(shown, QStringLiteral("Link Configuration Status:"));
        QCOMPARE(f.FaultLog->size(), faults + 1);
    } else {
        QCOMPARE(shown, QStringLiteral("Link Configuration Status: \r\n   ") + text);
        QCOMPARE(f.FaultLog->size(), faults);
    }
}

void TestFormLinks::statusWithoutText()
{
    // A status code without a text: the record takes the words, no label of that link
    // changes, the failure reaches the fault log once per result, the lamp and the time
    // stamp are skipped; the other links go on.
    FormHarness h;
    TForm1 &f = h.form();
    h.control.DeliverOk(28, {0, 0, 5, 0, 1, 1, 1, 1, 1, 1, 1, 1});
    const LinkInfoGroup &g = f.Ports[1]->LinkInfo;
    const QString before = g.TransCount->Caption();
    const QDateTime stamp = f.LastCommsRec;
    const auto faults = f.FaultLog->size();
    f.Frame->ILLed1->SetValue(false);
    h.clock.Advance(500);
    for (int code : {9, -1}) {
        h.control.DeliverOk(28, {W(code), 0, 7, 0, 2, 2, 2, 2, 2, 2, 2, 2});
        QCOMPARE(f.QVStatistics[1].ConfigStatus, W(code));
        QCOMPARE(f.QVStatistics[1].TransmissionCount, int64_t(7));
    }
    QCOMPARE(g.TransCount->Caption(), before);
    QCOMPARE(g.LinkConfigStatus->Caption(), QStringLiteral("Link Configuration Status: \r\n   OK No Errors"));
    QCOMPARE(f.FaultLog->size(), faults + 2);
    QVERIFY2(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: ERangeError : ")), qPrintable(f.Comms->Label93->Caption()));
    QVERIFY(!f.Frame->ILLed1->Value());
    QCOMPARE(f.LastCommsRec, stamp);

    h.control.DeliverOk(29, {3, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    QCOMPARE(f.Ports[2]->LinkInfo.LinkConfigStatus->Caption(),
             QStringLiteral("Link Configuration Status: \r\n   Baud rate out of range, 9600 selected"));
    QVERIFY(f.Frame->ILLed1->Value());
    QCOMPARE(f.LastCommsRec, h.clock.now);
}

void TestFormLinks::expectedCountOverflow()
{
    // An expected count that does not fit 16 bits stops the decoding at that step: the
    // labels before it are set, the count and the labels after it are not.
    FormHarness h;
    TForm1 &f = h.form();
    h.control.DeliverOk(17, {1, 1, 96, W(-32768), 32767, 0, 10, 0, 2});
    const auto faults = f.FaultLog->size();
    h.control.DeliverOk(27, {0, 0, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8});
    const LinkInfoGroup &g = f.Ports[0]->LinkInfo;
    QCOMPARE(g.Timeouts->Caption(), QStringLiteral("Timeout Errors: \r\n   3    (Last Quorvane: 4)"));
    QCOMPARE(g.Responds->Caption(), QStringLiteral("Units Responding:"));
    QCOMPARE(g.MaxScan->Caption(), QStringLiteral("Maximum Scan Time (ms):"));
    QCOMPARE(f.QVLinkSettings[0][5], int16_t(0));
    QCOMPARE(f.FaultLog->size(), faults + 1);
    QVERIFY(f.FaultLog->last().contains(QStringLiteral("ERangeError")));
}

void TestFormLinks::resets_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("CRCError1") << "CRCError1" << QStringList{"Single(0,17,1103,1000)", "Set(0,0,0)", "Once(0)"};
    QTest::newRow("Timeouts2") << "Timeouts2" << QStringList{"Single(0,18,1105,1000)", "Set(0,0,0)", "Once(0)"};
    QTest::newRow("AverageScan3") << "AverageScan3" << QStringList{"Single(0,19,1109,1000)", "Set(0,0,0)", "Once(0)"};
    QTest::newRow("MaxScan4") << "MaxScan4" << QStringList{"Single(0,20,1110,1000)", "Set(0,0,0)", "Once(0)"};
    QTest::newRow("TransCount4") << "TransCount4"
                                 << QStringList{"Multi(0,20,1101,2,1000)", "Set(0,0,0)", "Set(0,1,0)", "Once(0)"};
    QTest::newRow("TransCount1") << "TransCount1"
                                 << QStringList{"Multi(0,17,1101,2,1000)", "Set(0,0,0)", "Set(0,1,0)", "Once(0)"};
    QTest::newRow("Responds2") << "Responds2" << QStringList{};
    QTest::newRow("LastScan3") << "LastScan3" << QStringList{};
    QTest::newRow("LinkConfigStatus1") << "LinkConfigStatus1" << QStringList{};
}

void TestFormLinks::resets()
{
    // No gate, no confirmation, no log.
    QFETCH(QString, label);
    QFETCH(QStringList, calls);
    FormHarness h;
    TForm1 &f = h.form();
    auto *target = f.Find<TLabel>(label);
    const int port = label.right(1).toInt();
    f.Frame->PageControl1->SetActivePage(f.Ports[static_cast<size_t>(port - 1)]->Sheet);
    FormHarness::ProcessEvents();
    QVERIFY(!f.PortTab);
    h.control.Clear();
    const auto lines = f.Diagnostics->Memo4->Count();
    Click(target);
    QCOMPARE(h.control.calls, calls);
    QVERIFY(h.dialogs.shown.empty());
    QCOMPARE(f.Diagnostics->Memo4->Count(), lines);
}

QTEST_MAIN(TestFormLinks)
#include "test_form_links.moc"
