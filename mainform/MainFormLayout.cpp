// The window and its pages: every control with its name, caption, Tag, hint and state
// at creation, placed with Qt layouts so that each page reads at 1280 x 800.
#include "mainform/MainForm.h"

#include "mainform/Colours.h"
#include "mainform/Layout.h"

#include <QButtonGroup>
#include <QFrame>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTableView>
#include <QWidget>

using namespace ConfigConst;
using Layout::Add;
using namespace Colours;

namespace {
QPixmap Logo()
{
    QPixmap pixmap(220, 90);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 0, 128));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(pixmap.rect().adjusted(2, 2, -2, -2), 14, 14);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPointSize(20);
    font.setBold(true);
    p.setFont(font);
    p.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("VelkarHub"));
    return pixmap;
}
} // namespace

void TForm1::BuildWindow()
{
    SetCaption(QStringLiteral("VelkarHub Interface"));
    Window()->resize(1280, 800);
    auto *root = Layout::VBox(Client(), 4);

    PageControl1 = new TPageControl(this, QStringLiteral("PageControl1"), Client());
    Add(root, PageControl1, 1);
    TabSheet8 = new TTabSheet(this, QStringLiteral("TabSheet8"), PageControl1, QStringLiteral("VelkarHub"));
    TabSheet8->HelpContext = 1000;
    TabSheet1 = new TTabSheet(this, QStringLiteral("TabSheet1"), PageControl1, QStringLiteral("VelkarHub Settings"));
    TabSheet1->HelpContext = 2000;
    for (int n = 1; n <= 4; ++n) {
        auto *page = new TTabSheet(this, QStringLiteral("Port%1").arg(n), PageControl1, QStringLiteral("Port %1").arg(n));
        page->HelpContext = 3000;
        PortPages[static_cast<size_t>(n - 1)] = page;
    }
    Configuration = new TTabSheet(this, QStringLiteral("Configuration"), PageControl1, QStringLiteral("Configuration"));
    Configuration->HelpContext = 4000;
    TabSheet7 = new TTabSheet(this, QStringLiteral("TabSheet7"), PageControl1, QStringLiteral("Modbus and related"));
    TabSheet7->HelpContext = 5000;
    TabSheet6 = new TTabSheet(this, QStringLiteral("TabSheet6"), PageControl1, QStringLiteral("About"));
    TabSheet2 = new TTabSheet(this, QStringLiteral("TabSheet2"), PageControl1, QStringLiteral("Diagnostics"));
    PageControl1->OnChange = [this](TComponent *s) { PageControl1Change(s); };
    PageControl1->OnMouseDown = [this](TComponent *s, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        PageControl1MouseDown(s, b, m, x, y);
    };

    // The communications strip along the bottom edge, with its lamp.
    auto *strip = new TPanel(this, QStringLiteral("Mbaxp1"), Client());
    auto *stripLayout = Layout::HBox(strip, 2);
    stripLayout->addWidget(Layout::Text(strip, QStringLiteral("Modbus")));
    stripLayout->addStretch(1);
    ILLed1 = new TILLed(this, QStringLiteral("ILLed1"), strip, 14);
    Add(stripLayout, ILLed1);
    strip->Widget()->setAutoFillBackground(true);
    Add(root, strip);

    Timer1 = new TTimer(this, QStringLiteral("Timer1"), 2500, false);
    Timer1->OnTimer = [this](TComponent *s) { Timer1Timer(s); };
    Timer2 = new TTimer(this, QStringLiteral("Timer2"), 100, true);
    Timer2->OnTimer = [this](TComponent *s) { Timer2Timer(s); };

    BuildOverviewPage();
    BuildHubSettingsPage();
    for (int n = 1; n <= 4; ++n)
        BuildPortPage(n);
    BuildConfigurationPage();
    BuildCommsPage();
    BuildAboutPage();
    BuildDiagnosticsPage();

    // The stored control values, in the order they are restored and saved.
    for (TEdit *e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6})
        OvcComponentState1.AddText(e);
    OvcComponentState1.AddChecked(RadioButton1);
    OvcComponentState1.AddChecked(RadioButton2);
    for (TEdit *e : {Edit7, Edit8, Edit9, Edit10})
        OvcComponentState1.AddText(e);
    OvcComponentState1.AddChecked(CheckBox3);
    OvcComponentState1.AddChecked(PriorityCommands[0]);
    OvcComponentState1.AddChecked(CheckBox4);
    OvcComponentState1.AddText(Edit16);
    OvcComponentState1.AddText(Edit25);
    OvcComponentState1.AddChecked(RadioButton3);
    OvcComponentState1.AddChecked(CheckBox2);

    PageControl1->SetActivePage(TabSheet8);
}

