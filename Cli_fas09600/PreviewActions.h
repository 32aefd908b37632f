#pragma once

#include <functional>

#include <QObject>

#include "pkg_fas09600_export.h"

class QAction;
class QAbstractButton;
class QMenu;
class QWidget;
class TDBGrid;

// The preview screen's commands beyond its design: "Exportar…" and "Restaurar
// layout original" at the end of the menu "Operação", the grid's context menu
// (export, copy the selected rows as tab-separated text) and keys for the tool
// buttons that have no menu entry of their own (F5 for "Verificar"), and
// "Histórico de gerações…", last in "Operação", which opens the history screen.
// It is given what it works on: the screen (where the keys live and dialogs
// open), its "Operação" menu, its grid and its verify button, and what opens
// the history.
class PKG_FAS09600_EXPORT PreviewActions : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        QWidget *screen;
        QMenu *operacao;
        TDBGrid *grid;
        QAbstractButton *verify;
        std::function<void()> openHistory;
    };
    explicit PreviewActions(const Parts &parts);

    QAction *mnuExportar = nullptr;
    QAction *mnuRestaurarLayout = nullptr;
    QAction *mnuHistorico = nullptr;
    QAction *actCopiar = nullptr;
    QAction *actVerificar = nullptr;
    QAction *actMenuGrade = nullptr;
    QMenu *ppmGrade = nullptr;

    void Export();
    void CopySelectedRows();

private:
    void createGridMenu();

    QWidget *m_screen;
    TDBGrid *m_grid;
};
