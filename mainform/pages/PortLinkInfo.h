#pragma once
// "Link Information" of a port page: the link's statistics block (4x1100 to 4x1111 of
// the link's unit). The labels are named by their stem and the port number
// (LinkConfigStatus1, TransCount3); the Tag of each resettable label is the one-based
// number of the register that a click clears.
class TGroupBox;
class TLabel;

struct LinkInfoGroup {
    TGroupBox *Box = nullptr;          // "Link Information"
    TLabel *LinkConfigStatus = nullptr; // status code text, two lines or more
    TLabel *TransCount = nullptr;      // 32-bit transmission count (click: reset)
    TLabel *CRCError = nullptr;        // CRC errors and last address (click: reset)
    TLabel *Timeouts = nullptr;        // time-outs and last address (click: reset)
    TLabel *Responds = nullptr;        // starters answering and the number expected
    TLabel *LastScan = nullptr;
    TLabel *AverageScan = nullptr;     // click: reset
    TLabel *MaxScan = nullptr;         // click: reset
};
