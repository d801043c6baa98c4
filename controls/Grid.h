#pragma once
// A grid of text cells (Cells[col][row]); row 0 and column 0 may be fixed (titles). Only
// cells whose text changes are repainted.
#include "controls/Controls.h"

#include <QAbstractTableModel>
#include <vector>

class QTableView;

class TGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TGridModel(int cols, int rows, QObject *parent);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    // The fixed rows can be neither selected nor made current, by mouse or keys.
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    const QString &Cell(int col, int row) const;
    void SetCell(int col, int row, const QString &text);
    int fixedCols = 1;
    int fixedRows = 1;

private:
    int cols_, rows_;
    std::vector<QString> cells_;
};

class TStringGrid : public TControl {
    Q_OBJECT
public:
    TStringGrid(TForm *owner, const QString &name, TWinControl *parent, int cols, int rows,
                int fixedCols = 1, int fixedRows = 1);
    int ColCount() const;
    int RowCount() const;
    // A cell outside the grid throws EListError.
    const QString &Cells(int col, int row) const;
    void SetCells(int col, int row, const QString &text);
    int ColWidth(int col) const;
    void SetColWidth(int col, int width);
    // The grid's client width, in pixels.
    int ClientWidth() const;
    // The selected row; the fixed rows cannot be selected.
    int Row() const { return row_; }
    void SetRow(int row);
    QTableView *View() const;

    // The operator selected a cell (by mouse or keys).
    TNotifyEvent OnClick;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CheckCell(int col, int row) const;
    TGridModel *model_;
    int row_;
    int pressRow_ = -1;
};
