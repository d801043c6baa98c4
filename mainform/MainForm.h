#pragma once
// The main window: it opens the Modbus connection, registers the hub's register
// blocks, dispatches every result to its decoder, shows the hub, its links and
// starters on tabbed pages, writes settings back, and keeps the logs and stored
// settings. Its handlers carry the names of the controls that raise them.
#include "comms/IMbaxp.h"
#include "controls/Controls.h"
#include "controls/Form.h"
#include "controls/Grid.h"
#include "controls/IniFiles.h"
#include "controls/Lamp.h"
#include "controls/PageControl.h"
#include "controls/Services.h"
#include "mainform/ConfigConst.h"
#include "utilities/Utilities1.h"

#include <QDateTime>
#include <QStringList>
#include <QStringConverter>
#include <array>
#include <memory>
#include <optional>

// What the window needs from outside: the communications control, boxes, shell and
// clipboard, the clock, and the folder of the running program (with its trailing
// separator; empty means the folder of this executable).
struct TFormEnvironment {
    IMbaxp &control;
    IDialogs &dialogs;
    IShell &shell;
    IClock &clock;
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

    bool PortTab = false;
    bool VKHSettingsTab = false;
    bool SettingRange = false;
    std::array<QString, 4> PortTabDesc;
    std::array<int16_t, 4> ActiveQuorvaneinLink{};
    int16_t ActiveQuorvane = 0;
    int16_t QuorvaneInLink = 0;
    int16_t WhichLink = 0;

    // Firmware word of the hub's general data (4x503).
    int16_t Info_V4 = 0;

    TIniFileStore OvcIniFileStore1;
    TComponentState OvcComponentState1;

    // ---- controls ----------------------------------------------------------------
    IMbaxp &Mbaxp1;
    TPageControl *PageControl1 = nullptr;
    TTabSheet *TabSheet8 = nullptr;     // "VelkarHub" (overview)
    TTabSheet *TabSheet1 = nullptr;     // "VelkarHub Settings"
    std::array<TTabSheet *, 4> PortPages{}; // Port1 to Port4
    TTabSheet *Configuration = nullptr;
    TTabSheet *TabSheet7 = nullptr;     // "Modbus and related"
    TTabSheet *TabSheet6 = nullptr;     // "About"
    TTabSheet *TabSheet2 = nullptr;     // "Diagnostics"
    TILLed *ILLed1 = nullptr;
    TTimer *Timer1 = nullptr;

    // Overview page
    TLabel *Label123 = nullptr;
    // Hub settings page
    TButton *Button1 = nullptr;
    TCheckBox *CheckBox3 = nullptr;
    // Port pages
    TButton *Button4 = nullptr;
    TButton *Button7 = nullptr;
    TLabel *Label61 = nullptr;
    std::array<TStringGrid *, 4> StringGrids{};
    std::array<TStringGrid *, 4> GroupGrids{};
    std::array<TGroupBox *, 4> CommandGroups{};
    std::array<TCheckBox *, 4> PriorityCommands{};
    // Communications page
    TGroupBox *GroupBox1 = nullptr;
    TRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr, *RadioButton3 = nullptr;
    TEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr, *Edit5 = nullptr, *Edit6 = nullptr;
    TEdit *Edit7 = nullptr, *Edit8 = nullptr, *Edit9 = nullptr, *Edit10 = nullptr, *Edit16 = nullptr, *Edit25 = nullptr;
    TLabel *Label2 = nullptr, *Label3 = nullptr, *Label59 = nullptr, *Label62 = nullptr, *Label95 = nullptr, *Label96 = nullptr;
    TMemo *Memo2 = nullptr;
    TButton *Button2 = nullptr;
    TLabel *Label4 = nullptr;
    TLabel *Label125 = nullptr;
    TLabel *Label93 = nullptr;
    TCheckBox *CheckBox2 = nullptr;
    TCheckBox *CheckBox4 = nullptr;
    // About page
    TImage *Image1 = nullptr;
    TLabel *Label52 = nullptr, *Label57 = nullptr, *Label60 = nullptr, *Label124 = nullptr, *Label130 = nullptr,
           *Label132 = nullptr;
    // Diagnostics page
    TMemo *Memo4 = nullptr;

private:
    // Layout of the window and its pages (MainFormLayout*.cpp).
    void BuildWindow();
    void BuildOverviewPage();
    void BuildHubSettingsPage();
    void BuildPortPage(int port);
    void BuildConfigurationPage();
    void BuildCommsPage();
    void BuildAboutPage();
    void BuildDiagnosticsPage();

    // The write convention: one-shot writes of a single register or a block.
    void WriteSingle(int16_t handle, int16_t unit, int32_t address, int16_t value);
    void WriteBlock(int16_t handle, int16_t unit, int32_t address, const std::vector<int16_t> &values);

    void RegisterPortBlocks();
    void SaveLogFile();
    QString DataFolder() const;

    IShell &shell_;
    IClock &clock_;
};
