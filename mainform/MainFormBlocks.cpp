// The register blocks of the hub: their registration, the connection, the write
// convention and the dispatch of every result to its decoder.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/Lamp.h"
#include "mainform/Colours.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/OverviewPage.h"
#include "mainform/pages/WindowFrame.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"

using namespace ConfigConst;

using namespace RegisterMap;

RegisterMap::Read TForm1::ReadOf(int16_t handle) const
{
    return RegisterMap::ReadOf(handle, Context{Info_V4, WhichLink, QuorvaneInLink, GR_LastGroupReadStationAddress});
}

void TForm1::DefineRead(const RegisterMap::Read &read)
{
    Mbaxp1.ReadHoldingRegisters(read.handle, read.unit, read.address, read.quantity, read.rate);
}

RegisterMap::Read TForm1::StartRead(int16_t handle)
{
    const RegisterMap::Read read = ReadOf(handle);
    DefineRead(read);
    if (RegisterMap::Find(handle)->runs == Runs::Repeated)
        Mbaxp1.UpdateEnable(handle);
    else
        Mbaxp1.UpdateOnce(handle);
    return read;
}

void TForm1::Button1Click(TComponent *)
{
    // The hub-wide blocks, each followed by a pause that paces the hub.
    for (const Block &block : Blocks()) {
        if (block.start != Start::Activation || block.perLink)
            continue;
        LogMessage(RegistrationLogLine(StartRead(block.handle)));
        clock_.Sleep(100);
    }
    Frame->Timer1->SetEnabled(true);
}

void TForm1::Button4Click(TComponent *)
{
    // The per-link blocks, kind by kind, each kind for links 1 to 4.
    for (const Block &block : Blocks()) {
        if (block.start != Start::Activation || !block.perLink)
            continue;
        for (int link = 0; link < Links; ++link)
            LogMessage(RegistrationLogLine(StartRead(static_cast<int16_t>(block.handle + link))));
    }
}

void TForm1::Timer1Timer(TComponent *)
{
    const RegisterMap::Read read = ReadOf(Handle::HubSettings);
    if (Info_V4 >= 6)
        Overview->Label123->SetVisible(false);
    else
        Overview->Label123->SetVisible(Info_V4 > 0);
    Comms->Label125->SetCaption(QStringLiteral("Data Size: ") + QString::number(read.quantity));
    DefineRead(read);
    Mbaxp1.UpdateEnable(read.handle);
    LogMessage(RegistrationLogLine(read));
    Frame->Timer1->SetEnabled(false);
}

void TForm1::Button2Click(TComponent *)
{
    Mbaxp1.CloseConnection();
    if (Comms->RadioButton2->Checked()) {
        Mbaxp1.Connection = Convert::ToNonNegative(Convert::StrToInt(Comms->Edit6->Text()));
        Mbaxp1.Parity = 0;
        Mbaxp1.BaudRate = 5;
        Mbaxp1.ProtocolMode = 0;
    } else {
        Mbaxp1.Connection = 0;
        Mbaxp1.Timeout = Convert::ToInt16(Convert::StrToInt(Comms->Edit5->Text()));
        const std::array<TEdit *, 5> unit1{Comms->Edit1, Comms->Edit2, Comms->Edit3, Comms->Edit4, Comms->Edit16};
        const std::array<TEdit *, 5> unit2{Comms->Edit7, Comms->Edit8, Comms->Edit9, Comms->Edit10, Comms->Edit25};
        const std::array<TEdit *, 5> *fields = Comms->RadioButton1->Checked() ? &unit1 : Comms->RadioButton3->Checked() ? &unit2 : nullptr;
        if (fields) {
            Mbaxp1.IPAddr1 = Convert::ToInt16(Convert::StrToInt((*fields)[0]->Text()));
            Mbaxp1.IPAddr2 = Convert::ToInt16(Convert::StrToInt((*fields)[1]->Text()));
            Mbaxp1.IPAddr3 = Convert::ToInt16(Convert::StrToInt((*fields)[2]->Text()));
            Mbaxp1.IPAddr4 = Convert::ToInt16(Convert::StrToInt((*fields)[3]->Text()));
            Mbaxp1.TCPIPPort = Convert::StrToInt((*fields)[4]->Text());
        }
    }
    Mbaxp1.OpenConnection();
    Frame->Timer1->SetEnabled(true);
}

