// The overview page ("VelkarHub"): the unit's identity and status, the six status
// lamps, the hub's counters and the identification text; and the hub counters of the
// communications page.
#include "mainform/HubCounters.h"

#include "controls/Controls.h"
#include "controls/Lamp.h"
#include "controls/PageControl.h"
#include "mainform/Colours.h"
#include "mainform/Layout.h"
#include "mainform/pages/HubSettingsPage.h"

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
    TTabSheet *page = Overview->TabSheet8;
    auto *layout = Layout::VBox(page, 8);

    Overview->Label88 = new TLabel(this, QStringLiteral("Label88"), page, QStringLiteral("Communications error - check VelkarHub"));
    Overview->Label88->SetFontColor(White);
    Overview->Label88->SetBackgroundColor(Red);
    Overview->Label88->SetWordWrap(true);
    QFont big = Overview->Label88->Widget()->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    Overview->Label88->Widget()->setFont(big);
    Overview->Label88->Label()->setMargin(6);
    Overview->Label88->SetVisible(false);
    // The warning comes and goes with the supervision: its line stays reserved.
    Layout::KeepPlaceWhenHidden(Overview->Label88);
    Add(layout, Overview->Label88);

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
    Overview->Label8 = new TLabel(this, QStringLiteral("Label8"), unit, QStringLiteral("Version:"));
    Overview->Label8->SetHint(QStringLiteral("Click to copy"));
    Overview->Label8->SetHandCursor();
    Overview->Label8->OnClick = [this](TComponent *s) { Label8Click(s); };
    Overview->Label11 = new TLabel(this, QStringLiteral("Label11"), unit, QStringLiteral("Check Sum:"));
    Overview->Label48 = new TLabel(this, QStringLiteral("Label48"), unit, QStringLiteral("MAC Address:"));
    Overview->Label48->SetHint(QStringLiteral("Click to copy"));
    Overview->Label48->SetHandCursor();
    Overview->Label48->OnClick = [this](TComponent *s) { Label48Click(s); };
    Overview->Label44 = new TLabel(this, QStringLiteral("Label44"), unit, QStringLiteral("VelkarHub Status:"));
    Overview->Label41 = new TLabel(this, QStringLiteral("Label41"), unit, QStringLiteral("Ethernet Cable: "));
    row(0, QStringLiteral("Firmware version"), Overview->Label8);
    row(1, QStringLiteral("Checksum"), Overview->Label11);
    row(2, QStringLiteral("MAC address"), Overview->Label48);
    Add(u, Overview->Label44, 3, 0, 1, 2);
    Add(u, Overview->Label41, 4, 0, 1, 2);
    Overview->Label42 = new TLabel(this, QStringLiteral("Label42"), unit, QStringLiteral("Ethernet timeout"));
    Overview->Label42->SetFontColor(Red);
    Add(u, Overview->Label42, 5, 0, 1, 2);
    Overview->Label123 = new TLabel(this, QStringLiteral("Label123"), unit, QStringLiteral("Firmware in this unit is not the latest"));
    Overview->Label123->SetFontColor(Red);
    Overview->Label123->SetBackgroundColor(White);
    Overview->Label123->SetVisible(false);
    Overview->Label123->OnClick = [this](TComponent *s) { Label123Click(s); };
    Add(u, Overview->Label123, 6, 0, 1, 2);
    Overview->Button5 = new TButton(this, QStringLiteral("Button5"), unit, QStringLiteral("Reboot Required"));
    Overview->Button5->OnClick = [this](TComponent *s) { Button5Click(s); };
    Add(u, Overview->Button5, 7, 0);
    u->setColumnStretch(1, 1);
    Add(left, unit);

    // One row per port: whether it has data, then its link's protocol. A data flag is as
    // wide as its longest text, so the protocols stay in line whatever the flags say.
    auto *ports = new TGroupBox(this, QStringLiteral("GroupBox4"), page, QStringLiteral("Ports"));
    auto *p = Layout::Grid(ports);
    const int dataNames[] = {65, 66, 67, 92};
    for (int n = 0; n < 4; ++n) {
        TLabel *&data = Overview->PortData[static_cast<size_t>(n)];
        data = new TLabel(this, QStringLiteral("Label%1").arg(dataNames[n]), ports, QStringLiteral("P%1 No Data").arg(n + 1));
        data->Widget()->setMinimumWidth(data->Widget()->sizeHint().width());
        data->SetCaption(QStringLiteral("P%1").arg(n + 1));
        data->SetFontColor(Navy);
        Add(p, data, n, 0);
        p->addWidget(Layout::Text(ports, QStringLiteral("Link %1 protocol:").arg(n + 1)), n, 1);
        auto *mode = new TLabel(this, QStringLiteral("PortDes%1").arg(106 + n), ports, QStringLiteral("Velkar"));
        Overview->PortDes[static_cast<size_t>(n)] = mode;
        Add(p, mode, n, 2);
    }
    p->setHorizontalSpacing(12);
    p->setColumnStretch(2, 1);
    Add(left, ports);
    left->addStretch(1);

    BuildOverviewLamps(middle);
    BuildOverviewCounters(right);

    auto *ident = new TGroupBox(this, QStringLiteral("GroupBox5"), page, QStringLiteral("Identification text"));
    auto *i = Layout::HBox(ident);
    Overview->Edit15 = new TEdit(this, QStringLiteral("Edit15"), ident);
    Overview->Edit15->SetMaxLength(15);
    Overview->Edit15->Widget()->setFixedWidth(200);
    Overview->Edit15->OnKeyPress = [this](TComponent *s, QChar &k) { Edit15KeyPress(s, k); };
    Add(i, Overview->Edit15);
    Overview->Button38 = new TButton(this, QStringLiteral("Button38"), ident, QStringLiteral("Apply"));
    Overview->Button38->SetVisible(false);
    Overview->Button38->OnClick = [this](TComponent *s) { Button38Click(s); };
    Add(i, Overview->Button38);
    i->addStretch(1);
    Add(layout, ident);
    layout->addStretch(1);
}

