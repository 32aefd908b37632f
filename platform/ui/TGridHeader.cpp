#include "platform/ui/TGridHeader.h"

#include <QStyleOptionHeaderV2>

TGridHeader::TGridHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setTextElideMode(Qt::ElideRight);
}

void TGridHeader::initStyleOptionForIndex(QStyleOptionHeader *option, int logical) const
{
    QHeaderView::initStyleOptionForIndex(option, logical);
    // The section's rectangle as paintSection gives it, so that the style's
    // label rectangle is the one it paints the text into.
    option->rect = QRect(sectionViewportPosition(logical), 0, sectionSize(logical), viewport()->height());
    const QRect label = style()->subElementRect(QStyle::SE_HeaderLabel, option, this);
    const QVariant titleFont = model() ? model()->headerData(logical, orientation(), Qt::FontRole) : QVariant();
    const QFontMetrics metrics(titleFont.canConvert<QFont>() ? titleFont.value<QFont>() : font());
    if (metrics.horizontalAdvance(option->text) > label.width())
        option->text = metrics.elidedText(option->text, textElideMode(), label.width());
}

QString TGridHeader::ShownTitle(int logical) const
{
    QStyleOptionHeaderV2 option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logical);
    return option.text;
}

bool TGridHeader::TitleCut(int logical) const
{
    return model() && ShownTitle(logical) != model()->headerData(logical, orientation()).toString();
}