void TForm1::Button7Click(TComponent *)
{
    // Links 2 to 4: their link settings once, 7 words instead of 9.
    for (int link = 1; link < Links; ++link) {
        RegisterMap::Read read = ReadOf(static_cast<int16_t>(Handle::LinkSettings + link));
        read.quantity = ShortLinkSettingsCount;
        DefineRead(read);
        Mbaxp1.UpdateOnce(read.handle);
    }
}

void TForm1::WriteSingle(int16_t unit, int32_t address, int16_t value)
{
    Mbaxp1.PresetSingleRegister(Handle::Write, unit, address, RegisterMap::Find(Handle::Write)->rate);
    Mbaxp1.Set_Register(Handle::Write, 0, value);
    StartWrite(Handle::Write);
}

void TForm1::WriteBlock(int16_t unit, int32_t address, const std::vector<int16_t> &values, int16_t handle)
{
    Mbaxp1.PresetMultipleRegisters(handle, unit, address, static_cast<int16_t>(values.size()), RegisterMap::Find(handle)->rate);
    for (size_t i = 0; i < values.size(); ++i)
        Mbaxp1.Set_Register(handle, static_cast<int16_t>(i), values[i]);
    StartWrite(handle);
}

void TForm1::StartWrite(int16_t handle, int gapMs, std::function<void()> answered)
{
    if (gapMs > 0)
        Mbaxp1.UpdateOncePaced(handle, gapMs);
    else
        Mbaxp1.UpdateOnce(handle);
    if (handle == Handle::Write)
        WritesAwaited.push_back(std::move(answered));
}

void TForm1::WriteAnswered()
{
    // A result the window did not start a write for (none should come) answers nothing.
    if (WritesAwaited.empty())
        return;
    const std::function<void()> answered = std::move(WritesAwaited.front());
    WritesAwaited.pop_front();
    if (answered)
        answered();
}

void TForm1::Mbaxp1ResultOk(TComponent *, int16_t Handle)
{
    // First of all, so that a failure further on cannot leave the next result of the
    // write handle taken for this one.
    if (Handle == RegisterMap::Handle::Write)
        WriteAnswered();
    if (Comms->CheckBox2->Checked())
        LogMessage(QStringLiteral("Rec Message (%1)").arg(Handle));
    int link = 0;
    if (const Block *block = RegisterMap::Find(Handle, &link)) {
        if (block->decode == Decode::Hub)
            (this->*block->hubDecoder)();
        else if (block->decode == Decode::Link)
            (this->*block->linkDecoder)(static_cast<int16_t>(link));
    }
    Frame->ILLed1->SetColor(Colours::LampGreen);
    Frame->ILLed1->SetValue(true);
    LastCommsRec = clock_.Now();
}

void TForm1::Mbaxp1ResultError(TComponent *, int16_t Handle, int16_t Error)
{
    if (Handle == RegisterMap::Handle::Write)
        WriteAnswered();
    else if (Handle == RegisterMap::Handle::IdentText)
        IdentReadAgain = true; // asked again at the next general-data result
    // No text for the code (or no list, when creation stopped before loading it).
    if (!ModbusErrors || Error < 0 || Error >= ModbusErrors->size())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Error));
    // Concatenated, not formatted: the text comes from a file and may hold "%1".
    Comms->Label4->SetCaption(QString::number(Error) + QStringLiteral(" : ") + ModbusErrors->at(Error) + QStringLiteral(" : ") +
                              QString::number(Handle));
    Frame->ILLed1->SetValue(false);
}

void TForm1::Label4Click(TComponent *) { Comms->Label4->SetCaption(QStringLiteral("No Issues")); }
