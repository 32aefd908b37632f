#include <QtTest>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>

#include "Cli_fas09600/Cli_fas09600.h"
#include "Cli_fas09601/Cli_fas09601.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "tests/module/ModuleFixture.h"
#include "tests/support/TestSql.h"
#include "outside/services/Pesqlista.h"
#include "Pkg_fas09600/Pkg_fas09600.h"
#include "outside/controls/TBtnPesquisa.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDataSource.h"
#include "Cli_fas09600/TfrmFaturamento.h"
#include "Cli_fas09601/TfrmFiltroFaturamento.h"
#include "outside/forms/TfrmPesqLista.h"

using Cli_fas09601::frmFiltroFaturamento;

// Picking companies and clients for the filter, through the real dialog, the
// real list picker and the host database, with the request checked at the server.
class TstListPicking : public QObject
{
    Q_OBJECT

    ModuleFixture m_fixture;
    static constexpr const char *Db = "listpicking";

    static QSqlDatabase db() { return QSqlDatabase::database(QString::fromLatin1(Db)); }

    static bool exec(const QString &sql) { return TestSql::exec(db(), sql); }
    static QStringList column(const QString &sql) { return TestSql::column(db(), sql); }

    // Answers the next picker with `act`, then confirms it (or cancels).
    void answerPicker(const std::function<void(TfrmPesqLista *)> &act, bool confirm = true)
    {
        m_fixture.modals.arm([act, confirm](QWidget *modal) {
            auto *picker = qobject_cast<TfrmPesqLista *>(modal);
            if (!picker) {
                ModalWatcher::closeModal(modal);
                return;
            }
            act(picker);
            (confirm ? picker->btnConfirmar : picker->btnCancelar)->click();
        });
    }

    static QString cell(TfrmPesqLista *picker, int row, int column)
    {
        return picker->grdLista->model()->index(row, column).data().toString();
    }

