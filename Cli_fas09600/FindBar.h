#pragma once

#include <QFrame>

#include "pkg_fas09600_export.h"

class QAction;
class QLabel;
class QLineEdit;
class QToolButton;
class TDBGrid;

// The preview's find command: a bar in its own row above the grid (the grid
// gives up the row's height while the bar shows and takes it back when it
// hides) that names the column it searches, the grid's current one, and moves
// the grid to the next row whose cell there contains the text typed, ignoring
// case and accents, wrapping from the last row to the first, and saying so
// when no row matches. Ctrl+F (and the "Procurar" tool button) opens it, Enter
// and F3 find again, Escape closes it.
class PKG_FAS09600_EXPORT FindBar : public QFrame
{
    Q_OBJECT
public:
    // The bar takes the row above `grid` in the grid's layout; its commands are
    // added to `screen`.
    FindBar(TDBGrid *grid, QWidget *screen);

    void Open();
    // Finds from the row after the current one; opens the bar when no text was typed yet.
    void FindNext();
    void Close();

    // The text as find compares it: case folded, accents dropped.
    static QString Folded(const QString &text);

    QLabel *lblProcurar = nullptr; // "Procurar em <coluna>:"
    QLineEdit *edtProcurar = nullptr;
    QLabel *lblResultado = nullptr;
    QAction *actProcurar = nullptr;        // Ctrl+F
    QAction *actProcurarProximo = nullptr; // F3

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The column find searches: the grid's current one, else the first shown.
    int searchedColumn() const;
    void nameSearchedColumn();
    // The dataset row that matches, searching from `start` and wrapping; -1 when none.
    int findRow(const QString &folded, int gridColumn, int start) const;
    // findRow over a text column read straight from the dataset's store;
    // NotStored when the column's cells do not read as their stored text.
    static constexpr int NotStored = -2;
    int findStoredRow(const QString &folded, int gridColumn, int start) const;

    TDBGrid *m_grid;
};
