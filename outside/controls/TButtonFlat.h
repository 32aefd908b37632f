#pragma once

#include <QToolButton>

#include "kor_export.h"

// A flat 21 x 21 tool button that shows its hint as a tool tip.
class KOR_EXPORT TButtonFlat : public QToolButton
{
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget *parent = nullptr);
};
