#include "controls/Lamp.h"

#include <QEvent>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {
// The lamp is painted from pixmaps: the face for each colour it has shown, drawn once over
// a copy of what lies under the lamp. Once it has that background the widget is opaque,
// so that a blinking lamp repaints only itself and not the group box and pages under it.
class LampWidget : public QWidget {
public:
    explicit LampWidget(int diameter) { setFixedSize(diameter + 4, diameter + 4); }
    TILLed *lamp = nullptr;

protected:
    bool event(QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::Show:
            if (window() != watchedWindow_) {
                if (watchedWindow_)
                    watchedWindow_->removeEventFilter(this);
                watchedWindow_ = window();
                watchedWindow_->installEventFilter(this);
            }
            Invalidate();
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
        case QEvent::ParentChange:
            Invalidate();
            break;
        default:
            break;
        }
        return QWidget::event(e);
    }

    bool eventFilter(QObject *watched, QEvent *e) override
    {
        // The window laid out anew: what lies under the lamp may have moved too.
        if (watched == watchedWindow_ && (e->type() == QEvent::Resize || e->type() == QEvent::LayoutRequest))
            Invalidate();
        return false;
    }

    void paintEvent(QPaintEvent *) override
    {
        if (!lamp || grabbing_)
            return;
        QPainter p(this);
        const QRgb colour = lamp->ShownColor();
        if (background_.isNull()) {
            DrawFace(p, colour);
            return;
        }
        auto it = faces_.find(colour);
        if (it == faces_.end()) {
            QPixmap face = background_;
            QPainter fp(&face);
            DrawFace(fp, colour);
            fp.end();
            it = faces_.insert(colour, face);
        }
        p.drawPixmap(0, 0, *it);
    }

private:
    void DrawFace(QPainter &p, QRgb colour) const
    {
        p.setRenderHint(QPainter::Antialiasing);
        const QColor fill = QColor::fromRgba(colour);
        p.setPen(QPen(QColor(60, 60, 60), 1.5));
        QRadialGradient g(rect().center() - QPointF(width() / 6.0, height() / 6.0), width() / 1.6);
        g.setColorAt(0, fill.lighter(150));
        g.setColorAt(1, fill);
        p.setBrush(g);
        p.drawEllipse(QRectF(rect()).adjusted(2, 2, -2, -2));
    }

    // Forgets the background (the widget paints through until it has one again) and
    // takes it anew once the events that moved things have been handled.
    void Invalidate()
    {
        if (!background_.isNull()) {
            background_ = QPixmap();
            faces_.clear();
            setAttribute(Qt::WA_OpaquePaintEvent, false);
            update();
        }
        if (!grabQueued_) {
            grabQueued_ = true;
            QTimer::singleShot(0, this, [this] {
                grabQueued_ = false;
                GrabBackground();
            });
        }
    }

    void GrabBackground()
    {
        if (!isVisible())
            return;
        const qreal ratio = devicePixelRatioF();
        QPixmap under(size() * ratio);
        under.setDevicePixelRatio(ratio);
        under.fill(Qt::transparent);
        grabbing_ = true;
        window()->render(&under, QPoint(), QRegion(QRect(mapTo(window(), QPoint(0, 0)), size())),
                         QWidget::DrawWindowBackground | QWidget::DrawChildren);
        grabbing_ = false;
        background_ = under;
        faces_.clear();
        setAttribute(Qt::WA_OpaquePaintEvent, true);
        update();
    }

    QPixmap background_;
    QHash<QRgb, QPixmap> faces_;
    QPointer<QWidget> watchedWindow_;
    bool grabbing_ = false;
    bool grabQueued_ = false;
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
