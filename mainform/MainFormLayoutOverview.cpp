// The overview page ("VelkarHub"): the unit's identity and status, the six status
// lamps, the hub's counters and the identification text; and the hub counters of the
// communications page.
#include "mainform/MainForm.h"

#include "mainform/Colours.h"
#include "mainform/Layout.h"

#include <QFrame>

using namespace ConfigConst;
using Layout::Add;
using namespace Colours;

namespace {
QVBoxLayout *LampWithCaption(TWinControl *parent, TILLed *lamp, const QString &caption)
{
    auto *box = new QVBoxLayout;
    box->setSpacing(2);
    box->addWidget(lamp->Widget(), 0, Qt::AlignHCenter);
    auto *text = Layout::Text(parent, caption);
    text->setAlignment(Qt::AlignHCenter);
    box->addWidget(text);
    return box;
}
} // namespace

void TForm1::BuildOverviewPage()
{
    TTabSheet *page = TabSheet8;
    auto *layout = Layout::VBox(page, 8);

    Label88 = new TLabel(this, QStringLiteral("Label88"), page, QStringLiteral("Communications error - check VelkarHub"));
    Label88->SetFontColor(White);
    Label88->SetBackgroundColor(Red);
    Label88->SetWordWrap(true);
    QFont big = Label88->Widget()->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    Label88->Widget()->setFont(big);
    Label88->Label()->setMargin(6);
    Label88->SetVisible(false);
    Add(layout, Label88);

    auto *columns = Layout::Row(layout);
    columns->setSpacing(12);
    auto *left = Layout::Column(columns, 3);
    auto *middle = Layout::Column(columns, 2);
    auto *right = Layout::Column(columns, 3);

    // The unit: identity, status, notices.
    auto *unit = new TGroupBox(this, QStringLiteral("GroupBox3"), page, QStringLiteral("Unit"));
    auto *u = Layout::Grid(unit);
    auto row = [&](int r, const QString &caption, TControl *value) {
        u->addWidget(Layout::Text(unit, caption), r, 0);
        Add(u, value, r, 1);
    };
    Label8 = new TLabel(this, QStringLiteral("Label8"), unit, QStringLiteral("Version:"));
    Label8->SetHint(QStringLiteral("Click to copy"));
    Label8->SetHandCursor();
    Label8->OnClick = [this](TComponent *s) { Label8Click(s); };
    Label11 = new TLabel(this, QStringLiteral("Label11"), unit, QStringLiteral("Check Sum:"));
    Label48 = new TLabel(this, QStringLiteral("Label48"), unit, QStringLiteral("MAC Address:"));
    Label48->SetHint(QStringLiteral("Click to copy"));
    Label48->SetHandCursor();
    Label48->OnClick = [this](TComponent *s) { Label48Click(s); };
    Label44 = new TLabel(this, QStringLiteral("Label44"), unit, QStringLiteral("VelkarHub Status:"));
    Label41 = new TLabel(this, QStringLiteral("Label41"), unit, QStringLiteral("Ethernet Cable: "));
    row(0, QStringLiteral("Firmware version"), Label8);
    row(1, QStringLiteral("Checksum"), Label11);
    row(2, QStringLiteral("MAC address"), Label48);
    Add(u, Label44, 3, 0, 1, 2);
    Add(u, Label41, 4, 0, 1, 2);
    Label42 = new TLabel(this, QStringLiteral("Label42"), unit, QStringLiteral("Ethernet timeout"));
    Label42->SetFontColor(Red);
    Add(u, Label42, 5, 0, 1, 2);
    Label123 = new TLabel(this, QStringLiteral("Label123"), unit, QStringLiteral("Firmware in this unit is not the latest"));
    Label123->SetFontColor(Red);
    Label123->SetBackgroundColor(White);
    Label123->SetVisible(false);
    Label123->OnClick = [this](TComponent *s) { Label123Click(s); };
    Add(u, Label123, 6, 0, 1, 2);
    Button5 = new TButton(this, QStringLiteral("Button5"), unit, QStringLiteral("Reboot Required"));
    Add(u, Button5, 7, 0);
    u->setColumnStretch(1, 1);
    Add(left, unit);

    auto *ports = new TGroupBox(this, QStringLiteral("GroupBox4"), page, QStringLiteral("Ports"));
    auto *p = Layout::Grid(ports);
    const std::array<TLabel **, 4> dataLabels{&Label65, &Label66, &Label67, &Label92};
    const char *const dataNames[] = {"Label65", "Label66", "Label67", "Label92"};
    for (int n = 0; n < 4; ++n) {
        TLabel *&data = *dataLabels[static_cast<size_t>(n)];
        data = new TLabel(this, QString::fromLatin1(dataNames[n]), ports, QStringLiteral("P%1").arg(n + 1));
        data->SetFontColor(Navy);
        Add(p, data, 0, n);
        auto *mode = new TLabel(this, QStringLiteral("PortDes%1").arg(106 + n), ports, QStringLiteral("Velkar"));
        PortDes[static_cast<size_t>(n)] = mode;
        p->addWidget(Layout::Text(ports, QStringLiteral("Link %1 protocol:").arg(n + 1)), 1 + n, 0, 1, 2);
        Add(p, mode, 1 + n, 2, 1, 2);
    }
    Add(left, ports);
    left->addStretch(1);

    BuildOverviewLamps(middle);
    BuildOverviewCounters(right);

    auto *ident = new TGroupBox(this, QStringLiteral("GroupBox5"), page, QStringLiteral("Identification text"));
    auto *i = Layout::HBox(ident);
    Edit15 = new TEdit(this, QStringLiteral("Edit15"), ident);
    Edit15->SetMaxLength(15);
    Edit15->Widget()->setFixedWidth(200);
    Edit15->OnKeyPress = [this](TComponent *s, QChar &k) { Edit15KeyPress(s, k); };
    Add(i, Edit15);
    Button38 = new TButton(this, QStringLiteral("Button38"), ident, QStringLiteral("Apply"));
    Button38->SetVisible(false);
    Button38->OnClick = [this](TComponent *s) { Button38Click(s); };
    Add(i, Button38);
    i->addStretch(1);
    Add(layout, ident);
    layout->addStretch(1);
}

