// The hub's statistics (handle 3) and the resets of its counters.
#include "mainform/MainForm.h"

using namespace ConfigConst;

namespace {
constexpr int16_t StatisticsHandle = 3;

// A counter of the block: its word, its field, the label that shows it and its text.
struct Counter {
    int16_t word;
    int16_t TForm1::*field;
    TLabel *TForm1::*label;
    const char *text;
};

// Words 0 to 7, shown unsigned.
constexpr Counter HubCounters[] = {
    {0, &TForm1::Stats_TxCount, &TForm1::Label12, "Number of Transmissions: "},
    {1, &TForm1::Stats_RxCount, &TForm1::Label13, "Number of Receptions:  "},
    {2, &TForm1::Stats_TXErrors, &TForm1::Label14, "Number of Tx Errors: "},
    {3, &TForm1::Stats_RXErrors, &TForm1::Label15, "Number of Rx Errors: "},
    {4, &TForm1::Stats_Timeouts, &TForm1::Label16, "Number of Timeouts: "},
    {5, &TForm1::Stats_PowerOnCount, &TForm1::Label17, "Power on Counter: "},
    {6, &TForm1::Stats_WDCount, &TForm1::Label18, "Watchdog Counter: "},
    {7, &TForm1::Stats_RunTimeErrors, &TForm1::Label19, "Runtime Messages: "},
};

// Words 24 to 36, shown signed, in the order their labels are set.
constexpr Counter NetworkCounters[] = {
    {24, &TForm1::Stats_ActiveConnections, &TForm1::Label105, "Active Connections: "},
    {26, &TForm1::Stats_TotalConnections, &TForm1::Label106, "Total Connections: "},
    {25, &TForm1::Stats_RxWhileTx, &TForm1::Label107, "Receiving when transmitting: "},
    {27, &TForm1::Stats_MTx, &TForm1::Label108, "Modbus TCP/IP Tx: "},
    {28, &TForm1::Stats_MreTx, &TForm1::Label109, "Modbus TCP/IP ReTx: "},
    {29, &TForm1::Stats_TotalAck, &TForm1::Label110, "Modbus TCP/IP Total Acks: "},
    {30, &TForm1::Stats_MRx, &TForm1::Label111, "Modbus TCP/IP Rx: "},
    {31, &TForm1::Stats_TCPIPTimeouts, &TForm1::Label112, "Modbus TCP/IP Timeouts: "},
    {32, &TForm1::Stats_Closings, &TForm1::Label113, "Modbus TCP/IP connection Closures: "},
    {33, &TForm1::Stats_Aborts, &TForm1::Label114, "Modbus TCP/IP connection aborts: "},
    {34, &TForm1::Stats_NewIPAddAllocations, &TForm1::Label115, "Modbus TCP/IP address allocations: "},
    {35, &TForm1::Stats_CRCWrites, &TForm1::Label118, "Flash Writes: "},
    {36, &TForm1::Stats_CRCErrors, &TForm1::Label119, "Flash Read CRC Errors: "},
};
} // namespace

void TForm1::DecodeHubStatistics()
{
    for (const Counter &c : HubCounters) {
        this->*c.field = Mbaxp1.Get_Register(StatisticsHandle, c.word);
        (this->*c.label)->SetCaption(QString::fromLatin1(c.text) + QString::number(uint16_t(this->*c.field)));
    }

    BlockedIPConnections = Mbaxp1.Get_Register(StatisticsHandle, 18);
    if (BlockedIPConnections > 0) {
        Label104->SetCaption(QStringLiteral("Blocks: ") + QString::number(BlockedIPConnections));
        const std::array<TEdit *, 5> client{InvalidIP1, InvalidIP2, InvalidIP3, InvalidIP4, InvalidIP5};
        for (int16_t k = 0; k < 5; ++k)
            client[static_cast<size_t>(k)]->SetText(QString::number(Mbaxp1.Get_Register(StatisticsHandle, 19 + k)));
        GroupBox22->SetVisible(true);
    } else {
        GroupBox22->SetVisible(false);
    }

    for (const Counter &c : NetworkCounters)
        this->*c.field = Mbaxp1.Get_Register(StatisticsHandle, c.word);
    for (const Counter &c : NetworkCounters)
        (this->*c.label)->SetCaption(QString::fromLatin1(c.text) + QString::number(this->*c.field));
}

// A counter label clears the one register its Tag names.
void TForm1::Label12Click(TComponent *Sender)
{
    WriteSingle(WriteHandle, HubUnit, static_cast<TLabel *>(Sender)->Tag - 1, 0);
}

void TForm1::Label106Click(TComponent *Sender) { Label12Click(Sender); }

void TForm1::Button8Click(TComponent *) { WriteBlock(WriteHandle, HubUnit, 599, std::vector<int16_t>(8, 0)); }

void TForm1::Button44Click(TComponent *) { WriteBlock(WriteHandle, HubUnit, 624, std::vector<int16_t>(10, 0)); }

void TForm1::Button43Click(TComponent *) { WriteBlock(WriteHandle, HubUnit, 617, std::vector<int16_t>(6, 0)); }
