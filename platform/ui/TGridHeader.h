#pragma once

#include <QHeaderView>

#include "fasui_export.h"

// A grid's column titles. A title wider than the room its style leaves for the
// label (the section less its margins and the sort indicator) is written cut,
// ending in "…", measured in that very rectangle and in the title's own font;
// so whether a title shows whole and what it shows are one reckoning
// (ShownTitle, TitleCut), whatever the style or the display.
class FASUI_EXPORT TGridHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit TGridHeader(QWidget *parent = nullptr);

    // The title of `logical` as the header paints it in its current width.
    QString ShownTitle(int logical) const;
    bool TitleCut(int logical) const;

protected:
    void initStyleOptionForIndex(QStyleOptionHeader *option, int logical) const override;
};
