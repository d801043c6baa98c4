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
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QBoxLayout;
class TILLed;
namespace HubSettingsMap {
struct Row;
}

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
    // The 15 registers of an identification text (cut or padded with spaces); ERangeError
    // for a character above 32767.
    static std::vector<int16_t> IdentRegisters(const QString &Text);
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

    // ---- hub settings block and the writes of the hub settings page (MainFormHubSettings.cpp)
    void DecodeHubSettings();
    void IP1Change(TComponent *Sender);
    void IP1Enter(TComponent *Sender);
    void IP1Exit(TComponent *Sender);
    void Range1Enter(TComponent *Sender);
    void Range1Exit(TComponent *Sender);
    // The program took the focus from a range edit (a page it showed): the typing there
    // ended unfinished, and the range edits follow the hub again.
    void Range1LeaveUnfinished(TComponent *Sender);
    void CheckBox1Click(TComponent *Sender);
    void EthernetTimeoutActionClick(TComponent *Sender);
    void Link1ControlClick(TComponent *Sender);
    void LEDTestClick(TComponent *Sender);
    void UserR1MouseUp(TComponent *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void ControlR1MouseUp(TComponent *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void Button42Click(TComponent *Sender);
    void Btn_UpdateTimeClick(TComponent *Sender);
    void Button5Click(TComponent *Sender);
    // The hub's link mode of a link-control item index: 0 to 2 themselves, 10 for item 3,
    // 12321 for item 4; -1 for any other index (no item).
    static int LinkModeOfItem(int ItemIndex);

    // ---- link settings and link statistics (MainFormLinks.cpp)
    // The settings block of link L (handle 17 + L) into QVLinkSettings and onto port page
    // L + 1. Only the words the result carried are taken.
    void DecodeLinkSettings(int16_t Link);
    // The hub's baud code (baud rate / 100) of a "Baud Rate" item index 0 to 10;
    // ERangeError for any other index.
    static int16_t BaudCode(int16_t ItemIndex);
    // The other way: the index 0 to 10 whose code is Code; -1 for a code of no index.
    static int BaudIndexOf(int16_t Code);
    // The baud code of link L (0 to 3) as the hub last reported it; nothing before the
    // first link-settings result of that link that carried it.
    std::optional<int16_t> DecodedBaudCode(int16_t Link) const;
    // Clicks of the four pages' link-setting groups and boxes (Tag = unit): each writes
    // its register while a port page is shown.
    void QVL1BaudClick(TComponent *Sender);
    void QVL1ConfigConflictClick(TComponent *Sender);
    void QVL1InputDataSizeClick(TComponent *Sender);
    void QVL1FastBroadClick(TComponent *Sender);
    // Enter of the link-setting edits and of IPTimeout: remembers the text for the exit.
    void QVL1LinkEnter(TComponent *Sender);
    // Exits of the link-setting edits, one per port and field (the first and last
    // address share one on ports 1 to 3): validate the text and write it to the edit's
    // register (Tag) of the port's unit.
    void QVL1LinkExit(TComponent *Sender);
    void QVL1FirstExit(TComponent *Sender);
    void QVL1NoreplyExit(TComponent *Sender);
    void QVL2LinkExit(TComponent *Sender);
    void QVL2FirstExit(TComponent *Sender);
    void QVL2NoreplyExit(TComponent *Sender);
    void QVL3LinkExit(TComponent *Sender);
    void QVL3FirstExit(TComponent *Sender);
    void QVL3NoreplyExit(TComponent *Sender);
    void QVL4LinkExit(TComponent *Sender);
    void QVL4FirstExit(TComponent *Sender);
    void QVL4LastExit(TComponent *Sender);
    void QVL4NoreplyExit(TComponent *Sender);

    // The statistics block of link L (handle 27 + L) into QVStatistics and the port page's
    // "Link Information"; also the link's expected number of starters.
    void DecodeLinkStatistics(int16_t Link);
    // Resets of the link counters: handler n clears, on unit 16 + n, the register of the
    // clicked label's Tag (CRC errors, time-outs, average and maximum scan time) or the
    // two registers of the transmission count.
    void CRCError1Click(TComponent *Sender);
    void CRCError2Click(TComponent *Sender);
    void CRCError3Click(TComponent *Sender);
    void CRCError4Click(TComponent *Sender);
    void TransCount1Click(TComponent *Sender);
    void TransCount2Click(TComponent *Sender);
    void TransCount3Click(TComponent *Sender);
    void TransCount4Click(TComponent *Sender);

    // The settings of each link: elements 0 to 4 are words 0 to 4 of its block, 6 to 9
    // words 5 to 8; element 5 is the expected number of starters (last - first + 1),
    // computed with the link's statistics.
    static constexpr int LinkSettingsElements = 10;
    std::array<std::array<int16_t, LinkSettingsElements>, 4> QVLinkSettings{};
    // Per link: element 2 of QVLinkSettings (the baud code) holds what the hub reported.
    std::array<bool, 4> BaudDecoded{};

    // The statistics of one link (4x1100 to 4x1111).
    struct TQVStatistics {
        int16_t ConfigStatus = 0;        // word 0: index into LinkConfigStatusTexts
        int16_t CRCErrorCount = 0;       // word 4
        int16_t LastCRCErrorAddress = 0; // word 5
        int16_t TimeoutCount = 0;        // word 6
        int16_t LastTimeoutAddress = 0;  // word 7
        int16_t RespondingCount = 0;     // word 8
        int16_t LastScanTime = 0;        // word 9, ms
        int16_t AverageScanTime = 0;     // word 10, ms
        int16_t MaxScanTime = 0;         // word 11, ms
        int64_t TransmissionCount = 0;   // words 3 (high) and 2 (low), unsigned: 0 to 4294967295
    };
    std::array<TQVStatistics, 4> QVStatistics{};

private:
    // The exit family: one implementation for every port and field, by the exit rule of
    // the edit's register.
    void LinkSettingExit(TComponent *Sender, int Port);
    // The click writes: the value to the register of the sender's row of the link
    // settings map, on the sender's unit (its Tag), logged as that row says.
    void WriteLinkSelection(TComponent *Sender, int Value);
    void ResetLinkCounter(TComponent *Sender, int Port);
    void ResetTransmissionCount(TComponent *Sender, int Port);

public:

    // ---- starter grid, status words, selection (MainFormStarters.cpp)
    // Decoders of the per-link word blocks (Link: the link index 0 to 3).
    void DecodeStatusWords(int16_t Link);
    void DecodeLoadWords(int16_t Link);
    void DecodeFaultWords(int16_t Link);
    void DecodeStarterTypes(int16_t Link);
    void ShowCommandWords(int16_t Link);
    // Starters that keep the fault code in the status word (types below 30), and those
    // whose status word is a flag per bit (41, 42, 43, 50); 30, 31 and the rest are neither.
    static bool IsOlderStarterType(int16_t Type);
    static bool IsNewerStarterType(int16_t Type);
    // The prefix of a fault cell: "W : ", "A : ", "T : ", "LT : " by severity, none for
    // fault code 0 or a severity outside 0 to 3.
    static QString FaultSeverityPrefix(int16_t Code, int16_t Severity);
    static QString StarterTypeText(int16_t Type);
    // The click of the four starter grids: selects the starter of the clicked row.
    void StringGrid1Click(TComponent *Sender);
    // The clicks of the four "Older QV" boxes (QV2orLowerG17 to G20) and of the four
    // "QV4 or 5" boxes (QV4orHigherG17 to G20): each sets the other box of its port
    // (Tag: the unit) to the opposite.
    void QV2orLowerG17Click(TComponent *Sender);
    void QV4orHigherG17Click(TComponent *Sender);
    // The fault label's text for an older starter's fault code: its line of FaultsQV2;
    // when the list has no such line, "No fault" for code 0 and "Fault code n (no text in
    // FaultsQV2.txt)" for any other.
    QString FaultText(int16_t Code) const;

    // ---- group data of one starter (MainFormGroupData.cpp)
    // The refresh buttons (BitBtn1 to 4) and the item combo boxes (ComboBox1 to 4), Tag =
    // unit: ask for the chosen item of the starter clicked last in any grid.
    void BitBtn1Click(TComponent *Sender);
    void ComboBox1Change(TComponent *Sender);
    // Writes [QuorvaneInLink, GR_ItemRequested] to 4x1303 of Unit (17 to 20) on handle 5.
    void RequestGroupData(int16_t Unit);
    // The row titles of that port's group grid for GR_ItemRequested.
    void SetGroupGridHeadings(int16_t Unit);
    // The one-shot read of the reply (handle 6) from GR_LastGroupReadStationAddress.
    void StartGroupRead();
    void DecodeGroupData();

    int16_t GR_LastGroupReadStationAddress = 0; // unit of the box that asked last
    int16_t GR_ItemRequested = 0;               // 0 static data, 1 to 10 group 1 to 10
    int16_t GR_RequestStatus = 0;               // 1 busy, 2 data ready, else stopped
    std::array<int16_t, 17> GR_Data{};          // values of grid rows 1 to 14 (entries 0 to 13)
    int16_t GroupDataLength = 0;                // length word of the last data reply

    // ---- starter commands and the command password (MainFormCommands.cpp)
    // Each serves the like buttons of the four port pages (Tag = link index): Open, Close
    // A, Close B, No Action, Reset Thermal, Reset Under.
    void Button9Click(TComponent *Sender);
    void Button10Click(TComponent *Sender);
    void Button11Click(TComponent *Sender);
    void Button21Click(TComponent *Sender);
    void Button27Click(TComponent *Sender);
    void Button28Click(TComponent *Sender);
    // "Allow Commands": ticked, asks for the password; shows or hides the command and
    // clearing groups of every port page.
    void AllowCommandsClick(TComponent *Sender);

    // ---- configuration window and clearing of stored data (MainFormConfigWindow.cpp)
    // "Read VKH" and "Update VKH": the window of the starter clicked last in any grid;
    // before the first click they do nothing.
    void Button22Click(TComponent *Sender);
    void Button23Click(TComponent *Sender);
    // The last block of handle 8 into StringGrid5.
    void ShowConfigWindow();
    // "QVType Data", "Config Data" and "All Config" of ports 1 to 4.
    void Button24Click(TComponent *Sender);
    void Button45Click(TComponent *Sender);
    void Button48Click(TComponent *Sender);
    void Button51Click(TComponent *Sender);
    void Button39Click(TComponent *Sender);
    void Button46Click(TComponent *Sender);
    void Button49Click(TComponent *Sender);
    void Button52Click(TComponent *Sender);
    void Button40Click(TComponent *Sender);
    void Button47Click(TComponent *Sender);
    void Button50Click(TComponent *Sender);
    void Button53Click(TComponent *Sender);

private:
    // The port page of a port number 1 to 4; ERangeError for any other.
    PortPage &PortPageOf(int Port) const;
    void RequestGroupItem(int16_t Unit, int Item);
    void SendCommand(TComponent *Sender, int Command);
    void ClearStarterTypes(int Port, const QString &Question);
    void ClearConfigData(int Port);
    void ClearAllConfig(int Port);
    // The result (done or failed) of the write of window a of "All Config" on a port.
    void AllConfigWritten(int Port, int16_t Unit, int Address);
    // Whether an "All Config" of the port (1 to 4) has writes still to be answered.
    std::array<bool, 4> AllConfigRunning{};

public:

    // ---- spreadsheet export (MainFormExport.cpp)
    // "To Excel": a new spreadsheet application, made visible, with the template under the
    // data folder opened, and 166 cells of its active sheet set to the texts of the hub
    // settings, the identification text and the port settings as the window shows them.
    void Button41Click(TComponent *Sender);
    // The application object of the latest export; empty before the first. Replacing or
    // releasing it leaves that application and its workbook open.
    std::unique_ptr<ISpreadsheetApplication> Excel;

    // ---- communications supervision and status lamps (MainFormSupervision.cpp)
    void Timer2Timer(TComponent *Sender);
    uint32_t LampColour(int16_t ColourCode) const;

    // ---- settings file (MainFormSettingsFile.cpp)
    // "Save": the hub settings that the window shows, written to a file of 218 lines.
    void Button25Click(TComponent *Sender);
    // "Load": a settings file checked, converted whole and written into the hub in five
    // blocks, then its identification text; nothing is written when any line fails.
    void Button26Click(TComponent *Sender);
    // The file saved last, where the next load's dialog (and the next save's) starts.
    QString OpenDialog1FileName;

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
    // The last save of the operator log / of the fault log failed (and was reported).
    bool LogSaveFailed = false;
    bool FaultLogSaveFailed = false;
    QString HelpFile;

    // The text the focused edit had when it got the focus, for its exit handling.
    QString EditOriginalValue;
    bool PortTab = false;
    bool VKHSettingsTab = false;
    bool SettingRange = false;
    std::array<QString, 4> PortTabDesc;
    // The starters of the four links: [link index][kind][address], signed 16-bit, 0 at
    // creation and never cleared. Command words are shown, not kept.
    enum StarterKind : size_t { StatusWord, LoadWord, FaultCode, FaultSeverity, StarterType, StarterKinds };
    std::array<std::array<std::array<int16_t, 100>, StarterKinds>, 4> QuorvaneLinks{};
    // Selection: per link the address last clicked in its grid; the address and link
    // (1 to 4, 0 before the first click) of the last click in any grid; 100 x link index
    // + address of the selected starter.
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

    // The identification text (handle 10). Edit15 holds the text of a read of it: only
    // then, or when the operator changed it, does the close write it back. A read that
    // failed, or whose text was dropped because the operator was in Edit15, is asked
    // again at the next general-data result; a run started (again, or by the overview
    // page) clears that, so the next is asked only after its result.
    bool IdentTextShown = false;
    bool IdentReadAgain = false;

    // Hub statistics (4x600 on).
    int16_t Stats_TxCount = 0, Stats_RxCount = 0, Stats_TXErrors = 0, Stats_RXErrors = 0, Stats_Timeouts = 0,
            Stats_PowerOnCount = 0, Stats_WDCount = 0, Stats_RunTimeErrors = 0;
    int16_t BlockedIPConnections = 0;
    int16_t Stats_ActiveConnections = 0, Stats_RxWhileTx = 0, Stats_TotalConnections = 0, Stats_MTx = 0,
            Stats_MreTx = 0, Stats_TotalAck = 0, Stats_MRx = 0, Stats_TCPIPTimeouts = 0, Stats_Closings = 0,
            Stats_Aborts = 0, Stats_NewIPAddAllocations = 0, Stats_CRCWrites = 0, Stats_CRCErrors = 0;

    // Hub settings (4x100 to 4x208). The two range masks are unsigned 16-bit patterns:
    // bit r - 1 stands for client range r.
    int16_t Gen_Day = 0, Gen_Month = 0, Gen_Year = 0, Gen_Hour = 0, Gen_Minute = 0, Gen_Second = 0;
    int16_t Gen_Link1Control = 0, Gen_Link2Control = 0, Gen_Link3Control = 0, Gen_Link4Control = 0;
    int16_t Gen_Port = 0, Gen_Timeout = 0, Gen_TimeoutAction = 0, Gen_DefineIP = 0;
    int16_t Gen_IP1 = 0, Gen_IP2 = 0, Gen_IP3 = 0, Gen_IP4 = 0;
    int16_t Gen_R1 = 0, Gen_R2 = 0, Gen_R3 = 0, Gen_R4 = 0;
    int16_t Mask_1 = 0, Mask_2 = 0, Mask_3 = 0, Mask_4 = 0;
    uint16_t LimitIPRangeSelection = 0;
    uint16_t ControlRangeSelection = 0;
    int16_t Gen_LEDTest = 0;
    // The hub's clock as one value, held as the hub gives it (no time zone); the zero
    // date until the first valid clock.
    QDateTime Gen_TimeDate{QDate(1899, 12, 30), QTime(0, 0), Qt::UTC};

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
    void BuildHubEthernet(QBoxLayout *column);
    void BuildHubLinkControls(QBoxLayout *column);
    void BuildHubTime(QBoxLayout *column);
    void BuildHubRanges(QBoxLayout *column);
    void BuildCommsCounters(QBoxLayout *column);
    void BuildCommsAllowCommands(QBoxLayout *column);
    void BuildCommsSettingsFile(QBoxLayout *column);
    void BuildPortPage(PortPage &port);
    void BuildPortGrid(PortPage &port, QBoxLayout *column);
    void BuildPortLinkSettings(PortPage &port, QBoxLayout *column);
    void BuildPortLinkInfo(PortPage &port, QBoxLayout *column);
    void BuildPortSingleData(PortPage &port, QBoxLayout *column);
    void BuildPortCommands(PortPage &port, QBoxLayout *column);
    void BuildPortClearItems(PortPage &port, QBoxLayout *column);
    void BuildPortStarters(PortPage &port, QBoxLayout *column);
    void BuildConfigurationPage();
    void BuildCommsPage();
    void BuildAboutPage();
    void BuildDiagnosticsPage();

    // A run of the identification text's read on its current definition.
    void StartIdentRead();
    // The read of a handle as the register map gives it, with what the window knows.
    RegisterMap::Read ReadOf(int16_t handle) const;
    // Defines a read on the control.
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
    // Sends the block defined under a handle once, paced by gapMs when it is not 0 (see
    // IMbaxp::UpdateOncePaced). On the shared write handle, answered runs the result of
    // this write (done or failed) when it comes.
    void StartWrite(int16_t handle, int gapMs = 0, std::function<void()> answered = {});
    // A result of the shared write handle: the next write started on it is answered.
    void WriteAnswered();
    // The writes started on the shared write handle whose results have not come, in the
    // order they were started (the control answers them in that order), each with what to
    // do when its result comes (nothing for most).
    std::deque<std::function<void()>> WritesAwaited;

    // The close (destruction): stops the window's events, lets the control send the writes
    // still waiting, with a notice on the screen while it does, and reports to stderr and
    // the fault log the writes it gave up.
    void SendWaitingWrites();
    bool WaitingWritesSent = false;
    // The close's save of the operator log, after its last line; done once.
    void SaveLogAtClose();
    bool LogSavedAtClose = false;
    // Adds a dated line to the fault log and writes its file.
    void AddFaultLogLine(const QString &text);

    // The hub settings page (MainFormHubSettings.cpp): the parts of the click handling
    // of "Use Fixed IP" and of a link-control group, with or without their write.
    void ApplyFixedIP(bool write);
    void ApplyLinkControl(TRadioGroup *group, bool write);
    // The selected item's index of the time-out action or the LED test, written to the
    // group's register and logged; nothing without a selected item.
    void WriteSelectedItem(TRadioGroup *group);
    // One hub settings edit written at Tag - 1 and logged with that address.
    void WriteHubEdit(TEdit *edit, int16_t value, const QString &logText);
    // The mask of the 16 range boxes of a mask's row (found by name), as the register's
    // signed value; and that mask written and logged, unless the hub's firmware lacks it.
    int16_t RangeMask(const HubSettingsMap::Row &row) const;
    void WriteRangeMask(const HubSettingsMap::Row &row);

    // A lamp's colour for this tick, by its rules; advances its step where they say.
    void DriveLamp(TILLed *lamp, TLED &record, int kind);
    void SaveLogFile();
    // Saves the operator log; a failure is reported once, until a save has worked again.
    void SaveOperatorLog();
    // Writes the fault log; a failure is reported once, until a save has worked again.
    void SaveFaultLog();
    // Creates the data folder's last level when it is missing; EInOutError when it cannot.
    void MakeDataFolder() const;
    QString DataFolder() const;

    IShell &shell_;
    IClock &clock_;
    // Creates the spreadsheet application objects of the export.
    ISpreadsheetAutomation &spreadsheets_;
};
