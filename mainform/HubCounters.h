#pragma once
// The hub's counters: which word of the statistics block each one is, the field that
// holds it, the label that shows it (its name carries the label number, its Tag the
// register number that a click resets) and the label's text.
#include "mainform/MainForm.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/OverviewPage.h"

namespace HubCounters {

template <typename Page>
struct Counter {
    int16_t word;
    int16_t TForm1::*field;
    TLabel *Page::*label;
    int number; // the label's number: Label12
    const char *text;
};

// Words 0 to 7 (4x600 to 4x607) on the overview page, shown unsigned.
inline constexpr Counter<OverviewPage> Overview[] = {
    {0, &TForm1::Stats_TxCount, &OverviewPage::Label12, 12, "Number of Transmissions: "},
    {1, &TForm1::Stats_RxCount, &OverviewPage::Label13, 13, "Number of Receptions:  "},
    {2, &TForm1::Stats_TXErrors, &OverviewPage::Label14, 14, "Number of Tx Errors: "},
    {3, &TForm1::Stats_RXErrors, &OverviewPage::Label15, 15, "Number of Rx Errors: "},
    {4, &TForm1::Stats_Timeouts, &OverviewPage::Label16, 16, "Number of Timeouts: "},
    {5, &TForm1::Stats_PowerOnCount, &OverviewPage::Label17, 17, "Power on Counter: "},
    {6, &TForm1::Stats_WDCount, &OverviewPage::Label18, 18, "Watchdog Counter: "},
    {7, &TForm1::Stats_RunTimeErrors, &OverviewPage::Label19, 19, "Runtime Messages: "},
};

// Words 24 to 36 (4x625 to 4x637) on the communications page, shown signed, in the order
// their labels are set and shown.
inline constexpr Counter<CommsPage> Network[] = {
    {24, &TForm1::Stats_ActiveConnections, &CommsPage::Label105, 105, "Active Connections: "},
    {26, &TForm1::Stats_TotalConnections, &CommsPage::Label106, 106, "Total Connections: "},
    {25, &TForm1::Stats_RxWhileTx, &CommsPage::Label107, 107, "Receiving when transmitting: "},
    {27, &TForm1::Stats_MTx, &CommsPage::Label108, 108, "Modbus TCP/IP Tx: "},
    {28, &TForm1::Stats_MreTx, &CommsPage::Label109, 109, "Modbus TCP/IP ReTx: "},
    {29, &TForm1::Stats_TotalAck, &CommsPage::Label110, 110, "Modbus TCP/IP Total Acks: "},
    {30, &TForm1::Stats_MRx, &CommsPage::Label111, 111, "Modbus TCP/IP Rx: "},
    {31, &TForm1::Stats_TCPIPTimeouts, &CommsPage::Label112, 112, "Modbus TCP/IP Timeouts: "},
    {32, &TForm1::Stats_Closings, &CommsPage::Label113, 113, "Modbus TCP/IP connection Closures: "},
    {33, &TForm1::Stats_Aborts, &CommsPage::Label114, 114, "Modbus TCP/IP connection aborts: "},
    {34, &TForm1::Stats_NewIPAddAllocations, &CommsPage::Label115, 115, "Modbus TCP/IP address allocations: "},
    {35, &TForm1::Stats_CRCWrites, &CommsPage::Label118, 118, "Flash Writes: "},
    {36, &TForm1::Stats_CRCErrors, &CommsPage::Label119, 119, "Flash Read CRC Errors: "},
};
constexpr int FirstTcp = 0, TcpCount = 11; // Network[0..10]: Modbus TCP/IP diagnostics
constexpr int FirstFlash = 11, FlashCount = 2; // Network[11..12]: flash memory

// The register a counter's label resets: the word's register, one-based.
constexpr int RegisterOf(int16_t word) { return 600 + word; }

} // namespace HubCounters
