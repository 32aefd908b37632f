#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

class SqlDialect;

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

    // The key's columns of APURFATFAS `alias` in the order above, texts byte by
    // byte: the order in which every writer locks calculations.
    static QStringList lockOrder(const SqlDialect &dialect, const QString &alias);
};
