#pragma once
// The main window: it opens the Modbus connection, registers the hub's register
// blocks, dispatches every result to its decoder, shows the hub, its links and
// starters on tabbed pages, writes settings back, and keeps the logs and stored
// settings. Its handlers carry the names of the controls that raise them.
#include "comms/IMbaxp.h"
#include "controls/Form.h"
#include "controls/IniFiles.h"
#include "controls/Services.h"
#include "controls/Spreadsheet.h"
#include "mainform/ConfigConst.h"
#include "mainform/RegisterMap.h"
#include "utilities/Utilities1.h"

#include <QDateTime>
#include <QStringList>
#include <QStringConverter>
#include <array>
#include <memory>
#include <optional>

class QBoxLayout;
class TILLed;

struct WindowFrame;
struct OverviewPage;
struct HubSettingsPage;
struct PortPage;
struct PortPagesCommon;
struct ConfigurationPage;
struct CommsPage;
struct AboutPage;
struct DiagnosticsPage;

// The state of one status lamp: position within its blink pattern (ticks of 100 ms),
// colour code (low byte of the hub's lamp word) and blink mode (its high byte).
struct TLED {
    int16_t StepPos = 0;
    int16_t LowB = 0;
    int16_t HighB = 0;
};

// What the window needs from outside: the communications control, boxes, shell and
// clipboard, the clock, the spreadsheet application's automation, and the folder of the
// running program (with its trailing separator; empty means the folder of this
// executable).
struct TFormEnvironment {
    IMbaxp &control;
    IDialogs &dialogs;
    IShell &shell;
    IClock &clock;
    ISpreadsheetAutomation &spreadsheets;
    QString baseDirectory;
};

class TForm1 : public TForm {
    Q_OBJECT
public:
    explicit TForm1(const TFormEnvironment &environment);
    ~TForm1() override;

    // ---- start-up, register blocks, result dispatch (MainFormCreate.cpp, MainFormBlocks.cpp)
    void FormCreate(TComponent *Sender);
    void FormActivate(TComponent *Sender);
    void FormCloseQuery(TComponent *Sender, bool &CanClose);
    void FormDestroy(TComponent *Sender);
    void Button1Click(TComponent *Sender);
    void Button4Click(TComponent *Sender);
    void Timer1Timer(TComponent *Sender);
    void Button2Click(TComponent *Sender);
    void Button7Click(TComponent *Sender);
    void Mbaxp1ResultOk(TComponent *ASender, int16_t Handle);
    void Mbaxp1ResultError(TComponent *ASender, int16_t Handle, int16_t Error);
    void Label4Click(TComponent *Sender);
    // The four version numbers of FileName (this program when empty) put into Format
    // with four %d placeholders; empty when the file has no version information.
    QString GetFileVersionText(const QString &FileName, const QString &Format) const;

