#pragma once
// Small helpers for laying out the window's pages with Qt layouts.
#include "controls/Controls.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>

namespace Layout {

inline QVBoxLayout *VBox(TWinControl *container, int margin = 6)
{
    auto *layout = new QVBoxLayout(container->ClientWidget());
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(4);
    return layout;
}

inline QHBoxLayout *HBox(TWinControl *container, int margin = 6)
{
    auto *layout = new QHBoxLayout(container->ClientWidget());
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(6);
    return layout;
}

inline QGridLayout *Grid(TWinControl *container, int margin = 6)
{
    auto *layout = new QGridLayout(container->ClientWidget());
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(3);
    return layout;
}

inline QHBoxLayout *Row(QBoxLayout *parent)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    parent->addLayout(row);
    return row;
}

inline QVBoxLayout *Column(QBoxLayout *parent, int stretch = 0)
{
    auto *column = new QVBoxLayout;
    column->setSpacing(6);
    parent->addLayout(column, stretch);
    return column;
}

// A plain text that no handler touches (a caption beside a field).
inline QLabel *Text(TWinControl *container, const QString &text)
{
    auto *label = new QLabel(text, container->ClientWidget());
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The control keeps its place in the layout while it is hidden, so that showing it moves
// nothing else.
inline void KeepPlaceWhenHidden(TControl *control)
{
    QSizePolicy policy = control->Widget()->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    control->Widget()->setSizePolicy(policy);
}

inline void Add(QBoxLayout *layout, TControl *control, int stretch = 0) { layout->addWidget(control->Widget(), stretch); }

inline void Add(QGridLayout *layout, TControl *control, int row, int col, int rowSpan = 1, int colSpan = 1)
{
    layout->addWidget(control->Widget(), row, col, rowSpan, colSpan);
}

} // namespace Layout
