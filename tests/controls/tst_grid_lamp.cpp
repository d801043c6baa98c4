// The string grid (cell bounds, repainting of changed cells only, selection of data rows
// by mouse and keys, the fixed row) and the lamp's repaint requests.
#include "ControlsTestKit.h"
#include "controls/Grid.h"
#include "controls/Lamp.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTableView>

namespace {

// A grid of 3 columns and 5 rows; row 0 and column 0 are fixed.
TStringGrid *MakeGrid(TestWindow &w)
{
    auto *grid = new TStringGrid(&w.form, QStringLiteral("StringGrid1"), w.Client(), 3, 5);
    w.layout->addWidget(grid->Widget());
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
            grid->SetCells(col, row, QStringLiteral("%1,%2").arg(col).arg(row));
    return grid;
}

void ClickRow(TStringGrid *grid, int row, int col = 1)
{
    QTableView *view = grid->View();
    const QRect r = view->visualRect(view->model()->index(row, col));
    QVERIFY(view->viewport()->rect().contains(r.center()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
}

QList<int> SelectedRows(TStringGrid *grid)
{
    QList<int> rows;
    for (const QModelIndex &i : grid->View()->selectionModel()->selectedIndexes())
        if (!rows.contains(i.row()))
            rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

class TestGridLamp : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Guard::SetExceptionHandler(nullptr); }

    void cellsOutsideGridThrow_data();
    void cellsOutsideGridThrow();
    void onlyChangedCellsRepaint_data();
    void onlyChangedCellsRepaint();
    void clickOnDataRowRunsOnClick_data();
    void clickOnDataRowRunsOnClick();
    void fixedRowCannotBeSelected_data();
    void fixedRowCannotBeSelected();

    void lampRepaintsOnChangeOnly_data();
    void lampRepaintsOnChangeOnly();
};

void TestGridLamp::cellsOutsideGridThrow_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("inside");
    QTest::newRow("first cell") << 0 << 0 << true;
    QTest::newRow("last cell") << 2 << 4 << true;
    QTest::newRow("column -1") << -1 << 0 << false;
    QTest::newRow("column = count") << 3 << 0 << false;
    QTest::newRow("row -1") << 0 << -1 << false;
    QTest::newRow("row = count") << 0 << 5 << false;
    QTest::newRow("both beyond") << 3 << 5 << false;
    QTest::newRow("far beyond") << 1000 << 1000 << false;
}

void TestGridLamp::cellsOutsideGridThrow()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(bool, inside);
    TestWindow w;
    TStringGrid *grid = MakeGrid(w);
    QSignalSpy changed(grid->View()->model(), &QAbstractItemModel::dataChanged);
    if (inside) {
        QCOMPARE(grid->Cells(col, row), QStringLiteral("%1,%2").arg(col).arg(row));
        grid->SetCells(col, row, QStringLiteral("new"));
        QCOMPARE(grid->Cells(col, row), QStringLiteral("new"));
        QCOMPARE(changed.size(), 1);
    } else {
        QVERIFY_THROWS_EXCEPTION(EListError, grid->Cells(col, row));
        QVERIFY_THROWS_EXCEPTION(EListError, grid->SetCells(col, row, QStringLiteral("new")));
        QCOMPARE(changed.size(), 0);
    }
    QCOMPARE(grid->ColCount(), 3);
    QCOMPARE(grid->RowCount(), 5);
}

void TestGridLamp::onlyChangedCellsRepaint_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("repaints");
    // The cell (2, 3) holds "2,3".
    QTest::newRow("same text") << "2,3" << 0;
    QTest::newRow("new text") << "17" << 1;
    QTest::newRow("empty text") << "" << 1;
    QTest::newRow("trailing blank") << "2,3 " << 1;
}

void TestGridLamp::onlyChangedCellsRepaint()
{
    QFETCH(QString, text);
    QFETCH(int, repaints);
    TestWindow w;
    TStringGrid *grid = MakeGrid(w);
    QAbstractItemModel *model = grid->View()->model();
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy layout(model, &QAbstractItemModel::layoutChanged);
    grid->SetCells(2, 3, text);
    grid->SetCells(1, 1, QStringLiteral("1,1")); // unchanged neighbour
    QCOMPARE(changed.size(), repaints);
    if (repaints) {
        const auto from = changed.at(0).at(0).value<QModelIndex>();
        const auto to = changed.at(0).at(1).value<QModelIndex>();
        QCOMPARE(from, model->index(3, 2));
        QCOMPARE(to, model->index(3, 2));
        QCOMPARE(model->data(from, Qt::DisplayRole).toString(), text);
    }
    QCOMPARE(reset.size(), 0);
    QCOMPARE(layout.size(), 0);
}

void TestGridLamp::clickOnDataRowRunsOnClick_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QList<int>>("seen"); // Row() inside each OnClick
    QTest::newRow("one row") << QList<int>{2} << QList<int>{2};
    QTest::newRow("the row selected at the start") << QList<int>{1} << QList<int>{1};
    QTest::newRow("same row twice") << QList<int>{3, 3} << QList<int>{3, 3};
    QTest::newRow("several rows") << QList<int>{1, 4, 4, 2} << QList<int>{1, 4, 4, 2};
    QTest::newRow("fixed row runs nothing") << QList<int>{0} << QList<int>{};
    QTest::newRow("fixed row between") << QList<int>{2, 0, 2} << QList<int>{2, 2};
}