void TForm1::BuildOverviewLamps(QBoxLayout *column)
{
    auto *lamps = new TGroupBox(this, QStringLiteral("GroupBox6"), TabSheet8, QStringLiteral("Status lamps"));
    auto *l = Layout::VBox(lamps, 10);
    Net_LED = new TILLed(this, QStringLiteral("Net_LED"), lamps, 30);
    l->addLayout(LampWithCaption(lamps, Net_LED, QStringLiteral("Network")));
    l->addSpacing(12);
    auto *rowOfFive = new QHBoxLayout;
    rowOfFive->setSpacing(14);
    ILLed2 = new TILLed(this, QStringLiteral("ILLed2"), lamps, 30);
    rowOfFive->addLayout(LampWithCaption(lamps, ILLed2, QStringLiteral("Power")));
    const std::array<TILLed **, 4> links{&ILLed3, &ILLed4, &ILLed5, &ILLed6};
    for (int n = 0; n < 4; ++n) {
        *links[static_cast<size_t>(n)] = new TILLed(this, QStringLiteral("ILLed%1").arg(3 + n), lamps, 30);
        rowOfFive->addLayout(LampWithCaption(lamps, *links[static_cast<size_t>(n)], QStringLiteral("Link %1").arg(n + 1)));
    }
    l->addLayout(rowOfFive);
    column->addWidget(lamps->Widget());
    column->addStretch(1);
}

void TForm1::BuildOverviewCounters(QBoxLayout *column)
{
    auto *counters = new TGroupBox(this, QStringLiteral("GroupBox7"), TabSheet8, QStringLiteral("VelkarHub counters"));
    auto *c = Layout::VBox(counters);
    const std::array<TLabel **, 8> labels{&Label12, &Label13, &Label14, &Label15, &Label16, &Label17, &Label18, &Label19};
    const char *const captions[] = {"Number of Transmissions: ", "Number of Receptions:  ", "Number of Tx Errors: ",
                                    "Number of Rx Errors: ",     "Number of Timeouts: ",    "Power on Counter: ",
                                    "Watchdog Counter: ",        "Runtime Messages: "};
    for (int k = 0; k < 8; ++k) {
        TLabel *&label = *labels[static_cast<size_t>(k)];
        label = new TLabel(this, QStringLiteral("Label%1").arg(12 + k), counters, QString::fromLatin1(captions[k]));
        label->Tag = 600 + k;
        label->SetFontColor(Navy);
        label->SetHandCursor();
        label->SetHint(k == 7 ? QStringLiteral("More detail can be found on the Modbus and Related tab. Click to reset.")
                              : QStringLiteral("Click to Reset to zero"));
        label->OnClick = [this](TComponent *s) { Label12Click(s); };
        Add(c, label);
    }
    Button8 = new TButton(this, QStringLiteral("Button8"), counters, QStringLiteral("Reset All"));
    Button8->OnClick = [this](TComponent *s) { Button8Click(s); };
    c->addWidget(Button8->Widget(), 0, Qt::AlignLeft);
    auto *note = Layout::Text(counters, QStringLiteral("Click on Item to Reset, or use button to reset all"));
    QPalette navy = note->palette();
    navy.setColor(QPalette::WindowText, Navy);
    note->setPalette(navy);
    c->addWidget(note);
    column->addWidget(counters->Widget());
    column->addStretch(1);
}

