#pragma once

#include <QPointer>

#include "platform/data/TClientDataSet.h"

// Makes one row the record that the dataset's fields read while a cell is
// painted or read for display, without moving the cursor or firing events;
// restores the previous one on leaving.
class TDisplayRowScope
{
public:
    TDisplayRowScope(TClientDataSet *dataSet, int row)
        : m_dataSet(dataSet)
        , m_previous(dataSet ? dataSet->SetDisplayRow(row) : -1)
    {
    }
    ~TDisplayRowScope()
    {
        if (m_dataSet)
            m_dataSet->SetDisplayRow(m_previous);
    }
    TDisplayRowScope(const TDisplayRowScope &) = delete;
    TDisplayRowScope &operator=(const TDisplayRowScope &) = delete;

private:
    QPointer<TClientDataSet> m_dataSet;
    int m_previous;
};
