// The hub's general data (handle 2), run-time message (handle 9) and identification
// text (handle 10, written back on handle 0).
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/PageControl.h"
#include "mainform/Colours.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/HubSettingsPage.h"
#include "mainform/pages/OverviewPage.h"
#include "mainform/pages/WindowFrame.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"

using namespace ConfigConst;
using namespace Colours;

namespace {
using RegisterMap::Handle::GeneralData;
using RegisterMap::Handle::HubStatistics;
using RegisterMap::Handle::IdentText;
using RegisterMap::Handle::RuntimeMessage;
constexpr int IdentLength = 15;
constexpr int16_t WrongDeviceMarker = 67;

QString HexByte(int value) { return QString::number(value & 0xFF, 16).toUpper().rightJustified(2, QLatin1Char('0')); }

// The colour code (low byte) and blink mode (high byte) of a lamp word.
void SplitLampWord(int16_t word, TLED &led)
{
    led.LowB = static_cast<int16_t>(TUtilities::LowByte(word));
    led.HighB = static_cast<int16_t>(TUtilities::HighByte(word));
}
} // namespace

void TForm1::DecodeGeneralInfo()
{
    auto word = [this](int16_t index) { return Mbaxp1.Get_Register(GeneralData, index); };

    // The firmware version decides the length of the statistics block.
    Info_V1 = word(0);
    Info_V2 = word(1);
    Info_V3 = word(2);
    Info_V4 = word(3);
    if (Info_V4 >= 4) {
        Comms->Label116->SetFontColor(Navy);
        Comms->Label116->SetCaption(QStringLiteral("Click on Item to Reset, or use button to reset all"));
    } else {
        Comms->Label116->SetFontColor(Red);
        Comms->Label116->SetCaption(QStringLiteral("Above not avaiable with this unit, upgrade firmare to enable"));
    }
    StartRead(HubStatistics); // its length follows the firmware word
    // The identification text whose read failed or was dropped, once the operator is out
    // of its edit.
    if (IdentReadAgain && !Overview->Edit15->Focused())
        StartIdentRead();

    // Version, checksum, MAC address, status words, lamp codes.
    Overview->Label8->SetCaption(QStringLiteral("%1:%2:%3:%4").arg(Info_V1).arg(Info_V2).arg(Info_V3).arg(Info_V4));
    Info_CheckLow = word(4);
    Info_CheckHigh = word(5);
    Info_CheckSum = int64_t(uint16_t(Info_CheckHigh)) * 65536 + int64_t(uint16_t(Info_CheckLow));
    Overview->Label11->SetCaption(QStringLiteral("%1 (%2)").arg(Info_CheckSum).arg(Info_CheckSum, 8, 16, QLatin1Char('0')).toUpper());
    Info_Mac1 = static_cast<int16_t>(TUtilities::LowByte(word(8)));
    Info_Mac2 = static_cast<int16_t>(TUtilities::HighByte(word(8)));
    Info_Mac3 = static_cast<int16_t>(TUtilities::LowByte(word(9)));
    Info_Mac4 = static_cast<int16_t>(TUtilities::HighByte(word(9)));
    Info_Mac5 = static_cast<int16_t>(TUtilities::LowByte(word(10)));
    Info_Mac6 = static_cast<int16_t>(TUtilities::HighByte(word(10)));
    Info_Status1 = word(11);
    Info_Status2 = word(12);
    Info_LEDPower = word(25);
    Info_LEDNetwork = word(26);
    Info_LEDVZ1 = word(27);
    Info_LEDVZ2 = word(28);
    Info_LEDVZ3 = word(29);
    Info_LEDVZ4 = word(30);
    SplitLampWord(Info_LEDPower, PowerLED);
    SplitLampWord(Info_LEDNetwork, NetLED);
    SplitLampWord(Info_LEDVZ1, QVLink1LED);
    SplitLampWord(Info_LEDVZ2, QVLink2LED);
    SplitLampWord(Info_LEDVZ3, QVLink3LED);
    SplitLampWord(Info_LEDVZ4, QVLink4LED);
    Overview->Label48->SetCaption(QStringList{HexByte(Info_Mac1), HexByte(Info_Mac2), HexByte(Info_Mac3), HexByte(Info_Mac4),
                                    HexByte(Info_Mac5), HexByte(Info_Mac6)}
                            .join(QLatin1Char(':')));

    // The status bits; the hub asking for the time gets it when allowed.
    DateandTimeNeeded = Useful->IsBitOn(Info_Status1, 0);
    NetworkCableMissing = Useful->IsBitOn(Info_Status1, 1);
    EthernetTimeout = Useful->IsBitOn(Info_Status1, 2);
    RebootRequest = Useful->IsBitOn(Info_Status1, 3);
    Overview->Label41->SetCaption(NetworkCableMissing ? QStringLiteral("Ethernet Cable: Missing") : QStringLiteral("Ethernet Cable: Present"));
    Overview->Label42->SetVisible(EthernetTimeout);
    Overview->Button5->SetVisible(RebootRequest);
    if (DateandTimeNeeded && HubSettings->CheckBox3->Checked())
        HubSettings->Btn_UpdateTime->Click();

    // The Ethernet settings in use, the status word, which ports have data.
    for (size_t k = 0; k < Comms->UnitAddressEdits.size(); ++k)
        Comms->UnitAddressEdits[k]->SetText(QString::number(word(static_cast<int16_t>(13 + k))));
    Overview->Label44->SetCaption(QStringLiteral("VelkarsHub Status: ") + QString::number(Info_Status1));
    const std::array<TLabel *, 4> portLabels{Overview->PortData[0], Overview->PortData[1], Overview->PortData[2], Overview->PortData[3]};
    for (int bit = 0; bit < 4; ++bit) {
        const bool hasData = Useful->IsBitOn(Info_Status2, bit);
        TLabel *label = portLabels[static_cast<size_t>(bit)];
        label->SetFontColor(hasData ? Green : Red);
        label->SetCaption(QStringLiteral("P%1 %2").arg(bit + 1).arg(hasData ? QStringLiteral("Data") : QStringLiteral("No Data")));
    }

    // The maker's other network product is refused, after its data were shown.
    if (Info_V2 == WrongDeviceMarker) {
        Mbaxp1.UpdateDisable(GeneralData);
        Mbaxp1.UpdateDisable(HubStatistics);
        MessageDlg(QStringLiteral("This is an Brisnel, not a VelkarHub.\r\n"
                                  "Although it is another quality product, it cannot be used with this application.\r\n"
                                  "Application will terminate."),
                   TMsgDlgType::mtError, TMsgDlgBtn::mbOK);
        Close();
    }
}

