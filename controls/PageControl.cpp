#include "controls/PageControl.h"

#include "controls/Guard.h"

#include <QMouseEvent>
#include <QScopeGuard>
#include <QTabBar>
#include <QTabWidget>

TTabSheet::TTabSheet(TForm *owner, const QString &name, TPageControl *pages, const QString &caption)
    : TWinControl(owner, name, new QWidget, pages), pages_(pages)
{
    pages_->AddPage(this);
    SetCaption(caption);
}

QString TTabSheet::Caption() const { return pages_->Tabs()->tabText(PageIndex()); }

void TTabSheet::SetCaption(const QString &caption) { pages_->Tabs()->setTabText(PageIndex(), caption); }

bool TTabSheet::TabVisible() const { return pages_->Tabs()->isTabVisible(PageIndex()); }

void TTabSheet::SetTabVisible(bool visible)
{
    // Hiding the shown page makes another page current: that is not the operator's change.
    pages_->ByProgram([&] { pages_->Tabs()->setTabVisible(PageIndex(), visible); });
}

int TTabSheet::PageIndex() const { return pages_->Tabs()->indexOf(Widget()); }

TPageControl::TPageControl(TForm *owner, const QString &name, TWinControl *parent)
    : TWinControl(owner, name, new QTabWidget, parent)
{
    connect(Tabs(), &QTabWidget::currentChanged, this, [this] {
        if (!programChange_)
            FireUser(OnChange);
    });
    // A click on a tab takes the focus first, so the exit of the edit being left runs
    // before the page changes, as it does for any other control the operator clicks.
    Tabs()->tabBar()->setFocusPolicy(Qt::StrongFocus);
    Tabs()->tabBar()->installEventFilter(this);
    Tabs()->installEventFilter(this);
}

QTabWidget *TPageControl::Tabs() const { return static_cast<QTabWidget *>(Widget()); }

void TPageControl::ByProgram(const std::function<void()> &change)
{
    programChange_ = true;
    const auto done = qScopeGuard([this] { programChange_ = false; });
    ProgramChange(change);
}

void TPageControl::AddPage(TTabSheet *page)
{
    ByProgram([&] { Tabs()->addTab(page->Widget(), QString()); });
    pages_.push_back(page);
}

TTabSheet *TPageControl::ActivePage() const
{
    const int index = Tabs()->currentIndex();
    for (TTabSheet *page : pages_)
        if (page->PageIndex() == index)
            return page;
    return nullptr;
}

int TPageControl::ActivePageIndex() const { return Tabs()->currentIndex(); }

void TPageControl::SetActivePage(TTabSheet *page)
{
    ByProgram([&] { Tabs()->setCurrentWidget(page->Widget()); });
}

bool TPageControl::eventFilter(QObject *watched, QEvent *event)
{
    // A label on a page that shows a new value asks every layout up to the window to be
    // done again; the tab widget answers that by repainting itself with every page. It
    // only needs to lay out again when its tab bar or the size its pages need changed.
    if (watched == Tabs() && event->type() == QEvent::LayoutRequest) {
        const std::array<QSize, 3> sizes{Tabs()->tabBar()->sizeHint(), Tabs()->sizeHint(), Tabs()->minimumSizeHint()};
        if (sizes == laidOutSizes_)
            return true;
        laidOutSizes_ = sizes;
        return false;
    }
    if (watched == Tabs()->tabBar() && event->type() == QEvent::MouseButtonPress && OnMouseDown) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint p = mouse->position().toPoint();
        Guard::Guarded([&] { OnMouseDown(this, mouse->button(), mouse->modifiers(), p.x(), p.y()); });
    }
    return false;
}