void TForm1::BuildHubSettingsPage()
{
    TTabSheet *page = TabSheet1;
    auto *columns = Layout::HBox(page);
    auto *left = Layout::Column(columns, 1);
    auto *right = Layout::Column(columns, 2);
    Button1 = new TButton(this, QStringLiteral("Button1"), page, QStringLiteral("Read"));
    Button1->SetVisible(false);
    Button1->OnClick = [this](TComponent *s) { Button1Click(s); };

    auto *time = new TGroupBox(this, QStringLiteral("GroupBox11"), page, QStringLiteral("Time and date"));
    auto *t = Layout::VBox(time);
    CheckBox3 = new TCheckBox(this, QStringLiteral("CheckBox3"), time, QStringLiteral("Auto update time"));
    Add(t, CheckBox3);
    Btn_UpdateTime = new TButton(this, QStringLiteral("Btn_UpdateTime"), time, QStringLiteral("Update from PC"));
    t->addWidget(Btn_UpdateTime->Widget(), 0, Qt::AlignLeft);
    Add(left, time);
    left->addStretch(1);

    GroupBox23 = new TGroupBox(this, QStringLiteral("GroupBox23"), page, QStringLiteral("Restrict Client Access"));
    auto *ranges = Layout::VBox(GroupBox23);
    GroupBox22 = new TGroupBox(this, QStringLiteral("GroupBox22"), GroupBox23, QStringLiteral("Last IP Block"));
    auto *b = Layout::HBox(GroupBox22);
    Label104 = new TLabel(this, QStringLiteral("Label104"), GroupBox22, QStringLiteral("Blocks: "));
    Label104->Widget()->setMinimumWidth(90);
    Add(b, Label104);
    const std::array<TEdit **, 5> client{&InvalidIP1, &InvalidIP2, &InvalidIP3, &InvalidIP4, &InvalidIP5};
    for (int k = 0; k < 5; ++k) {
        if (k == 4)
            b->addWidget(Layout::Text(GroupBox22, QStringLiteral(":")));
        TEdit *&e = *client[static_cast<size_t>(k)];
        e = new TEdit(this, QStringLiteral("InvalidIP%1").arg(k + 1), GroupBox22, QStringLiteral("192"));
        e->SetReadOnly(true);
        e->Widget()->setFixedWidth(k == 4 ? 56 : 44);
        Add(b, e);
    }
    Button43 = new TButton(this, QStringLiteral("Button43"), GroupBox22, QStringLiteral("Clear"));
    Button43->OnClick = [this](TComponent *s) { Button43Click(s); };
    Add(b, Button43);
    b->addStretch(1);
    Add(ranges, GroupBox22);
    Add(right, GroupBox23);
    right->addStretch(1);
}