void TForm1::DecodeRuntimeMessage()
{
    auto word = [this](int16_t index) { return Mbaxp1.Get_Register(RuntimeMessage, index); };
    RunTimeErrorCount = word(0);
    Comms->Memo1->SetVisible(RunTimeErrorCount != 0);
    Comms->Label120->SetVisible(Comms->Memo1->Visible());

    // The program file name: low byte, then high byte of each word; 16 characters.
    QString fileName;
    for (int16_t k = 2; k <= 9; ++k) {
        const int w = word(k);
        for (int code : {TUtilities::LowByte(w), TUtilities::HighByte(w)})
            fileName += code == 0 ? QLatin1Char(' ') : QChar(code); // an unused position shows as a blank
    }
    QStringList lines;
    if (RunTimeErrorCount != 0)
        lines = QStringList{QStringLiteral("Run time message available"),
                            QStringLiteral("Run Time message count: ") + QString::number(RunTimeErrorCount),
                            QStringLiteral("Line number: ") + QString::number(word(1)),
                            QStringLiteral("Program file name: ") + fileName};
    // Rebuilt only when the message changed: the block comes twice a second.
    Comms->Memo1->SetLines(lines);
    if (RunTimeErrorCount != OldRunTimeErrorCount) {
        OldRunTimeErrorCount = RunTimeErrorCount;
        if (Comms->CheckBox4->Checked())
            Frame->PageControl1->SetActivePage(Comms->TabSheet7);
    }
}

void TForm1::StartIdentRead()
{
    IdentReadAgain = false;
    Mbaxp1.UpdateOnce(IdentText);
}

void TForm1::ShowIdentText()
{
    // Not while the operator may be typing: asked again once the operator has left.
    if (Overview->Edit15->Focused()) {
        IdentReadAgain = true;
        return;
    }
    QString text;
    for (int16_t k = 0; k < IdentLength; ++k)
        text += QChar(static_cast<char16_t>(static_cast<uint16_t>(Mbaxp1.Get_Register(IdentText, k))));
    Overview->Edit15->SetText(text);
    IdentTextShown = true;
}

std::vector<int16_t> TForm1::IdentRegisters(const QString &Text)
{
    // One character per register; a code above 32767 does not fit one, so such a text is
    // refused as a whole.
    const QString text = Text.leftJustified(IdentLength, QLatin1Char(' '), true);
    std::vector<int16_t> codes;
    for (int k = 0; k < IdentLength; ++k) {
        const uint16_t code = text.at(k).unicode();
        if (code > 32767)
            throw ERangeError(QStringLiteral("The identification text cannot be written: character %1 (code %2) does not fit a register")
                                  .arg(k + 1)
                                  .arg(code));
        codes.push_back(static_cast<int16_t>(code));
    }
    return codes;
}

void TForm1::WriteIdentText()
{
    // Refused before anything is defined or sent when a character does not fit.
    WriteBlock(RegisterMap::HubUnit, RegisterMap::Find(IdentText)->address, IdentRegisters(Overview->Edit15->Text()));
}

void TForm1::Edit15KeyPress(TComponent *, QChar &) { Overview->Button38->SetVisible(true); }

void TForm1::Button38Click(TComponent *)
{
    Overview->Button38->SetVisible(false);
    WriteIdentText();
}

void TForm1::Label8Click(TComponent *) { shell_.SetClipboardText(Overview->Label8->Caption()); }

void TForm1::Label48Click(TComponent *) { shell_.SetClipboardText(Overview->Label48->Caption()); }

void TForm1::Label123Click(TComponent *) { Overview->Label123->SetCaption(QStringLiteral(" ")); }