    // ---- pages, port names, connection page, stored settings (MainFormPages.cpp)
    void PageControl1Change(TComponent *Sender);
    void PageControl1MouseDown(TComponent *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void RadioButton1Click(TComponent *Sender);
    void ListUsbSerialPorts();
    void Memo2DblClick(TComponent *Sender);
    void Label132Click(TComponent *Sender);
    void Label52Click(TComponent *Sender);
    void ShowHelp(int HelpContext, const QString &HelpKeyword);

    // ---- hub general data, run-time message, identification text (MainFormHubData.cpp)
    void DecodeGeneralInfo();
    void DecodeRuntimeMessage();
    void ShowIdentText();
    void WriteIdentText();
    void Edit15KeyPress(TComponent *Sender, QChar &Key);
    void Button38Click(TComponent *Sender);
    void Label8Click(TComponent *Sender);
    void Label48Click(TComponent *Sender);
    void Label123Click(TComponent *Sender);

    // ---- hub statistics and counter resets (MainFormStatistics.cpp)
    void DecodeHubStatistics();
    void Label12Click(TComponent *Sender);
    void Label106Click(TComponent *Sender);
    void Button8Click(TComponent *Sender);
    void Button44Click(TComponent *Sender);
    void Button43Click(TComponent *Sender);

    // ---- link settings and link statistics (MainFormLinks.cpp)
    // Enter of the link-setting edits and of IPTimeout: remembers the text for the exit.
    void QVL1LinkEnter(TComponent *Sender);

    // ---- communications supervision and status lamps (MainFormSupervision.cpp)
    void Timer2Timer(TComponent *Sender);
    uint32_t LampColour(int16_t ColourCode) const;

    // ---- operator log and fault log (MainFormLogs.cpp)
    void LogMessage(const QString &Text);
    void ApplicationEvents1Exception(TComponent *Sender, const std::exception &E);

    // ---- fields ------------------------------------------------------------------
    QString BaseDirectory;
    std::unique_ptr<TUtilities> Useful;
    std::unique_ptr<QStringList> ModbusErrors;
    std::unique_ptr<QStringList> FaultsQV2;
    std::unique_ptr<QStringList> FaultLog;
    // The encoding the fault-log file was read in, used again when it is written.
    std::optional<QStringConverter::Encoding> FaultLogEncoding;
    // Moment of the last completed request; the zero date until the first one.
    QDateTime LastCommsRec;
    int16_t LinesSinceSave = 0;
    QString HelpFile;
    // The quantity of the read last defined under each handle (0: none yet). A result
    // holds that many fresh words; the control's buffer keeps older words beyond them.
    std::array<int16_t, 128> DefinedQuantity{};

    // The text the focused edit had when it got the focus, for its exit handling.
    QString EditOriginalValue;
    bool PortTab = false;
    bool VKHSettingsTab = false;
    bool SettingRange = false;
    std::array<QString, 4> PortTabDesc;
    std::array<int16_t, 4> ActiveQuorvaneinLink{};
    int16_t ActiveQuorvane = 0;
    int16_t QuorvaneInLink = 0;
    int16_t WhichLink = 0;

    // General data (4x500 on). Info_V4 is the firmware word on which block sizes depend.
    int16_t Info_V1 = 0, Info_V2 = 0, Info_V3 = 0, Info_V4 = 0;
    int16_t Info_CheckLow = 0, Info_CheckHigh = 0;
    int64_t Info_CheckSum = 0;
    int16_t Info_Mac1 = 0, Info_Mac2 = 0, Info_Mac3 = 0, Info_Mac4 = 0, Info_Mac5 = 0, Info_Mac6 = 0;
    int16_t Info_Status1 = 0, Info_Status2 = 0;
    bool DateandTimeNeeded = false, NetworkCableMissing = false, EthernetTimeout = false, RebootRequest = false;
    int16_t Info_LEDPower = 0, Info_LEDNetwork = 0, Info_LEDVZ1 = 0, Info_LEDVZ2 = 0, Info_LEDVZ3 = 0, Info_LEDVZ4 = 0;
    int16_t RunTimeErrorCount = 0;
    int16_t OldRunTimeErrorCount = 0;
    TLED PowerLED, NetLED, QVLink1LED, QVLink2LED, QVLink3LED, QVLink4LED;

    // Hub statistics (4x600 on).
    int16_t Stats_TxCount = 0, Stats_RxCount = 0, Stats_TXErrors = 0, Stats_RXErrors = 0, Stats_Timeouts = 0,
            Stats_PowerOnCount = 0, Stats_WDCount = 0, Stats_RunTimeErrors = 0;
    int16_t BlockedIPConnections = 0;
    int16_t Stats_ActiveConnections = 0, Stats_RxWhileTx = 0, Stats_TotalConnections = 0, Stats_MTx = 0,
            Stats_MreTx = 0, Stats_TotalAck = 0, Stats_MRx = 0, Stats_TCPIPTimeouts = 0, Stats_Closings = 0,
            Stats_Aborts = 0, Stats_NewIPAddAllocations = 0, Stats_CRCWrites = 0, Stats_CRCErrors = 0;

    // Supervision.
    bool CommsDandy = false;
    bool WDogDanndy = false;
    int16_t WDLag = 0;
    int16_t Old_WDCount = 0;

    TIniFileStore OvcIniFileStore1;
    TComponentState OvcComponentState1;

    // ---- controls, page by page (mainform/pages/) ---------------------------------
    IMbaxp &Mbaxp1;
    std::unique_ptr<WindowFrame> Frame;
    std::unique_ptr<OverviewPage> Overview;
    std::unique_ptr<HubSettingsPage> HubSettings;
    std::array<std::unique_ptr<PortPage>, 4> Ports;
    std::unique_ptr<PortPagesCommon> PortCommon;
    std::unique_ptr<ConfigurationPage> Config;
    std::unique_ptr<CommsPage> Comms;
    std::unique_ptr<AboutPage> About;
    std::unique_ptr<DiagnosticsPage> Diagnostics;

private:
    // Layout of the window and its pages (MainFormLayout*.cpp).
    void BuildWindow();
    void BuildOverviewPage();
    void BuildOverviewLamps(QBoxLayout *column);
    void BuildOverviewCounters(QBoxLayout *column);
    void BuildHubSettingsPage();
    void BuildCommsCounters(QBoxLayout *column);
    void BuildPortPage(PortPage &port);
    void BuildPortGrid(PortPage &port, QBoxLayout *column);
    void BuildPortLinkSettings(PortPage &port, QBoxLayout *column);
    void BuildPortSingleData(PortPage &port, QBoxLayout *column);
    void BuildPortCommands(PortPage &port, QBoxLayout *column);
    void BuildConfigurationPage();
    void BuildCommsPage();
    void BuildAboutPage();
    void BuildDiagnosticsPage();

    // The read of a handle as the register map gives it, with what the window knows.
    RegisterMap::Read ReadOf(int16_t handle) const;
    // Defines a read on the control and remembers its quantity.
    void DefineRead(const RegisterMap::Read &read);
    // Defines the read of a handle as the register map gives it and starts it as the map
    // says (repeated or once); returns what was defined.
    RegisterMap::Read StartRead(int16_t handle);

    // The write convention: one-shot writes of a single register (on the shared write
    // handle) or of a block (on the write handle or the handle given), with the update
    // rate of that handle.
    void WriteSingle(int16_t unit, int32_t address, int16_t value);
    void WriteBlock(int16_t unit, int32_t address, const std::vector<int16_t> &values,
                    int16_t handle = RegisterMap::Handle::Write);

    // A lamp's colour for this tick, by its rules; advances its step where they say.
    void DriveLamp(TILLed *lamp, TLED &record, int kind);
    void SaveLogFile();
    QString DataFolder() const;

    IShell &shell_;
    IClock &clock_;
    // Creates the spreadsheet application objects of the export.
    ISpreadsheetAutomation &spreadsheets_;
};
