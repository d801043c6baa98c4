// Creation, activation, closing and destruction of the main window.
#include "mainform/MainForm.h"

#include "BuildVersion.h"
#include "controls/Controls.h"
#include "controls/Grid.h"
#include "controls/Guard.h"
#include "controls/Lamp.h"
#include "controls/PageControl.h"
#include "mainform/pages/AboutPage.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/ConfigurationPage.h"
#include "mainform/pages/DiagnosticsPage.h"
#include "mainform/pages/HubSettingsPage.h"
#include "mainform/pages/OverviewPage.h"
#include "mainform/pages/PortPage.h"
#include "mainform/pages/WindowFrame.h"
#include "utilities/TextFiles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>

#include <cstdio>

using namespace ConfigConst;

TForm1::TForm1(const TFormEnvironment &environment)
    : TForm(QStringLiteral("Form1"), environment.dialogs),
      BaseDirectory(environment.baseDirectory),
      LastCommsRec(QDate(1899, 12, 30), QTime(0, 0)),
      Mbaxp1(environment.control),
      shell_(environment.shell),
      clock_(environment.clock),
      spreadsheets_(environment.spreadsheets)
{
    Guard::SetExceptionHandler([this](const std::exception &e) { ApplicationEvents1Exception(this, e); });
    BuildWindow();
    Mbaxp1.OnResultOk = Guard::Wrap<int16_t>([this](int16_t handle) { Mbaxp1ResultOk(this, handle); });
    Mbaxp1.OnResultError = Guard::Wrap<int16_t, int16_t>(
        [this](int16_t handle, int16_t error) { Mbaxp1ResultError(this, handle, error); });
    OnActivate = [this](TComponent *sender) { FormActivate(sender); };
    OnCloseQuery = [this](TComponent *sender, bool &canClose) { FormCloseQuery(sender, canClose); };
    OnHelp = [this](int context, const QString &keyword) { ShowHelp(context, keyword); };
    Guard::Guarded([this] { FormCreate(this); });
}

TForm1::~TForm1()
{
    Guard::Guarded([this] { FormDestroy(this); });
    // A destruction step that failed left out the rest, but never the writes waiting nor
    // the save of the operator log.
    if (!WaitingWritesSent)
        Guard::Guarded([this] { SendWaitingWrites(); });
    if (!LogSavedAtClose)
        Guard::Guarded([this] { SaveLogAtClose(); });
    Mbaxp1.OnResultOk = nullptr;
    Mbaxp1.OnResultError = nullptr;
    Guard::SetExceptionHandler(nullptr);
}

void TForm1::FormCreate(TComponent *)
{
    // The program folder and its help file.
    LogMessage(QStringLiteral("Starting Package"));
    if (BaseDirectory.isEmpty())
        BaseDirectory = QCoreApplication::applicationDirPath();
    if (!BaseDirectory.endsWith(QLatin1Char('/')))
        BaseDirectory += QLatin1Char('/');
    About->Label130->SetCaption(QStringLiteral("Running From: ") + BaseDirectory);
    HelpFile = BaseDirectory + HelpFileName;

    // The INI store, the stored control values and the port names.
    try {
        OvcIniFileStore1.SetFileName(TUtilities::CommonAppDataPath() + SettingsFile);
        OvcIniFileStore1.Open();
        OvcComponentState1.RestoreState(OvcIniFileStore1, QStringLiteral("TForm1"));
        for (int n = 1; n <= 4; ++n) {
            const QString key = QStringLiteral("Port %1").arg(n);
            PortTabDesc[static_cast<size_t>(n - 1)] =
                OvcIniFileStore1.ReadString(QStringLiteral("Port Descriptions"), key, key);
        }
        for (int n = 0; n < 4; ++n)
            Ports[static_cast<size_t>(n)]->Sheet->SetCaption(PortTabDesc[static_cast<size_t>(n)]);
    } catch (const std::exception &) {
        About->Label130->SetCaption(QStringLiteral("Exception in Create Main "));
    }

    // The fault log and its content of earlier runs.
    try {
        FaultLog = std::make_unique<QStringList>();
        const QString path = TUtilities::CommonAppDataPath() + FaultLogFile;
        if (QFileInfo::exists(path)) {
            const TextFiles::Content content = TextFiles::Load(path);
            *FaultLog = content.lines;
            if (content.byteOrderMark)
                FaultLogEncoding = content.encoding;
        }
    } catch (const std::exception &) {
        // The fault log starts with whatever could be read.
    }

    // The helper instance and the Modbus error texts, which must exist.
    Useful = std::make_unique<TUtilities>();
    ModbusErrors = std::make_unique<QStringList>();
    *ModbusErrors = TextFiles::Load(BaseDirectory + ModbusErrorsFile).lines;

    // Connect with the restored settings.
    Button2Click(this);

    // Titles and addresses of the starter grids, titles of the group-data grids.
    static const char *const gridTitles[] = {"Address", "Status", "Load", "Fault", "Type", "Command"};
    for (auto &port : Ports) {
        TStringGrid *grid = port->StringGrid;
        for (int r = 1; r <= 100; ++r)
            grid->SetCells(0, r, QString::number(r - 1));
        for (int c = 0; c < 6; ++c)
            grid->SetCells(c, 0, QString::fromLatin1(gridTitles[c]));
    }
    for (auto &port : Ports) {
        port->SingleData.GroupGrid->SetCells(0, 0, QStringLiteral("Item"));
        port->SingleData.GroupGrid->SetCells(1, 0, QStringLiteral("Value"));
    }

    // The program's version, the widths of the group-data grids' columns, no starter selected.
    About->Label60->SetCaption(QStringLiteral("Application version: ") + GetFileVersionText(QString(), QStringLiteral("%d.%d.%d.%d")));
    for (auto &port : Ports) {
        port->SingleData.GroupGrid->SetColWidth(0, SingleDataGroup::TitleWidth);
        port->SingleData.GroupGrid->SetColWidth(1, SingleDataGroup::ValueWidth);
    }
    ActiveQuorvaneinLink.fill(0);

    // Fault texts of the older starters, when supplied.
    FaultsQV2 = std::make_unique<QStringList>();
    if (QFileInfo::exists(BaseDirectory + FaultsQV2File))
        *FaultsQV2 = TextFiles::Load(BaseDirectory + FaultsQV2File).lines;

    // The diagnostics page stays hidden until asked for.
    Diagnostics->TabSheet2->SetTabVisible(false);
}

