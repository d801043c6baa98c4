// The hub settings page ("VelkarHub Settings"): every control with its name, caption,
// Tag, hint and state at creation. Three columns: the Ethernet settings with the
// time-out, the clock and the LED test; the four link modes; the client ranges.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/PageControl.h"
#include "mainform/HubSettingsMap.h"
#include "mainform/Layout.h"
#include "mainform/pages/HubSettingsPage.h"

#include <QGridLayout>

using Layout::Add;

namespace {
constexpr int PartWidth = 38; // an address part, a range part
constexpr int PortWidth = 52; // a port number, the time-out

// The register a control shows, as its Tag and its hint give it.
int RegisterOf(const char *control) { return HubSettingsMap::Named(QString::fromLatin1(control)).reg; }
QString Hint(const char *control) { return QStringLiteral("16: 4x%1").arg(RegisterOf(control)); }
} // namespace

void TForm1::BuildHubSettingsPage()
{
    TTabSheet *page = HubSettings->TabSheet1;
    auto *columns = Layout::HBox(page);
    columns->setSpacing(6);
    auto *left = Layout::Column(columns);
    auto *middle = Layout::Column(columns);
    auto *right = Layout::Column(columns, 1);
    HubSettings->Button1 = new TButton(this, QStringLiteral("Button1"), page, QStringLiteral("Read"));
    HubSettings->Button1->SetVisible(false);
    HubSettings->Button1->OnClick = [this](TComponent *s) { Button1Click(s); };

    BuildHubEthernet(left);
    BuildHubTime(left);
    HubSettings->LEDTest = new TRadioGroup(this, QStringLiteral("LEDTest"), page, QStringLiteral("LED Test"),
                                           {QStringLiteral("Do Not Test"), QStringLiteral("All six LEDs green"), QStringLiteral("All Six LEDs red"),
                                            QStringLiteral("All six LEDs yellow"), QStringLiteral("All Six LEDs cycle")},
                                           2);
    HubSettings->LEDTest->SetHint(Hint("LEDTest"));
    HubSettings->LEDTest->OnClick = [this](TComponent *s) { LEDTestClick(s); };
    Add(left, HubSettings->LEDTest);
    left->addStretch(1);

    BuildHubLinkControls(middle);
    middle->addStretch(1);

    BuildHubRanges(right);
    right->addStretch(1);
}

