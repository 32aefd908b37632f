#pragma once

#include <QDate>
#include <QString>

// The key of one billed item (a calculation of APURFATFAS): company, branch, client,
// month and service type. Ordered as a generation run visits its items.
struct ItemKey
{
    QString company;
    QString branch;
    QString client;
    QDate month; // first day
    QString type;
    QString clientName; // as the batch named it, for messages when the item is unknown

    // Both compare the key only, not the client's name.
    bool operator<(const ItemKey &other) const;
    bool operator==(const ItemKey &other) const;
};