void TForm1::FormActivate(TComponent *)
{
    LogMessage(QStringLiteral("Starting General Comms"));
    Button1Click(this);
    LogMessage(QStringLiteral("General Comms Started"));
    LogMessage(QStringLiteral("Starting Port Comms"));
    Button4Click(this);
    LogMessage(QStringLiteral("Port Comms started"));
    ListUsbSerialPorts();
}

void TForm1::FormCloseQuery(TComponent *, bool &CanClose) { CanClose = true; }

void TForm1::FormDestroy(TComponent *)
{
    // The identification text goes back to the hub when the edit holds the hub's own
    // text or the operator changed it; after a failed read it holds neither, and its
    // blanks would replace the hub's text. One that cannot be written is reported, and
    // the settings are still saved.
    try {
        if (IdentTextShown || Overview->Edit15->Modified())
            WriteIdentText();
    } catch (const std::exception &e) {
        ApplicationEvents1Exception(this, e);
    }
    Mbaxp1.UpdateDisable(RegisterMap::Handle::GeneralData);
    Mbaxp1.UpdateDisable(RegisterMap::Handle::HubStatistics);
    OvcComponentState1.SaveState(OvcIniFileStore1, QStringLiteral("TForm1"));
    OvcIniFileStore1.Close();
    // The writes still waiting (the identification text's among them) go to the hub
    // before the program ends; the settings are already saved meanwhile.
    SendWaitingWrites();
    // The log's last lines, since its last save every 26 lines, are saved with it; a
    // failed save is reported in the fault log, which still exists.
    LogMessage(QStringLiteral("Closing Package"));
    SaveLogAtClose();
    Useful.reset();
    ModbusErrors.reset();
    FaultsQV2.reset();
    FaultLog.reset();
}

namespace {
QString FlushStopText(IMbaxp::FlushStop stop)
{
    switch (stop) {
    case IMbaxp::FlushStop::Timeout:
        return QStringLiteral("the hub did not answer");
    case IMbaxp::FlushStop::ConnectionLost:
        return QStringLiteral("the connection was lost");
    case IMbaxp::FlushStop::NotConnected:
        return QStringLiteral("not connected");
    case IMbaxp::FlushStop::TimeUp:
        return QStringLiteral("the time for the close ran out");
    case IMbaxp::FlushStop::None:
        break;
    }
    return QStringLiteral("all sent");
}
} // namespace

void TForm1::SendWaitingWrites()
{
    WaitingWritesSent = true;
    // The control lets the event loop run while it sends: no handler of the window may
    // run inside this one.
    StopEvents();
    // The window is hidden by now: a notice tells why the program has not ended yet.
    std::unique_ptr<QLabel> notice;
    const IMbaxp::WriteFlush flushed = Mbaxp1.SendWaitingWrites([&notice](int waiting) {
        if (!notice) {
            notice = std::make_unique<QLabel>();
            notice->setObjectName(QStringLiteral("WritesAtClose"));
            notice->setWindowTitle(QStringLiteral("VelkarHub"));
            notice->setAttribute(Qt::WA_QuitOnClose, false);
            notice->setMargin(24);
        }
        notice->setText(QStringLiteral("VelkarHub is closing: %1 writes still to be sent to the hub").arg(waiting));
        // A top-level label keeps the size it had when shown: it is sized for its first
        // text, whose count is the largest (nothing is queued during the close), and grows
        // should a later text need more room, never shrinking while the count goes down.
        notice->resize(notice->isVisible() ? notice->size().expandedTo(notice->sizeHint()) : notice->sizeHint());
        notice->show();
    });
    notice.reset();
    if (flushed.GivenUp() == 0 && flushed.refused == 0)
        return;
    QString text = QStringLiteral("Writes to the hub at close: %1 of %2 given up (%3 not sent, %4 not answered)")
                       .arg(flushed.GivenUp())
                       .arg(flushed.waiting)
                       .arg(flushed.notSent)
                       .arg(flushed.unanswered);
    if (flushed.refused > 0)
        text += QStringLiteral(", %1 refused").arg(flushed.refused);
    text += QStringLiteral(": ") + FlushStopText(flushed.stop);
    std::fprintf(stderr, "VelkarHub: %s\n", qPrintable(text));
    std::fflush(stderr);
    AddFaultLogLine(text);
}

QString TForm1::GetFileVersionText(const QString &FileName, const QString &Format) const
{
    // Only this program carries version information: the version it was built with.
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    if (!FileName.isEmpty() && QFileInfo(FileName).canonicalFilePath() != self)
        return QString();
    return QString::asprintf(qPrintable(Format), unsigned(BuildVersion::Major), unsigned(BuildVersion::Minor),
                             unsigned(BuildVersion::Release), unsigned(BuildVersion::Build));
}
