#pragma once

#include <QFrame>

#include "pkg_fas09600_export.h"

class QAction;
class QLabel;
class QLineEdit;
class QToolButton;
class TDBGrid;

// The preview's find command: a small bar over the grid's top right corner
// that moves the grid to the next row whose current column contains the text
// typed, ignoring case and accents, wrapping from the last row to the first,
// and saying so when no row matches. Ctrl+F (and the "Procurar" tool button)
// opens it, Enter and F3 find again, Escape closes it.
class PKG_FAS09600_EXPORT FindBar : public QFrame
{
    Q_OBJECT
public:
    // The bar lies over `grid`; its commands are added to `screen`.
    FindBar(TDBGrid *grid, QWidget *screen);

    void Open();
    // Finds from the row after the current one; opens the bar when no text was typed yet.
    void FindNext();
    void Close();

    // The text as find compares it: case folded, accents dropped.
    static QString Folded(const QString &text);

    QLineEdit *edtProcurar = nullptr;
    QLabel *lblResultado = nullptr;
    QAction *actProcurar = nullptr;       // Ctrl+F
    QAction *actProcurarProximo = nullptr; // F3

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The dataset row that matches, searching from `start` and wrapping; -1 when none.
    int findRow(const QString &folded, int gridColumn, int start) const;
    void place();

    TDBGrid *m_grid;
};