void TForm1::BuildOverviewLamps(QBoxLayout *column)
{
    auto *lamps = new TGroupBox(this, QStringLiteral("GroupBox6"), Overview->TabSheet8, QStringLiteral("Status lamps"));
    auto *l = Layout::VBox(lamps, 10);
    Overview->Net_LED = new TILLed(this, QStringLiteral("Net_LED"), lamps, 30);
    l->addLayout(LampWithCaption(lamps, Overview->Net_LED, QStringLiteral("Network")));
    l->addSpacing(12);
    auto *rowOfFive = new QHBoxLayout;
    rowOfFive->setSpacing(14);
    Overview->ILLed2 = new TILLed(this, QStringLiteral("ILLed2"), lamps, 30);
    rowOfFive->addLayout(LampWithCaption(lamps, Overview->ILLed2, QStringLiteral("Power")));
    for (int n = 0; n < 4; ++n) {
        TILLed *&lamp = Overview->LinkLamps[static_cast<size_t>(n)];
        lamp = new TILLed(this, QStringLiteral("ILLed%1").arg(3 + n), lamps, 30);
        rowOfFive->addLayout(LampWithCaption(lamps, lamp, QStringLiteral("Link %1").arg(n + 1)));
    }
    l->addLayout(rowOfFive);
    column->addWidget(lamps->Widget());
    column->addStretch(1);
}

void TForm1::BuildOverviewCounters(QBoxLayout *column)
{
    auto *counters = new TGroupBox(this, QStringLiteral("GroupBox7"), Overview->TabSheet8, QStringLiteral("VelkarHub counters"));
    auto *c = Layout::VBox(counters);
    for (const auto &counter : HubCounters::Overview) {
        TLabel *&label = (*Overview).*counter.label;
        label = new TLabel(this, QStringLiteral("Label%1").arg(counter.number), counters, QString::fromLatin1(counter.text));
        label->Tag = HubCounters::RegisterOf(counter.word);
        label->SetFontColor(Navy);
        label->SetHandCursor();
        label->SetHint(&counter == &HubCounters::Overview[7]
                           ? QStringLiteral("More detail can be found on the Modbus and Related tab. Click to reset.")
                           : QStringLiteral("Click to Reset to zero"));
        label->OnClick = [this](TComponent *s) { Label12Click(s); };
        Add(c, label);
    }
    Overview->Button8 = new TButton(this, QStringLiteral("Button8"), counters, QStringLiteral("Reset All"));
    Overview->Button8->OnClick = [this](TComponent *s) { Button8Click(s); };
    c->addWidget(Overview->Button8->Widget(), 0, Qt::AlignLeft);
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
    TTabSheet *page = Comms->TabSheet7;
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
            Comms->UnitAddressEdits[index] = e;
            Add(g, e, r, 1 + k);
        }
    }
    g->setColumnStretch(5, 1);
    column->addWidget(inUnit->Widget());

    auto *tcp = new TGroupBox(this, QStringLiteral("GroupBox9"), page, QStringLiteral("Modbus TCP/IP diagnostics"));
    auto *t = Layout::VBox(tcp);
    auto counter = [this](TWinControl *parent, const HubCounters::Counter<CommsPage> &item) {
        TLabel *&label = (*Comms).*item.label;
        label = new TLabel(this, QStringLiteral("Label%1").arg(item.number), parent, QString::fromLatin1(item.text));
        label->Tag = HubCounters::RegisterOf(item.word);
        label->SetFontColor(Navy);
        // "Active Connections" is a state, not a count: it resets nothing.
        if (item.label != &CommsPage::Label105) {
            label->SetHandCursor();
            label->SetHint(QStringLiteral("Click to Reset to zero"));
            label->OnClick = [this](TComponent *s) { Label106Click(s); };
        }
        return label;
    };
    for (int k = 0; k < HubCounters::TcpCount; ++k)
        Add(t, counter(tcp, HubCounters::Network[HubCounters::FirstTcp + k]));
    Comms->Label116 = new TLabel(this, QStringLiteral("Label116"), tcp, QStringLiteral("Click on Item to Reset, or use button to reset all"));
    Comms->Label116->SetFontColor(Navy);
    Comms->Label116->SetWordWrap(true);
    Add(t, Comms->Label116);
    Comms->Button44 = new TButton(this, QStringLiteral("Button44"), tcp, QStringLiteral("Reset"));
    Comms->Button44->OnClick = [this](TComponent *s) { Button44Click(s); };
    t->addWidget(Comms->Button44->Widget(), 0, Qt::AlignLeft);
    column->addWidget(tcp->Widget());

    auto *flash = new TGroupBox(this, QStringLiteral("GroupBox10"), page, QStringLiteral("Flash Memory Diagnostics"));
    auto *f = Layout::VBox(flash);
    for (int k = 0; k < HubCounters::FlashCount; ++k)
        Add(f, counter(flash, HubCounters::Network[HubCounters::FirstFlash + k]));
    column->addWidget(flash->Widget());
}
