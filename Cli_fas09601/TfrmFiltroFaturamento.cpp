#include "Cli_fas09601/TfrmFiltroFaturamento.h"

#include "outside/data/CompanyQuery.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>

#include "Cli_fas09601/Cli_fas09601.h"
#include "outside/services/Consiste.h"
#include "platform/ui/EventGuard.h"
#include "platform/ui/TDataSource.h"
#include "outside/services/Pesqlista.h"
#include "platform/data/FasError.h"
#include "Cli_fas09601/FilterDialogKeys.h"
#include "Cli_fas09601/FilterDialogPlacement.h"
#include "Cli_fas09601/PreviewLink.h"
#include "outside/data/TADOIBQuery.h"
#include "outside/controls/TBtnPesquisa.h"
#include "outside/controls/TDateEditPlus.h"
#include "platform/data/TField.h"
#include "outside/services/TMessages.h"
#include "outside/data/TdtmDBGeral.h"
#include "ui_frmFiltroFaturamento.h"

namespace {

const QString &todos()
{
    static const QString text = QStringLiteral("T");
    return text;
}

QDateTime today()
{
    return QDateTime(QDate::currentDate(), QTime(0, 0), Qt::UTC);
}

} // namespace

TfrmFiltroFaturamento::TfrmFiltroFaturamento(QWidget *parent)
    : TfrmFiltroPadrao(parent)
    , m_ui(std::make_unique<Ui::frmFiltroFaturamento>())
{
    setObjectName(QStringLiteral("frmFiltroFaturamento"));
    m_ui->setupUi(this);
    BindDesign();

    grbEmpresa = m_ui->grbEmpresa;
    rbtTEmpresa = m_ui->rbtTEmpresa;
    rbtLEmpresa = m_ui->rbtLEmpresa;
    btpEmpresa = m_ui->btpEmpresa;
    grbCliente = m_ui->grbCliente;
    rbtTCliente = m_ui->rbtTCliente;
    rbtLCliente = m_ui->rbtLCliente;
    btpCliente = m_ui->btpCliente;
    grbPeriodoApu = m_ui->grbPeriodoApu;
    depDtIniApu = m_ui->depDtIniApu;
    depDtFinApu = m_ui->depDtFinApu;
    grbTipoServ = m_ui->grbTipoServ;
    chbLicencaUso = m_ui->chbLicencaUso;
    chbManutencao = m_ui->chbManutencao;
    chbCustomizacao = m_ui->chbCustomizacao;
    chbMaoObra = m_ui->chbMaoObra;
    chbServDesk = m_ui->chbServDesk;
    grbSituacao = m_ui->grbSituacao;
    chbTSituacao = m_ui->chbTSituacao;
    chbPSituacao = m_ui->chbPSituacao;
    chbRSituacao = m_ui->chbRSituacao;
    chbEmitidas = m_ui->chbEmitidas;
    chbNEmitidas = m_ui->chbNEmitidas;
    chbCSituacao = m_ui->chbCSituacao;
    chbNSituacao = m_ui->chbNSituacao;

    msgPadrao->SetMessages({
        QStringLiteral("DtIni_Inf|Data inicial deve ser informada."),
        QStringLiteral("DtFin_Inf|Data final deve ser informada."),
        QStringLiteral("Per_Inv|Data inicial deve ser menor ou igual à data final."),
        QStringLiteral("Emp_Inf|Empresa deve ser informada."),
        QStringLiteral("Clie_Inf|Cliente deve ser informado."),
        QStringLiteral("TipoServ_Inf|Tipo de Serviço deve ser informado."),
        QStringLiteral("Situ_Inf|Situação deve ser informada."),
        QStringLiteral("SitNF_Inf|Situação do(a) Nota Fiscal/Invoice deve ser informada."),
        QStringLiteral("Empresa|Empresa"),
        QStringLiteral("Cliente|Cliente"),
        QStringLiteral("Emp_Not|Não há empresa cadastrada."),
        QStringLiteral("Clie_Not|Não há cliente cadastrado."),
    });

    btpEmpresa->SetAssociatedControl(rbtLEmpresa);
    btpEmpresa->SetTitle(QStringLiteral("Empresa"));
    btpEmpresa->SetEmptyListMessage(QStringLiteral("Não há empresa cadastrada."));
    btpCliente->SetAssociatedControl(rbtLCliente);
    btpCliente->SetTitle(QStringLiteral("Cliente"));
    btpCliente->SetEmptyListMessage(QStringLiteral("Não há cliente cadastrado."));

    createQuery();
    createListQueries();
    connectHandlers();
    new FilterDialogKeys(this, sbtConfirma);
    new FilterDialogPlacement(this);
}