void TForm1::BuildPortPage(int port)
{
    const auto i = static_cast<size_t>(port - 1);
    TTabSheet *page = PortPages[i];
    auto *layout = Layout::VBox(page);
    auto *top = Layout::Row(layout);
    page->SetAdoptLayout(top);
    auto *body = Layout::Row(layout);

    if (port == 1) {
        Button4 = new TButton(this, QStringLiteral("Button4"), page, QStringLiteral("Read"));
        Button4->SetVisible(false);
        Button4->OnClick = [this](TComponent *s) { Button4Click(s); };
        Label61 = new TLabel(this, QStringLiteral("Label61"), page, QStringLiteral("Selected Quorvane: 0:0"));
        Label61->SetFontColor(Blue);
        Label61->SetBold(true);
        Add(top, Label61);
    }
    if (port == 2) {
        Button7 = new TButton(this, QStringLiteral("Button7"), page, QStringLiteral("Button7"));
        Button7->OnClick = [this](TComponent *s) { Button7Click(s); };
        Add(top, Button7);
    }
    top->addStretch(1);

    auto *grid = new TStringGrid(this, QStringLiteral("StringGrid%1").arg(port), page, 6, 101);
    grid->Tag = port - 1;
    grid->SetHint(QStringLiteral("Click on line to select that Quorvane to work with"));
    grid->HelpKeyword = QStringLiteral("Port_Tabs");
    const int widths[] = {56, 64, 56, 72, 140, 70};
    for (int c = 0; c < 6; ++c)
        grid->SetColWidth(c, widths[c]);
    grid->Widget()->setFixedWidth(480);
    StringGrids[i] = grid;
    Add(body, grid);

    auto *side = Layout::Column(body, 1);
    auto *single = new TGroupBox(this, QStringLiteral("GroupBox%1").arg(port == 1 ? 13 : port == 2 ? 15 : port == 3 ? 16 : 14),
                                 page, QStringLiteral("Single Data"));
    auto *singleLayout = Layout::VBox(single);
    auto *groupGrid = new TStringGrid(this, QStringLiteral("GroupGrid%1").arg(16 + port), single, 2, 15);
    groupGrid->Widget()->setMinimumHeight(320);
    GroupGrids[i] = groupGrid;
    Add(singleLayout, groupGrid);
    side->addWidget(single->Widget());

    auto *commands = new TGroupBox(this, QStringLiteral("GroupBox%1").arg(17 + port), page, QStringLiteral("Commands"));
    auto *commandsLayout = Layout::VBox(commands);
    PriorityCommands[i] = new TCheckBox(this, QStringLiteral("PriorityCommandL%1").arg(port), commands, QStringLiteral("Use Priority"));
    Add(commandsLayout, PriorityCommands[i]);
    commands->SetVisible(false);
    CommandGroups[i] = commands;
    side->addWidget(commands->Widget());
    side->addStretch(1);
}

void TForm1::BuildConfigurationPage()
{
    auto *layout = Layout::VBox(Configuration);
    auto *top = Layout::Row(layout);
    Configuration->SetAdoptLayout(top);
    layout->addStretch(1);
}

