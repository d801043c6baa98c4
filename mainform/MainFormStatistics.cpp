// The hub's statistics (handle 3) and the resets of its counters.
#include "mainform/HubCounters.h"

#include "controls/Controls.h"
#include "mainform/pages/HubSettingsPage.h"

using namespace ConfigConst;

using RegisterMap::Handle::HubStatistics;

void TForm1::DecodeHubStatistics()
{
    for (const auto &c : HubCounters::Overview) {
        this->*c.field = Mbaxp1.Get_Register(HubStatistics, c.word);
        ((*Overview).*c.label)->SetCaption(QString::fromLatin1(c.text) + QString::number(uint16_t(this->*c.field)));
    }

    BlockedIPConnections = Mbaxp1.Get_Register(HubStatistics, 18);
    if (BlockedIPConnections > 0) {
        HubSettings->Label104->SetCaption(QStringLiteral("Blocks: ") + QString::number(BlockedIPConnections));
        for (int16_t k = 0; k < 5; ++k)
            HubSettings->InvalidIP[static_cast<size_t>(k)]->SetText(QString::number(Mbaxp1.Get_Register(HubStatistics, 19 + k)));
        HubSettings->GroupBox22->SetVisible(true);
    } else {
        HubSettings->GroupBox22->SetVisible(false);
    }

    for (const auto &c : HubCounters::Network)
        this->*c.field = Mbaxp1.Get_Register(HubStatistics, c.word);
    for (const auto &c : HubCounters::Network)
        ((*Comms).*c.label)->SetCaption(QString::fromLatin1(c.text) + QString::number(this->*c.field));
}

// A counter label clears the one register its Tag names.
void TForm1::Label12Click(TComponent *Sender)
{
    WriteSingle(RegisterMap::HubUnit, static_cast<TLabel *>(Sender)->Tag - 1, 0);
}

void TForm1::Label106Click(TComponent *Sender) { Label12Click(Sender); }

void TForm1::Button8Click(TComponent *) { WriteBlock(RegisterMap::HubUnit, 599, std::vector<int16_t>(8, 0)); }

void TForm1::Button44Click(TComponent *) { WriteBlock(RegisterMap::HubUnit, 624, std::vector<int16_t>(10, 0)); }

void TForm1::Button43Click(TComponent *) { WriteBlock(RegisterMap::HubUnit, 617, std::vector<int16_t>(6, 0)); }