void TForm1::BuildCommsCounters(QBoxLayout *column)
{
    TTabSheet *page = TabSheet7;
    auto *inUnit = new TGroupBox(this, QStringLiteral("GroupBox8"), page, QStringLiteral("IP Address In Unit"));
    auto *g = Layout::Grid(inUnit);
    const char *const rows[] = {"IP Address", "Router IP Address", "Sub Net Mask"};
    const int names[] = {11, 12, 13, 14, 17, 18, 19, 20, 21, 22, 23, 24};
    for (int r = 0; r < 3; ++r) {
        g->addWidget(Layout::Text(inUnit, QString::fromLatin1(rows[r])), r, 0);
        for (int k = 0; k < 4; ++k) {
            const auto index = static_cast<size_t>(r * 4 + k);
            auto *e = new TEdit(this, QStringLiteral("Edit%1").arg(names[index]), inUnit);
            e->SetReadOnly(true);
            e->Widget()->setFixedWidth(44);
            UnitAddressEdits[index] = e;
            Add(g, e, r, 1 + k);
        }
    }
    g->setColumnStretch(5, 1);
    column->addWidget(inUnit->Widget());

    auto *tcp = new TGroupBox(this, QStringLiteral("GroupBox9"), page, QStringLiteral("Modbus TCP/IP diagnostics"));
    auto *t = Layout::VBox(tcp);
    struct Item { TLabel **label; int number; int tag; const char *caption; };
    const Item items[] = {
        {&Label105, 105, 624, "Active Connections: "},
        {&Label106, 106, 626, "Total Connections: "},
        {&Label107, 107, 625, "Receiving when transmitting: "},
        {&Label108, 108, 627, "Modbus TCP/IP Tx: "},
        {&Label109, 109, 628, "Modbus TCP/IP ReTx: "},
        {&Label110, 110, 629, "Modbus TCP/IP Total Acks: "},
        {&Label111, 111, 630, "Modbus TCP/IP Rx: "},
        {&Label112, 112, 631, "Modbus TCP/IP Timeouts: "},
        {&Label113, 113, 632, "Modbus TCP/IP connection Closures: "},
        {&Label114, 114, 633, "Modbus TCP/IP connection aborts: "},
        {&Label115, 115, 634, "Modbus TCP/IP address allocations: "},
    };
    auto counter = [this](TWinControl *parent, const Item &item, bool resettable) {
        TLabel *label = new TLabel(this, QStringLiteral("Label%1").arg(item.number), parent, QString::fromLatin1(item.caption));
        label->Tag = item.tag;
        label->SetFontColor(Navy);
        if (resettable) {
            label->SetHandCursor();
            label->SetHint(QStringLiteral("Click to Reset to zero"));
            label->OnClick = [this](TComponent *s) { Label106Click(s); };
        }
        *item.label = label;
        return label;
    };
    for (const Item &item : items)
        Add(t, counter(tcp, item, item.number != 105));
    Label116 = new TLabel(this, QStringLiteral("Label116"), tcp, QStringLiteral("Click on Item to Reset, or use button to reset all"));
    Label116->SetFontColor(Navy);
    Label116->SetWordWrap(true);
    Add(t, Label116);
    Button44 = new TButton(this, QStringLiteral("Button44"), tcp, QStringLiteral("Reset"));
    Button44->OnClick = [this](TComponent *s) { Button44Click(s); };
    t->addWidget(Button44->Widget(), 0, Qt::AlignLeft);
    column->addWidget(tcp->Widget());

    auto *flash = new TGroupBox(this, QStringLiteral("GroupBox10"), page, QStringLiteral("Flash Memory Diagnostics"));
    auto *f = Layout::VBox(flash);
    Add(f, counter(flash, {&Label118, 118, 635, "Flash Writes: "}, true));
    Add(f, counter(flash, {&Label119, 119, 636, "Flash Read CRC Errors: "}, true));
    column->addWidget(flash->Widget());
}
