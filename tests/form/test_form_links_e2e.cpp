// The port pages' link groups with the real communications control against the hub
// simulator: each page shows its link's settings and statistics, a baud rate chosen by
// the operator reaches the hub and comes back without being written again, a hub value
// the page can show only approximately is never written back, and the counters reset.
#include "LiveForm.h"

#include <QRegularExpression>

using namespace TestUi;

class TestFormLinksE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void pagesShowTheirLinks();
    void baudRateChosenAndReadBack();
    void countersReset();
};

void TestFormLinksE2e::pagesShowTheirLinks()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    for (int l = 0; l < 4; ++l) {
        PortPage &page = *f.Ports[static_cast<size_t>(l)];
        QVERIFY(live.WaitForResults(17 + l, 1));
        QCOMPARE(page.LinkSettings.Port->Text(), QString::number(l + 1));
        QCOMPARE(page.LinkSettings.Link->Text(), QString::number(l + 1));
        QCOMPARE(page.LinkSettings.First->Text(), QStringLiteral("0"));
        QCOMPARE(page.LinkSettings.Last->Text(), QStringLiteral("9"));
        QCOMPARE(page.LinkSettings.Noreply->Text(), QStringLiteral("10"));
        QCOMPARE(page.LinkSettings.Baud->SelectedCaption(), QStringLiteral("9600"));
        QCOMPARE(page.LinkSettings.ConfigConflict->SelectedCaption(), QStringLiteral("No master"));
        QCOMPARE(page.LinkSettings.InputDataSize->SelectedCaption(), QStringLiteral("3 Status registers (Long)"));
        QVERIFY(!page.LinkSettings.FastBroad->Checked());
        QTRY_COMPARE_WITH_TIMEOUT(page.LinkInfo.Responds->Caption(), QStringLiteral("Units Responding: \r\n   9    (Number Expected: 10)"),
                                  3000);
        QCOMPARE(page.LinkInfo.LinkConfigStatus->Caption(), QStringLiteral("Link Configuration Status: \r\n   OK No Errors"));
    }
    // The transmission count follows the hub.
    const QString count = f.Ports[1]->LinkInfo.TransCount->Caption();
    QVERIFY(count.startsWith(QStringLiteral("Transmission Count: \r\n   14")));
    QTRY_VERIFY_WITH_TIMEOUT(f.Ports[1]->LinkInfo.TransCount->Caption() != count, 3000);
    // Showing the pages writes nothing: every decoded value is what the hub holds.
    for (int l = 0; l < 4; ++l)
        ClickTab(f, f.Ports[static_cast<size_t>(l)]->Sheet);
    QVERIFY(live.WaitForResults(20, 2));
    QCOMPARE(live.LinkWrites(), QStringList{});
}

void TestFormLinksE2e::baudRateChosenAndReadBack()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    LinkSettingsGroup &g = f.Ports[0]->LinkSettings;
    // Every link decoded once (the first results select every group) before a port page
    // is shown.
    for (int handle = 17; handle <= 20; ++handle)
        QVERIFY(live.WaitForResults(handle, 1));
    QCOMPARE(g.Baud->ItemIndex(), 5);
    ClickTab(f, f.Ports[0]->Sheet);
    QCOMPARE(live.simulator.command("clearlog"), QStringLiteral("OK"));

    // The operator chooses 19200: its code reaches the hub.
    ClickItem(g.Baud, 6);
    QTRY_COMPARE_WITH_TIMEOUT(live.LinkWrites(), QStringList{"17:1002:192"}, 3000);
    QCOMPARE(live.simulator.get(17, 1002), QVector<quint16>{192});
    // The next link-settings results show the hub's value; nothing is written back.
    QVERIFY(live.WaitForResults(17, 2));
    QCOMPARE(g.Baud->SelectedCaption(), QStringLiteral("19200"));
    QCOMPARE(f.QVLinkSettings[0][2], int16_t(192));
    QCOMPARE(live.LinkWrites(), QStringList{"17:1002:192"});

    // The hub itself changes to 57,600 baud, which no item of the page shows: the group
    // shows no rate rather than another one, and nothing is written back.
    QVERIFY(live.simulator.set(17, 1002, {576}));
    QTRY_COMPARE_WITH_TIMEOUT(g.Baud->ItemIndex(), -1, 3000);
    QVERIFY(live.WaitForResults(17, 2));
    QCOMPARE(live.LinkWrites(), QStringList{"17:1002:192"});
    QCOMPARE(live.simulator.get(17, 1002), QVector<quint16>{576});
    QCOMPARE(f.QVLinkSettings[0][2], int16_t(576));
}

void TestFormLinksE2e::countersReset()
{
    LiveForm live;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    LinkInfoGroup &g = f.Ports[2]->LinkInfo;
    QTRY_COMPARE_WITH_TIMEOUT(g.CRCError->Caption(), QStringLiteral("CRC Errors: \r\n   1    (Last Quorvane: 2)"), 5000);
    f.Frame->PageControl1->SetActivePage(f.Ports[2]->Sheet);
    QCOMPARE(live.simulator.command("clearlog"), QStringLiteral("OK"));
    Click(g.CRCError);
    Click(g.TransCount);
    QTRY_COMPARE_WITH_TIMEOUT(live.LinkWrites(), (QStringList{"19:1104:0", "19:1102:0,0"}), 3000);
    // The address of the last CRC error stays; the count restarts from zero.
    QTRY_COMPARE_WITH_TIMEOUT(g.CRCError->Caption(), QStringLiteral("CRC Errors: \r\n   0    (Last Quorvane: 2)"), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(f.QVStatistics[2].TransmissionCount < 1000, 3000);
}

QTEST_MAIN(TestFormLinksE2e)
#include "test_form_links_e2e.moc"
