// The program's main block: the application object, the main window, the message loop.
#include "comms/TMbaxp.h"
#include "controls/Services.h"
#include "controls/Spreadsheet.h"
#include "mainform/MainForm.h"

#include <QApplication>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VelkarHub"));
    QApplication::setQuitOnLastWindowClosed(true);

    TMbaxp control;
    QtDialogs dialogs;
    QtShell shell;
    SystemClock clock;
    CalcAutomation spreadsheets;
    int result = 0;
    {
        TForm1 form(TFormEnvironment{control, dialogs, shell, clock, spreadsheets, QString()});
        form.Show();
        result = app.exec();
    }
    return result;
}
