// Developer tool: starts the hub simulator, opens the main window connected to it over
// Modbus TCP, lets it poll for a few seconds and saves a picture of every page, so that
// the layout can be checked at the window's normal size (1280 x 800).
//   page_screenshots <output folder> [seconds] [--commands] [--freeze]
// --commands ticks "Allow Commands" with the password, so that the command and clearing
// groups show, selects address 4 on every port page and asks for its static data, and
// reads that starter's configuration window onto the configuration page.
// --freeze stops the simulator's watchdog counter, so that the overview shows its
// warning "Watchdog Frozen - check VelkarHub".
// Runs on any Qt platform; with no display and no platform chosen it draws offscreen.
#include "HubSimulator.h"
#include "comms/TMbaxp.h"
#include "controls/Services.h"
#include "controls/Spreadsheet.h"
#include "controls/PageControl.h"
#include "mainform/MainForm.h"
#include "controls/Controls.h"
#include "controls/Grid.h"
#include "mainform/ConfigConst.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/ConfigurationPage.h"
#include "mainform/pages/PortPage.h"
#include "mainform/pages/WindowFrame.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

namespace {
// The desktop's boxes, except that the password box answers the command password.
class PasswordDialogs : public QtDialogs {
public:
    QString InputBox(const QString &, const QString &, const QString &) override { return ConfigConst::CommandPassword; }
};

// What --commands does once the window polls: see the head of this file.
void ShowCommands(TForm1 &form)
{
    form.Comms->AllowCommands->SetChecked(true);
    for (const auto &port : form.Ports) {
        form.Frame->PageControl1->SetActivePage(port->Sheet);
        QApplication::processEvents();
        port->StringGrid->SetRow(5);
        form.StringGrid1Click(port->StringGrid);
        port->SingleData.ComboBox->SetItemIndex(0);
        form.BitBtn1Click(port->SingleData.BitBtn);
        // One request at a time: a newer one would take over the reply.
        QElapsedTimer waited;
        waited.start();
        while (!port->SingleData.GrpStat->Caption().startsWith(QStringLiteral("Returned Status: 2")) && waited.elapsed() < 3000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    form.Button22Click(form.Config->Button22);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 1500)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool commands = args.removeAll(QStringLiteral("--commands")) > 0;
    const bool freeze = args.removeAll(QStringLiteral("--freeze")) > 0;
    const QString out = !args.isEmpty() ? args.at(0) : QStringLiteral("screenshots");
    const int seconds = args.size() > 1 ? args.at(1).toInt() : 4;
    QDir().mkpath(out);

    HubSimulator simulator;
    if (!simulator.start() || (freeze && !simulator.command(QStringLiteral("freeze")).startsWith(QStringLiteral("OK"))))
        return 1;
    QTemporaryDir data;
    if (!WriteTcpSettingsIni(data.path(), simulator.tcpPort(), 1000))
        return 1;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());

    TMbaxp control;
    PasswordDialogs dialogs;
    QtShell shell;
    SystemClock clock;
    CalcAutomation spreadsheets;
    TForm1 form(TFormEnvironment{control, dialogs, shell, clock, spreadsheets, QString()});
    form.Show();
    form.Label132Click(nullptr); // show the Diagnostics tab as well
    QTimer::singleShot(seconds * 1000, [&] {
        if (commands)
            ShowCommands(form);
        for (int i = 0; i < form.Frame->PageControl1->PageCount(); ++i) {
            TTabSheet *page = form.Frame->PageControl1->Page(i);
            form.Frame->PageControl1->SetActivePage(page);
            QApplication::processEvents();
            form.Window()->grab().save(QStringLiteral("%1/%2-%3.png").arg(out).arg(i).arg(page->Name()));
        }
        app.quit();
    });
    return app.exec();
}
