// What the engineer sees where it can be checked without pixels: each port's texts in
// that port's row of the overview, the warning coming and going without moving the
// page, the Single Data grids filled by their columns from the start.
#include "FormHarness.h"

#include <QComboBox>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

using namespace TestUi;

namespace {

// Where a widget stands and how large it is, in the coordinates of `root`.
QRect Place(QWidget *widget, QWidget *root) { return QRect(widget->mapTo(root, QPoint(0, 0)), widget->size()); }

// The place of every widget on the page but `except` and what lies inside it.
QMap<QWidget *, QRect> Places(QWidget *page, QWidget *except)
{
    QMap<QWidget *, QRect> places;
    for (QWidget *w : page->findChildren<QWidget *>())
        if (w != except && !except->isAncestorOf(w))
            places.insert(w, Place(w, page));
    return places;
}

// The widgets whose place differs, by object name (or class).
QStringList Moved(const QMap<QWidget *, QRect> &before, const QMap<QWidget *, QRect> &after)
{
    QStringList moved;
    for (auto i = before.cbegin(); i != before.cend(); ++i)
        if (after.value(i.key()) != i.value())
            moved << (i.key()->objectName().isEmpty() ? QString::fromLatin1(i.key()->metaObject()->className()) : i.key()->objectName());
    return moved;
}

// 31 words of general data whose port flags (word 12) are `flags`.
std::vector<int16_t> GeneralWithPortFlags(int16_t flags)
{
    std::vector<int16_t> words(31, 0);
    words[0] = 4;
    words[1] = 60;
    words[3] = 6;
    words[12] = flags;
    return words;
}

} // namespace

class TestFormLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void portTextsStandInTheirPortsRow();
    void warningMovesNothing();
    void singleDataColumnsFillTheGrid();
};

void TestFormLayout::portTextsStandInTheirPortsRow()
{
    FormHarness h;
    TForm1 &f = h.form();
    QWidget *window = f.Window();
    const QRect firstMode = Place(f.Overview->PortDes[0]->Widget(), window);
    // Ports 2 and 4 without data: their texts grow ("P2 No Data").
    h.control.DeliverOk(2, GeneralWithPortFlags(0b0101));
    FormHarness::ProcessEvents();
    QCOMPARE(f.Overview->PortData[1]->Caption(), QStringLiteral("P2 No Data"));
    for (size_t n = 0; n < 4; ++n) {
        const QRect data = Place(f.Overview->PortData[n]->Widget(), window);
        const QRect mode = Place(f.Overview->PortDes[n]->Widget(), window);
        // On the port's own line, right of its data flag ...
        QVERIFY2(data.top() < mode.center().y() && mode.center().y() < data.bottom(), qPrintable(QStringLiteral("port %1").arg(n + 1)));
        QVERIFY(mode.left() > data.right());
        // ... below the port before, and in line with the other ports' protocols.
        if (n > 0)
            QVERIFY(data.top() > Place(f.Overview->PortData[n - 1]->Widget(), window).bottom());
        QCOMPARE(mode.left(), firstMode.left());
    }
}

void TestFormLayout::warningMovesNothing()
{
    // Shown only once its 100 ms supervision is stopped: the test ticks it.
    FormHarness::Options options;
    options.show = false;
    FormHarness h(options);
    TForm1 &f = h.form();
    f.Frame->Timer2->SetEnabled(false);
    h.Show();
    QWidget *page = f.Overview->TabSheet8->Widget();
    QWidget *banner = f.Overview->Label88->Widget();
    QVERIFY(!banner->isVisible());
    const QMap<QWidget *, QRect> calm = Places(page, banner);
    auto tick = [&](bool healthy) {
        h.clock.Advance(100);
        if (healthy)
            f.LastCommsRec = h.clock.now.addMSecs(-100);
        f.Timer2Timer(f.Frame->Timer2);
        FormHarness::ProcessEvents();
    };

    // No reply yet: the communications warning.
    tick(false);
    QVERIFY(banner->isVisible());
    QCOMPARE(f.Overview->Label88->Caption(), QStringLiteral("Communications error - check VelkarHub"));
    QCOMPARE(Moved(calm, Places(page, banner)), QStringList());
    // Replies, but a watchdog counter that stands still.
    for (int k = 0; k < 20; ++k)
        tick(true);
    QVERIFY(banner->isVisible());
    QCOMPARE(f.Overview->Label88->Caption(), QStringLiteral("Watchdog Frozen - check VelkarHub"));
    QCOMPARE(Moved(calm, Places(page, banner)), QStringList());
    // The counter moves again: the warning goes.
    f.Stats_WDCount = 5;
    tick(true);
    QVERIFY(!banner->isVisible());
    QCOMPARE(Moved(calm, Places(page, banner)), QStringList());
}

void TestFormLayout::singleDataColumnsFillTheGrid()
{
    FormHarness h;
    TForm1 &f = h.form();
    for (auto &port : f.Ports) {
        ClickTab(f, port->Sheet);
        FormHarness::ProcessEvents();
        TStringGrid *grid = port->SingleData.GroupGrid;
        QTableView *view = grid->View();
        // Before any group data: the widths of creation, filling the grid.
        QCOMPARE(grid->ColWidth(0), 130);
        QCOMPARE(grid->ColWidth(1), 95);
        QCOMPARE(grid->ColWidth(0) + grid->ColWidth(1), grid->ClientWidth());
        // Every row in sight, no scroll bar.
        QVERIFY(!view->horizontalScrollBar()->isVisible());
        QVERIFY(!view->verticalScrollBar()->isVisible());
        QVERIFY(view->rowViewportPosition(SingleDataGroup::Rows) + view->rowHeight(SingleDataGroup::Rows) <= view->viewport()->height());
        // Static data asked for: the columns still fill the grid, which keeps its size.
        const QRect place = Place(view, f.Window());
        auto *combo = static_cast<QComboBox *>(port->SingleData.ComboBox->Widget());
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        FormHarness::ProcessEvents();
        QCOMPARE(grid->Cells(0, 1), QStringLiteral("Status"));
        QCOMPARE(grid->ColWidth(0) + grid->ColWidth(1), grid->ClientWidth());
        QCOMPARE(Place(view, f.Window()), place);
    }
}

QTEST_MAIN(TestFormLayout)
#include "test_form_layout.moc"
