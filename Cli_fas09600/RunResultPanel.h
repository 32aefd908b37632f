#pragma once

#include <QDockWidget>

#include "RunResult.h"
#include "pkg_fas09600_export.h"

class QTableWidget;
class QPushButton;
class TClientDataSet;

// The last generation run's result, shown at the bottom of the preview screen
// once the server has answered: the entries made, per batch. It stays until the
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
    void AddAnswer(const QString &method, const TClientDataSet &answer);
    // The preview was loaded: outside a run, that is a new filter.
    void PreviewLoaded();
    void Clear();

    const RunResult &Result() const { return m_result; }
    QTableWidget *tblResultado = nullptr;
    QPushButton *btnExportar = nullptr;

private:
    void fill();
    void showBeside(bool visible);

    RunResult m_result;
    bool m_running = false;
    int m_grownBy = 0;
    int m_movedUpBy = 0;
};
