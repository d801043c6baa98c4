#pragma once
// A scripted spreadsheet application for window tests: it records every call of every
// application object it created, in one list in the order made, and fails where the
// test says.
#include "controls/Spreadsheet.h"

#include <functional>
#include <memory>
#include <vector>

class ScriptedSpreadsheets : public ISpreadsheetAutomation {
public:
    ScriptedSpreadsheets();
    ~ScriptedSpreadsheets() override;
    ScriptedSpreadsheets(const ScriptedSpreadsheets &) = delete;
    ScriptedSpreadsheets &operator=(const ScriptedSpreadsheets &) = delete;

    // Application objects are numbered from 1 in the order created. The calls, recorded
    // before they run (a failing call is recorded too):
    //   "Create(Excel.Application)" (the number it gets is the count of creations so far)
    //   "Visible(1,true)", "Open(1,/path/VelkarHub.xlsx)", "Cell(1,13,31,text)"
    //   "Release(1)" when the window drops the object (not a call: never fails)
    std::unique_ptr<ISpreadsheetApplication> CreateApplication(const QString &programmaticName) override;

    struct CellWrite {
        int application;
        int row;
        int column;
        QString text;
    };
    // Every call recorded, and the cells written (also the one whose call failed).
    const QStringList &Calls() const;
    const std::vector<CellWrite> &Cells() const;
    // How many application objects were created, and how many of them are still held.
    int Created() const;
    int Alive() const;
    void Clear();

    // Failing: the call with this number (1 for the first call recorded after the last
    // Clear) throws, and so does every call for which failWhen says so. A failing
    // creation throws EOleSysError, every other call EOleException with failureMessage.
    int failAtCall = 0;
    std::function<bool(const QString &call)> failWhen;
    QString failureMessage = QStringLiteral("scripted failure");

private:
    struct Log;
    class Application;
    std::shared_ptr<Log> log_;
};