void TForm1::BuildHubEthernet(QBoxLayout *column)
{
    TTabSheet *page = HubSettings->TabSheet1;
    HubSettingsPage &s = *HubSettings;
    s.IPAddressRequest = new TGroupBox(this, QStringLiteral("GroupBoxIPAddressRequest"), page, QStringLiteral("IP Address Request"));
    auto *grid = Layout::Grid(s.IPAddressRequest);
    grid->setHorizontalSpacing(3);
    s.PLCTimeout = new TGroupBox(this, QStringLiteral("GroupBoxPLCTimeout"), page, QStringLiteral("PLC Control Timeout Time"));
    s.PLCTimeout->SetHint(Hint("IPTimeout"));
    auto *timeout = Layout::HBox(s.PLCTimeout);

    // The 14 edits: text at creation, row and column in the address grid (the time-out
    // has its own group). The Tag is the register each shows.
    struct EditSpec {
        TEdit *HubSettingsPage::*edit;
        const char *name;
        const char *text;
        int row, col;
    };
    static constexpr EditSpec edits[] = {
        {&HubSettingsPage::IP1, "IP1", "192", 0, 1},
        {&HubSettingsPage::IP2, "IP2", "168", 0, 2},
        {&HubSettingsPage::IP3, "IP3", "1", 0, 3},
        {&HubSettingsPage::IP4, "IP4", "4", 0, 4},
        {&HubSettingsPage::IP_Port, "IP_Port", "502", 0, 6},
        {&HubSettingsPage::edtRouter1, "edtRouter1", "192", 1, 1},
        {&HubSettingsPage::edtRouter2, "edtRouter2", "168", 1, 2},
        {&HubSettingsPage::edtRouter3, "edtRouter3", "1", 1, 3},
        {&HubSettingsPage::edtRouter4, "edtRouter4", "4", 1, 4},
        {&HubSettingsPage::edtMask1, "edtMask1", "192", 2, 1},
        {&HubSettingsPage::edtMask2, "edtMask2", "168", 2, 2},
        {&HubSettingsPage::edtmask3, "edtmask3", "1", 2, 3},
        {&HubSettingsPage::edtMask4, "edtMask4", "4", 2, 4},
        {&HubSettingsPage::IPTimeout, "IPTimeout", "1000", -1, -1},
    };
    for (const EditSpec &spec : edits) {
        const bool inTimeoutGroup = spec.row < 0;
        TEdit *edit = new TEdit(this, QString::fromLatin1(spec.name), inTimeoutGroup ? s.PLCTimeout : s.IPAddressRequest,
                                QString::fromLatin1(spec.text));
        edit->Tag = RegisterOf(spec.name);
        // Every change of the text writes to the hub: only decoded text runs it; what the
        // operator types is written once, by the exit, when the operator leaves the edit.
        edit->TypingRunsChange = false;
        edit->OnChange = [this](TComponent *e) { IP1Change(e); };
        // The time-out shares its enter handling with the link-setting edits.
        if (inTimeoutGroup)
            edit->OnEnter = [this](TComponent *e) { QVL1LinkEnter(e); };
        else
            edit->OnEnter = [this](TComponent *e) { IP1Enter(e); };
        edit->OnExit = [this](TComponent *e) { IP1Exit(e); };
        const bool wide = spec.edit == &HubSettingsPage::IP_Port || inTimeoutGroup;
        edit->Widget()->setFixedWidth(wide ? PortWidth : PartWidth);
        if (inTimeoutGroup) {
            timeout->addWidget(Layout::Text(s.PLCTimeout, QStringLiteral("Timeout (ms)")));
            Add(timeout, edit);
            timeout->addStretch(1);
        } else {
            Add(grid, edit, spec.row, spec.col);
        }
        s.*spec.edit = edit;
    }
    s.IP_Port->SetHint(Hint("IP_Port"));
    const char *const rows[] = {"IP Address", "Router IP Address", "Sub Net Mask"};
    for (int r = 0; r < 3; ++r)
        grid->addWidget(Layout::Text(s.IPAddressRequest, QString::fromLatin1(rows[r])), r, 0);
    grid->addWidget(Layout::Text(s.IPAddressRequest, QStringLiteral(":")), 0, 5);
    s.CheckBox1 = new TCheckBox(this, QStringLiteral("CheckBox1"), s.IPAddressRequest, QStringLiteral("Use Fixed IP"));
    s.CheckBox1->Tag = RegisterOf("CheckBox1");
    s.CheckBox1->SetHint(Hint("CheckBox1"));
    s.CheckBox1->OnClick = [this](TComponent *c) { CheckBox1Click(c); };
    Add(grid, s.CheckBox1, 3, 0, 1, 7);
    grid->setColumnStretch(7, 1);
    Add(column, s.IPAddressRequest);
    Add(column, s.PLCTimeout);
    // The Tab order follows the page: the whole address group, "Use Fixed IP" last, then
    // the time-out below it.
    QWidget::setTabOrder(s.CheckBox1->Widget(), s.IPTimeout->Widget());

    s.EthernetTimeoutAction = new TRadioGroup(
        this, QStringLiteral("EthernetTimeoutAction"), page, QStringLiteral("Ethernet Control Timeout Action"),
        {QStringLiteral("Keep Running"), QStringLiteral("Keep Running and change all commands to no action"),
         QStringLiteral("Keep running and change all commands to stop"), QStringLiteral("Stop the Velkar communications")});
    s.EthernetTimeoutAction->SetHint(Hint("EthernetTimeoutAction"));
    s.EthernetTimeoutAction->OnClick = [this](TComponent *g) { EthernetTimeoutActionClick(g); };
    Add(column, s.EthernetTimeoutAction);
}

void TForm1::BuildHubLinkControls(QBoxLayout *column)
{
    const QStringList items{QStringLiteral("No Transmission"), QStringLiteral("Transmissions enabled disabled next power cycle"),
                            QStringLiteral("Transmission enabled and auto enabled after power cycle"),
                            QStringLiteral("Act as Modbus RTU Slave port"), QStringLiteral("Simulate Link")};
    // Link n's group, Tag its register, in the order of the links.
    size_t link = 0;
    for (const HubSettingsMap::Row &row : HubSettingsMap::Rows) {
        if (row.rule != HubSettingsMap::Rule::LinkControl)
            continue;
        auto *group = new TRadioGroup(this, row.Control(), HubSettings->TabSheet1, QStringLiteral("Link %1 Control").arg(link + 1), items);
        group->Tag = row.reg;
        group->SetHint(Hint(row.control));
        group->OnClick = [this](TComponent *g) { Link1ControlClick(g); };
        HubSettings->LinkControl.at(link++) = group;
        Add(column, group);
    }
}

void TForm1::BuildHubTime(QBoxLayout *column)
{
    HubSettingsPage &s = *HubSettings;
    s.GroupBox11 = new TGroupBox(this, QStringLiteral("GroupBox11"), s.TabSheet1, QStringLiteral("VelkarHub clock"));
    auto *t = Layout::VBox(s.GroupBox11);
    s.Label1 = new TLabel(this, QStringLiteral("Label1"), s.GroupBox11, QStringLiteral("Time and date"));
    Add(t, s.Label1);
    auto *row = Layout::Row(t);
    s.CheckBox3 = new TCheckBox(this, QStringLiteral("CheckBox3"), s.GroupBox11, QStringLiteral("Auto update time"));
    Add(row, s.CheckBox3);
    row->addStretch(1);
    s.Btn_UpdateTime = new TButton(this, QStringLiteral("Btn_UpdateTime"), s.GroupBox11, QStringLiteral("Update from PC"));
    s.Btn_UpdateTime->OnClick = [this](TComponent *b) { Btn_UpdateTimeClick(b); };
    Add(row, s.Btn_UpdateTime);
    Add(column, s.GroupBox11);
}

