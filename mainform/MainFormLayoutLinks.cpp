// The link groups of the port pages: "Connector n Parameters", the link's settings, and
// "Link Information", its statistics and counters.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/PageControl.h"
#include "mainform/Colours.h"
#include "mainform/Layout.h"
#include "mainform/LinkSettingsMap.h"
#include "mainform/pages/PortPage.h"

#include <QFontMetrics>
#include <QGridLayout>

using Layout::Add;

namespace {
const QColor Silver(192, 192, 192);

using Handler = void (TForm1::*)(TComponent *);

// The exit handlers of each port's link number, first address, last address and
// no-reply limit edits.
constexpr Handler LinkEditExits[4][4] = {
    {&TForm1::QVL1LinkExit, &TForm1::QVL1FirstExit, &TForm1::QVL1FirstExit, &TForm1::QVL1NoreplyExit},
    {&TForm1::QVL2LinkExit, &TForm1::QVL2FirstExit, &TForm1::QVL2FirstExit, &TForm1::QVL2NoreplyExit},
    {&TForm1::QVL3LinkExit, &TForm1::QVL3FirstExit, &TForm1::QVL3FirstExit, &TForm1::QVL3NoreplyExit},
    {&TForm1::QVL4LinkExit, &TForm1::QVL4FirstExit, &TForm1::QVL4LastExit, &TForm1::QVL4NoreplyExit},
};

// The reset handlers of each port: the one-register counters and the transmission count.
constexpr Handler CounterResets[4] = {&TForm1::CRCError1Click, &TForm1::CRCError2Click, &TForm1::CRCError3Click,
                                      &TForm1::CRCError4Click};
constexpr Handler TransCountResets[4] = {&TForm1::TransCount1Click, &TForm1::TransCount2Click, &TForm1::TransCount3Click,
                                         &TForm1::TransCount4Click};

// Width of the configuration status label; its height holds its longest caption.
constexpr int StatusLabelWidth = 360;
} // namespace