void TestGridLamp::clickOnDataRowRunsOnClick()
{
    QFETCH(QList<int>, clicks);
    QFETCH(QList<int>, seen);
    TestWindow w;
    TStringGrid *grid = MakeGrid(w);
    QList<int> rows;
    grid->OnClick = [&](TComponent *sender) {
        QCOMPARE(sender, grid);
        rows << grid->Row();
    };
    QVERIFY(w.ShowActive());
    for (int row : clicks)
        ClickRow(grid, row);
    QCOMPARE(rows, seen);
    if (!seen.isEmpty()) {
        QCOMPARE(grid->Row(), seen.constLast());
        QCOMPARE(SelectedRows(grid), QList<int>{seen.constLast()});
    }
}

// Neither the mouse nor the keys nor the program select the fixed row.
void TestGridLamp::fixedRowCannotBeSelected_data()
{
    QTest::addColumn<int>("start");    // row clicked first
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("row");      // Row() afterwards
    QTest::addColumn<int>("clicks");   // OnClick runs for the action
    QTest::newRow("click on the fixed row") << 2 << "click:0" << 2 << 0;
    QTest::newRow("Up from the first data row") << 1 << "up" << 1 << 0;
    QTest::newRow("Up twice from the second data row") << 2 << "up up" << 1 << 1;
    QTest::newRow("Ctrl+Home from the last row") << 4 << "ctrl+home" << 1 << 1;
    QTest::newRow("Page Up from the last row") << 4 << "pageup" << 1 << 1;
    QTest::newRow("Down moves on") << 1 << "down" << 2 << 1;
    QTest::newRow("program sets the fixed row") << 3 << "program:0" << 3 << 0;
    QTest::newRow("program sets a data row") << 3 << "program:2" << 2 << 0;
}

void TestGridLamp::fixedRowCannotBeSelected()
{
    QFETCH(int, start);
    QFETCH(QString, action);
    QFETCH(int, row);
    QFETCH(int, clicks);
    TestWindow w;
    TStringGrid *grid = MakeGrid(w);
    QVERIFY(w.ShowActive());
    ClickRow(grid, start);
    QCOMPARE(grid->Row(), start);
    QList<int> seen;
    grid->OnClick = [&](TComponent *) { seen << grid->Row(); };
    QTableView *view = grid->View();
    for (const QString &step : action.split(QLatin1Char(' '))) {
        if (step == QLatin1String("up"))
            QTest::keyClick(view, Qt::Key_Up);
        else if (step == QLatin1String("down"))
            QTest::keyClick(view, Qt::Key_Down);
        else if (step == QLatin1String("ctrl+home"))
            QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        else if (step == QLatin1String("pageup"))
            QTest::keyClick(view, Qt::Key_PageUp);
        else if (step.startsWith(QLatin1String("click:")))
            ClickRow(grid, step.mid(6).toInt());
        else if (step.startsWith(QLatin1String("program:")))
            grid->SetRow(step.mid(8).toInt());
        else
            QFAIL(qPrintable(step));
    }
    QCOMPARE(grid->Row(), row);
    QCOMPARE(seen.size(), clicks);
    if (clicks)
        QCOMPARE(seen.constLast(), row);
    QCOMPARE(SelectedRows(grid), QList<int>{row});
    QCOMPARE(view->currentIndex().row(), row);
}

// ------------------------------------------------------------ lamp

void TestGridLamp::lampRepaintsOnChangeOnly_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<uint>("start");
    QTest::addColumn<uint>("value");
    QTest::addColumn<int>("requests");
    QTest::newRow("unlit stays unlit") << "value" << 0u << 0u << 0;
    QTest::newRow("lit stays lit") << "value" << 1u << 1u << 0;
    QTest::newRow("lights up") << "value" << 0u << 1u << 1;
    QTest::newRow("goes out") << "value" << 1u << 0u << 1;
    QTest::newRow("same colour") << "color" << 0xFFFF0000u << 0xFFFF0000u << 0;
    QTest::newRow("new colour") << "color" << 0xFFFF0000u << 0xFF00FF00u << 1;
    QTest::newRow("alpha only differs") << "color" << 0xFFFF0000u << 0x80FF0000u << 1;
}

void TestGridLamp::lampRepaintsOnChangeOnly()
{
    QFETCH(QString, property);
    QFETCH(uint, start);
    QFETCH(uint, value);
    QFETCH(int, requests);
    TestWindow w;
    auto *lamp = w.Place(new TILLed(&w.form, QStringLiteral("ILLed1"), w.Client(), 14));
    const bool isValue = property == QLatin1String("value");
    if (isValue)
        lamp->SetValue(start != 0);
    else
        lamp->SetColor(start);
    const int before = lamp->RepaintRequests();
    for (int i = 0; i < 3; ++i) { // repeating the same value costs nothing more
        if (isValue)
            lamp->SetValue(value != 0);
        else
            lamp->SetColor(value);
    }
    QCOMPARE(lamp->RepaintRequests() - before, requests);
    if (isValue)
        QCOMPARE(lamp->Value(), value != 0);
    else
        QCOMPARE(lamp->Color(), value);
}

int RunGridLampTests(int argc, char **argv)
{
    TestGridLamp tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_grid_lamp.moc"
