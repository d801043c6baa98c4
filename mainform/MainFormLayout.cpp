// The window and its pages: every control with its name, caption, Tag, hint and state
// at creation, placed with Qt layouts so that each page reads at 1280 x 800.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/Grid.h"
#include "controls/Lamp.h"
#include "controls/PageControl.h"
#include "mainform/Colours.h"
#include "mainform/Layout.h"
#include "mainform/pages/AboutPage.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/ConfigurationPage.h"
#include "mainform/pages/DiagnosticsPage.h"
#include "mainform/pages/HubSettingsPage.h"
#include "mainform/pages/OverviewPage.h"
#include "mainform/pages/PortPage.h"
#include "mainform/pages/WindowFrame.h"

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
    Frame = std::make_unique<WindowFrame>();
    Overview = std::make_unique<OverviewPage>();
    HubSettings = std::make_unique<HubSettingsPage>();
    for (int n = 1; n <= 4; ++n) {
        Ports[static_cast<size_t>(n - 1)] = std::make_unique<PortPage>();
        Ports[static_cast<size_t>(n - 1)]->Port = n;
    }
    PortCommon = std::make_unique<PortPagesCommon>();
    Config = std::make_unique<ConfigurationPage>();
    Comms = std::make_unique<CommsPage>();
    About = std::make_unique<AboutPage>();
    Diagnostics = std::make_unique<DiagnosticsPage>();

    SetCaption(QStringLiteral("VelkarHub Interface"));
    Window()->resize(1280, 800);
    auto *root = Layout::VBox(Client(), 4);

    auto *pages = Frame->PageControl1 = new TPageControl(this, QStringLiteral("PageControl1"), Client());
    Add(root, pages, 1);
    auto sheet = [this, pages](const QString &name, const QString &caption, int helpContext) {
        auto *page = new TTabSheet(this, name, pages, caption);
        page->HelpContext = helpContext;
        return page;
    };
    Overview->TabSheet8 = sheet(QStringLiteral("TabSheet8"), QStringLiteral("VelkarHub"), 1000);
    HubSettings->TabSheet1 = sheet(QStringLiteral("TabSheet1"), QStringLiteral("VelkarHub Settings"), 2000);
    for (auto &port : Ports)
        port->Sheet = sheet(QStringLiteral("Port%1").arg(port->Port), QStringLiteral("Port %1").arg(port->Port), 3000);
    Config->Configuration = sheet(QStringLiteral("Configuration"), QStringLiteral("Configuration"), 4000);
    Comms->TabSheet7 = sheet(QStringLiteral("TabSheet7"), QStringLiteral("Modbus and related"), 5000);
    About->TabSheet6 = sheet(QStringLiteral("TabSheet6"), QStringLiteral("About"), 0);
    Diagnostics->TabSheet2 = sheet(QStringLiteral("TabSheet2"), QStringLiteral("Diagnostics"), 0);
    Frame->PageControl1->OnChange = [this](TComponent *s) { PageControl1Change(s); };
    Frame->PageControl1->OnMouseDown = [this](TComponent *s, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        PageControl1MouseDown(s, b, m, x, y);
    };

    // The communications strip along the bottom edge, with its lamp.
    auto *strip = new TPanel(this, QStringLiteral("Mbaxp1"), Client());
    auto *stripLayout = Layout::HBox(strip, 2);
    stripLayout->addWidget(Layout::Text(strip, QStringLiteral("Modbus")));
    stripLayout->addStretch(1);
    Frame->ILLed1 = new TILLed(this, QStringLiteral("ILLed1"), strip, 14);
    Add(stripLayout, Frame->ILLed1);
    strip->Widget()->setAutoFillBackground(true);
    Add(root, strip);

    Frame->Timer1 = new TTimer(this, QStringLiteral("Timer1"), 2500, false);
    Frame->Timer1->OnTimer = [this](TComponent *s) { Timer1Timer(s); };
    Frame->Timer2 = new TTimer(this, QStringLiteral("Timer2"), 100, true);
    Frame->Timer2->OnTimer = [this](TComponent *s) { Timer2Timer(s); };

    BuildOverviewPage();
    BuildHubSettingsPage();
    for (auto &port : Ports)
        BuildPortPage(*port);
    BuildConfigurationPage();
    BuildCommsPage();
    BuildAboutPage();
    BuildDiagnosticsPage();

    // The stored control values, in the order they are restored and saved.
    for (TEdit *e : {Comms->Edit1, Comms->Edit2, Comms->Edit3, Comms->Edit4, Comms->Edit5, Comms->Edit6})
        OvcComponentState1.AddText(e);
    OvcComponentState1.AddChecked(Comms->RadioButton1);
    OvcComponentState1.AddChecked(Comms->RadioButton2);
    for (TEdit *e : {Comms->Edit7, Comms->Edit8, Comms->Edit9, Comms->Edit10})
        OvcComponentState1.AddText(e);
    OvcComponentState1.AddChecked(HubSettings->CheckBox3);
    OvcComponentState1.AddChecked(Ports[0]->Commands.PriorityCommand);
    OvcComponentState1.AddChecked(Comms->CheckBox4);
    OvcComponentState1.AddText(Comms->Edit16);
    OvcComponentState1.AddText(Comms->Edit25);
    OvcComponentState1.AddChecked(Comms->RadioButton3);
    OvcComponentState1.AddChecked(Comms->CheckBox2);

    Frame->PageControl1->SetActivePage(Overview->TabSheet8);
}

