#pragma once
// The configuration page: the configuration window of the starter selected last in any
// port page's grid, read from the hub and shown word by word.
class TButton;
class TLabel;
class TStringGrid;
class TTabSheet;

struct ConfigurationPage {
    TTabSheet *Configuration = nullptr;
    TButton *Button22 = nullptr;         // "Read VKH"
    TButton *Button23 = nullptr;         // "Update VKH": the hub reads the starter's configuration again
    TStringGrid *StringGrid5 = nullptr;  // 6 columns, 130 rows: offset, value, page, high, low, hex
    TLabel *Label40 = nullptr;           // instruction for "Read VKH"
    TLabel *Label56 = nullptr;           // instruction for "Update VKH"
};
