#pragma once
// A round lamp: lit or not, and its lit colour as 32-bit ARGB. It repaints only when its
// state or colour changes.
#include "controls/Controls.h"

#include <cstdint>

class TILLed : public TControl {
    Q_OBJECT
public:
    TILLed(TForm *owner, const QString &name, TWinControl *parent, int diameter = 24);
    bool Value() const { return value_; }
    void SetValue(bool value);
    uint32_t Color() const { return color_; }
    void SetColor(uint32_t argb);
    // How often the lamp asked to be repainted (for checking that unchanged states cost nothing).
    int RepaintRequests() const { return repaintRequests_; }
    // The colour shown now: the lit colour, or a dark shade of it when unlit.
    uint32_t ShownColor() const;

private:
    void Changed();
    bool value_ = false;
    uint32_t color_ = 0xFF00FF00;
    int repaintRequests_ = 0;
};
