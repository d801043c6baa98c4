#pragma once
// Tabbed pages. The operator's change of page runs OnChange; a page shown by the program
// (SetActivePage, or another page made current by hiding a tab) runs nothing, and the
// focus it takes from a control of the old page runs no exit (TForm::ProgramChange).
// The operator's change, by a click on a tab or by Ctrl+Tab, moves the focus out of the
// old page before OnChange runs, so the exit of the control left runs first.
#include "controls/Controls.h"

#include <QSize>

#include <array>
#include <vector>

class QTabWidget;
class TPageControl;

class TTabSheet : public TWinControl {
    Q_OBJECT
public:
    TTabSheet(TForm *owner, const QString &name, TPageControl *pages, const QString &caption);
    QString Caption() const;
    void SetCaption(const QString &caption);
    bool TabVisible() const;
    void SetTabVisible(bool visible);
    int PageIndex() const;
    TPageControl *PageControl() const { return pages_; }

private:
    TPageControl *pages_;
};

class TPageControl : public TWinControl {
    Q_OBJECT
public:
    TPageControl(TForm *owner, const QString &name, TWinControl *parent);
    QTabWidget *Tabs() const;
    int PageCount() const { return static_cast<int>(pages_.size()); }
    TTabSheet *Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
    TTabSheet *ActivePage() const;
    int ActivePageIndex() const;
    // Shows the page without running OnChange.
    void SetActivePage(TTabSheet *page);

    TNotifyEvent OnChange;
    // A mouse button went down on the tab strip.
    TMouseEvent OnMouseDown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TTabSheet;
    void AddPage(TTabSheet *page);
    // A change of the current page that the program makes.
    void ByProgram(const std::function<void()> &change);
    std::vector<TTabSheet *> pages_;
    bool programChange_ = false;
    // The sizes the tab widget was last laid out for.
    std::array<QSize, 3> laidOutSizes_{};
};
