// The register blocks of the hub: their registration, the connection, the write
// convention and the dispatch of every result to its decoder.
#include "mainform/MainForm.h"

#include "mainform/Colours.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"

using namespace ConfigConst;

namespace {

// The per-link blocks, registered kind by kind for links 1 to 4 in this order.
struct LinkBlock {
    int16_t firstHandle;
    int32_t address;
    int16_t count;
    int rate;
    const char *kind;
};
constexpr LinkBlock LinkBlocks[] = {
    {27, 1099, 12, RateFast, "stats"},
    {37, 3799, 100, RateNormal, "status words"},
    {47, 3899, 100, RateNormal, "load words"},
    {57, 3999, 100, RateNormal, "fault words"},
    {67, 5999, 100, RateSlow, "QV Types"},
    {77, 1999, 100, RateNormal, "command words"},
    {17, 999, 9, RateNormal, "settings"},
};

} // namespace

void TForm1::Button1Click(TComponent *)
{
    Mbaxp1.ReadHoldingRegisters(2, HubUnit, 499, 31, UpdateRates[RateFast]);
    Mbaxp1.UpdateEnable(2);
    LogMessage(QStringLiteral("Starting general info comms (16:500 31 Registers)"));
    clock_.Sleep(100);

    Mbaxp1.ReadHoldingRegisters(9, HubUnit, 6999, 10, UpdateRates[RateFast]);
    Mbaxp1.UpdateEnable(9);
    LogMessage(QStringLiteral("Starting development data comms (16:7000 10 Registers)"));
    clock_.Sleep(100);

    Mbaxp1.ReadHoldingRegisters(10, HubUnit, 8999, 15, 60000);
    Mbaxp1.UpdateOnce(10);
    LogMessage(QStringLiteral("Starting scratchpad data comms (16:9000 15 Registers)"));
    clock_.Sleep(100);

    Timer1->SetEnabled(true);
}

void TForm1::Button4Click(TComponent *)
{
    for (const LinkBlock &block : LinkBlocks) {
        for (int16_t link = 0; link < 4; ++link) {
            const auto handle = static_cast<int16_t>(block.firstHandle + link);
            const auto unit = static_cast<int16_t>(HubUnit + 1 + link);
            Mbaxp1.ReadHoldingRegisters(handle, unit, block.address, block.count, UpdateRates[static_cast<size_t>(block.rate)]);
            Mbaxp1.UpdateEnable(handle);
            LogMessage(QStringLiteral("Starting link %1 comms Port %2 (%3:%4 %5 Registers)")
                           .arg(QString::fromLatin1(block.kind))
                           .arg(link + 1)
                           .arg(unit)
                           .arg(block.address + 1)
                           .arg(block.count));
        }
    }
}

void TForm1::Timer1Timer(TComponent *)
{
    int16_t count = 108;
    if (Info_V4 >= 6) {
        count = 109;
        Label123->SetVisible(false);
    } else {
        Label123->SetVisible(Info_V4 > 0);
    }
    Label125->SetCaption(QStringLiteral("Data Size: ") + QString::number(count));
    Mbaxp1.ReadHoldingRegisters(1, HubUnit, 99, count, 2000);
    Mbaxp1.UpdateEnable(1);
    LogMessage(QStringLiteral("Starting development data comms (16:100 %1 Registers)").arg(count));
    Timer1->SetEnabled(false);
}

void TForm1::Button2Click(TComponent *)
{
    Mbaxp1.CloseConnection();
    if (RadioButton2->Checked()) {
        Mbaxp1.Connection = Convert::ToNonNegative(Convert::StrToInt(Edit6->Text()));
        Mbaxp1.Parity = 0;
        Mbaxp1.BaudRate = 5;
        Mbaxp1.ProtocolMode = 0;
    } else {
        Mbaxp1.Connection = 0;
        Mbaxp1.Timeout = Convert::ToInt16(Convert::StrToInt(Edit5->Text()));
        const std::array<TEdit *, 5> unit1{Edit1, Edit2, Edit3, Edit4, Edit16};
        const std::array<TEdit *, 5> unit2{Edit7, Edit8, Edit9, Edit10, Edit25};
        const std::array<TEdit *, 5> *fields = RadioButton1->Checked() ? &unit1 : RadioButton3->Checked() ? &unit2 : nullptr;
        if (fields) {
            Mbaxp1.IPAddr1 = Convert::ToInt16(Convert::StrToInt((*fields)[0]->Text()));
            Mbaxp1.IPAddr2 = Convert::ToInt16(Convert::StrToInt((*fields)[1]->Text()));
            Mbaxp1.IPAddr3 = Convert::ToInt16(Convert::StrToInt((*fields)[2]->Text()));
            Mbaxp1.IPAddr4 = Convert::ToInt16(Convert::StrToInt((*fields)[3]->Text()));
            Mbaxp1.TCPIPPort = Convert::StrToInt((*fields)[4]->Text());
        }
    }
    Mbaxp1.OpenConnection();
    Timer1->SetEnabled(true);
}

void TForm1::Button7Click(TComponent *)
{
    for (int16_t handle = 18; handle <= 20; ++handle) {
        Mbaxp1.ReadHoldingRegisters(handle, handle, 999, 7, 1000);
        Mbaxp1.UpdateOnce(handle);
    }
}

void TForm1::WriteSingle(int16_t handle, int16_t unit, int32_t address, int16_t value)
{
    Mbaxp1.PresetSingleRegister(handle, unit, address, WriteRate);
    Mbaxp1.Set_Register(handle, 0, value);
    Mbaxp1.UpdateOnce(handle);
}

void TForm1::WriteBlock(int16_t handle, int16_t unit, int32_t address, const std::vector<int16_t> &values)
{
    Mbaxp1.PresetMultipleRegisters(handle, unit, address, static_cast<int16_t>(values.size()), WriteRate);
    for (size_t i = 0; i < values.size(); ++i)
        Mbaxp1.Set_Register(handle, static_cast<int16_t>(i), values[i]);
    Mbaxp1.UpdateOnce(handle);
}

void TForm1::Mbaxp1ResultOk(TComponent *, int16_t Handle)
{
    if (CheckBox2->Checked())
        LogMessage(QStringLiteral("Rec Message (%1)").arg(Handle));
    switch (Handle) {
    case 2: DecodeGeneralInfo(); break;
    case 3: DecodeHubStatistics(); break;
    case 9: DecodeRuntimeMessage(); break;
    case 10: ShowIdentText(); break;
    default: break; // writes (0, 116 to 120) are not decoded
    }
    ILLed1->SetColor(Colours::LampGreen);
    ILLed1->SetValue(true);
    LastCommsRec = clock_.Now();
}

void TForm1::Mbaxp1ResultError(TComponent *, int16_t Handle, int16_t Error)
{
    // No text for the code (or no list, when creation stopped before loading it).
    if (!ModbusErrors || Error < 0 || Error >= ModbusErrors->size())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Error));
    Label4->SetCaption(QStringLiteral("%1 : %2 : %3").arg(Error).arg(ModbusErrors->at(Error)).arg(Handle));
    ILLed1->SetValue(false);
}

void TForm1::Label4Click(TComponent *) { Label4->SetCaption(QStringLiteral("No Issues")); }
