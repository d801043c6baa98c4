#include "controls/Grid.h"

#include "utilities/Exceptions.h"

#include <QBrush>
#include <QEvent>
#include <QHeaderView>
#include <QPalette>
#include <QTableView>

TGridModel::TGridModel(int cols, int rows, QObject *parent)
    : QAbstractTableModel(parent), cols_(cols), rows_(rows), cells_(static_cast<size_t>(cols * rows))
{
}

int TGridModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : rows_; }

int TGridModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : cols_; }

QVariant TGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return Cell(index.column(), index.row());
    const bool fixed = index.row() < fixedRows || index.column() < fixedCols;
    if (role == Qt::BackgroundRole && fixed)
        return QBrush(QPalette().color(QPalette::Button));
    // The fixed rows are not enabled (see flags()); their titles keep the normal text colour.
    if (role == Qt::ForegroundRole && index.row() < fixedRows)
        return QBrush(QPalette().color(QPalette::Active, QPalette::ButtonText));
    return {};
}

Qt::ItemFlags TGridModel::flags(const QModelIndex &index) const
{
    // Not enabled: a click on a title row changes nothing, and the keys skip it.
    if (index.isValid() && index.row() < fixedRows)
        return Qt::NoItemFlags;
    return QAbstractTableModel::flags(index);
}

const QString &TGridModel::Cell(int col, int row) const { return cells_[static_cast<size_t>(row * cols_ + col)]; }

void TGridModel::SetCell(int col, int row, const QString &text)
{
    QString &cell = cells_[static_cast<size_t>(row * cols_ + col)];
    if (cell == text)
        return;
    cell = text;
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

TStringGrid::TStringGrid(TForm *owner, const QString &name, TWinControl *parent, int cols, int rows,
                         int fixedCols, int fixedRows)
    : TControl(owner, name, new QTableView, parent), model_(new TGridModel(cols, rows, this)), row_(fixedRows)
{
    model_->fixedCols = fixedCols;
    model_->fixedRows = fixedRows;
    QTableView *view = View();
    view->setModel(model_);
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(20);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setWordWrap(false);
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (!current.isValid() || current.row() < model_->fixedRows || current.row() == row_)
                    return;
                row_ = current.row();
                FireUser(OnClick);
            });
    // A click on the row that was already selected is still a selection.
    view->viewport()->installEventFilter(this);
    connect(view, &QTableView::clicked, this, [this](const QModelIndex &index) {
        if (index.row() == pressRow_ && index.row() == row_ && index.row() >= model_->fixedRows)
            FireUser(OnClick);
    });
}

bool TStringGrid::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress)
        pressRow_ = row_;
    return false;
}

QTableView *TStringGrid::View() const { return static_cast<QTableView *>(Widget()); }

int TStringGrid::ColCount() const { return model_->columnCount(); }

int TStringGrid::RowCount() const { return model_->rowCount(); }

void TStringGrid::CheckCell(int col, int row) const
{
    if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount())
        throw EListError(QStringLiteral("Grid index out of range (%1, %2)").arg(col).arg(row));
}

const QString &TStringGrid::Cells(int col, int row) const
{
    CheckCell(col, row);
    return model_->Cell(col, row);
}

void TStringGrid::SetCells(int col, int row, const QString &text)
{
    CheckCell(col, row);
    model_->SetCell(col, row, text);
}

int TStringGrid::ColWidth(int col) const { return View()->columnWidth(col); }

void TStringGrid::SetColWidth(int col, int width) { View()->setColumnWidth(col, width); }

int TStringGrid::ClientWidth() const { return View()->viewport()->width(); }

void TStringGrid::SetRow(int row)
{
    if (row < model_->fixedRows || row >= RowCount())
        return;
    row_ = row;
    View()->selectionModel()->setCurrentIndex(model_->index(row, model_->fixedCols),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
