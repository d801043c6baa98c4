// The starter controls of the port pages, under the starter grid where the engineer
// reads them: the status-display box and the fault-column legend, then the bits of the
// selected starter's status word with the two layout boxes and the fault text.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/Grid.h"
#include "controls/PageControl.h"
#include "mainform/Colours.h"
#include "mainform/Layout.h"
#include "mainform/pages/PortPage.h"

using Layout::Add;

namespace {
const char *const LegendTexts[] = {"Fault column:", "W- warn", "A- alarm", "T- trip", "LT- latched trip"};
// The status labels stand in two columns: bits 0 to 7 of the newer layout on the left.
constexpr int StatusRows = StarterStatusGroup::StatusLabels / 2;
} // namespace

void TForm1::BuildPortStarters(PortPage &port, QBoxLayout *column)
{
    StarterStatusGroup &g = port.Starters;
    TTabSheet *page = port.Sheet;
    const QString unit = QString::number(port.Unit());

    auto *legend = Layout::Row(column);
    g.HexCheckbox = new TCheckBox(this, QStringLiteral("HexCheckbox%1").arg(port.Port), page, QStringLiteral("Status in Hex"));
    Add(legend, g.HexCheckbox);
    legend->addStretch(1);
    for (size_t k = 0; k < g.Legend.size(); ++k) {
        g.Legend[k] = new TLabel(this, QStringLiteral("FaultLegend%1_%2").arg(port.Port).arg(k), page,
                                 QString::fromLatin1(LegendTexts[k]));
        Add(legend, g.Legend[k]);
        legend->addSpacing(4);
    }
    g.Legend[0]->SetBold(true);

    g.Box = new TGroupBox(this, QStringLiteral("StarterStatus%1").arg(port.Port), page, QStringLiteral("Selected Quorvane Status"));
    auto *grid = Layout::Grid(g.Box, 4);
    grid->setVerticalSpacing(1);
    g.QV4orHigher = new TCheckBox(this, QStringLiteral("QV4orHigherG") + unit, g.Box, QStringLiteral("QV4 or 5"));
    g.QV2orLower = new TCheckBox(this, QStringLiteral("QV2orLowerG") + unit, g.Box, QStringLiteral("Older QV"));
    g.QV4orHigher->Tag = g.QV2orLower->Tag = port.Unit();
    g.QV4orHigher->OnClick = [this](TComponent *s) { QV4orHigherG17Click(s); };
    g.QV2orLower->OnClick = [this](TComponent *s) { QV2orLowerG17Click(s); };
    Add(grid, g.QV4orHigher, 0, 0);
    Add(grid, g.QV2orLower, 0, 1);

    g.Fault = new TLabel(this, QStringLiteral("FaultL%1").arg(port.Link()), g.Box);
    g.Fault->SetFontColor(Colours::Red);
    g.Fault->SetWordWrap(true);
    g.Fault->SetVisible(false);
    // Its line stays reserved while it is hidden, so the grid does not jump with the selection.
    QSizePolicy keep = g.Fault->Widget()->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    g.Fault->Widget()->setSizePolicy(keep);
    g.Fault->Widget()->setMinimumHeight(g.Fault->Widget()->fontMetrics().height());
    Add(grid, g.Fault, 1, 0, 1, 2);

    for (int n = 0; n < StarterStatusGroup::StatusLabels; ++n) {
        TLabel *label = new TLabel(this, QStringLiteral("L%1Status%2").arg(port.Port).arg(n), g.Box, QStringLiteral("-"));
        g.Status[static_cast<size_t>(n)] = label;
        Add(grid, label, 2 + n % StatusRows, n / StatusRows);
    }
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    Add(column, g.Box);

    port.StringGrid->OnClick = [this](TComponent *s) { StringGrid1Click(s); };
}
