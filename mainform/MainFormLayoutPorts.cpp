// The four port pages: every control with its name, caption, Tag, hint and state at
// creation. The pages are alike; each group of a page has its own builder, and the
// page places the groups in three columns: the starter grid, the link, the starter.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/Grid.h"
#include "controls/PageControl.h"
#include "mainform/Colours.h"
#include "mainform/Layout.h"
#include "mainform/pages/PortPage.h"

using Layout::Add;
using namespace Colours;

void TForm1::BuildPortPage(PortPage &port)
{
    TTabSheet *page = port.Sheet;
    auto *layout = Layout::VBox(page);
    auto *top = Layout::Row(layout);
    page->SetAdoptLayout(top);
    auto *body = Layout::Row(layout);

    if (port.Port == 1) {
        PortCommon->Button4 = new TButton(this, QStringLiteral("Button4"), page, QStringLiteral("Read"));
        PortCommon->Button4->SetVisible(false);
        PortCommon->Button4->OnClick = [this](TComponent *s) { Button4Click(s); };
        PortCommon->Label61 = new TLabel(this, QStringLiteral("Label61"), page, QStringLiteral("Selected Quorvane: 0:0"));
        PortCommon->Label61->SetFontColor(Blue);
        PortCommon->Label61->SetBold(true);
        Add(top, PortCommon->Label61);
    }
    if (port.Port == 2) {
        PortCommon->Button7 = new TButton(this, QStringLiteral("Button7"), page, QStringLiteral("Button7"));
        PortCommon->Button7->OnClick = [this](TComponent *s) { Button7Click(s); };
        Add(top, PortCommon->Button7);
    }
    top->addStretch(1);

    auto *gridColumn = Layout::Column(body);
    auto *linkColumn = Layout::Column(body, 1);
    auto *starterColumn = Layout::Column(body, 1);
    BuildPortGrid(port, gridColumn);
    BuildPortStarters(port, gridColumn);
    BuildPortLinkSettings(port, linkColumn);
    BuildPortLinkInfo(port, linkColumn);
    BuildPortSingleData(port, starterColumn);
    auto *allowed = Layout::Row(starterColumn);
    BuildPortCommands(port, allowed);
    BuildPortClearItems(port, allowed);
    linkColumn->addStretch(1);
    starterColumn->addStretch(1);
}

void TForm1::BuildPortGrid(PortPage &port, QBoxLayout *column)
{
    auto *grid = new TStringGrid(this, QStringLiteral("StringGrid%1").arg(port.Port), port.Sheet, 6, 101);
    grid->Tag = port.Link();
    grid->SetHint(QStringLiteral("Click on line to select that Quorvane to work with"));
    grid->HelpKeyword = QStringLiteral("Port_Tabs");
    const int widths[] = {58, 60, 50, 66, 150, 70};
    for (int c = 0; c < 6; ++c)
        grid->SetColWidth(c, widths[c]);
    grid->Widget()->setFixedWidth(480);
    port.StringGrid = grid;
    Add(column, grid, 1);
}