TfrmFiltroFaturamento::~TfrmFiltroFaturamento() = default;

void TfrmFiltroFaturamento::createQuery()
{
    qryData = new TADOIBQuery(this);
    qryData->setObjectName(QStringLiteral("qryData"));
    qryData->SQL = QStringList{QStringLiteral("SELECT TO_DATE('01/01/2008')  AS DTINI"),
                               QStringLiteral("FROM PARAMGERAL")};
    qryData->SQL_IB = QStringList{QStringLiteral("SELECT CAST(('01/01/2008') AS TIMESTAMP) AS DTINI"),
                                  QStringLiteral("FROM PARAMGERAL")};
    TFieldDef dtini;
    dtini.name = QStringLiteral("DTINI");
    dtini.type = TFieldType::DateTime;
    qryData->SetFieldDefs({dtini});
    qryDataDTINI = qryData->FieldByName(QStringLiteral("DTINI"));
    // Queries bind to the host's connection by name when the dialog is made.
    if (TdtmDBGeral *module = dtmDBGeral())
        qryData->SetConnection(module->adcGeral);
}

void TfrmFiltroFaturamento::createListQueries()
{
    const auto text = [](const char *name, int size, const char *label, bool visible) {
        TFieldDef def;
        def.name = QString::fromLatin1(name);
        def.size = size;
        def.displayLabel = QString::fromUtf8(label);
        def.visible = visible;
        return def;
    };
    qryEmpresa = CompanyQuery::Create(this);
    dtsEmpresa = new TDataSource(this);
    dtsEmpresa->setObjectName(QStringLiteral("dtsEmpresa"));
    dtsEmpresa->SetDataSet(qryEmpresa);

    qryCliente = new TADOIBQuery(this);
    qryCliente->setObjectName(QStringLiteral("qryCliente"));
    qryCliente->SQL = QStringList{
        QStringLiteral("SELECT CDCLIENTE, NRINSJURCLIE, IDTPIJURCLIE, NMFANTCLIE, NMRAZSOCCLIE"),
        QStringLiteral("FROM CLIENTE")};
    // The registration number has no size of its own: it takes the widest text.
    qryCliente->SetFieldDefs({text("CDCLIENTE", 21, "", false), text("NRINSJURCLIE", 255, "Inscrição", true),
                              text("IDTPIJURCLIE", 1, "", false), text("NMFANTCLIE", 50, "Nome", true),
                              text("NMRAZSOCCLIE", 50, "Razão Social", true)});
    qryCliente->FieldByName(QStringLiteral("NRINSJURCLIE"))
        ->SetOnGetText([this](const TField &field, bool displayText) {
            return qryClienteNRINSJURCLIEGetText(field, displayText);
        });
    dtsCliente = new TDataSource(this);
    dtsCliente->setObjectName(QStringLiteral("dtsCliente"));
    dtsCliente->SetDataSet(qryCliente);

    btpEmpresa->SetListSource(dtsEmpresa);
    btpCliente->SetListSource(dtsCliente);
    if (TdtmDBGeral *module = dtmDBGeral()) {
        qryCliente->SetConnection(module->adcGeral);
    }
}

void TfrmFiltroFaturamento::btpEmpresaClick(QObject *sender)
{
    Q_UNUSED(sender);
    qryEmpresa->Close();
    qryEmpresa->Open();
    const QString text = msgPadrao->Msg(QStringLiteral("Empresa")) + QLatin1Char('|')
                         + msgPadrao->Msg(QStringLiteral("Emp_Not"));
    Pesqlista::PesquisaLista(dtsEmpresa, QStringLiteral("CDEMPRESA"), text, false, Cli_fas09601::stEmpresa);
}

void TfrmFiltroFaturamento::btpClienteClick(QObject *sender)
{
    Q_UNUSED(sender);
    qryCliente->Close();
    qryCliente->Open();
    const QString text = msgPadrao->Msg(QStringLiteral("Cliente")) + QLatin1Char('|')
                         + msgPadrao->Msg(QStringLiteral("Clie_Not"));
    Pesqlista::PesquisaLista(dtsCliente, QStringLiteral("CDCLIENTE"), text, false, Cli_fas09601::stCliente);
}