void TForm1::BuildCommsPage()
{
    TTabSheet *page = TabSheet7;
    auto *columns = Layout::HBox(page);
    auto *left = Layout::Column(columns, 3);
    auto *middle = Layout::Column(columns, 2);
    auto *right = Layout::Column(columns, 2);

    GroupBox1 = new TGroupBox(this, QStringLiteral("GroupBox1"), page, QStringLiteral("Modbus connection settings"));
    GroupBox1->HelpKeyword = QStringLiteral("Modbus_Related");
    auto *g = Layout::Grid(GroupBox1);
    auto *choices = new QButtonGroup(GroupBox1);
    auto edit = [this](const QString &name, const QString &text, int width) {
        auto *e = new TEdit(this, name, GroupBox1, text);
        e->Widget()->setFixedWidth(width);
        return e;
    };
    auto addressRow = [&](int row, std::array<TEdit **, 4> parts, TLabel *&colon, const QString &colonName,
                          TEdit *&port, const QString &portName, std::array<QString, 4> names) {
        auto *box = new QHBoxLayout;
        box->setSpacing(2);
        for (size_t k = 0; k < 4; ++k) {
            *parts[k] = edit(names[k], QStringList{"192", "168", "1", "10"}[static_cast<int>(k)], 42);
            box->addWidget((*parts[k])->Widget());
        }
        colon = new TLabel(this, colonName, GroupBox1, QStringLiteral(":"));
        box->addWidget(colon->Widget());
        port = edit(portName, QStringLiteral("502"), 56);
        box->addWidget(port->Widget());
        box->addStretch(1);
        g->addLayout(box, row, 1);
    };

    RadioButton1 = new TRadioButton(this, QStringLiteral("RadioButton1"), GroupBox1, QStringLiteral("TCP/IP Unit 1"), choices);
    RadioButton3 = new TRadioButton(this, QStringLiteral("RadioButton3"), GroupBox1, QStringLiteral("TCP/IP Unit 2"), choices);
    RadioButton2 = new TRadioButton(this, QStringLiteral("RadioButton2"), GroupBox1, QStringLiteral("RTU"), choices);
    RadioButton2->SetChecked(true);
    for (TRadioButton *b : {RadioButton1, RadioButton2, RadioButton3})
        b->OnClick = [this](TComponent *s) { RadioButton1Click(s); };
    Add(g, RadioButton1, 0, 0);
    g->addWidget(Layout::Text(GroupBox1, QStringLiteral("Connect using Modbus TCP/IP to the primary unit")), 0, 1);
    addressRow(1, {&Edit1, &Edit2, &Edit3, &Edit4}, Label95, QStringLiteral("Label95"), Edit16, QStringLiteral("Edit16"),
               {QStringLiteral("Edit1"), QStringLiteral("Edit2"), QStringLiteral("Edit3"), QStringLiteral("Edit4")});
    Add(g, RadioButton3, 2, 0);
    g->addWidget(Layout::Text(GroupBox1, QStringLiteral("Connect using Modbus TCP/IP to an additional unit")), 2, 1);
    addressRow(3, {&Edit7, &Edit8, &Edit9, &Edit10}, Label96, QStringLiteral("Label96"), Edit25, QStringLiteral("Edit25"),
               {QStringLiteral("Edit7"), QStringLiteral("Edit8"), QStringLiteral("Edit9"), QStringLiteral("Edit10")});
    Add(g, RadioButton2, 4, 0);
    g->addWidget(Layout::Text(GroupBox1, QStringLiteral("Connect using Modbus RTU to a unit connected using USB A-B cable")), 4, 1);

    Label2 = new TLabel(this, QStringLiteral("Label2"), GroupBox1, QStringLiteral("TCP/IP Timeout (ms)"));
    Edit5 = edit(QStringLiteral("Edit5"), QStringLiteral("1000"), 70);
    Edit5->SetHint(QStringLiteral("Windows TCP/IP driver timeout"));
    Add(g, Label2, 5, 0);
    Add(g, Edit5, 5, 1);
    Label3 = new TLabel(this, QStringLiteral("Label3"), GroupBox1, QStringLiteral("ComPort"));
    Edit6 = edit(QStringLiteral("Edit6"), QStringLiteral("3"), 70);
    Add(g, Label3, 6, 0);
    Add(g, Edit6, 6, 1);
    Label59 = new TLabel(this, QStringLiteral("Label59"), GroupBox1, QStringLiteral("Available USB Ports"));
    Memo2 = new TMemo(this, QStringLiteral("Memo2"), GroupBox1);
    Memo2->Widget()->setFixedHeight(80);
    Memo2->OnDblClick = [this](TComponent *s) { Memo2DblClick(s); };
    Label62 = new TLabel(this, QStringLiteral("Label62"), GroupBox1,
                         QStringLiteral("Double click on required port then click on Apply to port if you wish to use that port for communications."));
    Label62->SetWordWrap(true);
    Add(g, Label59, 7, 0);
    Add(g, Memo2, 7, 1);
    Add(g, Label62, 8, 0, 1, 2);
    Button2 = new TButton(this, QStringLiteral("Button2"), GroupBox1, QStringLiteral("Apply to Port"));
    Button2->OnClick = [this](TComponent *s) { Button2Click(s); };
    Add(g, Button2, 9, 0);
    g->setColumnStretch(1, 1);
    // At first start only the RTU fields show: the COM-port field, the list and its labels.
    for (TControl *c : std::initializer_list<TControl *>{Edit1, Edit2, Edit3, Edit4, Edit16, Label95, Edit7, Edit8, Edit9,
                                                         Edit10, Edit25, Label96, Edit5, Label2, Label3})
        c->SetVisible(false);
    Add(left, GroupBox1);

    auto *errors = new TGroupBox(this, QStringLiteral("GroupBox2"), page, QStringLiteral("Communication Errors"));
    auto *errorsLayout = Layout::VBox(errors);
    Label4 = new TLabel(this, QStringLiteral("Label4"), errors, QStringLiteral("No Issues"));
    Label4->SetHint(QStringLiteral("Click to Reset"));
    Label4->SetWordWrap(true);
    Label4->SetHandCursor();
    Label4->OnClick = [this](TComponent *s) { Label4Click(s); };
    Add(errorsLayout, Label4);
    auto *age = Layout::Row(errorsLayout);
    Label89 = new TLabel(this, QStringLiteral("Label89"), errors, QStringLiteral("ms since last good message"));
    Label90 = new TLabel(this, QStringLiteral("Label90"), errors, QStringLiteral("0"));
    Add(age, Label89);
    Add(age, Label90);
    age->addStretch(1);
    Add(middle, errors);

    auto *runtime = new TGroupBox(this, QStringLiteral("GroupBox12"), page, QStringLiteral("Runtime messages"));
    auto *r = Layout::VBox(runtime);
    Memo1 = new TMemo(this, QStringLiteral("Memo1"), runtime);
    Memo1->Widget()->setFixedHeight(84);
    Memo1->SetVisible(false);
    Add(r, Memo1);
    Label120 = new TLabel(this, QStringLiteral("Label120"), runtime, QStringLiteral("Clear Runtime Error Message"));
    Label120->Tag = 7000;
    Label120->SetFontColor(Blue);
    Label120->SetHandCursor();
    Label120->SetVisible(false);
    Label120->OnClick = [this](TComponent *s) { Label12Click(s); };
    Add(r, Label120);

    Label125 = new TLabel(this, QStringLiteral("Label125"), page, QStringLiteral("Data Size: "));
    Add(middle, Label125);
    CheckBox2 = new TCheckBox(this, QStringLiteral("CheckBox2"), page, QStringLiteral("Log Incomming Messages"));
    Add(middle, CheckBox2);
    CheckBox4 = new TCheckBox(this, QStringLiteral("CheckBox4"), runtime, QStringLiteral("Jump to this page on new runtime message"));
    Add(r, CheckBox4);
    Add(middle, runtime);
    Label93 = new TLabel(this, QStringLiteral("Label93"), page);
    Label93->SetFontColor(Red);
    Label93->SetWordWrap(true);
    Label93->SetVisible(false);
    Add(middle, Label93);
    BuildCommsCounters(right);
    left->addStretch(1);
    middle->addStretch(1);
    right->addStretch(1);
}

