// The controls that act on one starter: "Single Data" of each port page, the "Commands"
// and "Clear Items" groups shown after the command password, the box that asks for it
// on the communications page, and the configuration page.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/Grid.h"
#include "controls/PageControl.h"
#include "mainform/Colours.h"
#include "mainform/Layout.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/ConfigurationPage.h"
#include "mainform/pages/PortPage.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QTableView>

using Layout::Add;

namespace {

using Handler = void (TForm1::*)(TComponent *);

// The "Single Data" boxes and their combo boxes and buttons are numbered irregularly.
constexpr int SingleDataGroupBox[] = {13, 15, 16, 14};

// The command buttons: caption, handler and the button's number on ports 1 to 4, in the
// order they stand in the group (two to a row).
struct CommandButton {
    TButton *CommandsGroup::*button;
    const char *caption;
    Handler handler;
    int number[4];
};
constexpr CommandButton CommandButtons[] = {
    {&CommandsGroup::Open, "Open", &TForm1::Button9Click, {9, 12, 15, 18}},
    {&CommandsGroup::CloseA, "Close A", &TForm1::Button10Click, {10, 13, 16, 19}},
    {&CommandsGroup::CloseB, "Close B", &TForm1::Button11Click, {11, 14, 17, 20}},
    {&CommandsGroup::NoAction, "No Action", &TForm1::Button21Click, {21, 32, 29, 35}},
    {&CommandsGroup::ResetThermal, "Reset Thermal", &TForm1::Button27Click, {27, 33, 30, 36}},
    {&CommandsGroup::ResetUnder, "Reset Under", &TForm1::Button28Click, {28, 34, 31, 37}},
};

// The clearing buttons, top to bottom, each with its own handler per port.
struct ClearButton {
    TButton *ClearItemsGroup::*button;
    const char *caption;
    Handler handler[4];
    int number[4];
};
constexpr ClearButton ClearButtons[] = {
    {&ClearItemsGroup::TypeData, "QVType Data",
     {&TForm1::Button24Click, &TForm1::Button45Click, &TForm1::Button48Click, &TForm1::Button51Click}, {24, 45, 48, 51}},
    {&ClearItemsGroup::ConfigData, "Config Data",
     {&TForm1::Button39Click, &TForm1::Button46Click, &TForm1::Button49Click, &TForm1::Button52Click}, {39, 46, 49, 52}},
    {&ClearItemsGroup::AllConfig, "All Config",
     {&TForm1::Button40Click, &TForm1::Button47Click, &TForm1::Button50Click, &TForm1::Button53Click}, {40, 47, 50, 53}},
};

const QColor Grey(128, 128, 128);

} // namespace

void TForm1::BuildPortSingleData(PortPage &port, QBoxLayout *column)
{
    SingleDataGroup &g = port.SingleData;
    const int number = SingleDataGroupBox[port.Link()];
    const QString unit = QString::number(port.Unit());
    g.Box = new TGroupBox(this, QStringLiteral("GroupBox%1").arg(number), port.Sheet, QStringLiteral("Single Data"));
    auto *layout = Layout::VBox(g.Box);

    auto *choose = Layout::Row(layout);
    QStringList items{QStringLiteral("Static Data")};
    for (int n = 1; n <= 10; ++n)
        items << QStringLiteral("Group %1").arg(n);
    g.ComboBox = new TComboBox(this, QStringLiteral("ComboBox%1").arg(port.Port), g.Box, items, QStringLiteral("Select Item to View"));
    g.ComboBox->Tag = port.Unit();
    g.ComboBox->OnChange = [this](TComponent *s) { ComboBox1Change(s); };
    Add(choose, g.ComboBox, 1);
    g.BitBtn = new TButton(this, QStringLiteral("BitBtn%1").arg(port.Port), g.Box, QStringLiteral("&Refresh"));
    g.BitBtn->Tag = port.Unit();
    g.BitBtn->OnClick = [this](TComponent *s) { BitBtn1Click(s); };
    Add(choose, g.BitBtn);

    // As wide as its two columns at creation, and as high as its 15 rows: the columns fill
    // it from the start, with no scroll bar.
    g.GroupGrid = new TStringGrid(this, QStringLiteral("GroupGrid") + unit, g.Box, 2, SingleDataGroup::Rows + 1);
    QTableView *view = g.GroupGrid->View();
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int frame = 2 * view->frameWidth();
    view->setFixedSize(SingleDataGroup::TitleWidth + SingleDataGroup::ValueWidth + frame,
                       (SingleDataGroup::Rows + 1) * view->verticalHeader()->defaultSectionSize() + frame);
    layout->addWidget(view, 0, Qt::AlignLeft);
    g.GrpStat = new TLabel(this, QStringLiteral("GrpStat_L") + unit, g.Box, QStringLiteral("Status"));
    g.GrpStat->SetFontColor(Grey);
    Add(layout, g.GrpStat);
    column->addWidget(g.Box->Widget(), 0, Qt::AlignLeft);
}