void TForm1::BuildPortLinkSettings(PortPage &port, QBoxLayout *column)
{
    LinkSettingsGroup &g = port.LinkSettings;
    const QString prefix = QStringLiteral("QVL%1").arg(port.Port);
    g.Box = new TGroupBox(this, QStringLiteral("GroupBoxConnector%1").arg(port.Port), port.Sheet,
                          QStringLiteral("Connector %1 Parameters").arg(port.Port));
    auto *layout = Layout::VBox(g.Box);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    layout->addLayout(grid);

    // The edits, each with its label, typing limit and place: two to a row. The Tag is
    // the zero-based address of the register each shows.
    struct EditSpec {
        TEdit *LinkSettingsGroup::*edit;
        const char *suffix;
        const char *label;
        int maxLength; // 0: not limited
        int exit;      // column of LinkEditExits; -1: no handlers
        int row, column;
    };
    static constexpr EditSpec edits[] = {
        {&LinkSettingsGroup::Port, "Port", "Port Number:", 0, -1, 0, 0},
        {&LinkSettingsGroup::Link, "Link", "Link Number:", 2, 0, 0, 2},
        {&LinkSettingsGroup::First, "First", "First Address:", 2, 1, 1, 0},
        {&LinkSettingsGroup::Last, "Last", "Last Address:", 2, 2, 1, 2},
        {&LinkSettingsGroup::Noreply, "Noreply", "No Reply Timeout Limit:", 0, 3, 2, 0},
    };
    for (const EditSpec &spec : edits) {
        TEdit *edit = new TEdit(this, prefix + QString::fromLatin1(spec.suffix), g.Box, QStringLiteral("1"));
        edit->Tag = LinkSettingsMap::Named(QString::fromLatin1(spec.suffix)).Address();
        if (spec.maxLength > 0)
            edit->SetMaxLength(spec.maxLength);
        if (spec.exit >= 0) {
            edit->OnEnter = [this](TComponent *s) { QVL1LinkEnter(s); };
            edit->OnExit = [this, exit = LinkEditExits[port.Link()][spec.exit]](TComponent *s) { (this->*exit)(s); };
        }
        edit->Widget()->setFixedWidth(56);
        grid->addWidget(Layout::Text(g.Box, QString::fromLatin1(spec.label)), spec.row, spec.column);
        Add(grid, edit, spec.row, spec.column + 1);
        g.*spec.edit = edit;
    }
    g.Port->SetReadOnly(true);
    g.Port->SetBackgroundColor(Silver);
    grid->setColumnStretch(4, 1);

    g.FastBroad = new TCheckBox(this, prefix + QStringLiteral("FastBroad"), g.Box, QStringLiteral("Fast Command Broadcast"));
    g.FastBroad->Tag = port.Unit();
    g.FastBroad->OnClick = [this](TComponent *s) { QVL1FastBroadClick(s); };
    Add(grid, g.FastBroad, 3, 0, 1, 4);

    g.ConfigConflict = new TRadioGroup(this, prefix + QStringLiteral("ConfigConflict"), g.Box, QStringLiteral("Config Conflict Action"),
                                       {QStringLiteral("No master"), QStringLiteral("Unit master"), QStringLiteral("Host master"),
                                        QStringLiteral("Host Read Only"), QStringLiteral("Maintenance")});
    g.ConfigConflict->OnClick = [this](TComponent *s) { QVL1ConfigConflictClick(s); };
    g.Baud = new TRadioGroup(this, prefix + QStringLiteral("Baud"), g.Box, QStringLiteral("Baud Rate"),
                             {QStringLiteral("300"), QStringLiteral("600"), QStringLiteral("1200"), QStringLiteral("2400"),
                              QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")},
                             2);
    g.Baud->OnClick = [this](TComponent *s) { QVL1BaudClick(s); };
    g.InputDataSize = new TRadioGroup(this, prefix + QStringLiteral("InputDataSize"), g.Box, QStringLiteral("Quorvane input data content"),
                                      {QStringLiteral("2 Status registers (Normal)"), QStringLiteral("1 Status register (Short)"),
                                       QStringLiteral("3 Status registers (Long)"), QStringLiteral("8 Status Registers (inc G10)")});
    g.InputDataSize->OnClick = [this](TComponent *s) { QVL1InputDataSizeClick(s); };
    for (TRadioGroup *group : {g.ConfigConflict, g.Baud, g.InputDataSize})
        group->Tag = port.Unit();

    // The conflict action and the baud rate side by side, the input data content below.
    auto *groups = Layout::Row(layout);
    Add(groups, g.ConfigConflict);
    Add(groups, g.Baud);
    groups->addStretch(1);
    auto *content = Layout::Row(layout);
    Add(content, g.InputDataSize);
    content->addStretch(1);
    Add(column, g.Box);
}

void TForm1::BuildPortLinkInfo(PortPage &port, QBoxLayout *column)
{
    using namespace Colours;
    LinkInfoGroup &g = port.LinkInfo;
    g.Box = new TGroupBox(this, QStringLiteral("GroupBoxLinkInfo%1").arg(port.Port), port.Sheet, QStringLiteral("Link Information"));
    auto *grid = Layout::Grid(g.Box);

    enum class Reset { None, Counter, TransCount };
    struct LabelSpec {
        TLabel *LinkInfoGroup::*label;
        const char *stem;
        const char *caption;
        const QColor *colour;
        int tag; // the register a click clears (one-based)
        Reset reset;
        int row, column, span;
    };
    // Counters on the left, scan times on the right.
    const LabelSpec labels[] = {
        {&LinkInfoGroup::LinkConfigStatus, "LinkConfigStatus", "Link Configuration Status:", &Navy, 0, Reset::None, 0, 0, 2},
        {&LinkInfoGroup::TransCount, "TransCount", "Transmission Count:", &Purple, 1102, Reset::TransCount, 1, 0, 1},
        {&LinkInfoGroup::CRCError, "CRCError", "CRC Errors:", &Blue, 1104, Reset::Counter, 2, 0, 1},
        {&LinkInfoGroup::Timeouts, "Timeouts", "Timeouts:", &Purple, 1106, Reset::Counter, 3, 0, 1},
        {&LinkInfoGroup::Responds, "Responds", "Units Responding:", &Blue, 0, Reset::None, 4, 0, 1},
        {&LinkInfoGroup::LastScan, "LastScan", "Last Scan Time (ms):", &Blue, 0, Reset::None, 1, 1, 1},
        {&LinkInfoGroup::AverageScan, "AverageScan", "Average Scan Time (ms):", &Blue, 1110, Reset::Counter, 2, 1, 1},
        {&LinkInfoGroup::MaxScan, "MaxScan", "Maximum Scan Time (ms):", &Blue, 1111, Reset::Counter, 3, 1, 1},
    };
    for (const LabelSpec &spec : labels) {
        auto *label = new TLabel(this, QString::fromLatin1(spec.stem) + QString::number(port.Port), g.Box,
                                 QString::fromLatin1(spec.caption));
        label->SetFontColor(*spec.colour);
        label->Tag = spec.tag;
        if (spec.reset != Reset::None) {
            const Handler reset = (spec.reset == Reset::Counter ? CounterResets : TransCountResets)[port.Link()];
            label->OnClick = [this, reset](TComponent *s) { (this->*reset)(s); };
            label->SetHandCursor();
            label->SetHint(QStringLiteral("Click to reset to zero"));
        }
        label->Label()->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        Add(grid, label, spec.row, spec.column, 1, spec.span);
        g.*spec.label = label;
    }

    // The status label has a fixed size, word-wrapped, with room for the longest status.
    TLabel *status = g.LinkConfigStatus;
    status->SetWordWrap(true);
    const QFontMetrics metrics(status->Widget()->font());
    int height = 2 * metrics.lineSpacing();
    for (const char *text : ConfigConst::LinkConfigStatusTexts)
        height = std::max(height, metrics.boundingRect(QRect(0, 0, StatusLabelWidth, 10000), Qt::TextWordWrap,
                                                       QStringLiteral("Link Configuration Status: \n   ") + QString::fromLatin1(text))
                                      .height());
    status->Widget()->setFixedSize(StatusLabelWidth, height);
    grid->setColumnStretch(2, 1);
    Add(column, g.Box);
}
