#pragma once
// The main window on the real communications control, connected over Modbus TCP on
// loopback to a hub simulator that the test starts, with every completed result counted
// by handle and every failed one by error code. Files put into programFolder before
// ShowWindow() are found beside the program. Start() does it all for Modbus TCP; the steps
// can also be taken one by one (another connection, another data folder).
#include "FormHarness.h"
#include "HubSimulator.h"
#include "PtyPair.h"
#include "comms/TMbaxp.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>
#include <algorithm>
#include <map>
#include <set>
#include <memory>
#include <optional>

struct LiveForm {
    HubSimulator simulator;
    TMbaxp control;
    ScriptedDialogs dialogs;
    ScriptedShell shell;
    SystemClock clock;
    ScriptedSpreadsheets spreadsheets;
    // The window's spreadsheet application: the scripted one above unless a test sets
    // another before Start().
    ISpreadsheetAutomation *spreadsheetAutomation = &spreadsheets;
    QTemporaryDir programFolder;
    std::unique_ptr<TForm1> form;
    std::map<int, int> results; // completed results by handle
    std::map<int, int> errors;  // failed results by error code

    explicit LiveForm(const QStringList &simulatorArgs = {}) : simulator(HubSimulator::Options{true, 0, QString(), simulatorArgs}) {}

    // Starts the simulator, writes the connection settings and shows the window.
    bool Start() { return simulator.start() && WriteSettings(TcpSettings()) && ShowWindow(); }

    // Settings.ini of a connection over Modbus TCP to the simulator, with a 500 ms time-out.
    QString TcpSettings() const { return TcpSettingsIni(simulator.tcpPort(), 500); }

    // Settings.ini of a connection over Modbus RTU on COM port n.
    static QString RtuSettings(int comPort)
    {
        return QStringLiteral("[TForm1]\r\nEdit6.Text=%1\r\nRadioButton1.Checked=False\r\nRadioButton2.Checked=True\r\n").arg(comPort);
    }

    // An empty data folder holding these settings.
    static bool WriteSettings(const QString &settingsIni)
    {
        TestEnvironment::ResetDataFolder();
        QFile ini(TestEnvironment::DataFolder() + QStringLiteral("/VelkarHubProjects/Settings.ini"));
        return ini.open(QIODevice::WriteOnly) && ini.write(settingsIni.toLatin1()) == settingsIni.size();
    }

    // Creates the window on the real control, counting its results, and shows it.
    bool ShowWindow()
    {
        QFile::copy(qEnvironmentVariable("VELKARHUB_SOURCE_DIR") + QStringLiteral("/comms/ModbusErrors.txt"),
                    programFolder.path() + QStringLiteral("/ModbusErrors.txt"));
        form = std::make_unique<TForm1>(TFormEnvironment{control, dialogs, shell, clock, *spreadsheetAutomation, programFolder.path() + QLatin1Char('/')});
        auto inner = control.OnResultOk;
        control.OnResultOk = [this, inner](int16_t handle) {
            ++results[handle];
            inner(handle);
        };
        auto innerError = control.OnResultError;
        control.OnResultError = [this, innerError](int16_t handle, int16_t error) {
            ++errors[error];
            innerError(handle, error);
        };
        form->Show();
        return QTest::qWaitForWindowExposed(form->Window());
    }

    // The writes the simulator received for the links (units 17 to 20), as "UNIT:REG:V1,V2".
    // The window writes the hub's own settings back on their first result, so a test of a
    // link's writes looks at these only.
    QStringList LinkWrites()
    {
        return simulator.writeLog().filter(QRegularExpression(QStringLiteral("^(17|18|19|20):")));
    }

    // Every failed result so far.
    int ErrorCount() const
    {
        int n = 0;
        for (const auto &[code, count] : errors)
            n += count;
        return n;
    }

    // Whether every one of the handles has completed at least once.
    bool AllCompleted(const std::set<int> &handles) const
    {
        return std::all_of(handles.begin(), handles.end(), [this](int h) { return results.count(h) > 0; });
    }

    // Waits until `count` more results of a handle have been decoded.
    bool WaitForResults(int handle, int count, int timeoutMs = 5000)
    {
        const int target = results[handle] + count;
        return QTest::qWaitFor([&] { return results[handle] >= target; }, timeoutMs);
    }

    // Waits until every link's settings have been decoded once: a port page shown before
    // that would write the first decoded settings back.
    bool Settle(int timeoutMs = 5000)
    {
        for (int handle = RegisterMap::Handle::LinkSettings; handle < RegisterMap::Handle::LinkSettings + 4; ++handle)
            if (!WaitForResults(handle, 1, timeoutMs))
                return false;
        return true;
    }

    // Ticks "Allow Commands" as the operator does and answers the password box.
    bool AllowCommands()
    {
        dialogs.inputAnswers.push_back(ConfigConst::CommandPassword);
        TestUi::Click(form->Comms->AllowCommands);
        return form->Ports[0]->ClearItems.Box->Visible();
    }

    // Shows a port page and clicks its "All Config", answering Yes.
    void ClickAllConfig(int port)
    {
        PortPage &page = *form->Ports[static_cast<size_t>(port - 1)];
        TestUi::ClickTab(*form, page.Sheet);
        dialogs.messageAnswers.push_back(TModalResult::mrYes);
        TestUi::Click(page.ClearItems.AllConfig);
    }

    // The writes the simulator received into the configuration windows of a unit (4x5000
    // to 4x5218), with the time each was received.
    QVector<HubSimulator::TimedWrite> ConfigWindowWrites(int unit)
    {
        QVector<HubSimulator::TimedWrite> writes;
        for (const HubSimulator::TimedWrite &w : simulator.timedWriteLog()) {
            const QStringList parts = w.entry.split(QLatin1Char(':'));
            if (parts.size() == 3 && parts[0].toInt() == unit && parts[1].toInt() >= 5000 && parts[1].toInt() <= 5218)
                writes.append(w);
        }
        return writes;
    }
};

// A live window over Modbus RTU on a socat pair: the program on one end (a COM port named
// by VELKARHUB_COM<n>, put back as it was afterwards), the simulator on the other.
struct LiveRtu {
    static constexpr int DefaultComPort = 150;

    PtyPair pty;
    std::unique_ptr<LiveForm> live;
    QByteArray comVariable;
    std::optional<QByteArray> comBefore;

    // settings: Settings.ini of a fresh data folder; none when empty (the folder is left as it is).
    bool Start(const QString &settings = LiveForm::RtuSettings(DefaultComPort), int comPort = DefaultComPort)
    {
        if (!pty.start())
            return false;
        comVariable = QByteArray("VELKARHUB_COM") + QByteArray::number(comPort);
        if (qEnvironmentVariableIsSet(comVariable.constData()))
            comBefore = qgetenv(comVariable.constData());
        qputenv(comVariable.constData(), pty.deviceA().toLocal8Bit());
        live = std::make_unique<LiveForm>(QStringList{QStringLiteral("--rtu"), pty.deviceB()});
        return live->simulator.start() && (settings.isEmpty() || LiveForm::WriteSettings(settings)) && live->ShowWindow();
    }
    ~LiveRtu()
    {
        live.reset();
        if (comVariable.isEmpty())
            return;
        if (comBefore)
            qputenv(comVariable.constData(), *comBefore);
        else
            qunsetenv(comVariable.constData());
    }
};
