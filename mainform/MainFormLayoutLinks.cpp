// The link groups of the port pages: "Connector n Parameters", the link's settings.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/PageControl.h"
#include "mainform/Layout.h"
#include "mainform/pages/PortPage.h"

#include <QGridLayout>

using Layout::Add;

namespace {
const QColor Silver(192, 192, 192);
} // namespace

void TForm1::BuildPortLinkSettings(PortPage &port, QBoxLayout *column)
{
    LinkSettingsGroup &g = port.LinkSettings;
    const QString prefix = QStringLiteral("QVL%1").arg(port.Port);
    g.Box = new TGroupBox(this, QStringLiteral("GroupBoxConnector%1").arg(port.Port), port.Sheet,
                          QStringLiteral("Connector %1 Parameters").arg(port.Port));
    auto *grid = Layout::Grid(g.Box);

    // The edits, each with its label, Tag (the register's zero-based address) and typing limit.
    struct EditSpec {
        TEdit *LinkSettingsGroup::*edit;
        const char *suffix;
        const char *label;
        int tag;
        int maxLength; // 0: not limited
    };
    static constexpr EditSpec edits[] = {
        {&LinkSettingsGroup::Port, "Port", "Port Number:", 999, 0},
        {&LinkSettingsGroup::Link, "Link", "Link Number:", 1000, 2},
        {&LinkSettingsGroup::First, "First", "First Address:", 1002, 2},
        {&LinkSettingsGroup::Last, "Last", "Last Address:", 1003, 2},
        {&LinkSettingsGroup::Noreply, "Noreply", "No Reply Timeout Limit:", 1005, 0},
    };
    int row = 0;
    for (const EditSpec &spec : edits) {
        TEdit *edit = new TEdit(this, prefix + QString::fromLatin1(spec.suffix), g.Box, QStringLiteral("1"));
        edit->Tag = spec.tag;
        if (spec.maxLength > 0)
            edit->SetMaxLength(spec.maxLength);
        if (spec.edit != &LinkSettingsGroup::Port)
            edit->OnEnter = [this](TComponent *s) { QVL1LinkEnter(s); };
        edit->Widget()->setFixedWidth(56);
        grid->addWidget(Layout::Text(g.Box, QString::fromLatin1(spec.label)), row, 0);
        Add(grid, edit, row, 1);
        g.*spec.edit = edit;
        ++row;
    }
    g.Port->SetReadOnly(true);
    g.Port->SetBackgroundColor(Silver);

    g.FastBroad = new TCheckBox(this, prefix + QStringLiteral("FastBroad"), g.Box, QStringLiteral("Fast Command Broadcast"));
    g.FastBroad->Tag = port.Unit();
    Add(grid, g.FastBroad, row++, 0, 1, 2);

    g.ConfigConflict = new TRadioGroup(this, prefix + QStringLiteral("ConfigConflict"), g.Box, QStringLiteral("Config Conflict Action"),
                                       {QStringLiteral("No master"), QStringLiteral("Unit master"), QStringLiteral("Host master"),
                                        QStringLiteral("Host Read Only"), QStringLiteral("Maintenance")});
    g.Baud = new TRadioGroup(this, prefix + QStringLiteral("Baud"), g.Box, QStringLiteral("Baud Rate"),
                             {QStringLiteral("300"), QStringLiteral("600"), QStringLiteral("1200"), QStringLiteral("2400"),
                              QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")},
                             2);
    g.InputDataSize = new TRadioGroup(this, prefix + QStringLiteral("InputDataSize"), g.Box, QStringLiteral("Quorvane input data content"),
                                      {QStringLiteral("2 Status registers (Normal)"), QStringLiteral("1 Status register (Short)"),
                                       QStringLiteral("3 Status registers (Long)"), QStringLiteral("8 Status Registers (inc G10)")});
    for (TRadioGroup *group : {g.ConfigConflict, g.Baud, g.InputDataSize}) {
        group->Tag = port.Unit();
        Add(grid, group, row++, 0, 1, 2);
    }
    grid->setColumnStretch(2, 1);
    Add(column, g.Box);
}
