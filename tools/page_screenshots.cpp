// Developer tool: starts the hub simulator, opens the main window connected to it over
// Modbus TCP, lets it poll for a few seconds and saves a picture of every page, so that
// the layout can be checked at the window's normal size (1280 x 800).
//   page_screenshots <output folder> [seconds]
// Runs on any Qt platform, offscreen included.
#include "HubSimulator.h"
#include "comms/TMbaxp.h"
#include "controls/Services.h"
#include "controls/Spreadsheet.h"
#include "controls/PageControl.h"
#include "mainform/MainForm.h"
#include "mainform/pages/WindowFrame.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    const int seconds = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 4;
    QDir().mkpath(out);

    HubSimulator simulator;
    if (!simulator.start())
        return 1;
    QTemporaryDir data;
    QDir(data.path()).mkdir(QStringLiteral("VelkarHubProjects"));
    QFile ini(data.path() + QStringLiteral("/VelkarHubProjects/Settings.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write(QStringLiteral("[TForm1]\r\nEdit1.Text=127\r\nEdit2.Text=0\r\nEdit3.Text=0\r\nEdit4.Text=1\r\nEdit16.Text=%1\r\n"
                             "RadioButton1.Checked=True\r\nRadioButton2.Checked=False\r\n")
                  .arg(simulator.tcpPort())
                  .toLatin1());
    ini.close();
    qputenv("XDG_DATA_HOME", data.path().toUtf8());

    TMbaxp control;
    QtDialogs dialogs;
    QtShell shell;
    SystemClock clock;
    CalcAutomation spreadsheets;
    TForm1 form(TFormEnvironment{control, dialogs, shell, clock, spreadsheets, QString()});
    form.Show();
    form.Label132Click(nullptr); // show the Diagnostics tab as well
    QTimer::singleShot(seconds * 1000, [&] {
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