    static void tickRowsWith(TfrmPesqLista *picker, const QStringList &texts, int column)
    {
        QAbstractItemModel *model = picker->grdLista->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (texts.contains(model->index(row, column).data().toString()))
                model->setData(model->index(row, 0), Qt::Checked, Qt::CheckStateRole);
        }
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(m_fixture.start(&why), qPrintable(why));
        DatabaseConnection::open(DatabaseUrl::parse(m_fixture.server.databaseUrl()), QString::fromLatin1(Db));
        Initialize();
        m_fixture.modals.arm();
        IniProc();
        m_fixture.modals.disarm();
        QVERIFY(frmFiltroFaturamento);
    }

    void cleanup()
    {
        m_fixture.modals.disarm();
        m_fixture.clearMessages();
        Cli_fas09601::stEmpresa.clear();
        Cli_fas09601::stCliente.clear();
    }

    void companiesPickedInTableOrder()
    {
        const QStringList codes = column(QStringLiteral("SELECT CDEMPRESA FROM EMPRESA"));
        QVERIFY(codes.size() >= 3);
        QString title;
        int rows = 0;
        answerPicker([&](TfrmPesqLista *picker) {
            title = picker->windowTitle();
            rows = picker->RowCount();
            tickRowsWith(picker, {codes[2], codes[0]}, 1);
        });
        frmFiltroFaturamento->btpEmpresaClick(frmFiltroFaturamento->btpEmpresa);
        QCOMPARE(title, QStringLiteral("Empresa"));
        QCOMPARE(rows, codes.size());
        QCOMPARE(Pesqlista::ParseList(Cli_fas09601::stEmpresa), (QStringList{codes[0], codes[2]}));
    }

    void cancelKeepsTheListAndThePickerStartsFromIt()
    {
        const QStringList codes = column(QStringLiteral("SELECT CDCLIENTE FROM CLIENTE"));
        Cli_fas09601::stCliente = Pesqlista::WriteList({codes[1]});
        const QString before = Cli_fas09601::stCliente;
        QStringList startedWith;
        answerPicker(
            [&](TfrmPesqLista *picker) {
                startedWith = picker->PickedKeys();
                picker->btnMarcarTodos->click();
            },
            false);
        frmFiltroFaturamento->btpClienteClick(frmFiltroFaturamento->btpCliente);
        QCOMPARE(startedWith, QStringList{codes[1]});
        QCOMPARE(Cli_fas09601::stCliente, before);
    }

    void searchNarrowsWhatTickAllTicks()
    {
        QStringList picked;
        answerPicker([&](TfrmPesqLista *picker) {
            picker->edtProcurar->setText(QStringLiteral("Padaria"));
            picker->btnMarcarTodos->click();
            picked = picker->PickedKeys();
        });
        frmFiltroFaturamento->btpClienteClick(frmFiltroFaturamento->btpCliente);
        const QStringList expected = column(QStringLiteral(
            "SELECT CDCLIENTE FROM CLIENTE WHERE NMFANTCLIE LIKE '%Padaria%' OR NMRAZSOCCLIE LIKE '%Padaria%'"));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(picked, expected);
        QCOMPARE(Pesqlista::ParseList(Cli_fas09601::stCliente), expected);
    }

    void eachPickingReadsTheTableAgain()
    {
        int first = 0;
        answerPicker([&](TfrmPesqLista *picker) { first = picker->RowCount(); }, false);
        frmFiltroFaturamento->btpClienteClick(frmFiltroFaturamento->btpCliente);
        QVERIFY(
            exec(QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, NMRAZSOCCLIE, NRINSJURCLIE, IDTPIJURCLIE) "
                                "VALUES ('NOVO1', 'Cliente Novo', 'Cliente Novo Ltda', '11222333000181', 'J')")));
        int second = 0;
        bool listed = false;
        answerPicker(
            [&](TfrmPesqLista *picker) {
                second = picker->RowCount();
                for (int row = 0; row < second; ++row)
                    listed = listed || cell(picker, row, 2) == QLatin1String("Cliente Novo");
            },
            false);
        frmFiltroFaturamento->btpClienteClick(frmFiltroFaturamento->btpCliente);
        QCOMPARE(second, first + 1);
        QVERIFY(listed);
    }

    void registrationNumberInEachRowsMask_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("shown");
        QTest::newRow("individual") << "F"
                                    << "12345678901"
                                    << "123.456.789-01";
        QTest::newRow("company") << "J"
                                 << "12345678000190"
                                 << "12.345.678/0001-90";
    }

    void registrationNumberInEachRowsMask()
    {
        QFETCH(QString, type);
        QFETCH(QString, number);
        QFETCH(QString, shown);
        const QString code = QStringLiteral("MASK") + type;
        const QString name = QStringLiteral("Máscara ") + type;
        QVERIFY(
            exec(QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, NMRAZSOCCLIE, NRINSJURCLIE, IDTPIJURCLIE) "
                                "VALUES ('%1', '%2', '%2', '%3', '%4')")
                     .arg(code, name, number, type)));
        QString got;
        QString header;
        answerPicker(
            [&](TfrmPesqLista *picker) {
                header = picker->grdLista->model()->headerData(1, Qt::Horizontal).toString();
                for (int row = 0; row < picker->RowCount(); ++row) {
                    if (cell(picker, row, 2) == name)
                        got = cell(picker, row, 1);
                }
            },
            false);
        frmFiltroFaturamento->btpClienteClick(frmFiltroFaturamento->btpCliente);
        QCOMPARE(header, QStringLiteral("Inscrição"));
        QCOMPARE(got, shown);
    }

    void emptyListShowsItsMessage()
    {
        TClientDataSet empty;
        TFieldDef code;
        code.name = QStringLiteral("CDEMPRESA");
        code.size = 2;
        empty.SetFieldDefs({code});
        empty.CreateDataSet();
        TDataSource source;
        source.SetDataSet(&empty);
        QString list = QStringLiteral("[\"01\"]");
        Pesqlista::PesquisaLista(&source, QStringLiteral("CDEMPRESA"),
                                 QStringLiteral("Empresa|Não há empresa cadastrada."), false, list);
        QCOMPARE(m_fixture.messages, QStringList{QStringLiteral("Não há empresa cadastrada.")});
        QCOMPARE(list, QStringLiteral("[\"01\"]"));
    }

    void listFormat_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("plain") << QStringList{"01", "02"};
        QTest::newRow("odd keys") << QStringList{"A;B", "C,D", "it's", "\"quoted\"", "[x]", "Ação"};
    }

    void listFormat()
    {
        QFETCH(QStringList, keys);
        const QString list = Pesqlista::WriteList(keys);
        QCOMPARE(list.isEmpty(), keys.isEmpty());
        QCOMPARE(Pesqlista::ParseList(list), keys);
    }

    void pickedClientsNarrowThePreview()
    {
        const QStringList clients = column(
            QStringLiteral("SELECT DISTINCT CDCLIENTE FROM APURFATFAS WHERE IDAPURFATFAS = '6' AND IDSTAPFATFAS = 'P' "
                           "ORDER BY CDCLIENTE"));
        QVERIFY(clients.size() >= 3);
        const QStringList wanted{clients[0], clients[2]};
        bool dialogDriven = false;
        m_fixture.modals.arm([&](QWidget *modal) {
            if (auto *picker = qobject_cast<TfrmPesqLista *>(modal)) {
                QAbstractItemModel *model = picker->grdLista->model();
                for (int row = 0; row < picker->RowCount(); ++row) {
                    if (wanted.contains(picker->KeyAt(row)))
                        model->setData(model->index(row, 0), Qt::Checked, Qt::CheckStateRole);
                }
                picker->btnConfirmar->click();
                return;
            }
            auto *dialog = qobject_cast<TfrmFiltroFaturamento *>(modal);
            QVERIFY(dialog);
            if (std::exchange(dialogDriven, true))
                return; // the dialog is modal again once the picker has closed
            dialog->rbtLCliente->click();
            QVERIFY(dialog->btpCliente->isEnabled());
            dialog->btpCliente->click(); // the picker opens and is answered above
            dialog->sbtConfirma->click();
        });
        Cli_fas09601::CriaFiltroFaturamento();
        QCOMPARE(Pesqlista::ParseList(Cli_fas09601::stCliente), wanted);
        TClientDataSet *rows = Cli_fas09600::frmFaturamento->cdsFaturamento;
        QVERIFY(rows->RecordCount() > 0);
        QSet<QString> seen;
        for (rows->First(); !rows->Eof(); rows->Next())
            seen.insert(rows->FieldByName(QStringLiteral("CDCLIENTE"))->AsString());
        QCOMPARE(seen, QSet<QString>(wanted.cbegin(), wanted.cend()));
        QVERIFY(m_fixture.errors.isEmpty());
    }
};

QTEST_MAIN(TstListPicking)
#include "tst_listpicking.moc"
