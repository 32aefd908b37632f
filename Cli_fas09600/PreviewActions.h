#pragma once

#include <QObject>

#include "pkg_fas09600_export.h"

class QAction;
class QMenu;
class TfrmFaturamento;

// The preview screen's commands beyond its design: "Exportar…" and "Restaurar
// layout original" at the end of the menu "Operação", the grid's context menu
// (export, copy the selected rows as tab-separated text) and keys for the tool
// buttons that have no menu entry of their own (F5 for "Verificar"), and
// "Histórico de gerações…", last in "Operação", which opens the history screen.
class PKG_FAS09600_EXPORT PreviewActions : public QObject
{
    Q_OBJECT
public:
    explicit PreviewActions(TfrmFaturamento *screen);

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
    TfrmFaturamento *m_screen;
};
