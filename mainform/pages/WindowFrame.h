#pragma once
// What the window holds outside its pages: the page control, the communications lamp
// beside the control's strip along the bottom edge, and the two timers.
class TILLed;
class TPageControl;
class TTimer;

struct WindowFrame {
    TPageControl *PageControl1 = nullptr;
    TILLed *ILLed1 = nullptr;   // switched on by every completed request, off by every failed one
    TTimer *Timer1 = nullptr;   // one-shot 2500 ms: registers the hub settings block
    TTimer *Timer2 = nullptr;   // 100 ms supervision
};
