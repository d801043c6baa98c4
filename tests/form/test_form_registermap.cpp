// The register map against what the window really does: every block the window defines
// is the block the map gives for its handle, and every result reaches the decoder the
// map names.
#include "FormHarness.h"
#include "utilities/Exceptions.h"

#include <QRegularExpression>
#include <QtTest>

using namespace TestUi;

using namespace RegisterMap;

namespace {

// One definition as the scripted control recorded it.
struct Definition {
    QString kind; // Read, Single or Multi
    int handle, unit, address, quantity, rate;
};

std::vector<Definition> Definitions(const QStringList &calls)
{
    static const QRegularExpression read(QStringLiteral("^Read\\((-?\\d+),(-?\\d+),(-?\\d+),(-?\\d+),(-?\\d+)\\)$"));
    static const QRegularExpression single(QStringLiteral("^Single\\((-?\\d+),(-?\\d+),(-?\\d+),(-?\\d+)\\)$"));
    static const QRegularExpression multi(QStringLiteral("^Multi\\((-?\\d+),(-?\\d+),(-?\\d+),(-?\\d+),(-?\\d+)\\)$"));
    std::vector<Definition> out;
    for (const QString &call : calls) {
        if (auto m = read.match(call); m.hasMatch())
            out.push_back({"Read", m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
                           m.captured(5).toInt()});
        else if (auto m = single.match(call); m.hasMatch())
            out.push_back({"Single", m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), 1, m.captured(4).toInt()});
        else if (auto m = multi.match(call); m.hasMatch())
            out.push_back({"Multi", m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
                           m.captured(5).toInt()});
    }
    return out;
}



} // namespace

class TestFormRegisterMap : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void handlesOfTheMap();
    void everyDefinitionIsInTheMap();
    void button7ReadsLinksTwoToFour();
    void resultsOfUndecodedHandles();
    void decodeKindsMatchTheirDecoders();
};

void TestFormRegisterMap::handlesOfTheMap()
{
    // The handles the map knows, and no others.
    QList<int> known;
    for (int handle = -1; handle <= 127; ++handle)
        if (Find(static_cast<int16_t>(handle)))
            known << handle;
    QList<int> expected{0, 1, 2, 3, 5, 6, 8, 9, 10};
    for (int first : {17, 27, 37, 47, 57, 67, 77, 116})
        for (int k = 0; k < (first == 116 ? 5 : 4); ++k)
            expected << first + k;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(known, expected);

    // A per-link handle gives its link; the unit follows it.
    int link = -1;
    QCOMPARE(Find(79, &link)->handle, Handle::CommandWords);
    QCOMPARE(link, 2);
    QCOMPARE(ReadOf(79).unit, int16_t(19));
    QCOMPARE(ReadOf(8, Context{0, 3, 42, 0}).unit, int16_t(19));
    QCOMPARE(ReadOf(8, Context{0, 3, 42, 0}).address, 4999 + 42);
    QCOMPARE(ReadOf(1, Context{5}).quantity, int16_t(108));
    QCOMPARE(ReadOf(1, Context{6}).quantity, int16_t(109));
    QVERIFY_THROWS_EXCEPTION(EListError, ReadOf(Handle::Write));
}

