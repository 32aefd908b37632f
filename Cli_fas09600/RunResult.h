#pragma once

#include <QList>
#include <QString>

#include "ExportTable.h"
#include "GenerationResult.h"
#include "pkg_fas09600_export.h"

// A generation run's result as a table to show and export: per entry its kind,
// number, company, client, number of items and total.
class PKG_FAS09600_EXPORT RunResult : public ExportTable
{
public:
    using Entry = GenerationResult::Entry;

    RunResult() = default;
    explicit RunResult(GenerationResult made) : m_made(std::move(made)) {}

    const GenerationResult &Made() const { return m_made; }
    const QList<Entry> &Entries() const { return m_made.Entries(); }

    int columnCount() const override { return 6; }
    QString title(int column) const override;
    Kind kind(int column) const override;
    int widthPixels(int column) const override;
    int rowCount() const override { return int(Entries().size()); }
    QString text(int row, int column) const override;
    bool isBlank(int row, int column) const override;
    double number(int row, int column) const override;
    QDateTime dateTime(int row, int column) const override;
    int decimals(int column) const override { return column == 4 ? 0 : 2; }

private:
    GenerationResult m_made;
};
