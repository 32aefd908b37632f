#pragma once

#include <memory>

#include <QDate>
#include <QHash>
#include <QString>

#include "Cli_fas09601/TFILTRO.h"
#include "outside/forms/TfrmFiltroPadrao.h"
#include "pkg_fas09600_export.h"

class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QRadioButton;
class TADOIBQuery;
class TBtnPesquisa;
class TDataSource;
class TDateEditPlus;
class TField;

namespace Ui {
class frmFiltroFaturamento;
}

// The filter dialog "Filtro de Prévia para Faturamento (NF/INVOICE)", FAS09601.
// One instance lives for the module's life (only hidden when closed); it keeps
// the last confirmed choices in Filtro and restores them at every opening. Its
// confirm validates and stores the choices, then hands them to whoever loads
// the preview (PreviewLink); it knows nothing of the preview screen. The
// preview reads the stored choices through StoredFilter.
class PKG_FAS09600_EXPORT TfrmFiltroFaturamento : public TfrmFiltroPadrao
{
    Q_OBJECT
public:
    explicit TfrmFiltroFaturamento(QWidget *parent = nullptr);
    ~TfrmFiltroFaturamento() override;

    void FormCreate(QObject *sender) override;
    void FormActivate(QObject *sender) override;
    void FormClose(QObject *sender, TCloseAction &action) override;
    void btfSaveOpcClick(QObject *sender) override;
    void btfLoadOpcClick(QObject *sender) override;

    // The user's confirm validates and stores the controls, hands Filtro to
    // the preview's loader and closes the dialog once it has loaded; a failed
    // load leaves it open on the choices just stored.
    void sbtConfirmaClick(QObject *sender) override;

    // The dialog's second entry, the preview's verify: the stored choices,
    // with the controls and the picked lists put back from them first, as
    // the next opening will show them. Before any confirm, the defaults.
    TFILTRO StoredFilter();

    // true: controls into Filtro; false: Filtro into the controls, running the
    // click rules of the boxes it changes.
    void Atualiza_Filtro(bool store);

    void rbtTEmpresaClick(QObject *sender);
    void rbtLEmpresaClick(QObject *sender);
    void rbtTClienteClick(QObject *sender);
    void rbtLClienteClick(QObject *sender);
    void chbTSituacaoClick(QObject *sender);
    void chbPSituacaoClick(QObject *sender);
    void chbRSituacaoClick(QObject *sender);
    void chbCSituacaoClick(QObject *sender);
    void chbNSituacaoClick(QObject *sender);
    void btpEmpresaClick(QObject *sender);
    void btpClienteClick(QObject *sender);
    QString qryClienteNRINSJURCLIEGetText(const TField &sender, bool displayText) const;
    void depDtIniApuExit(QObject *sender);
    void depDtFinApuExit(QObject *sender);

    QGroupBox *grbEmpresa = nullptr;
    QRadioButton *rbtTEmpresa = nullptr;
    QRadioButton *rbtLEmpresa = nullptr;
    TBtnPesquisa *btpEmpresa = nullptr;
    QGroupBox *grbCliente = nullptr;
    QRadioButton *rbtTCliente = nullptr;
    QRadioButton *rbtLCliente = nullptr;
    TBtnPesquisa *btpCliente = nullptr;
    QGroupBox *grbPeriodoApu = nullptr;
    TDateEditPlus *depDtIniApu = nullptr;
    TDateEditPlus *depDtFinApu = nullptr;
    QGroupBox *grbTipoServ = nullptr;
    QCheckBox *chbLicencaUso = nullptr;
    QCheckBox *chbManutencao = nullptr;
    QCheckBox *chbCustomizacao = nullptr;
    QCheckBox *chbMaoObra = nullptr;
    QCheckBox *chbServDesk = nullptr;
    QGroupBox *grbSituacao = nullptr;
    QCheckBox *chbTSituacao = nullptr;
    QCheckBox *chbPSituacao = nullptr;
    QCheckBox *chbRSituacao = nullptr;
    QCheckBox *chbEmitidas = nullptr;
    QCheckBox *chbNEmitidas = nullptr;
    QCheckBox *chbCSituacao = nullptr;
    QCheckBox *chbNSituacao = nullptr;
    TADOIBQuery *qryData = nullptr;
    TADOIBQuery *qryEmpresa = nullptr;
    TADOIBQuery *qryCliente = nullptr;
    TDataSource *dtsEmpresa = nullptr;
    TDataSource *dtsCliente = nullptr;
    TField *qryDataDTINI = nullptr;

    // The start date when the general-parameters table has no row.
    static QDate DefaultStartDate() { return QDate(2008, 1, 1); }

protected:
    void ControlClicked(QAbstractButton *button) override;

private:
    using Rule = void (TfrmFiltroFaturamento::*)(QObject *);

    void createQuery();
    void createListQueries();
    void connectHandlers();
    // Focuses `control` and abandons the confirm with the catalogue text of `code`.
    [[noreturn]] void refuse(QWidget *control, const QString &code);
    void validate();

    std::unique_ptr<Ui::frmFiltroFaturamento> m_ui;
    QHash<QAbstractButton *, Rule> m_rules;
    TFILTRO Filtro;
};
