// The 100 ms supervision: age of the last message, communications and watchdog health,
// the warning, and the blink patterns of the six status lamps.
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/Lamp.h"
#include "mainform/Colours.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/OverviewPage.h"

namespace {
using Colours::LampGreen;
using Colours::LampGrey;
using Colours::LampRed;
using Colours::LampYellow;

constexpr qint64 HealthyAgeMs = 4999;
constexpr int16_t FrozenAfterTicks = 20;

enum LampKind { PowerLamp, LinkLamp, NetworkLamp };

// The lit windows of the flash patterns (inclusive step ranges) and their wrap points.
struct Window {
    int16_t from, to;
};
constexpr Window DoubleFlash[] = {{0, 2}, {5, 7}};
constexpr Window NetworkFlashes[] = {{0, 2}, {5, 7}, {10, 11}, {14, 15}, {18, 19}};
constexpr int16_t DoubleFlashWrap = 18;
constexpr int16_t CycleWrap = 29;
constexpr int16_t SlowBlinkWrap = 20;
constexpr int16_t NetworkWrap[] = {18, 22, 26, 30}; // for 2 to 5 flashes
// In a network mode without a pattern the step still moves; it is kept small.
constexpr int16_t NetworkOtherWrap = 30;

bool InWindows(int16_t step, const Window *windows, int count)
{
    for (int i = 0; i < count; ++i)
        if (step >= windows[i].from && step <= windows[i].to)
            return true;
    return false;
}

// Increases the step after the colour was chosen; past the wrap point it restarts at 0.
void Advance(TLED &led, int16_t wrap)
{
    led.StepPos = static_cast<int16_t>(led.StepPos >= wrap ? 0 : led.StepPos + 1);
}
} // namespace

uint32_t TForm1::LampColour(int16_t ColourCode) const
{
    if (!CommsDandy)
        return LampGrey;
    switch (ColourCode) {
    case 1: return LampGreen;
    case 2: return LampYellow;
    case 3: return LampRed;
    default: return LampGrey;
    }
}

void TForm1::DriveLamp(TILLed *lamp, TLED &led, int kind)
{
    lamp->SetValue(true);
    const uint32_t lit = LampColour(led.LowB);
    if (kind == PowerLamp && led.LowB == 4) {
        uint32_t colour = LampGrey;
        if (CommsDandy)
            colour = led.StepPos <= 9 ? LampGreen : led.StepPos <= 19 ? LampYellow : LampRed;
        lamp->SetColor(colour);
        Advance(led, CycleWrap);
    } else if (kind != NetworkLamp && led.HighB == 2) {
        lamp->SetColor(InWindows(led.StepPos, DoubleFlash, 2) ? lit : LampGrey);
        Advance(led, DoubleFlashWrap);
    } else if (kind == LinkLamp && led.HighB == 11) {
        lamp->SetColor(led.StepPos <= 9 ? lit : LampGrey);
        Advance(led, SlowBlinkWrap);
    } else if (kind == NetworkLamp) {
        // A code of 4 or more leaves the colour as it was. The colour is decided first
        // and set once, so that a lamp that stays dark is not repainted at every tick.
        uint32_t colour = led.LowB < 4 ? lit : lamp->Color();
        if (led.HighB >= 2 && led.HighB <= 5) {
            if (!InWindows(led.StepPos, NetworkFlashes, led.HighB))
                colour = LampGrey;
            Advance(led, NetworkWrap[led.HighB - 2]);
        } else {
            Advance(led, NetworkOtherWrap);
        }
        lamp->SetColor(colour);
    } else {
        lamp->SetColor(lit);
    }
}

void TForm1::Timer2Timer(TComponent *)
{
    // The age of the last completed request.
    const qint64 age = std::llabs(LastCommsRec.msecsTo(clock_.Now()));
    if (age < 1000) {
        Comms->Label89->SetCaption(QStringLiteral("Milliseconds since last message"));
        Comms->Label90->SetCaption(QString::number(age));
    } else {
        Comms->Label89->SetCaption(QStringLiteral("Seconds since last message"));
        Comms->Label90->SetCaption(QString::number(age / 1000));
    }
    CommsDandy = age < HealthyAgeMs;

    // The hub's watchdog counter: it counts as frozen while it stays unchanged.
    if (Stats_WDCount == Old_WDCount) {
        if (WDLag < INT16_MAX)
            ++WDLag;
    } else {
        WDLag = 0;
    }
    WDogDanndy = WDLag < FrozenAfterTicks;
    if (!WDogDanndy) {
        Overview->Label18->SetFontColor(Colours::Red);
        Overview->Label88->SetCaption(CommsDandy ? QStringLiteral("Watchdog Frozen - check VelkarHub")
                                       : QStringLiteral("Communications error - check VelkarHub"));
    } else {
        Overview->Label18->SetFontColor(Colours::Navy);
    }
    Old_WDCount = Stats_WDCount;
    Overview->Label88->SetVisible(!(CommsDandy && WDogDanndy));

    DriveLamp(Overview->ILLed2, PowerLED, PowerLamp);
    DriveLamp(Overview->LinkLamps[0], QVLink1LED, LinkLamp);
    DriveLamp(Overview->LinkLamps[1], QVLink2LED, LinkLamp);
    DriveLamp(Overview->LinkLamps[2], QVLink3LED, LinkLamp);
    DriveLamp(Overview->LinkLamps[3], QVLink4LED, LinkLamp);
    DriveLamp(Overview->Net_LED, NetLED, NetworkLamp);
}
