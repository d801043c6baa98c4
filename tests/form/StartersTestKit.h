#pragma once
// What the starter tests share: the operator's click on a row of a port's starter grid.
#include "FormHarness.h"

#include <QTableView>
#include <QTest>

namespace StartersTestKit {

inline TStringGrid *Grid(TForm1 &f, int port) { return f.Ports[static_cast<size_t>(port - 1)]->StringGrid; }
inline StarterStatusGroup &Starters(TForm1 &f, int port) { return f.Ports[static_cast<size_t>(port - 1)]->Starters; }

inline QStringList StatusTexts(TForm1 &f, int port)
{
    QStringList texts;
    for (TLabel *label : Starters(f, port).Status)
        texts << label->Caption();
    return texts;
}

// Shows the port's page (as the program does, without its page handling) and clicks the
// row with the mouse.
inline void ClickRow(TForm1 &f, int port, int row)
{
    f.Frame->PageControl1->SetActivePage(f.Ports[static_cast<size_t>(port - 1)]->Sheet);
    QTableView *view = Grid(f, port)->View();
    const QModelIndex index = view->model()->index(row, 2);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

} // namespace StartersTestKit