void TestFormRegisterMap::everyDefinitionIsInTheMap()
{
    // Everything the window does that defines a block: activation, the hub settings
    // timer, general data (statistics), every page, Button7, every reset, the
    // identification text, the reboot request, the hub settings page, group data,
    // commands, clearing, the configuration window and a settings-file load.
    FormHarness h;
    TForm1 &f = h.form();
    f.Frame->Timer1->OnTimer(f.Frame->Timer1);
    std::vector<int16_t> general(31, 0);
    general[3] = 6;
    h.control.DeliverOk(Handle::GeneralData, general);
    f.Frame->Timer1->OnTimer(f.Frame->Timer1);
    for (int16_t link = 0; link < Links; ++link)
        h.control.DeliverOk(static_cast<int16_t>(Handle::LinkSettings + link), {1, 1, 96, 0, 9, 0, 10, 0, 2});
    f.Diagnostics->TabSheet2->SetTabVisible(true);
    for (int index = f.Frame->PageControl1->PageCount() - 1; index >= 0; --index)
        ClickTab(f, f.Frame->PageControl1->Page(index));
    Click(f.PortCommon->Button7);
    for (const char *name : {"Label12", "Label19", "Label106", "Label119", "Label120", "Button8", "Button44", "Button43"}) {
        auto *c = f.Find<TControl>(QString::fromLatin1(name));
        c->SetVisible(true);
        Click(c);
    }
    f.Overview->Edit15->SetText(QStringLiteral("Line 3"));
    f.Overview->Button38->Click();
    // On every port page: a link setting clicked and one typed, every counter reset.
    for (const auto &port : f.Ports) {
        ClickTab(f, port->Sheet);
        Click(port->LinkSettings.FastBroad);
        port->LinkSettings.Noreply->Widget()->setFocus();
        port->LinkSettings.Noreply->SetText(QStringLiteral("20"));
        port->LinkSettings.Port->Widget()->setFocus();
        const LinkInfoGroup &info = port->LinkInfo;
        for (TLabel *label : {info.TransCount, info.CRCError, info.Timeouts, info.AverageScan, info.MaxScan})
            Click(label);
    }
    // The operations on one starter: with the password given, on port 3 after a click on
    // its address 5, a group request answered busy and then with data, every command,
    // every clearing answered Yes, and the configuration window read and cleared.
    ClickTab(f, f.Comms->TabSheet7);
    h.dialogs.inputAnswers.push_back(ConfigConst::CommandPassword);
    Click(f.Comms->AllowCommands);
    PortPage &port3 = *f.Ports[2];
    ClickTab(f, port3.Sheet);
    port3.StringGrid->SetRow(6);
    f.StringGrid1Click(port3.StringGrid);
    port3.SingleData.ComboBox->SetItemIndex(4);
    Click(port3.SingleData.BitBtn);
    h.control.DeliverOk(Handle::GroupRequest);
    std::vector<int16_t> reply(17, 0);
    reply[2] = 1;
    h.control.DeliverOk(Handle::GroupData, reply);
    reply[2] = 2;
    h.control.DeliverOk(Handle::GroupData, reply);
    h.dialogs.messageAnswers.assign(5, TModalResult::mrYes);
    const CommandsGroup &commands = port3.Commands;
    for (TButton *b : {commands.Open, commands.CloseA, commands.CloseB, commands.NoAction, commands.ResetThermal, commands.ResetUnder})
        Click(b);
    for (TButton *b : {port3.ClearItems.TypeData, port3.ClearItems.ConfigData, port3.ClearItems.AllConfig})
        Click(b);
    ClickTab(f, f.Config->Configuration);
    Click(f.Config->Button22);
    Click(f.Config->Button23);
    for (const char *write : {"Single(0,17,1006,1000)", "Single(0,20,1005,1000)", "Single(0,18,1110,1000)", "Multi(0,19,1101,2,1000)",
                              "Multi(5,19,1302,2,500)", "Read(6,19,1302,17,500)", "Single(0,19,2004,1000)",
                              "Multi(0,19,5999,100,1000)", "Multi(0,19,5098,120,1000)", "Read(8,19,5004,120,1000)"})
        QVERIFY2(h.control.calls.contains(QString::fromLatin1(write)), write);
    f.Overview->Button5->Click();
    // The hub settings page: a settings block with its write-backs, an edit, and every
    // box, group and button that writes.
    ClickTab(f, f.HubSettings->TabSheet1);
    h.control.DeliverOk(Handle::HubSettings, std::vector<int16_t>(109, 1));
    f.HubSettings->IP4->Widget()->setFocus();
    QTest::keyClicks(f.HubSettings->IP4->Widget(), QStringLiteral("7"));
    for (const char *name : {"CheckBox1", "UserR1", "ControlR1", "Button42", "Btn_UpdateTime", "Link1Control_item4",
                             "EthernetTimeoutAction_item2", "LEDTest_item3"}) {
        auto *widget = f.Window()->findChild<QWidget *>(QString::fromLatin1(name));
        QVERIFY2(widget, name);
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
    }

    // A settings file saved from this window, which shows every link's settings, and
    // loaded back: the five blocks of a load.
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("settings.txt"));
    h.dialogs.fileAnswers = {file, file};
    Click(f.Comms->Button25);
    Click(f.Comms->Button26);
    for (const char *write : {"Multi(117,17,1000,8,1000)", "Multi(120,20,1000,8,1000)", "Multi(116,16,105,103,1000)"})
        QVERIFY2(h.control.calls.contains(QString::fromLatin1(write)), write);

    const auto definitions = Definitions(h.control.calls);
    QVERIFY(definitions.size() > 40);
    for (const Definition &d : definitions) {
        const QString what = QStringLiteral("%1 of handle %2").arg(d.kind).arg(d.handle);
        int link = 0;
        const Block *block = Find(static_cast<int16_t>(d.handle), &link);
        QVERIFY2(block, qPrintable(what + ": not in the register map"));
        QCOMPARE(d.kind == "Read", block->runs != Runs::Write);
        QVERIFY2(d.rate == block->rate || (d.handle == Handle::IdentText && d.rate == ConfigConst::IdentRateFromPage),
                 qPrintable(what));
        if (d.kind != "Read") {
            if (block->unit == Unit::Hub)
                QCOMPARE(d.unit, int(HubUnit));
            if (block->unit == Unit::Page)
                QCOMPARE(d.unit, int(f.GR_LastGroupReadStationAddress));
            continue;
        }
        const Read read =
            ReadOf(static_cast<int16_t>(d.handle), Context{f.Info_V4, f.WhichLink, f.QuorvaneInLink, f.GR_LastGroupReadStationAddress});
        QCOMPARE(d.unit, int(read.unit));
        QCOMPARE(d.address, read.address);
        const bool shortRead = d.handle >= Handle::LinkSettings + 1 && d.handle <= Handle::LinkSettings + 3 &&
                               d.quantity == ConfigConst::ShortLinkSettingsCount;
        QVERIFY2(d.quantity == read.quantity || shortRead || block->countRule != Count::Fixed, qPrintable(what));
    }
}

