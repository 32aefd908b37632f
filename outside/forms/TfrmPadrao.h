#pragma once

#include <QMainWindow>
#include <QPointer>

#include "kor_export.h"

class QAction;
class QLabel;
#include <QMdiSubWindow>
class QMenu;
class QMenuBar;
class QTabWidget;
class TButtonFlat;
class TDataSource;
class TDBGrid;
class TDBText;
class TMessages;

enum class TCloseAction { None, Hide, Free, Minimize };

// The base of the suite's maintenance screens: a page control with a grid page
// and a detail page, the grid over the data source, a tool bar with the
// standard commands, a navigator panel with the current record's name, the
// maintenance and operation menus, and a message catalogue.
//
// A screen's design (its .ui file) holds the base components under their names
// too; BindDesign finds them there, so the design stays editable in one place.
// Handlers are virtual; a screen that overrides one calls the base first.
//
// Tool-button rules of dtsPadraoStateChange, by the dataset's state:
//   closed:          insert, edit, delete, confirm, cancel, search, verify off
//   browsing:        insert, verify on; edit, delete, search on when there are rows;
//                    confirm, cancel off
//   editing/inserting: confirm, cancel on; the others off
class KOR_EXPORT TfrmPadrao : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmPadrao(QWidget *parent = nullptr);
    ~TfrmPadrao() override;

    virtual void FormCreate(QObject *sender);
    virtual void FormClose(QObject *sender, TCloseAction &action);
    virtual void dbgPadraoKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    virtual void dtsPadraoStateChange(QObject *sender);
    virtual void sbtVerificarClick(QObject *sender);

    void SetActivePage(QWidget *page);
    // Shows the screen as a child of the application's MDI main form.
    void ShowAsMdiChild();
    void SetWindowStateNormal();
    QMdiSubWindow *SubWindow() const { return m_subWindow; }

    QTabWidget *pgcPadrao = nullptr;
    QWidget *tshFolhaDados = nullptr;
    QWidget *tshFormulario = nullptr;
    TDBGrid *dbgPadrao = nullptr;
    TDataSource *dtsPadrao = nullptr;
    TMessages *msgPadrao = nullptr;
    QWidget *panMenu = nullptr;
    QWidget *panNavigator = nullptr;
    TDBText *dbtNome = nullptr;
    QLabel *lblCodTela = nullptr;
    TButtonFlat *sbtIncluir = nullptr;
    TButtonFlat *sbtAlterar = nullptr;
    TButtonFlat *sbtExcluir = nullptr;
    TButtonFlat *sbtConfirmar = nullptr;
    TButtonFlat *sbtCancelar = nullptr;
    TButtonFlat *sbtProcurar = nullptr;
    TButtonFlat *sbtVerificar = nullptr;
    TButtonFlat *sbtImprimir = nullptr;
    TButtonFlat *sbtAjuda = nullptr;
    TButtonFlat *sbtFechar = nullptr;
    QMenuBar *mnuMenu = nullptr;
    QMenu *mnuOperacao = nullptr;
    QMenu *mnuManutencao = nullptr;
    QAction *mnuListagem = nullptr;
    QAction *mnuConfigImpressora = nullptr;
    QAction *mnuSair = nullptr;
    QAction *mnuIncluir = nullptr;
    QAction *mnuAlterar = nullptr;
    QAction *mnuExcluir = nullptr;
    QAction *mnuProcurar = nullptr;
    QAction *mnuVerificar = nullptr;
    QAction *mnuCancelar = nullptr;
    QAction *mnuConfirmar = nullptr;

protected:
    // Finds the base components in the loaded design and wires the base
    // handlers, once however often it is called. Throws FasError naming a
    // component the design lacks.
    void BindDesign();
    void closeEvent(QCloseEvent *event) override;

private:
    void paintToolButtons();

    QPointer<QMdiSubWindow> m_subWindow;
    bool m_closing = false;
    bool m_designBound = false;
};