void TForm1::BuildCommsPage()
{
    TTabSheet *page = Comms->TabSheet7;
    auto *columns = Layout::HBox(page);
    auto *left = Layout::Column(columns, 3);
    auto *middle = Layout::Column(columns, 2);
    auto *right = Layout::Column(columns, 2);

    Comms->GroupBox1 = new TGroupBox(this, QStringLiteral("GroupBox1"), page, QStringLiteral("Modbus connection settings"));
    Comms->GroupBox1->HelpKeyword = QStringLiteral("Modbus_Related");
    auto *g = Layout::Grid(Comms->GroupBox1);
    auto *choices = new QButtonGroup(Comms->GroupBox1);
    auto edit = [this](const QString &name, const QString &text, int width) {
        auto *e = new TEdit(this, name, Comms->GroupBox1, text);
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
        colon = new TLabel(this, colonName, Comms->GroupBox1, QStringLiteral(":"));
        box->addWidget(colon->Widget());
        port = edit(portName, QStringLiteral("502"), 56);
        box->addWidget(port->Widget());
        box->addStretch(1);
        g->addLayout(box, row, 1);
    };

    Comms->RadioButton1 = new TRadioButton(this, QStringLiteral("RadioButton1"), Comms->GroupBox1, QStringLiteral("TCP/IP Unit 1"), choices);
    Comms->RadioButton3 = new TRadioButton(this, QStringLiteral("RadioButton3"), Comms->GroupBox1, QStringLiteral("TCP/IP Unit 2"), choices);
    Comms->RadioButton2 = new TRadioButton(this, QStringLiteral("RadioButton2"), Comms->GroupBox1, QStringLiteral("RTU"), choices);
    Comms->RadioButton2->SetChecked(true);
    for (TRadioButton *b : {Comms->RadioButton1, Comms->RadioButton2, Comms->RadioButton3})
        b->OnClick = [this](TComponent *s) { RadioButton1Click(s); };
    Add(g, Comms->RadioButton1, 0, 0);
    g->addWidget(Layout::Text(Comms->GroupBox1, QStringLiteral("Connect using Modbus TCP/IP to the primary unit")), 0, 1);
    addressRow(1, {&Comms->Edit1, &Comms->Edit2, &Comms->Edit3, &Comms->Edit4}, Comms->Label95, QStringLiteral("Label95"), Comms->Edit16, QStringLiteral("Edit16"),
               {QStringLiteral("Edit1"), QStringLiteral("Edit2"), QStringLiteral("Edit3"), QStringLiteral("Edit4")});
    Add(g, Comms->RadioButton3, 2, 0);
    g->addWidget(Layout::Text(Comms->GroupBox1, QStringLiteral("Connect using Modbus TCP/IP to an additional unit")), 2, 1);
    addressRow(3, {&Comms->Edit7, &Comms->Edit8, &Comms->Edit9, &Comms->Edit10}, Comms->Label96, QStringLiteral("Label96"), Comms->Edit25, QStringLiteral("Edit25"),
               {QStringLiteral("Edit7"), QStringLiteral("Edit8"), QStringLiteral("Edit9"), QStringLiteral("Edit10")});
    Add(g, Comms->RadioButton2, 4, 0);
    g->addWidget(Layout::Text(Comms->GroupBox1, QStringLiteral("Connect using Modbus RTU to a unit connected using USB A-B cable")), 4, 1);

    Comms->Label2 = new TLabel(this, QStringLiteral("Label2"), Comms->GroupBox1, QStringLiteral("TCP/IP Timeout (ms)"));
    Comms->Edit5 = edit(QStringLiteral("Edit5"), QStringLiteral("1000"), 70);
    Comms->Edit5->SetHint(QStringLiteral("Windows TCP/IP driver timeout"));
    Add(g, Comms->Label2, 5, 0);
    Add(g, Comms->Edit5, 5, 1);
    Comms->Label3 = new TLabel(this, QStringLiteral("Label3"), Comms->GroupBox1, QStringLiteral("ComPort"));
    Comms->Edit6 = edit(QStringLiteral("Edit6"), QStringLiteral("3"), 70);
    Add(g, Comms->Label3, 6, 0);
    Add(g, Comms->Edit6, 6, 1);
    Comms->Label59 = new TLabel(this, QStringLiteral("Label59"), Comms->GroupBox1, QStringLiteral("Available USB Ports"));
    Comms->Memo2 = new TMemo(this, QStringLiteral("Memo2"), Comms->GroupBox1);
    Comms->Memo2->Widget()->setFixedHeight(80);
    Comms->Memo2->OnDblClick = [this](TComponent *s) { Memo2DblClick(s); };
    Comms->Label62 = new TLabel(this, QStringLiteral("Label62"), Comms->GroupBox1,
                         QStringLiteral("Double click on required port then click on Apply to port if you wish to use that port for communications."));
    Comms->Label62->SetWordWrap(true);
    Add(g, Comms->Label59, 7, 0);
    Add(g, Comms->Memo2, 7, 1);
    Add(g, Comms->Label62, 8, 0, 1, 2);
    Comms->Button2 = new TButton(this, QStringLiteral("Button2"), Comms->GroupBox1, QStringLiteral("Apply to Port"));
    Comms->Button2->OnClick = [this](TComponent *s) { Button2Click(s); };
    Add(g, Comms->Button2, 9, 0);
    g->setColumnStretch(1, 1);
    // At first start only the RTU fields show: the COM-port field, the list and its labels.
    for (TControl *c : std::initializer_list<TControl *>{Comms->Edit1, Comms->Edit2, Comms->Edit3, Comms->Edit4, Comms->Edit16, Comms->Label95, Comms->Edit7, Comms->Edit8, Comms->Edit9,
                                                         Comms->Edit10, Comms->Edit25, Comms->Label96, Comms->Edit5, Comms->Label2, Comms->Label3})
        c->SetVisible(false);
    Add(left, Comms->GroupBox1);
    BuildCommsSettings(left);

    auto *errors = new TGroupBox(this, QStringLiteral("GroupBox2"), page, QStringLiteral("Communication Errors"));
    auto *errorsLayout = Layout::VBox(errors);
    Comms->Label4 = new TLabel(this, QStringLiteral("Label4"), errors, QStringLiteral("No Issues"));
    Comms->Label4->SetHint(QStringLiteral("Click to Reset"));
    Comms->Label4->SetWordWrap(true);
    Comms->Label4->SetHandCursor();
    Comms->Label4->OnClick = [this](TComponent *s) { Label4Click(s); };
    Add(errorsLayout, Comms->Label4);
    auto *age = Layout::Row(errorsLayout);
    Comms->Label89 = new TLabel(this, QStringLiteral("Label89"), errors, QStringLiteral("ms since last good message"));
    Comms->Label90 = new TLabel(this, QStringLiteral("Label90"), errors, QStringLiteral("0"));
    Add(age, Comms->Label89);
    Add(age, Comms->Label90);
    age->addStretch(1);
    Add(middle, errors);

    auto *runtime = new TGroupBox(this, QStringLiteral("GroupBox12"), page, QStringLiteral("Runtime messages"));
    auto *r = Layout::VBox(runtime);
    Comms->Memo1 = new TMemo(this, QStringLiteral("Memo1"), runtime);
    Comms->Memo1->Widget()->setFixedHeight(84);
    Comms->Memo1->SetVisible(false);
    Add(r, Comms->Memo1);
    Comms->Label120 = new TLabel(this, QStringLiteral("Label120"), runtime, QStringLiteral("Clear Runtime Error Message"));
    Comms->Label120->Tag = 7000;
    Comms->Label120->SetFontColor(Blue);
    Comms->Label120->SetHandCursor();
    Comms->Label120->SetVisible(false);
    Comms->Label120->OnClick = [this](TComponent *s) { Label12Click(s); };
    Add(r, Comms->Label120);

    Comms->Label125 = new TLabel(this, QStringLiteral("Label125"), page, QStringLiteral("Data Size: "));
    Add(middle, Comms->Label125);
    Comms->CheckBox2 = new TCheckBox(this, QStringLiteral("CheckBox2"), page, QStringLiteral("Log Incomming Messages"));
    Add(middle, Comms->CheckBox2);
    BuildCommsAllowCommands(middle);
    Comms->CheckBox4 = new TCheckBox(this, QStringLiteral("CheckBox4"), runtime, QStringLiteral("Jump to this page on new runtime message"));
    Add(r, Comms->CheckBox4);
    Add(middle, runtime);
    Comms->Label93 = new TLabel(this, QStringLiteral("Label93"), page);
    Comms->Label93->SetFontColor(Red);
    Comms->Label93->SetWordWrap(true);
    Comms->Label93->SetVisible(false);
    Add(middle, Comms->Label93);
    Comms->Label131 = new TLabel(this, QStringLiteral("Label131"), page, QStringLiteral("Label131"));
    Add(middle, Comms->Label131);
    BuildCommsCounters(right);
    left->addStretch(1);
    middle->addStretch(1);
    right->addStretch(1);
}

