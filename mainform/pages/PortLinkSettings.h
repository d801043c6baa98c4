#pragma once
// "Connector n Parameters" of a port page: the link's settings block (4x1000 to 4x1008
// of the link's unit; the register of each control is in LinkSettingsMap.h). The edits'
// Tag is the zero-based address of their register; the check box's and the radio
// groups' Tag is the unit.
class TCheckBox;
class TEdit;
class TGroupBox;
class TRadioGroup;

struct LinkSettingsGroup {
    TGroupBox *Box = nullptr;               // "Connector n Parameters"
    TEdit *Port = nullptr;                  // QVLnPort: read-only
    TEdit *Link = nullptr;                  // QVLnLink
    TEdit *First = nullptr;                 // QVLnFirst
    TEdit *Last = nullptr;                  // QVLnLast
    TEdit *Noreply = nullptr;               // QVLnNoreply
    TCheckBox *FastBroad = nullptr;         // QVLnFastBroad
    TRadioGroup *ConfigConflict = nullptr;  // QVLnConfigConflict
    TRadioGroup *Baud = nullptr;            // QVLnBaud
    TRadioGroup *InputDataSize = nullptr;   // QVLnInputDataSize
};
