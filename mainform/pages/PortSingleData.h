#pragma once
// "Single Data" of a port page: the group data of one starter, asked for by item. The
// names carry the unit (GroupGrid17, GrpStat_L17) or an irregular number (GroupBox13,
// ComboBox1, BitBtn1); the combo box's and the button's Tag is the unit.
class TButton;
class TComboBox;
class TGroupBox;
class TLabel;
class TStringGrid;

struct SingleDataGroup {
    static constexpr int Rows = 14; // value rows 1 to 14 under the header row
    // The grid's column widths at creation; the grid is as wide as the two together.
    static constexpr int TitleWidth = 130;
    static constexpr int ValueWidth = 95;

    TGroupBox *Box = nullptr;        // GroupBox13, 15, 16, 14 on ports 1 to 4
    TComboBox *ComboBox = nullptr;   // ComboBox1 to 4: "Static Data", "Group 1" to "Group 10"
    TButton *BitBtn = nullptr;       // BitBtn1 to 4: "&Refresh"
    TStringGrid *GroupGrid = nullptr; // GroupGrid17 to 20: titles and values
    TLabel *GrpStat = nullptr;       // GrpStat_L17 to L20: status of the last reply
};
