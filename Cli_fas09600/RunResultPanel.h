#pragma once

#include <QDockWidget>

#include "Cli_fas09600/RunResult.h"
#include "pkg_fas09600_export.h"

class QTableWidget;
class QPushButton;

// The last generation run's result, shown at the bottom of the preview screen
// once the run has it: the entries made, per batch, with the months of their
// items, and a total line. It stays until the
// next run or the next loading of the preview by a filter, and can be exported.
// While it shows, the screen's window is taller by its height, so the designed
// part of the screen keeps its size.
class PKG_FAS09600_EXPORT RunResultPanel : public QDockWidget
{
    Q_OBJECT
public:
    explicit RunResultPanel(QWidget *screen);

    // A run starts: the last result goes; loads of the preview during the run
    // (its answers and its reload) keep the new one.
    void BeginRun();
    void EndRun() { m_running = false; }
    // Lists what the run made (also part of it, when a later step failed);
    // shown when it holds anything.
    void Show(const GenerationResult &made);
    // The preview was loaded: outside a run, that is a new filter.
    void PreviewLoaded();
    void Clear();
    // An entry was reversed in the history: the list shows it reversed.
    void MarkReversed(const QString &companyCode, const QString &kindCode, qint64 number);

    const GenerationResult &Result() const { return m_made; }
    QTableWidget *tblResultado = nullptr;
    QPushButton *btnExportar = nullptr;

private:
    void fill();
    void showBeside(bool visible);

    GenerationResult m_made;
    bool m_running = false;
    int m_grownBy = 0;
    int m_movedUpBy = 0;
};