void TestFormRegisterMap::button7ReadsLinksTwoToFour()
{
    FormHarness h;
    TForm1 &f = h.form();
    h.control.Clear();
    Click(f.PortCommon->Button7);
    QCOMPARE(h.control.calls, (QStringList{"Read(18,18,999,7,1000)", "Once(18)", "Read(19,19,999,7,1000)", "Once(19)",
                                           "Read(20,20,999,7,1000)", "Once(20)"}));
    QCOMPARE(h.control.definitions.at(18).quantity, int16_t(7));
    QCOMPARE(h.control.definitions.at(17).quantity, int16_t(9));
}

void TestFormRegisterMap::resultsOfUndecodedHandles()
{
    // The results of writes, which decode nothing, run only the lamp and the time stamp.
    FormHarness h;
    TForm1 &f = h.form();
    for (const Block &block : Blocks()) {
        if (block.decode != Decode::None)
            continue;
        f.Frame->ILLed1->SetValue(false);
        h.clock.Advance(100);
        h.control.Clear();
        h.control.DeliverOk(block.handle, std::vector<int16_t>(125, -1));
        QVERIFY(f.Frame->ILLed1->Value());
        QCOMPARE(f.LastCommsRec, h.clock.now);
        QVERIFY2(h.control.calls.isEmpty(), qPrintable(h.control.calls.join(' ')));
        QVERIFY(!f.Comms->Label93->Visible());
    }
}

void TestFormRegisterMap::decodeKindsMatchTheirDecoders()
{
    // A block names the decoder of its kind and no other; the per-link reads, and only
    // they, reach a link decoder.
    for (const Block &block : Blocks()) {
        QCOMPARE(block.decode == Decode::Hub, block.hubDecoder != nullptr);
        QCOMPARE(block.decode == Decode::Link, block.linkDecoder != nullptr);
        QCOMPARE(block.decode == Decode::Link, block.perLink && block.runs != Runs::Write);
    }
}

QTEST_MAIN(TestFormRegisterMap)
#include "test_form_registermap.moc"