void TForm1::BuildHubRanges(QBoxLayout *column)
{
    HubSettingsPage &s = *HubSettings;
    s.GroupBox23 = new TGroupBox(this, QStringLiteral("GroupBox23"), s.TabSheet1, QStringLiteral("Restrict Client Access"));
    auto *layout = Layout::VBox(s.GroupBox23);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(2);
    layout->addLayout(grid);
    grid->addWidget(Layout::Text(s.GroupBox23, QStringLiteral("First address")), 0, 2, 1, 4);
    grid->addWidget(Layout::Text(s.GroupBox23, QStringLiteral("Last")), 0, 7);

    // Range r: its two boxes, then the four parts of its first address and, after "to:",
    // the last part of its last address (Range 5r - 4 to Range 5r).
    const HubSettingsMap::Row &users = HubSettingsMap::Named(QStringLiteral("UserR"));
    const HubSettingsMap::Row &controls = HubSettingsMap::Named(QStringLiteral("ControlR"));
    const HubSettingsMap::Row &parts = HubSettingsMap::Named(QStringLiteral("Range"));
    for (int r = 1; r <= users.count; ++r) {
        auto *user = new TCheckBox(this, users.Control(r), s.GroupBox23, QStringLiteral("Use Range %1").arg(r));
        user->OnMouseUp = [this](TComponent *b, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
            UserR1MouseUp(b, button, shift, x, y);
        };
        auto *control = new TCheckBox(this, controls.Control(r), s.GroupBox23, QStringLiteral("Control Range %1").arg(r));
        control->OnMouseUp = [this](TComponent *b, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
            ControlR1MouseUp(b, button, shift, x, y);
        };
        Add(grid, user, r, 0);
        Add(grid, control, r, 1);
        for (int part = 0; part < 5; ++part) {
            const int k = 5 * (r - 1) + part + 1;
            auto *edit = new TEdit(this, parts.Control(k), s.GroupBox23, QStringLiteral("192"));
            edit->Tag = parts.reg + k - 1;
            edit->Widget()->setFixedWidth(PartWidth);
            // As the Ethernet edits: typing is written by the exit, decoded text by the change.
            edit->TypingRunsChange = false;
            edit->OnChange = [this](TComponent *e) { IP1Change(e); };
            edit->OnEnter = [this](TComponent *e) { Range1Enter(e); };
            edit->OnExit = [this](TComponent *e) { Range1Exit(e); };
            edit->OnLeaveUnfinished = [this](TComponent *e) { Range1LeaveUnfinished(e); };
            if (part == 4)
                grid->addWidget(Layout::Text(s.GroupBox23, QStringLiteral("to:")), r, 6);
            Add(grid, edit, r, part < 4 ? 2 + part : 7);
        }
    }
    grid->setColumnStretch(8, 1);

    auto *masks = Layout::Row(layout);
    auto *maskLabels = new QVBoxLayout;
    masks->addLayout(maskLabels, 1);
    s.Label94 = new TLabel(this, QStringLiteral("Label94"), s.GroupBox23);
    s.Label122 = new TLabel(this, QStringLiteral("Label122"), s.GroupBox23);
    Add(maskLabels, s.Label94);
    Add(maskLabels, s.Label122);
    s.Button42 = new TButton(this, QStringLiteral("Button42"), s.GroupBox23, QStringLiteral("Clear All Ranges"));
    s.Button42->OnClick = [this](TComponent *b) { Button42Click(b); };
    masks->addWidget(s.Button42->Widget(), 0, Qt::AlignTop);

    s.GroupBox22 = new TGroupBox(this, QStringLiteral("GroupBox22"), s.GroupBox23, QStringLiteral("Last IP Block"));
    auto *b = Layout::HBox(s.GroupBox22);
    s.Label104 = new TLabel(this, QStringLiteral("Label104"), s.GroupBox22, QStringLiteral("Blocks: "));
    s.Label104->Widget()->setMinimumWidth(90);
    Add(b, s.Label104);
    for (int k = 0; k < 5; ++k) {
        if (k == 4)
            b->addWidget(Layout::Text(s.GroupBox22, QStringLiteral(":")));
        TEdit *&e = s.InvalidIP[static_cast<size_t>(k)];
        e = new TEdit(this, QStringLiteral("InvalidIP%1").arg(k + 1), s.GroupBox22, QStringLiteral("192"));
        e->SetReadOnly(true);
        e->Widget()->setFixedWidth(k == 4 ? PortWidth : PartWidth);
        Add(b, e);
    }
    s.Button43 = new TButton(this, QStringLiteral("Button43"), s.GroupBox22, QStringLiteral("Clear"));
    s.Button43->OnClick = [this](TComponent *c) { Button43Click(c); };
    Add(b, s.Button43);
    b->addStretch(1);
    Add(layout, s.GroupBox22);
    Add(column, s.GroupBox23);
}