// The group that saves, loads and exports the hub's settings, its buttons side by side.
void TForm1::BuildCommsSettings(QBoxLayout *column)
{
    Comms->GroupBoxSettings = new TGroupBox(this, QStringLiteral("GroupBoxSettings"), Comms->TabSheet7, QStringLiteral("Settings"));
    auto *buttons = Layout::HBox(Comms->GroupBoxSettings);
    Comms->Button41 = new TButton(this, QStringLiteral("Button41"), Comms->GroupBoxSettings, QStringLiteral("To Excel"));
    Comms->Button41->OnClick = [this](TComponent *s) { Button41Click(s); };
    Add(buttons, Comms->Button41);
    buttons->addStretch(1);
    Add(column, Comms->GroupBoxSettings);
}

void TForm1::BuildAboutPage()
{
    TTabSheet *page = About->TabSheet6;
    auto *layout = Layout::VBox(page, 16);
    About->Image1 = new TImage(this, QStringLiteral("Image1"), page);
    static_cast<QLabel *>(About->Image1->Widget())->setPixmap(Logo());
    About->Image1->SetHint(QStringLiteral("Click to visit VelkarHub website"));
    About->Image1->SetHandCursor();
    About->Image1->OnClick = [this](TComponent *s) { Label52Click(s); };
    Add(layout, About->Image1);
    About->Label52 = new TLabel(this, QStringLiteral("Label52"), page, QStringLiteral("https://velkarhub.halvern.example/"));
    About->Label52->SetFontColor(Blue);
    QFont underlined = About->Label52->Widget()->font();
    underlined.setUnderline(true);
    About->Label52->Widget()->setFont(underlined);
    About->Label52->SetHandCursor();
    About->Label52->SetHint(QStringLiteral("Click to visit VelkarHub website"));
    About->Label52->OnClick = [this](TComponent *s) { Label52Click(s); };
    Add(layout, About->Label52);
    About->Label57 = new TLabel(this, QStringLiteral("Label57"), page,
                         QStringLiteral("Halvern\r\nField support: support@halvern.example\r\nTelephone: +44 1632 960 000"));
    Add(layout, About->Label57);
    About->Label60 = new TLabel(this, QStringLiteral("Label60"), page, QStringLiteral("Application version: "));
    Add(layout, About->Label60);
    About->Label130 = new TLabel(this, QStringLiteral("Label130"), page, QStringLiteral("Running From: "));
    Add(layout, About->Label130);
    About->Label132 = new TLabel(this, QStringLiteral("Label132"), page, QStringLiteral("Application Diagnostics"));
    About->Label132->SetHandCursor();
    About->Label132->OnClick = [this](TComponent *s) { Label132Click(s); };
    Add(layout, About->Label132);
    About->Label124 = new TLabel(this, QStringLiteral("Label124"), page,
                          QStringLiteral("This version was developed for version 4.60.2.6\r\nof the VelkarHub\r\n\r\nChanges in "
                                         "4.60.2.6 include:\r\n  Addition of PLC control ranges\r\n  Cosmetic changes to layout  "
                                         "of data\r\n  Changes to storage of data in non volatile memory\r\n"));
    Add(layout, About->Label124);
    layout->addStretch(1);
}

void TForm1::BuildDiagnosticsPage()
{
    auto *layout = Layout::VBox(Diagnostics->TabSheet2);
    Diagnostics->Memo4 = new TMemo(this, QStringLiteral("Memo4"), Diagnostics->TabSheet2);
    Diagnostics->Memo4->TextEdit()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Add(layout, Diagnostics->Memo4, 1);
}