QString TfrmFiltroFaturamento::qryClienteNRINSJURCLIEGetText(const TField &sender, bool displayText) const
{
    Q_UNUSED(displayText);
    const QString number = sender.AsString();
    const QString personType = qryCliente->FieldByName(QStringLiteral("IDTPIJURCLIE"))->AsString();
    return Consiste::FormatMaskText(Consiste::PictPess(personType), number);
}

void TfrmFiltroFaturamento::connectHandlers()
{
    connect(btpEmpresa, &QAbstractButton::clicked, this,
            EventGuard::wrap([this](bool) { btpEmpresaClick(btpEmpresa); }));
    connect(btpCliente, &QAbstractButton::clicked, this,
            EventGuard::wrap([this](bool) { btpClienteClick(btpCliente); }));
    m_rules = {
        {rbtTEmpresa, &TfrmFiltroFaturamento::rbtTEmpresaClick},
        {rbtLEmpresa, &TfrmFiltroFaturamento::rbtLEmpresaClick},
        {rbtTCliente, &TfrmFiltroFaturamento::rbtTClienteClick},
        {rbtLCliente, &TfrmFiltroFaturamento::rbtLClienteClick},
        {chbTSituacao, &TfrmFiltroFaturamento::chbTSituacaoClick},
        {chbPSituacao, &TfrmFiltroFaturamento::chbPSituacaoClick},
        {chbRSituacao, &TfrmFiltroFaturamento::chbRSituacaoClick},
        {chbCSituacao, &TfrmFiltroFaturamento::chbCSituacaoClick},
        {chbNSituacao, &TfrmFiltroFaturamento::chbNSituacaoClick},
    };
    for (auto it = m_rules.cbegin(); it != m_rules.cend(); ++it)
        ConnectClickRule(it.key());
    connect(depDtIniApu, &TDateEditPlus::Exit, this,
            EventGuard::wrap([this](TDateEditPlus *sender) { depDtIniApuExit(sender); }));
    connect(depDtFinApu, &TDateEditPlus::Exit, this,
            EventGuard::wrap([this](TDateEditPlus *sender) { depDtFinApuExit(sender); }));
}

void TfrmFiltroFaturamento::ControlClicked(QAbstractButton *button)
{
    TfrmFiltroPadrao::ControlClicked(button);
    const auto rule = m_rules.constFind(button);
    if (rule != m_rules.cend())
        (this->*rule.value())(button);
}

void TfrmFiltroFaturamento::FormCreate(QObject *sender)
{
    TfrmFiltroPadrao::FormCreate(sender);
    qryData->Close();
    qryData->Open();

    Filtro.Cliente = {todos(), QString()};
    Filtro.Empresa = {todos(), QString()};
    Filtro.boLicencaUso = false;
    Filtro.boManutencao = true;
    Filtro.boCustomizacao = false;
    Filtro.boMaoObra = false;
    Filtro.boServDesk = false;
    // With no row in PARAMGERAL there is no date to read: the first date the
    // query would have given stands in, never the zero date.
    Filtro.dtIniApu = qryData->IsEmpty() ? QDateTime(DefaultStartDate(), QTime(0, 0), Qt::UTC)
                                         : qryDataDTINI->AsDateTime();
    Filtro.dtFinApu = today();
    Filtro.boTSituacao = false;
    Filtro.boPSituacao = true;
    Filtro.boRSituacao = false;
    Filtro.boEmitidas = false;
    Filtro.boNEmitidas = false;
    Filtro.boCSituacao = false;
    Filtro.boNSituacao = false;
}

void TfrmFiltroFaturamento::FormActivate(QObject *sender)
{
    TfrmFiltroPadrao::FormActivate(sender);
    update();
    Atualiza_Filtro(false);
}

void TfrmFiltroFaturamento::FormClose(QObject *sender, TCloseAction &action)
{
    TfrmFiltroPadrao::FormClose(sender, action);
    action = TCloseAction::Hide;
}