void TForm1::BuildPortCommands(PortPage &port, QBoxLayout *column)
{
    CommandsGroup &g = port.Commands;
    g.Box = new TGroupBox(this, QStringLiteral("GroupBox%1").arg(17 + port.Port), port.Sheet, QStringLiteral("Commands"));
    auto *grid = Layout::Grid(g.Box);
    int place = 0;
    for (const CommandButton &spec : CommandButtons) {
        auto *button = new TButton(this, QStringLiteral("Button%1").arg(spec.number[port.Link()]), g.Box, QString::fromLatin1(spec.caption));
        button->Tag = port.Link();
        button->OnClick = [this, handler = spec.handler](TComponent *s) { (this->*handler)(s); };
        Add(grid, button, place / 2, place % 2);
        g.*spec.button = button;
        ++place;
    }
    g.PriorityCommand = new TCheckBox(this, QStringLiteral("PriorityCommandL%1").arg(port.Port), g.Box, QStringLiteral("Use Priority"));
    Add(grid, g.PriorityCommand, place / 2, 0, 1, 2);
    g.Box->SetVisible(false);
    Add(column, g.Box);
}

void TForm1::BuildPortClearItems(PortPage &port, QBoxLayout *column)
{
    ClearItemsGroup &g = port.ClearItems;
    g.Box = new TGroupBox(this, QStringLiteral("GroupBox%1").arg(23 + port.Port), port.Sheet, QStringLiteral("Clear Items"));
    auto *layout = Layout::VBox(g.Box);
    for (const ClearButton &spec : ClearButtons) {
        auto *button = new TButton(this, QStringLiteral("Button%1").arg(spec.number[port.Link()]), g.Box, QString::fromLatin1(spec.caption));
        button->OnClick = [this, handler = spec.handler[port.Link()]](TComponent *s) { (this->*handler)(s); };
        Add(layout, button);
        g.*spec.button = button;
    }
    g.Progress = new TLabel(this, QStringLiteral("Label%1").arg(125 + port.Port), g.Box, QStringLiteral("Writing: "));
    g.Progress->SetVisible(false);
    // Its line stays reserved while it is hidden, so the group does not grow at the first run.
    QSizePolicy keep = g.Progress->Widget()->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    g.Progress->Widget()->setSizePolicy(keep);
    Add(layout, g.Progress);
    layout->addStretch(1);
    g.Box->SetVisible(false);
    Add(column, g.Box);
}

void TForm1::BuildCommsAllowCommands(QBoxLayout *column)
{
    Comms->AllowCommands = new TCheckBox(this, QStringLiteral("AllowCommands"), Comms->TabSheet7, QStringLiteral("Allow Commands"));
    Comms->AllowCommands->OnClick = [this](TComponent *s) { AllowCommandsClick(s); };
    Add(column, Comms->AllowCommands);
}

void TForm1::BuildConfigurationPage()
{
    ConfigurationPage &c = *Config;
    TTabSheet *page = c.Configuration;
    auto *layout = Layout::VBox(page);
    auto *top = Layout::Row(layout);
    page->SetAdoptLayout(top);
    auto *body = Layout::Row(layout);

    c.StringGrid5 = new TStringGrid(this, QStringLiteral("StringGrid5"), page, 6, 130);
    const int widths[] = {60, 70, 50, 50, 50, 60};
    for (int col = 0; col < 6; ++col)
        c.StringGrid5->SetColWidth(col, widths[col]);
    c.StringGrid5->Widget()->setFixedWidth(360);
    Add(body, c.StringGrid5);
    body->addSpacing(12);

    auto *side = Layout::Column(body);
    body->addStretch(1);
    auto instruction = [&](const QString &name, const QString &text) {
        auto *label = new TLabel(this, name, page, text);
        label->SetWordWrap(true);
        label->Widget()->setFixedWidth(520);
        return label;
    };
    c.Button22 = new TButton(this, QStringLiteral("Button22"), page, QStringLiteral("Read VKH"));
    c.Button22->OnClick = [this](TComponent *s) { Button22Click(s); };
    c.Label40 = instruction(QStringLiteral("Label40"),
                            QStringLiteral("Select a Quorvane by clicking on the appropriate line on the status grids on any of the tabs "
                                           "marked Port 1 to Port 4. Then click the Read VKH button to read the configuration data."));
    c.Button23 = new TButton(this, QStringLiteral("Button23"), page, QStringLiteral("Update VKH"));
    c.Button23->OnClick = [this](TComponent *s) { Button23Click(s); };
    c.Label56 = instruction(QStringLiteral("Label56"),
                            QStringLiteral("Select a Quorvane by clicking on the appropriate line on the status grids on any of the tabs "
                                           "marked Port 1 to Port 4. Clicking the Update VKH button will force the VelkarHub to re read "
                                           "the configuration data from the selected Quorvane."));
    // The buttons keep their own width; a wrapped label gets its height only when placed
    // without an alignment.
    side->addWidget(c.Button22->Widget(), 0, Qt::AlignLeft);
    Add(side, c.Label40);
    side->addSpacing(16);
    side->addWidget(c.Button23->Widget(), 0, Qt::AlignLeft);
    Add(side, c.Label56);
    side->addStretch(1);
}
