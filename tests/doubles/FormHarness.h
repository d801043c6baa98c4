#pragma once
// A main window on scripted stand-ins, in a temporary program folder and data folder.
#include "ScriptedMbaxp.h"
#include "ScriptedServices.h"
#include "ScriptedSpreadsheet.h"
#include "controls/Controls.h"
#include "controls/Grid.h"
#include "controls/Lamp.h"
#include "controls/PageControl.h"
#include "mainform/MainForm.h"
#include "mainform/pages/AboutPage.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/ConfigurationPage.h"
#include "mainform/pages/DiagnosticsPage.h"
#include "mainform/pages/HubSettingsPage.h"
#include "mainform/pages/OverviewPage.h"
#include "mainform/pages/PortPage.h"
#include "mainform/pages/WindowFrame.h"

#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace TestEnvironment {
// Once per test program, before anything asks for the data folder: a temporary data
// folder (XDG_DATA_HOME) and a fixed locale (en_GB: dd/MM/yyyy and HH:mm:ss).
void Init();
// The data folder, emptied; with the settings folder created when asked.
QString ResetDataFolder(bool withProjectsFolder = true);
QString DataFolder();
// The operator log's lines without their time stamps.
QStringList LogTexts(const TForm1 &form);
} // namespace TestEnvironment

// The operator's mouse on the window.
namespace TestUi {
// Clicks the tab of a page.
void ClickTab(TForm1 &form, TTabSheet *page, Qt::MouseButton button = Qt::LeftButton);
// Clicks a control near its left edge: a check box or radio button on its indicator.
void Click(TControl *control, Qt::MouseButton button = Qt::LeftButton);
// Clicks one item of a radio group.
void ClickItem(TRadioGroup *group, int index);
// Gives an edit the focus (its enter runs), replaces its text by typing when `typed` is
// given, then moves the focus to `next` (the edit's exit runs).
void TypeAndLeave(TEdit *edit, const std::optional<QString> &typed, TControl *next);
} // namespace TestUi

class FormHarness {
public:
    struct Options {
        bool modbusErrors = true;     // ModbusErrors.txt beside the program
        QString modbusErrorsText;     // its content, when not the program's own file
        bool projectsFolder = true;   // the data folder's VelkarHubProjects exists
        QString settingsIni;          // content of Settings.ini, when not empty
        bool show = true;             // show the window and run its first activation
        bool resetDataFolder = true;  // start from an empty data folder
    };
    FormHarness();
    explicit FormHarness(const Options &options);
    ~FormHarness();

    TForm1 &form() { return *form_; }
    // Shows the window and lets its first activation run.
    void Show();
    // Destroys the window (its destruction steps run).
    void Destroy();
    // Lets queued events run (activations after boxes, deliveries).
    static void ProcessEvents();

    ScriptedMbaxp control;
    ScriptedDialogs dialogs;
    ScriptedShell shell;
    TestClock clock;
    ScriptedSpreadsheets spreadsheets;
    QTemporaryDir programFolder;

private:
    std::unique_ptr<TForm1> form_;
};