void TfrmFiltroFaturamento::Atualiza_Filtro(bool store)
{
    if (store) {
        if (rbtTCliente->isChecked())
            Filtro.Cliente = {todos(), QString()};
        else
            Filtro.Cliente = {QString(), Cli_fas09601::stCliente};
        if (rbtTEmpresa->isChecked())
            Filtro.Empresa = {todos(), QString()};
        else
            Filtro.Empresa = {QString(), Cli_fas09601::stEmpresa};
        Filtro.boLicencaUso = chbLicencaUso->isChecked();
        Filtro.boManutencao = chbManutencao->isChecked();
        Filtro.boCustomizacao = chbCustomizacao->isChecked();
        Filtro.boMaoObra = chbMaoObra->isChecked();
        Filtro.boServDesk = chbServDesk->isChecked();
        Filtro.dtIniApu = depDtIniApu->GetDate();
        Filtro.dtFinApu = depDtFinApu->GetDate();
        Filtro.boTSituacao = chbTSituacao->isChecked();
        Filtro.boPSituacao = chbPSituacao->isChecked();
        Filtro.boRSituacao = chbRSituacao->isChecked();
        Filtro.boEmitidas = chbEmitidas->isChecked();
        Filtro.boNEmitidas = chbNEmitidas->isChecked();
        Filtro.boCSituacao = chbCSituacao->isChecked();
        Filtro.boNSituacao = chbNSituacao->isChecked();
        return;
    }

    // Each change below runs the control's click rule, as a click would; the
    // note-state boxes come last so that they end exactly as stored, whatever
    // the "Realizadas" rule did to them on the way.
    const bool allClients = Filtro.Cliente.stTodos == todos();
    SetChecked(rbtTCliente, allClients);
    SetChecked(rbtLCliente, !allClients);
    Cli_fas09601::stCliente = Filtro.Cliente.stLista;
    const bool allCompanies = Filtro.Empresa.stTodos == todos();
    SetChecked(rbtTEmpresa, allCompanies);
    SetChecked(rbtLEmpresa, !allCompanies);
    Cli_fas09601::stEmpresa = Filtro.Empresa.stLista;

    SetChecked(chbManutencao, Filtro.boManutencao);
    SetChecked(chbLicencaUso, Filtro.boLicencaUso);
    SetChecked(chbCustomizacao, Filtro.boCustomizacao);
    SetChecked(chbMaoObra, Filtro.boMaoObra);
    SetChecked(chbServDesk, Filtro.boServDesk);

    depDtIniApu->SetDate(Filtro.dtIniApu);
    depDtFinApu->SetDate(Filtro.dtFinApu);

    SetChecked(chbTSituacao, Filtro.boTSituacao);
    SetChecked(chbPSituacao, Filtro.boPSituacao);
    SetChecked(chbRSituacao, Filtro.boRSituacao);
    SetChecked(chbCSituacao, Filtro.boCSituacao);
    SetChecked(chbNSituacao, Filtro.boNSituacao);

    chbEmitidas->setEnabled(Filtro.boRSituacao);
    chbNEmitidas->setEnabled(Filtro.boRSituacao);
    SetChecked(chbEmitidas, Filtro.boEmitidas);
    SetChecked(chbNEmitidas, Filtro.boNEmitidas);
}

void TfrmFiltroFaturamento::rbtTEmpresaClick(QObject *sender)
{
    Q_UNUSED(sender);
    btpEmpresa->setEnabled(false);
}

void TfrmFiltroFaturamento::rbtLEmpresaClick(QObject *sender)
{
    Q_UNUSED(sender);
    btpEmpresa->setEnabled(true);
}

void TfrmFiltroFaturamento::rbtTClienteClick(QObject *sender)
{
    Q_UNUSED(sender);
    btpCliente->setEnabled(false);
}

void TfrmFiltroFaturamento::rbtLClienteClick(QObject *sender)
{
    Q_UNUSED(sender);
    btpCliente->setEnabled(true);
}

void TfrmFiltroFaturamento::chbTSituacaoClick(QObject *sender)
{
    Q_UNUSED(sender);
    if (!chbTSituacao->isChecked())
        return;
    SetChecked(chbPSituacao, false);
    SetChecked(chbRSituacao, false);
    SetChecked(chbCSituacao, false);
    SetChecked(chbNSituacao, false);
}

void TfrmFiltroFaturamento::chbPSituacaoClick(QObject *sender)
{
    Q_UNUSED(sender);
    if (chbPSituacao->isChecked())
        SetChecked(chbTSituacao, false);
}