void TForm1::BuildAboutPage()
{
    TTabSheet *page = TabSheet6;
    auto *layout = Layout::VBox(page, 16);
    Image1 = new TImage(this, QStringLiteral("Image1"), page);
    static_cast<QLabel *>(Image1->Widget())->setPixmap(Logo());
    Image1->SetHint(QStringLiteral("Click to visit VelkarHub website"));
    Image1->SetHandCursor();
    Image1->OnClick = [this](TComponent *s) { Label52Click(s); };
    Add(layout, Image1);
    Label52 = new TLabel(this, QStringLiteral("Label52"), page, QStringLiteral("https://velkarhub.halvern.example/"));
    Label52->SetFontColor(Blue);
    QFont underlined = Label52->Widget()->font();
    underlined.setUnderline(true);
    Label52->Widget()->setFont(underlined);
    Label52->SetHandCursor();
    Label52->SetHint(QStringLiteral("Click to visit VelkarHub website"));
    Label52->OnClick = [this](TComponent *s) { Label52Click(s); };
    Add(layout, Label52);
    Label57 = new TLabel(this, QStringLiteral("Label57"), page,
                         QStringLiteral("Halvern\r\nField support: support@halvern.example\r\nTelephone: +44 1632 960 000"));
    Add(layout, Label57);
    Label60 = new TLabel(this, QStringLiteral("Label60"), page, QStringLiteral("Application version: "));
    Add(layout, Label60);
    Label130 = new TLabel(this, QStringLiteral("Label130"), page, QStringLiteral("Running From: "));
    Add(layout, Label130);
    Label132 = new TLabel(this, QStringLiteral("Label132"), page, QStringLiteral("Application Diagnostics"));
    Label132->SetHandCursor();
    Label132->OnClick = [this](TComponent *s) { Label132Click(s); };
    Add(layout, Label132);
    Label124 = new TLabel(this, QStringLiteral("Label124"), page,
                          QStringLiteral("This version was developed for version 4.60.2.6\r\nof the VelkarHub\r\n\r\nChanges in "
                                         "4.60.2.6 include:\r\n  Addition of PLC control ranges\r\n  Cosmetic changes to layout  "
                                         "of data\r\n  Changes to storage of data in non volatile memory\r\n"));
    Add(layout, Label124);
    layout->addStretch(1);
}

void TForm1::BuildDiagnosticsPage()
{
    auto *layout = Layout::VBox(TabSheet2);
    Memo4 = new TMemo(this, QStringLiteral("Memo4"), TabSheet2);
    Memo4->TextEdit()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Add(layout, Memo4, 1);
}
