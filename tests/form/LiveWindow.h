#pragma once
// The window with the real communications control, connected over Modbus TCP on
// loopback to a hub simulator that the test starts, with every completed handle
// recorded. For the end-to-end window tests.
#include "FormHarness.h"
#include "HubSimulator.h"
#include "comms/TMbaxp.h"

#include <QFile>
#include <QTest>
#include <map>
#include <memory>
#include <set>

struct Live {
    HubSimulator simulator;
    TMbaxp control;
    ScriptedDialogs dialogs;
    ScriptedShell shell;
    SystemClock clock;
    QTemporaryDir programFolder;
    std::unique_ptr<TForm1> form;
    std::set<int> completed;
    // How many results of each handle have completed.
    std::map<int, int> results;

    explicit Live(QStringList simulatorArgs = {}) : simulator(HubSimulator::Options{true, 0, QString(), simulatorArgs}) {}

    bool Start()
    {
        if (!simulator.start())
            return false;
        TestEnvironment::ResetDataFolder();
        QFile ini(TestEnvironment::DataFolder() + "/VelkarHubProjects/Settings.ini");
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.write(QStringLiteral("[TForm1]\r\nEdit1.Text=127\r\nEdit2.Text=0\r\nEdit3.Text=0\r\nEdit4.Text=1\r\n"
                                 "Edit16.Text=%1\r\nEdit5.Text=500\r\nRadioButton1.Checked=True\r\nRadioButton2.Checked=False\r\n")
                      .arg(simulator.tcpPort())
                      .toLatin1());
        ini.close();
        QFile::copy(qEnvironmentVariable("VELKARHUB_SOURCE_DIR") + "/comms/ModbusErrors.txt",
                    programFolder.path() + "/ModbusErrors.txt");
        form = std::make_unique<TForm1>(TFormEnvironment{control, dialogs, shell, clock, programFolder.path() + "/"});
        auto inner = control.OnResultOk;
        control.OnResultOk = [this, inner](int16_t handle) {
            completed.insert(handle);
            ++results[handle];
            inner(handle);
        };
        form->Show();
        return QTest::qWaitForWindowExposed(form->Window());
    }
};