void TfrmFiltroFaturamento::chbRSituacaoClick(QObject *sender)
{
    Q_UNUSED(sender);
    const bool realized = chbRSituacao->isChecked();
    if (realized)
        SetChecked(chbTSituacao, false);
    chbNEmitidas->setEnabled(realized);
    chbEmitidas->setEnabled(realized);
    if (realized && !chbEmitidas->isChecked() && !chbNEmitidas->isChecked()) {
        SetChecked(chbNEmitidas, true);
        SetChecked(chbEmitidas, true);
    }
    if (!realized) {
        SetChecked(chbNEmitidas, false);
        SetChecked(chbEmitidas, false);
    }
}

void TfrmFiltroFaturamento::chbCSituacaoClick(QObject *sender)
{
    Q_UNUSED(sender);
    if (chbCSituacao->isChecked())
        SetChecked(chbTSituacao, false);
}

void TfrmFiltroFaturamento::chbNSituacaoClick(QObject *sender)
{
    Q_UNUSED(sender);
    if (chbNSituacao->isChecked())
        SetChecked(chbTSituacao, false);
}

void TfrmFiltroFaturamento::depDtIniApuExit(QObject *sender)
{
    Q_UNUSED(sender);
    depDtIniApu->CheckValidDate();
}

void TfrmFiltroFaturamento::depDtFinApuExit(QObject *sender)
{
    Q_UNUSED(sender);
    depDtFinApu->CheckValidDate();
}

void TfrmFiltroFaturamento::btfSaveOpcClick(QObject *sender)
{
    TfrmFiltroPadrao::btfSaveOpcClick(sender);
    SetOptionValue(QStringLiteral("stCliente"), Cli_fas09601::stCliente);
    SetOptionValue(QStringLiteral("stEmpresa"), Cli_fas09601::stEmpresa);
}

void TfrmFiltroFaturamento::btfLoadOpcClick(QObject *sender)
{
    TfrmFiltroPadrao::btfLoadOpcClick(sender);
    Cli_fas09601::stCliente = OptionValue(QStringLiteral("stCliente"));
    Cli_fas09601::stEmpresa = OptionValue(QStringLiteral("stEmpresa"));
}

void TfrmFiltroFaturamento::refuse(QWidget *control, const QString &code)
{
    control->setFocus(Qt::OtherFocusReason);
    Consiste::MensErro(msgPadrao->Msg(code), true);
    throw SilentAbort(); // MensErro with the abort flag never returns
}

void TfrmFiltroFaturamento::validate()
{
    if (rbtLEmpresa->isChecked() && Consiste::EmptyString(Cli_fas09601::stEmpresa))
        refuse(rbtLEmpresa, QStringLiteral("Emp_Inf"));
    if (rbtLCliente->isChecked() && Consiste::EmptyString(Cli_fas09601::stCliente))
        refuse(rbtLCliente, QStringLiteral("Clie_Inf"));
    if (Consiste::EmptyString(depDtIniApu->Text()))
        refuse(depDtIniApu, QStringLiteral("DtIni_Inf"));
    depDtIniApu->CheckValidDate();
    if (Consiste::EmptyString(depDtFinApu->Text()))
        refuse(depDtFinApu, QStringLiteral("DtFin_Inf"));
    depDtFinApu->CheckValidDate();
    if (!(depDtFinApu->GetDate() >= depDtIniApu->GetDate()))
        refuse(depDtIniApu, QStringLiteral("Per_Inv"));
    if (!chbLicencaUso->isChecked() && !chbManutencao->isChecked() && !chbCustomizacao->isChecked()
        && !chbMaoObra->isChecked() && !chbServDesk->isChecked())
        refuse(chbManutencao, QStringLiteral("TipoServ_Inf"));
    if (!chbTSituacao->isChecked() && !chbPSituacao->isChecked() && !chbRSituacao->isChecked()
        && !chbCSituacao->isChecked() && !chbNSituacao->isChecked())
        refuse(chbTSituacao, QStringLiteral("Situ_Inf"));
    if (!chbEmitidas->isChecked() && !chbNEmitidas->isChecked() && chbEmitidas->isEnabled()
        && chbNEmitidas->isEnabled())
        refuse(chbEmitidas, QStringLiteral("SitNF_Inf"));
}

void TfrmFiltroFaturamento::sbtConfirmaClick(QObject *sender)
{
    Q_UNUSED(sender);
    validate();
    Atualiza_Filtro(true);
    // A failed load leaves the dialog open on the choices just stored.
    Cli_fas09601::previewLink().Load(Filtro);
    CloseWithResult(QDialog::Accepted);
}

TFILTRO TfrmFiltroFaturamento::StoredFilter()
{
    Atualiza_Filtro(false);
    return Filtro;
}
