#include "controls/Lamp.h"

#include <QPainter>
#include <QWidget>

namespace {
class LampWidget : public QWidget {
public:
    LampWidget(int diameter) { setFixedSize(diameter + 4, diameter + 4); }
    TILLed *lamp = nullptr;

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!lamp)
            return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor fill = QColor::fromRgba(lamp->ShownColor());
        p.setPen(QPen(QColor(60, 60, 60), 1.5));
        QRadialGradient g(rect().center() - QPointF(width() / 6.0, height() / 6.0), width() / 1.6);
        g.setColorAt(0, fill.lighter(150));
        g.setColorAt(1, fill);
        p.setBrush(g);
        p.drawEllipse(QRectF(rect()).adjusted(2, 2, -2, -2));
    }
};
} // namespace

TILLed::TILLed(TForm *owner, const QString &name, TWinControl *parent, int diameter)
    : TControl(owner, name, new LampWidget(diameter), parent)
{
    static_cast<LampWidget *>(Widget())->lamp = this;
}

void TILLed::SetValue(bool value)
{
    if (value == value_)
        return;
    value_ = value;
    Changed();
}

void TILLed::SetColor(uint32_t argb)
{
    if (argb == color_)
        return;
    color_ = argb;
    Changed();
}

uint32_t TILLed::ShownColor() const
{
    if (value_)
        return color_;
    const QColor c = QColor::fromRgba(color_);
    return QColor(c.red() / 4, c.green() / 4, c.blue() / 4).rgba();
}

void TILLed::Changed()
{
    ++repaintRequests_;
    Widget()->update();
}
