#pragma once
// The Diagnostics page, hidden at start: the operator log.
class TMemo;
class TTabSheet;

struct DiagnosticsPage {
    TTabSheet *TabSheet2 = nullptr;
    TMemo *Memo4 = nullptr;
};
