#pragma once
// One port page ("Port 1" to "Port 4"). The controls of the four pages are alike; their
// names carry the port number (StringGrid3), the unit (GroupGrid19) or the link index.
#include "mainform/pages/PortCommands.h"
#include "mainform/pages/PortLinkInfo.h"
#include "mainform/pages/PortLinkSettings.h"
#include "mainform/pages/PortSingleData.h"
#include "mainform/pages/PortStarters.h"

#include <array>

class TButton;
class TCheckBox;
class TGroupBox;
class TLabel;
class TStringGrid;
class TTabSheet;

struct PortPage {
    int Port = 0;                // 1 to 4
    int Link() const { return Port - 1; }
    int Unit() const { return 16 + Port; }

    TTabSheet *Sheet = nullptr;  // Port1 to Port4

    LinkSettingsGroup LinkSettings;
    LinkInfoGroup LinkInfo;

    // The starters of the link: rows 1 to 100 for addresses 0 to 99; Tag = link index.
    TStringGrid *StringGrid = nullptr;
    StarterStatusGroup Starters;

    SingleDataGroup SingleData;
    // Shown only after the command password.
    CommandsGroup Commands;
    ClearItemsGroup ClearItems;
};

// Controls that stand once on the port pages.
struct PortPagesCommon {
    TButton *Button4 = nullptr; // hidden "Read" of port 1: registers the per-link blocks
    TButton *Button7 = nullptr; // port 2: short link-settings reads of links 2 to 4
    TLabel *Label61 = nullptr;  // the selection; moved onto the port page or the configuration page shown
};
