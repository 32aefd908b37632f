#include <tuple>

#include <QtTest>

#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QJsonDocument>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "tests/support/CallWatch.h"
#include "Cli_fas09600/Cli_fas09600.h"
#include "Cli_fas09601/Cli_fas09601.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "outside/services/HostConfig.h"
#include "tests/module/ModuleFixture.h"
#include "tests/support/TestSql.h"
#include "Pkg_fas09600/Pkg_fas09600.h"
#include "Cli_fas09601/PreviewRequest.h"
#include "outside/services/Showavi.h"
#include "outside/data/TADOIBQuery.h"
#include "outside/forms/TApplication.h"
#include "outside/controls/TBtnPesquisa.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "outside/controls/TDateEditPlus.h"
#include "Cli_fas09601/TFILTRO.h"
#include "platform/data/TField.h"
#include "outside/net/TNetConnection.h"
#include "Cli_fas09600/TfrmFaturamento.h"
#include "Cli_fas09601/TfrmFiltroFaturamento.h"

using Dialog = TfrmFiltroFaturamento;

namespace {

const char *const DbConnection = "tst-filterdialog";

// Calculations of 2005, a year the demo data leaves empty, for two companies
// and two clients of the test's own. Key: company/client/month/service type.
struct Calculation
{
    const char *company;
    const char *client;
    const char *month;
    const char *type;
    const char *status; // nullptr: blank status
    const char *note;   // fiscal-note number of a realized item, or nullptr
};

const Calculation calculations[] = {
    {"T1", "TSTA", "2005-03-01", "6", "P", nullptr},     // a
    {"T1", "TSTA", "2005-03-01", "5", nullptr, nullptr}, // b: blank status
    {"T1", "TSTB", "2005-04-01", "6", "R", "000123"},    // c: realized, note issued
    {"T2", "TSTA", "2005-04-01", "6", "R", nullptr},     // d: realized, not issued
    {"T2", "TSTB", "2005-05-01", "3", "C", nullptr},     // e
    {"T2", "TSTA", "2005-05-01", "1", "N", nullptr},     // f
    {"T1", "TSTB", "2005-06-01", "2", "P", nullptr},     // g: service desk
    {"T1", "TSTA", "2005-07-01", "6", "P", nullptr},     // after the test period
    {"T2", "TSTB", "2005-02-01", "6", "P", nullptr},     // before it
};

QString isoDay(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("T00:00:00.000");
}

void click(QAbstractButton *button)
{
    // On the indicator: a check box's label may be shorter than the box.
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(std::min(6, button->width() / 2), button->height() / 2));
}

void typeDate(TDateEditPlus *edit, const QString &digits)
{
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClicks(edit, digits);
}

template<typename T>
T *child(Dialog *dialog, const QString &name)
{
    T *found = dialog->findChild<T *>(name);
    if (!found)
        qFatal("the dialog has no %s", qPrintable(name));
    return found;
}

// One step of a user's, as the data rows write it:
//   "NAME"            click the box, radio or button of that name
//   "ini:DIGITS"      type into the start date ("ini:" alone empties it)
//   "fin:DIGITS"      the same for the end date
//   "empresas:TEXT"   the list picker wrote TEXT into stEmpresa
//   "clientes:TEXT"   the same for stCliente
void perform(Dialog *dialog, const QString &step)
{
    const QString value = step.section(QLatin1Char(':'), 1);
    if (step.startsWith(QLatin1String("ini:")))
        typeDate(dialog->depDtIniApu, value);
    else if (step.startsWith(QLatin1String("fin:")))
        typeDate(dialog->depDtFinApu, value);
    else if (step.startsWith(QLatin1String("empresas:")))
        Cli_fas09601::stEmpresa = value;
    else if (step.startsWith(QLatin1String("clientes:")))
        Cli_fas09601::stCliente = value;
    else
        click(child<QAbstractButton>(dialog, step));
}

void performAll(Dialog *dialog, const QStringList &steps)
{
    for (const QString &step : steps)
        perform(dialog, step);
}

const QStringList situationBoxes = {
    QStringLiteral("chbTSituacao"), QStringLiteral("chbPSituacao"), QStringLiteral("chbRSituacao"),
    QStringLiteral("chbEmitidas"),  QStringLiteral("chbNEmitidas"), QStringLiteral("chbCSituacao"),
    QStringLiteral("chbNSituacao"),
};

// What the dialog shows, in words a failure message can print.
struct Shown
{
    QStringList ticked;  // the check boxes and radio buttons that are on
    QStringList enabled; // the check boxes and lookup buttons that are enabled
    QString ini;
    QString fin;
    QString stEmpresa;
    QString stCliente;
};

Shown shown(Dialog *dialog)
{
    Shown s;
    const QList<QAbstractButton *> buttons = dialog->grbFiltroPadrao->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        if (button->isCheckable() && button->isChecked())
            s.ticked << button->objectName();
        if ((qobject_cast<QCheckBox *>(button) || qobject_cast<TBtnPesquisa *>(button)) && button->isEnabled())
            s.enabled << button->objectName();
    }
    s.ticked.sort();
    s.enabled.sort();
    s.ini = dialog->depDtIniApu->text();
    s.fin = dialog->depDtFinApu->text();
    s.stEmpresa = Cli_fas09601::stEmpresa;
    s.stCliente = Cli_fas09601::stCliente;
    return s;
}

// The rules' invariants: "Todas" never with another situation; the note-state
// boxes enabled exactly while "Realizadas" is ticked, and unticked while not.
QString brokenInvariant(Dialog *d)
{
    if (d->chbTSituacao->isChecked()
        && (d->chbPSituacao->isChecked() || d->chbRSituacao->isChecked() || d->chbCSituacao->isChecked()
            || d->chbNSituacao->isChecked()))
        return QStringLiteral("\"Todas\" ticked with another situation");
    const bool realized = d->chbRSituacao->isChecked();
    if (d->chbEmitidas->isEnabled() != realized || d->chbNEmitidas->isEnabled() != realized)
        return QStringLiteral("note-state boxes enabled while \"Realizadas\" is %1").arg(realized ? "on" : "off");
    if (!realized && (d->chbEmitidas->isChecked() || d->chbNEmitidas->isChecked()))
        return QStringLiteral("a note-state box ticked while \"Realizadas\" is off");
    if (d->chbServDesk->isEnabled())
        return QStringLiteral("\"Service Desk\" enabled");
    return {};
}

QSettings optionsStore()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("fas09600"), QStringLiteral("filtros"));
}

// A stored filter as the data rows write it: the names of the flags that are
// on, and each choice as "T" (all) or the picked list.
TFILTRO filterOf(const QStringList &flags, const QString &clients, const QString &companies, const QDateTime &ini,
                 const QDateTime &fin)
{
    TFILTRO f;
    const auto choice = [](const QString &value) {
        return value == QLatin1String("T") ? std::pair{value, QString()} : std::pair{QString(), value};
    };
    std::tie(f.Cliente.stTodos, f.Cliente.stLista) = choice(clients);
    std::tie(f.Empresa.stTodos, f.Empresa.stLista) = choice(companies);
    const std::pair<const char *, bool *> named[] = {
        {"boLicencaUso", &f.boLicencaUso}, {"boManutencao", &f.boManutencao}, {"boCustomizacao", &f.boCustomizacao},
        {"boMaoObra", &f.boMaoObra},       {"boServDesk", &f.boServDesk},     {"boTSituacao", &f.boTSituacao},
        {"boPSituacao", &f.boPSituacao},   {"boRSituacao", &f.boRSituacao},   {"boEmitidas", &f.boEmitidas},
        {"boNEmitidas", &f.boNEmitidas},   {"boCSituacao", &f.boCSituacao},   {"boNSituacao", &f.boNSituacao},
    };
    QStringList unknown = flags;
    for (const auto &[name, flag] : named)
        *flag = unknown.removeAll(QString::fromLatin1(name)) > 0;
    if (!unknown.isEmpty())
        qFatal("no flag named %s", qPrintable(unknown.join(QLatin1Char(' '))));
    f.dtIniApu = ini;
    f.dtFinApu = fin;
    return f;
}

// The arguments as the connection writes them, in order, as text.
QStringList sentArguments(const PreviewRequest &request)
{
    std::string json = "[";
    for (const RemoteArgument &argument : request.Arguments()) {
        if (json.size() > 1)
            json += ',';
        argument.writeJson(json);
    }
    json += ']';
    QStringList args;
    const QJsonArray params = QJsonDocument::fromJson(QByteArray::fromStdString(json)).array();
    for (const QJsonValue &value : params)
        args << value.toString();
    return args;
}

} // namespace

// The filter dialog through the module's launch, driven by clicks and keys,
// against a real application server on a demo database with rows of its own.
class TstFilterDialog : public QObject
{
    Q_OBJECT

    ModuleFixture m_fixture;
    QTemporaryDir m_settingsDir;

    static TfrmFaturamento *screen() { return Cli_fas09600::frmFaturamento; }
    static Dialog *dialog() { return Cli_fas09601::frmFiltroFaturamento; }

    static QSqlDatabase database() { return QSqlDatabase::database(QString::fromLatin1(DbConnection)); }

    static bool exec(const QString &sql, const QVariantList &values = {})
    {
        return TestSql::exec(database(), sql, values);
    }

    bool insertCalculations()
    {
        bool ok = true;
        for (const char *company : {"T1", "T2"}) {
            ok = ok
                 && exec(QStringLiteral("INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES (?, ?)"),
                         {company, QStringLiteral("Empresa de teste %1").arg(company)});
            ok = ok
                 && exec(
                     QStringLiteral("INSERT INTO FILIAL (CDEMPRESA, CDFILIAL, NMFILIAL) VALUES (?, '0001', 'Matriz')"),
                     {company});
        }
        for (const char *client : {"TSTA", "TSTB"}) {
            ok = ok
                 && exec(QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, IDTPIJURCLIE) VALUES (?, ?, 'J')"),
                         {client, QStringLiteral("Cliente de teste %1").arg(client)});
        }
        for (const Calculation &c : calculations) {
            ok = ok
                 && exec(QStringLiteral("INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, "
                                        "IDAPURFATFAS, IDSTAPFATFAS, NRNOTAFISC, VRTOTAFATFAS) "
                                        "VALUES (?, '0001', ?, ?, ?, ?, ?, 100)"),
                         {c.company, c.client, c.month, c.type,
                          c.status ? QVariant(QString::fromLatin1(c.status)) : QVariant(QMetaType(QMetaType::QString)),
                          c.note ? QVariant(QString::fromLatin1(c.note)) : QVariant(QMetaType(QMetaType::QString))});
        }
        return ok;
    }

    // Opens the dialog through its launch; `act` runs while it is shown
    // modally. Whatever `act` leaves open is closed afterwards.
    void openDialog(const std::function<void(Dialog *)> &act)
    {
        bool acted = false;
        m_fixture.modals.arm([&](QWidget *modal) {
            if (auto *d = qobject_cast<Dialog *>(modal)) {
                acted = true;
                QApplication::setActiveWindow(d);
                act(d);
            }
            if (modal->isVisible())
                ModalWatcher::closeModal(modal);
        });
        Cli_fas09601::CriaFiltroFaturamento();
        m_fixture.modals.disarm();
        QVERIFY2(acted, "the filter dialog was not shown modally");
    }

    Shown shownAtOpening()
    {
        Shown s;
        openDialog([&](Dialog *d) { s = shown(d); });
        return s;
    }

    static QStringList lastArguments()
    {
        const CallWatch::Request request = CallWatch::lastRequest(screen()->netFaturamento);
        QStringList args;
        const QJsonArray params = QJsonDocument::fromJson(request.params).array();
        for (const QJsonValue &value : params)
            args << value.toString();
        return args;
    }

    // The rows of the preview as company/client/month/type.
    static QStringList previewRows()
    {
        TClientDataSet *rows = screen()->cdsFaturamento;
        QStringList keys;
        if (!rows->Active())
            return keys;
        rows->First();
        while (!rows->Eof()) {
            keys << QStringLiteral("%1/%2/%3/%4")
                        .arg(rows->FieldByName(QStringLiteral("CDEMPRESA"))->AsString(),
                             rows->FieldByName(QStringLiteral("CDCLIENTE"))->AsString(),
                             rows->FieldByName(QStringLiteral("DTMESAPURFAS"))
                                 ->AsDateTime()
                                 .toString(QStringLiteral("yyyy-MM")),
                             rows->FieldByName(QStringLiteral("IDAPURFATFAS"))->AsString());
            rows->Next();
        }
        keys.sort();
        return keys;
    }

    void reconnectTo(int port)
    {
        HostConfig::setWebPort(port);
        screen()->netFaturamento->SetConnected(false);
        screen()->netFaturamento->SetConnected(true);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_settingsDir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
        QString why;
        QVERIFY2(m_fixture.start(&why), qPrintable(why));
        DatabaseConnection::open(DatabaseUrl::parse(m_fixture.server.databaseUrl()), QString::fromLatin1(DbConnection));
        QVERIFY(insertCalculations());
        Initialize();
        m_fixture.modals.arm(); // the launch opens the filter dialog: close it
        IniProc();
        m_fixture.modals.disarm();
        QVERIFY(Cli_fas09600::boIdCriado);
        QVERIFY(Cli_fas09601::boIdCriado);
    }

    // Every test starts from a dialog not yet created, as at the module's load.
    void init()
    {
        delete Cli_fas09601::frmFiltroFaturamento;
        Cli_fas09601::frmFiltroFaturamento = nullptr;
        Cli_fas09601::boIdCriado = false;
        Cli_fas09601::stEmpresa.clear();
        Cli_fas09601::stCliente.clear();
        optionsStore().clear();
        m_fixture.clearMessages();
        CallWatch::watch(screen()->netFaturamento);
    }

    void cleanup()
    {
        m_fixture.modals.disarm();
        Showavi::DeactiveShowAvi();
    }

    void cleanupTestCase()
    {
        if (screen() && Cli_fas09600::boIdCriado)
            screen()->close();
        Application().DestroyForms();
        Cli_fas09601::stEmpresa = QStringLiteral("[\"T1\"]");
        Cli_fas09601::stCliente = QStringLiteral("[\"TSTA\"]");
        Finalize();
        QCOMPARE(Cli_fas09601::stEmpresa, QString());
        QCOMPARE(Cli_fas09601::stCliente, QString());
        DatabaseConnection::close(QString::fromLatin1(DbConnection));
    }

    void firstOpening_data()
    {
        QTest::addColumn<bool>("parameterRow");
        QTest::newRow("general parameters present") << true;
        QTest::newRow("general parameters empty") << false;
    }

    void firstOpening()
    {
        QFETCH(bool, parameterRow);
        if (!parameterRow)
            QVERIFY(exec(QStringLiteral("DELETE FROM PARAMGERAL")));
        Shown s;
        QString title;
        QString code;
        QSize size;
        int cursor = -1;
        openDialog([&](Dialog *d) {
            s = shown(d);
            title = d->windowTitle();
            code = d->lblCodTela->text();
            size = d->size();
            cursor = Screen::Cursor();
        });
        if (!parameterRow)
            QVERIFY(exec(QStringLiteral("INSERT INTO PARAMGERAL (CDPARAMGERAL, DTINICIOAPUR, NMSISTEMA) "
                                        "VALUES (1, '2008-01-01', 'Faturamento de Serviços')")));
        QCOMPARE(title, QStringLiteral("Filtro de Prévia para Faturamento (NF/INVOICE)"));
        QCOMPARE(code, QStringLiteral("FAS09601"));
        QCOMPARE(size, QSize(523, 233));
        QCOMPARE(s.ticked, (QStringList{"chbManutencao", "chbPSituacao", "rbtTCliente", "rbtTEmpresa"}));
        QCOMPARE(s.enabled,
                 (QStringList{"chbCSituacao", "chbCustomizacao", "chbLicencaUso", "chbManutencao", "chbMaoObra",
                              "chbNSituacao", "chbPSituacao", "chbRSituacao", "chbTSituacao"}));
        QCOMPARE(s.ini, QStringLiteral("01/01/2008"));
        QCOMPARE(s.fin, QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
        QCOMPARE(cursor, Screen::crDefault);
        QCOMPARE(Screen::Cursor(), Screen::crDefault);
        QVERIFY(!dialog()->isVisible());
        QVERIFY(m_fixture.errors.isEmpty());
    }

    void launchCreatesTheDialogOnce()
    {
        openDialog([](Dialog *d) {
            click(d->chbCSituacao);
            click(d->sbtConfirma);
        });
        Dialog *first = dialog();
        const Shown s = shownAtOpening();
        QCOMPARE(dialog(), first);
        QVERIFY(s.ticked.contains(QStringLiteral("chbCSituacao")));
    }

    void situationRules_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QStringList>("ticked"); // situation boxes ticked at the end

        QTest::newRow("Realizadas with no note state ticks both")
            << QStringList{"chbRSituacao"}
            << QStringList{"chbEmitidas", "chbNEmitidas", "chbPSituacao", "chbRSituacao"};
        QTest::newRow("unticking Realizadas unticks both")
            << QStringList{"chbRSituacao", "chbRSituacao"} << QStringList{"chbPSituacao"};
        QTest::newRow("Realizadas keeps a single note state")
            << QStringList{"chbRSituacao", "chbEmitidas"}
            << QStringList{"chbNEmitidas", "chbPSituacao", "chbRSituacao"};
        QTest::newRow("Realizadas again after the note states were dropped")
            << QStringList{"chbRSituacao", "chbEmitidas", "chbRSituacao", "chbRSituacao"}
            << QStringList{"chbEmitidas", "chbNEmitidas", "chbPSituacao", "chbRSituacao"};
        QTest::newRow("Todas unticks the four others")
            << QStringList{"chbRSituacao", "chbCSituacao", "chbNSituacao", "chbTSituacao"}
            << QStringList{"chbTSituacao"};
        QTest::newRow("Pendentes unticks Todas")
            << QStringList{"chbTSituacao", "chbPSituacao"} << QStringList{"chbPSituacao"};
        QTest::newRow("Realizadas unticks Todas") << QStringList{"chbTSituacao", "chbRSituacao"}
                                                  << QStringList{"chbEmitidas", "chbNEmitidas", "chbRSituacao"};
        QTest::newRow("Canceladas unticks Todas")
            << QStringList{"chbTSituacao", "chbCSituacao"} << QStringList{"chbCSituacao"};
        QTest::newRow("Nao realizadas unticks Todas")
            << QStringList{"chbTSituacao", "chbNSituacao"} << QStringList{"chbNSituacao"};
        QTest::newRow("unticking Todas changes nothing else")
            << QStringList{"chbTSituacao", "chbTSituacao"} << QStringList{};
        QTest::newRow("unticking Pendentes changes nothing else")
            << QStringList{"chbCSituacao", "chbPSituacao"} << QStringList{"chbCSituacao"};
        QTest::newRow("Service Desk cannot be ticked") << QStringList{"chbServDesk"} << QStringList{"chbPSituacao"};
    }

    void situationRules()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QStringList, ticked);
        QStringList broken;
        QStringList endTicked;
        bool serviceDesk = true;
        openDialog([&](Dialog *d) {
            for (const QString &name : clicks) {
                perform(d, name);
                const QString why = brokenInvariant(d);
                if (!why.isEmpty())
                    broken << name + QStringLiteral(": ") + why;
            }
            for (const QString &name : situationBoxes) {
                if (child<QCheckBox>(d, name)->isChecked())
                    endTicked << name;
            }
            serviceDesk = d->chbServDesk->isChecked();
        });
        endTicked.sort();
        QCOMPARE(broken, QStringList{});
        QCOMPARE(endTicked, ticked);
        QVERIFY(!serviceDesk);
    }

    void radioButtonsEnableTheLookupButtons()
    {
        QList<bool> states;
        openDialog([&](Dialog *d) {
            click(d->rbtLEmpresa);
            states << d->btpEmpresa->isEnabled() << d->btpCliente->isEnabled();
            click(d->rbtLCliente);
            states << d->btpEmpresa->isEnabled() << d->btpCliente->isEnabled();
            click(d->rbtTEmpresa);
            states << d->btpEmpresa->isEnabled() << d->btpCliente->isEnabled();
            click(d->rbtTCliente);
            states << d->btpEmpresa->isEnabled() << d->btpCliente->isEnabled();
        });
        QCOMPARE(states, (QList<bool>{true, false, true, true, false, true, false, false}));
    }

    // A stored "Realizadas" with only "Emitidas" ends exactly so, although the
    // "Realizadas" rule ticks both on the way; the lists and radio buttons
    // come back from the stored state, not from what was left in the dialog.
    void openingRestoresTheLastConfirm()
    {
        openDialog([](Dialog *d) {
            performAll(d, {"ini:01032005", "fin:30062005", "chbRSituacao", "chbNEmitidas", "rbtLEmpresa",
                           "empresas:[\"T1\"]"});
            click(d->sbtConfirma);
        });
        QVERIFY(m_fixture.messages.isEmpty());
        QVERIFY(!dialog()->isVisible());

        // Changed and closed without confirming.
        openDialog([](Dialog *d) {
            performAll(d, {"chbRSituacao", "chbTSituacao", "rbtTEmpresa", "empresas:[\"T2\"]", "ini:01012001"});
            QTest::keyClick(d, Qt::Key_Escape);
        });
        QVERIFY(!dialog()->isVisible());

        Cli_fas09601::stEmpresa = QStringLiteral("[\"T2\"]");
        const Shown s = shownAtOpening();
        QCOMPARE(s.ticked, (QStringList{"chbEmitidas", "chbManutencao", "chbPSituacao", "chbRSituacao", "rbtLEmpresa",
                                        "rbtTCliente"}));
        QVERIFY(s.enabled.contains(QStringLiteral("chbEmitidas")));
        QVERIFY(s.enabled.contains(QStringLiteral("chbNEmitidas")));
        QVERIFY(s.enabled.contains(QStringLiteral("btpEmpresa")));
        QVERIFY(!s.enabled.contains(QStringLiteral("btpCliente")));
        QCOMPARE(s.ini, QStringLiteral("01/03/2005"));
        QCOMPARE(s.fin, QStringLiteral("30/06/2005"));
        QCOMPARE(s.stEmpresa, QStringLiteral("[\"T1\"]"));
    }

    void confirmWithTodasDropsThePickedList()
    {
        openDialog([](Dialog *d) {
            perform(d, QStringLiteral("rbtLEmpresa"));
            perform(d, QStringLiteral("empresas:[\"T1\"]"));
            perform(d, QStringLiteral("rbtTEmpresa"));
            click(d->sbtConfirma);
        });
        QCOMPARE(Cli_fas09601::stEmpresa, QStringLiteral("[\"T1\"]")); // the picks outlive the confirm...
        const Shown s = shownAtOpening();
        QCOMPARE(s.stEmpresa, QString()); // ...until the next opening restores the stored empty list
        QVERIFY(!s.enabled.contains(QStringLiteral("btpEmpresa")));
    }

    void validation_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");

        QTest::newRow("company list empty, before anything else")
            << QStringList{"rbtLEmpresa", "rbtLCliente", "ini:", "fin:", "chbManutencao", "chbPSituacao"}
            << "Empresa deve ser informada."
            << "rbtLEmpresa";
        QTest::newRow("company list blank")
            << QStringList{"rbtLEmpresa", "empresas:   "} << "Empresa deve ser informada."
            << "rbtLEmpresa";
        QTest::newRow("client list empty, before the dates")
            << QStringList{"rbtLCliente", "ini:", "fin:"} << "Cliente deve ser informado."
            << "rbtLCliente";
        QTest::newRow("start date empty") << QStringList{"ini:", "fin:"} << "Data inicial deve ser informada."
                                          << "depDtIniApu";
        QTest::newRow("end date empty") << QStringList{"fin:", "chbManutencao"} << "Data final deve ser informada."
                                        << "depDtFinApu";
        QTest::newRow("end date one day before the start")
            << QStringList{"ini:02032005", "fin:01032005"} << "Data inicial deve ser menor ou igual à data final."
            << "depDtIniApu";
        QTest::newRow("no service type, focus on Manutencao")
            << QStringList{"chbManutencao", "chbPSituacao"} << "Tipo de Serviço deve ser informado."
            << "chbManutencao";
        QTest::newRow("no situation") << QStringList{"chbPSituacao"} << "Situação deve ser informada."
                                      << "chbTSituacao";
        QTest::newRow("Realizadas without a note state") << QStringList{"chbRSituacao", "chbEmitidas", "chbNEmitidas"}
                                                         << "Situação do(a) Nota Fiscal/Invoice deve ser informada."
                                                         << "chbEmitidas";
    }

    void validation()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        const int animations = CallWatch::busyAnimations();
        QString focused;
        bool open = false;
        openDialog([&](Dialog *d) {
            for (const QString &step : steps)
                perform(d, step);
            m_fixture.clearMessages();
            click(d->sbtConfirma);
            open = d->isVisible();
            focused = d->focusWidget() ? d->focusWidget()->objectName() : QString();
        });
        QCOMPARE(m_fixture.messages, QStringList{message});
        QCOMPARE(focused, focus);
        QVERIFY(open);
        QCOMPARE(CallWatch::busyAnimations(), animations); // nothing was requested
        QVERIFY(!Showavi::IsActive());
        QVERIFY(m_fixture.errors.isEmpty());

        // Nothing was stored: the next opening shows the defaults again.
        const Shown s = shownAtOpening();
        QCOMPARE(s.ticked, (QStringList{"chbManutencao", "chbPSituacao", "rbtTCliente", "rbtTEmpresa"}));
        QCOMPARE(s.ini, QStringLiteral("01/01/2008"));
    }

    void malformedDateAtConfirm_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("digits");
        QTest::newRow("31 February as start") << "ini"
                                              << "31022005";
        QTest::newRow("month 13 as end") << "fin"
                                         << "01132005";
        QTest::newRow("year cut short") << "ini"
                                        << "010120";
    }

    void malformedDateAtConfirm()
    {
        QFETCH(QString, edit);
        QFETCH(QString, digits);
        const QString editName = edit == QLatin1String("ini") ? QStringLiteral("depDtIniApu")
                                                              : QStringLiteral("depDtFinApu");
        QString focused;
        QString typed;
        openDialog([&](Dialog *d) {
            perform(d, edit + QLatin1Char(':') + digits);
            typed = child<TDateEditPlus>(d, editName)->displayText();
            click(d->sbtConfirma);
            focused = d->focusWidget() ? d->focusWidget()->objectName() : QString();
        });
        QCOMPARE(m_fixture.messages.size(), 1);
        QVERIFY2(m_fixture.messages.first().contains(typed), qPrintable(m_fixture.messages.first()));
        QCOMPARE(focused, editName);
    }

    void dateEditExit_data()
    {
        QTest::addColumn<QString>("digits");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("tip");
        QTest::newRow("leap day") << "29022008" << false << "Sexta";
        QTest::newRow("no leap day") << "29022005" << true << "";
        QTest::newRow("a Sunday") << "06032005" << false << "Domingo";
        QTest::newRow("a Tuesday") << "08032005" << false << "Terça";
        QTest::newRow("a Saturday") << "12032005" << false << "Sábado";
        QTest::newRow("day 32") << "32012005" << true << "";
        QTest::newRow("empty") << "" << false << "";
    }

    void dateEditExit()
    {
        QFETCH(QString, digits);
        QFETCH(bool, refused);
        QFETCH(QString, tip);
        QString focused;
        QString toolTip;
        QColor colour;
        openDialog([&](Dialog *d) {
            typeDate(d->depDtIniApu, digits);
            toolTip = d->depDtIniApu->toolTip();
            colour = d->depDtIniApu->palette().color(QPalette::Text);
            QTest::keyClick(d->depDtIniApu, Qt::Key_Tab);
            focused = d->focusWidget() ? d->focusWidget()->objectName() : QString();
        });
        QCOMPARE(m_fixture.messages.size(), refused ? 1 : 0);
        QCOMPARE(focused, refused ? QStringLiteral("depDtIniApu") : QStringLiteral("depDtFinApu"));
        QCOMPARE(toolTip, tip);
        QCOMPARE(colour == QColor(Qt::blue), !tip.isEmpty());
    }

    // The request at the real server: the nine arguments as sent, and the rows
    // of the test's own calculations that come back.
    void request_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("rows");

        const QString T = QStringLiteral("T");
        const QString march = isoDay(QDate(2005, 3, 1));
        const QString june = isoDay(QDate(2005, 6, 30));
        const QStringList period{"ini:01032005", "fin:30062005"};

        QTest::newRow("maintenance, pending")
            << period << QStringList{march, june, "_6_", "", T, "", T, "_P_", T} << QStringList{"T1/TSTA/2005-03/6"};
        QTest::newRow("licence and maintenance; a blank status is pending")
            << period + QStringList{"chbLicencaUso"} << QStringList{march, june, "_5__6_", "", T, "", T, "_P_", T}
            << QStringList{"T1/TSTA/2005-03/5", "T1/TSTA/2005-03/6"};
        QTest::newRow("pending and cancelled") << period + QStringList{"chbCSituacao", "chbCustomizacao"}
                                               << QStringList{march, june, "_6__3_", "", T, "", T, "_P__C_", T}
                                               << QStringList{"T1/TSTA/2005-03/6", "T2/TSTB/2005-05/3"};
        QTest::newRow("realized, note issued")
            << period + QStringList{"chbPSituacao", "chbRSituacao", "chbNEmitidas"}
            << QStringList{march, june, "_6_", "", T, "", T, "_R_", "_E_"} << QStringList{"T1/TSTB/2005-04/6"};
        QTest::newRow("realized, not issued")
            << period + QStringList{"chbPSituacao", "chbRSituacao", "chbEmitidas"}
            << QStringList{march, june, "_6_", "", T, "", T, "_R_", "_N_"} << QStringList{"T2/TSTA/2005-04/6"};
        QTest::newRow("realized, both note states") << period + QStringList{"chbPSituacao", "chbRSituacao"}
                                                    << QStringList{march, june, "_6_", "", T, "", T, "_R_", "_E__N_"}
                                                    << QStringList{"T1/TSTB/2005-04/6", "T2/TSTA/2005-04/6"};
        QTest::newRow("Todas sends T whatever else is ticked")
            << period + QStringList{"chbRSituacao", "chbTSituacao", "chbLicencaUso", "chbCustomizacao", "chbMaoObra"}
            << QStringList{march, june, "_5__6__3__1_", "", T, "", T, T, T}
            << QStringList{"T1/TSTA/2005-03/5", "T1/TSTA/2005-03/6", "T1/TSTB/2005-04/6",
                           "T2/TSTA/2005-04/6", "T2/TSTA/2005-05/1", "T2/TSTB/2005-05/3"};
        QTest::newRow("company list, all clients")
            << period + QStringList{"chbTSituacao", "chbCustomizacao", "chbMaoObra", "rbtLEmpresa", "empresas:[\"T2\"]"}
            << QStringList{march, june, "_6__3__1_", "", T, "[\"T2\"]", "", T, T}
            << QStringList{"T2/TSTA/2005-04/6", "T2/TSTA/2005-05/1", "T2/TSTB/2005-05/3"};
        QTest::newRow("client and company lists")
            << period
                   + QStringList{"chbTSituacao", "rbtLCliente", "clientes:[\"TSTB\"]", "rbtLEmpresa",
                                 "empresas:[\"T1\"]"}
            << QStringList{march, june, "_6_", "[\"TSTB\"]", "", "[\"T1\"]", "", T, T}
            << QStringList{"T1/TSTB/2005-04/6"};
        QTest::newRow("clients picked, then Todos")
            << period + QStringList{"chbTSituacao", "rbtLCliente", "clientes:[\"TSTB\"]", "rbtTCliente"}
            << QStringList{march, june, "_6_", "", T, "", T, T, T}
            << QStringList{"T1/TSTA/2005-03/6", "T1/TSTB/2005-04/6", "T2/TSTA/2005-04/6"};
        QTest::newRow("days inside one month")
            << QStringList{"ini:15042005", "fin:20042005", "chbTSituacao"}
            << QStringList{isoDay(QDate(2005, 4, 15)), isoDay(QDate(2005, 4, 20)), "_6_", "", T, "", T, T, T}
            << QStringList{"T1/TSTB/2005-04/6", "T2/TSTA/2005-04/6"};
        QTest::newRow("equal dates")
            << QStringList{"ini:10052005",  "fin:10052005",    "chbTSituacao",
                           "chbManutencao", "chbCustomizacao", "chbMaoObra"}
            << QStringList{isoDay(QDate(2005, 5, 10)), isoDay(QDate(2005, 5, 10)), "_3__1_", "", T, "", T, T, T}
            << QStringList{"T2/TSTA/2005-05/1", "T2/TSTB/2005-05/3"};
    }

    void request()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, rows);
        const int animations = CallWatch::busyAnimations();
        bool open = true;
        openDialog([&](Dialog *d) {
            for (const QString &step : steps)
                perform(d, step);
            click(d->sbtConfirma);
            open = d->isVisible();
        });
        QCOMPARE(m_fixture.messages, QStringList{});
        QCOMPARE(m_fixture.errors, QStringList{});
        QVERIFY(!open);
        QCOMPARE(dialog()->result(), int(QDialog::Accepted));
        QCOMPARE(CallWatch::lastRequest(screen()->netFaturamento).method, QStringLiteral("GetFaturamento"));
        QCOMPARE(lastArguments(), arguments);
        QCOMPARE(previewRows(), rows);
        QCOMPARE(CallWatch::busyAnimations(), animations + 1);
        QVERIFY(!Showavi::IsActive());
    }

    void defaultsRequest()
    {
        openDialog([](Dialog *d) { click(d->sbtConfirma); });
        const QString T = QStringLiteral("T");
        QCOMPARE(lastArguments(),
                 (QStringList{isoDay(QDate(2008, 1, 1)), isoDay(QDate::currentDate()), "_6_", "", T, "", T, "_P_", T}));
        // Whatever the demo data holds, only pending maintenance comes back.
        TClientDataSet *rows = screen()->cdsFaturamento;
        QVERIFY(rows->Active());
        for (rows->First(); !rows->Eof(); rows->Next()) {
            QCOMPARE(rows->FieldByName(QStringLiteral("IDAPURFATFAS"))->AsString(), QStringLiteral("6"));
            QVERIFY(QStringList({"P", ""}).contains(rows->FieldByName(QStringLiteral("IDSTAPFATFAS"))->AsString()));
            QVERIFY(rows->FieldByName(QStringLiteral("DTMESAPURFAS"))->AsDateTime().date() >= QDate(2008, 1, 1));
        }
    }

    // The stored filter to the nine GetFaturamento arguments, without the
    // dialog: also states no confirm stores but a restore sends as it stands.
    void previewRequestFromFilter_data()
    {
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<QString>("clients");
        QTest::addColumn<QString>("companies");
        QTest::addColumn<QDateTime>("ini");
        QTest::addColumn<QDateTime>("fin");
        QTest::addColumn<QStringList>("arguments");

        const QString T = QStringLiteral("T");
        const QDateTime start(QDate(2008, 1, 1), QTime(0, 0), Qt::UTC);
        const QDateTime end(QDate(2008, 12, 31), QTime(0, 0), Qt::UTC);
        const QString s = isoDay(start.date());
        const QString e = isoDay(end.date());
        const QString clients = QStringLiteral("[\"TSTA\",\"TSTB\"]");
        const QString companies = QStringLiteral("[\"T1\"]");
        const auto row = [&](const char *name, const QStringList &flags, const QStringList &arguments) {
            QTest::newRow(name) << flags << T << T << start << end << arguments;
        };

        row("defaults", {"boManutencao", "boPSituacao"}, {s, e, "_6_", "", T, "", T, "_P_", T});
        row("every service type, in the fixed order",
            {"boServDesk", "boMaoObra", "boCustomizacao", "boManutencao", "boLicencaUso", "boPSituacao"},
            {s, e, "_5__6__3__1__2_", "", T, "", T, "_P_", T});
        row("service desk alone", {"boServDesk", "boPSituacao"}, {s, e, "_2_", "", T, "", T, "_P_", T});
        row("no service type", {"boPSituacao"}, {s, e, "", "", T, "", T, "_P_", T});
        row("cancelled", {"boManutencao", "boCSituacao"}, {s, e, "_6_", "", T, "", T, "_C_", T});
        row("not realized by the system", {"boManutencao", "boNSituacao"}, {s, e, "_6_", "", T, "", T, "_N_", T});
        row("every situation but Todas, in the fixed order",
            {"boNSituacao", "boCSituacao", "boRSituacao", "boPSituacao", "boManutencao", "boEmitidas", "boNEmitidas"},
            {s, e, "_6_", "", T, "", T, "_P__R__C__N_", "_E__N_"});
        row("realized, issued", {"boManutencao", "boRSituacao", "boEmitidas"},
            {s, e, "_6_", "", T, "", T, "_R_", "_E_"});
        row("realized, not issued", {"boManutencao", "boRSituacao", "boNEmitidas"},
            {s, e, "_6_", "", T, "", T, "_R_", "_N_"});
        row("realized without a note state", {"boManutencao", "boRSituacao"}, {s, e, "_6_", "", T, "", T, "_R_", ""});
        row("note states count only with Realizadas", {"boManutencao", "boPSituacao", "boEmitidas", "boNEmitidas"},
            {s, e, "_6_", "", T, "", T, "_P_", T});
        row("Todas whatever else is on", {"boManutencao", "boTSituacao", "boPSituacao", "boCSituacao", "boNSituacao"},
            {s, e, "_6_", "", T, "", T, T, T});
        row("Todas decides the situation only", {"boManutencao", "boTSituacao", "boRSituacao", "boEmitidas"},
            {s, e, "_6_", "", T, "", T, T, "_E_"});

        const QStringList pending{"boManutencao", "boPSituacao"};
        QTest::newRow("client list, all companies")
            << pending << clients << T << start << end << QStringList{s, e, "_6_", clients, "", "", T, "_P_", T};
        QTest::newRow("company list, all clients")
            << pending << T << companies << start << end << QStringList{s, e, "_6_", "", T, companies, "", "_P_", T};
        QTest::newRow("both lists") << pending << clients << companies << start << end
                                    << QStringList{s, e, "_6_", clients, "", companies, "", "_P_", T};
        QTest::newRow("list chosen, nothing picked")
            << pending << QString() << QString() << start << end << QStringList{s, e, "_6_", "", "", "", "", "_P_", T};
        QTest::newRow("the time of day is dropped")
            << pending << T << T << QDateTime(QDate(2005, 3, 1), QTime(13, 45, 10, 5))
            << QDateTime(QDate(2005, 6, 30), QTime(23, 59, 59, 999), Qt::UTC)
            << QStringList{isoDay(QDate(2005, 3, 1)), isoDay(QDate(2005, 6, 30)), "_6_", "", T, "", T, "_P_", T};
        QTest::newRow("equal dates") << pending << T << T << end << end
                                     << QStringList{e, e, "_6_", "", T, "", T, "_P_", T};
        QTest::newRow("no dates") << pending << T << T << QDateTime() << QDateTime()
                                  << QStringList{"", "", "_6_", "", T, "", T, "_P_", T};
    }

    void previewRequestFromFilter()
    {
        QFETCH(QStringList, flags);
        QFETCH(QString, clients);
        QFETCH(QString, companies);
        QFETCH(QDateTime, ini);
        QFETCH(QDateTime, fin);
        QFETCH(QStringList, arguments);
        const PreviewRequest request = PreviewRequest::FromFilter(filterOf(flags, clients, companies, ini, fin));
        QCOMPARE(sentArguments(request), arguments);
    }

    // The preview's verify re-runs the stored filter without the dialog,
    // restoring the controls and the picked lists from it.
    void verifyWithoutTheDialog()
    {
        openDialog([](Dialog *d) {
            performAll(d, {"ini:01032005", "fin:30062005", "chbTSituacao", "chbCustomizacao", "chbMaoObra",
                           "rbtLEmpresa", "empresas:[\"T2\"]"});
            click(d->sbtConfirma);
        });
        const QStringList confirmed = lastArguments();
        const QStringList confirmedRows = previewRows();
        QCOMPARE(confirmedRows.size(), 3);

        openDialog([](Dialog *d) {
            performAll(d, {"rbtTEmpresa", "chbManutencao", "chbPSituacao", "fin:31032005"});
            click(d->sbtCancela);
        });
        Cli_fas09601::stEmpresa = QStringLiteral("[\"T1\"]"); // picked, never confirmed
        screen()->cdsFaturamento->EmptyDataSet();
        const int modals = m_fixture.modals.seen();
        QVERIFY(screen()->sbtVerificar->isEnabled());
        click(screen()->sbtVerificar);
        QCOMPARE(m_fixture.errors, QStringList{});
        QCOMPARE(m_fixture.modals.seen(), modals);
        QVERIFY(!dialog()->isVisible());
        QCOMPARE(lastArguments(), confirmed);
        QCOMPARE(previewRows(), confirmedRows);
        QCOMPARE(Cli_fas09601::stEmpresa, QStringLiteral("[\"T2\"]"));
        QVERIFY(dialog()->rbtLEmpresa->isChecked());
        QVERIFY(!Showavi::IsActive());
    }

    // The screen's "Filtrar" opens the same dialog on the last confirm; a
    // confirm there fills the grid again.
    void filterCommandReopensTheDialog()
    {
        openDialog([](Dialog *d) {
            performAll(d, {"ini:01032005", "fin:30062005", "chbTSituacao"});
            click(d->sbtConfirma);
        });
        Dialog *first = dialog();
        Shown reopened;
        bool acted = false;
        m_fixture.modals.arm([&](QWidget *modal) {
            if (auto *d = qobject_cast<Dialog *>(modal)) {
                acted = true;
                reopened = shown(d);
                performAll(d, {"chbManutencao", "chbCustomizacao", "chbMaoObra"});
                click(d->sbtConfirma);
            }
            if (modal->isVisible())
                ModalWatcher::closeModal(modal);
        });
        click(screen()->sbtFiltrar);
        m_fixture.modals.disarm();
        QVERIFY(acted);
        QCOMPARE(dialog(), first);
        QCOMPARE(reopened.ticked, (QStringList{"chbManutencao", "chbTSituacao", "rbtTCliente", "rbtTEmpresa"}));
        QCOMPARE(reopened.ini, QStringLiteral("01/03/2005"));
        QCOMPARE(m_fixture.errors, QStringList{});
        QCOMPARE(previewRows(), (QStringList{"T2/TSTA/2005-05/1", "T2/TSTB/2005-05/3"}));
    }

    void cancelKeepsTheStoredFilter_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel button") << "sbtCancela";
        QTest::newRow("escape") << "escape";
        QTest::newRow("window closed") << "close";
    }

    void cancelKeepsTheStoredFilter()
    {
        QFETCH(QString, how);
        const Shown before = shownAtOpening();
        bool closed = false;
        openDialog([&](Dialog *d) {
            performAll(d, {"chbLicencaUso", "chbTSituacao", "rbtLCliente", "clientes:[\"TSTA\"]", "ini:01012005"});
            if (how == QLatin1String("escape"))
                QTest::keyClick(d, Qt::Key_Escape);
            else if (how == QLatin1String("close"))
                d->close();
            else
                click(d->sbtCancela);
            closed = !d->isVisible();
        });
        QVERIFY(closed);
        QCOMPARE(dialog()->result(), int(QDialog::Rejected));
        const Shown after = shownAtOpening();
        QCOMPARE(after.ticked, before.ticked);
        QCOMPARE(after.enabled, before.enabled);
        QCOMPARE(after.ini, before.ini);
        QCOMPARE(after.stCliente, QString());
    }

    // A request that fails after a valid confirm: the dialog stays open, the
    // animation is down, the situation text empty, the old rows kept, and the
    // new choices stored.
    void failedRequest()
    {
        openDialog([](Dialog *d) {
            performAll(d, {"ini:01032005", "fin:30062005", "chbTSituacao"});
            click(d->sbtConfirma);
        });
        const QByteArray oldRows = screen()->cdsFaturamento->GetData();
        QCOMPARE(previewRows().size(), 3);
        QVERIFY(!screen()->edtSituacao->text().isEmpty());

        AppServerProcess doomed;
        doomed.setDatabaseUrl(m_fixture.server.databaseUrl());
        QVERIFY2(doomed.start(), qPrintable(doomed.errorText()));
        reconnectTo(doomed.port());
        doomed.stop();

        const int animations = CallWatch::busyAnimations();
        bool open = false;
        bool animating = true;
        QString situation = QStringLiteral("?");
        openDialog([&](Dialog *d) {
            performAll(d, {"chbCSituacao", "chbCustomizacao"});
            click(d->sbtConfirma);
            open = d->isVisible();
            animating = Showavi::IsActive();
            situation = screen()->edtSituacao->text();
        });
        reconnectTo(m_fixture.server.port());

        QVERIFY(open);
        QVERIFY(!animating);
        QCOMPARE(CallWatch::busyAnimations(), animations + 1);
        QCOMPARE(situation, QString());
        QCOMPARE(m_fixture.errors.size(), 1);
        QVERIFY2(m_fixture.errors.first().contains(QStringLiteral("127.0.0.1:%1").arg(doomed.port())),
                 qPrintable(m_fixture.errors.first()));
        QCOMPARE(screen()->cdsFaturamento->GetData(), oldRows);

        const Shown stored = shownAtOpening();
        QCOMPARE(stored.ticked,
                 (QStringList{"chbCSituacao", "chbCustomizacao", "chbManutencao", "rbtTCliente", "rbtTEmpresa"}));
        QCOMPARE(stored.ini, QStringLiteral("01/03/2005"));
    }

    void saveOptions_data()
    {
        QTest::addColumn<QString>("clients");
        QTest::addColumn<QString>("companies");
        QTest::newRow("no lists") << ""
                                  << "";
        QTest::newRow("clients only") << "[\"TSTA\",\"TSTB\"]"
                                      << "";
        QTest::newRow("companies only") << ""
                                        << "[\"T1\"]";
        QTest::newRow("both lists") << "[\"TSTB\"]"
                                    << "[\"T1\",\"T2\"]";
    }

    void saveOptions()
    {
        QFETCH(QString, clients);
        QFETCH(QString, companies);
        openDialog([&](Dialog *d) {
            performAll(d, {"chbRSituacao", "chbNEmitidas", "ini:01032005", "rbtLCliente"});
            Cli_fas09601::stCliente = clients;
            Cli_fas09601::stEmpresa = companies;
            click(d->btfSaveOpc);
            click(d->btfSaveOpc); // saving again replaces, never repeats a line
        });
        QSettings store = optionsStore();
        const QStringList lines = store.value(QStringLiteral("FAS09601/Opcoes")).toStringList();
        const auto linesOf = [&](const QString &name) {
            QStringList found;
            for (const QString &line : lines) {
                if (line.startsWith(name + QLatin1Char('=')))
                    found << line;
            }
            return found;
        };
        QCOMPARE(linesOf(QStringLiteral("stCliente")),
                 clients.isEmpty() ? QStringList{} : QStringList{QStringLiteral("stCliente=") + clients});
        QCOMPARE(linesOf(QStringLiteral("stEmpresa")),
                 companies.isEmpty() ? QStringList{} : QStringList{QStringLiteral("stEmpresa=") + companies});
        QCOMPARE(linesOf(QStringLiteral("chbRSituacao")), QStringList{"chbRSituacao=1"});
        QCOMPARE(linesOf(QStringLiteral("chbNEmitidas")), QStringList{"chbNEmitidas=0"});
        QCOMPARE(linesOf(QStringLiteral("rbtLCliente")), QStringList{"rbtLCliente=1"});
        QCOMPARE(linesOf(QStringLiteral("depDtIniApu")), QStringList{"depDtIniApu=01/03/2005"});
        // The two lists follow the base lines.
        if (!clients.isEmpty() || !companies.isEmpty())
            QVERIFY(lines.last().startsWith(QStringLiteral("st")));
    }

    void loadOptions_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("clients");
        QTest::addColumn<QString>("companies");

        // The note-state lines come first on purpose: loading follows the
        // design's order, so the "Realizadas" rule cannot undo them.
        const QStringList controls{"chbNEmitidas=0",        "chbEmitidas=1", "chbRSituacao=1",
                                   "chbPSituacao=0",        "rbtLCliente=1", "depDtIniApu=01/03/2005",
                                   "depDtFinApu=30/06/2005"};
        QTest::newRow("without lists") << controls << ""
                                       << "";
        QTest::newRow("clients only") << controls + QStringList{"stCliente=[\"TSTB\"]"} << "[\"TSTB\"]"
                                      << "";
        QTest::newRow("both lists") << controls + QStringList{"stCliente=[\"TSTA\"]", "stEmpresa=[\"T2\"]"}
                                    << "[\"TSTA\"]"
                                    << "[\"T2\"]";
    }

    void loadOptions()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, clients);
        QFETCH(QString, companies);
        optionsStore().setValue(QStringLiteral("FAS09601/Opcoes"), lines);
        Shown loaded;
        openDialog([&](Dialog *d) {
            Cli_fas09601::stCliente = QStringLiteral("[\"picked before\"]");
            Cli_fas09601::stEmpresa = QStringLiteral("[\"picked before\"]");
            click(d->btfLoadOpc);
            loaded = shown(d);
        });
        QCOMPARE(loaded.ticked,
                 (QStringList{"chbEmitidas", "chbManutencao", "chbRSituacao", "rbtLCliente", "rbtTEmpresa"}));
        QVERIFY(loaded.enabled.contains(QStringLiteral("chbNEmitidas")));
        QVERIFY(loaded.enabled.contains(QStringLiteral("btpCliente")));
        QCOMPARE(loaded.ini, QStringLiteral("01/03/2005"));
        QCOMPARE(loaded.fin, QStringLiteral("30/06/2005"));
        QCOMPARE(loaded.stCliente, clients);
        QCOMPARE(loaded.stEmpresa, companies);

        // Loading stores nothing: closed without confirming, the defaults stay.
        const Shown next = shownAtOpening();
        QCOMPARE(next.ticked, (QStringList{"chbManutencao", "chbPSituacao", "rbtTCliente", "rbtTEmpresa"}));
        QCOMPARE(next.stCliente, QString());
    }

    // Saved options may hold a "Service Desk" tick the user cannot click;
    // loaded and confirmed, it sends all five service types.
    void loadedOptionsConfirmed()
    {
        optionsStore().setValue(QStringLiteral("FAS09601/Opcoes"),
                                QStringList{"chbLicencaUso=1", "chbManutencao=1", "chbCustomizacao=1", "chbMaoObra=1",
                                            "chbServDesk=1", "chbTSituacao=1", "rbtLCliente=1",
                                            "depDtIniApu=01/03/2005", "depDtFinApu=30/06/2005",
                                            "stCliente=[\"TSTB\"]"});
        openDialog([](Dialog *d) {
            click(d->btfLoadOpc);
            click(d->sbtConfirma);
        });
        QCOMPARE(m_fixture.messages, QStringList{});
        const QString T = QStringLiteral("T");
        QCOMPARE(lastArguments(), (QStringList{isoDay(QDate(2005, 3, 1)), isoDay(QDate(2005, 6, 30)), "_5__6__3__1__2_",
                                               "[\"TSTB\"]", "", "", T, T, T}));
        QCOMPARE(previewRows(), (QStringList{"T1/TSTB/2005-04/6", "T1/TSTB/2005-06/2", "T2/TSTB/2005-05/3"}));
        const Shown stored = shownAtOpening();
        QVERIFY(stored.ticked.contains(QStringLiteral("chbServDesk")));
        QVERIFY(!stored.enabled.contains(QStringLiteral("chbServDesk")));
    }

    // The start-date query runs its default text, unchanged, on SQLite (with
    // the TO_DATE the data module registers) and on PostgreSQL (with the
    // schema's TO_DATE); the InterBase text is for InterBase alone.
    void startDateQueryText()
    {
        std::unique_ptr<Dialog> d(Application().CreateForm<Dialog>());
        QCOMPARE(d->qryData->ActiveSQL(), d->qryData->SQL.join(QLatin1Char('\n')));
        QCOMPARE(d->qryData->ActiveSQL(), QStringLiteral("SELECT TO_DATE('01/01/2008')  AS DTINI\nFROM PARAMGERAL"));
        QVERIFY(d->qryData->Active());
        QCOMPARE(d->qryData->RecordCount(), 1);
        QCOMPARE(d->qryDataDTINI->AsDateTime().date(), QDate(2008, 1, 1));
    }

    void sqliteToDate_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QVariant>("result"); // invalid: an SQL error
        QTest::newRow("first of January") << "01/01/2008" << QVariant(QStringLiteral("2008-01-01"));
        QTest::newRow("leap day") << "29/02/2008" << QVariant(QStringLiteral("2008-02-29"));
        QTest::newRow("no leap day") << "29/02/2005" << QVariant();
        QTest::newRow("ISO text") << "2008-01-01" << QVariant();
    }

    void sqliteToDate()
    {
        QFETCH(QString, argument);
        QFETCH(QVariant, result);
        QSqlQuery query(dtmDBGeral()->Database());
        const bool ran = query.exec(QStringLiteral("SELECT TO_DATE('%1')").arg(argument)) && query.next();
        QCOMPARE(ran, result.isValid());
        if (ran)
            QCOMPARE(query.value(0).toString(), result.toString());
        else
            QVERIFY2(query.lastError().text().contains(argument), qPrintable(query.lastError().text()));
        QSqlQuery null(dtmDBGeral()->Database());
        QVERIFY(null.exec(QStringLiteral("SELECT TO_DATE(NULL)")) && null.next());
        QVERIFY(null.value(0).isNull());
    }

    void startDateQueryOnPostgreSql()
    {
        const QString adminUrl = qEnvironmentVariable("FAS_TEST_PG_URL");
        if (adminUrl.isEmpty())
            QSKIP("PostgreSQL: FAS_TEST_PG_URL is not set (scripts/test.sh sets it when a cluster starts).");
        const QString name = QStringLiteral("fas_filter_%1").arg(QCoreApplication::applicationPid());
        {
            QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(adminUrl), QStringLiteral("tst-pg-admin"));
            QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
            QSqlQuery create(admin);
            QVERIFY2(create.exec(QStringLiteral("CREATE DATABASE %1").arg(name)),
                     qPrintable(create.lastError().text()));
        }
        DatabaseConnection::close(QStringLiteral("tst-pg-admin"));
        const QString url = adminUrl.left(adminUrl.lastIndexOf(u'/') + 1) + name;
        QProcess schema;
        schema.setProcessChannelMode(QProcess::MergedChannels);
        schema.start(QStringLiteral(FAS_BIN_DIR "/fas-demo-data"),
                     {QStringLiteral("--database"), url, QStringLiteral("--schema-only")});
        QVERIFY(schema.waitForFinished(60000));
        QVERIFY2(schema.exitCode() == 0, schema.readAll().constData());

        QDate read;
        QString text;
        QString failure;
        try {
            m_fixture.dataModule.Open(url);
            QSqlQuery(m_fixture.dataModule.Database())
                .exec(QStringLiteral("INSERT INTO PARAMGERAL (CDPARAMGERAL, DTINICIOAPUR) VALUES (1, '2008-01-01')"));
            std::unique_ptr<Dialog> d(Application().CreateForm<Dialog>());
            text = d->qryData->ActiveSQL();
            read = d->qryDataDTINI->AsDateTime().date();
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
        m_fixture.dataModule.Open(m_fixture.server.databaseUrl());
        {
            QSqlDatabase admin = DatabaseConnection::open(DatabaseUrl::parse(adminUrl), QStringLiteral("tst-pg-admin"));
            QSqlQuery(admin).exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
        }
        DatabaseConnection::close(QStringLiteral("tst-pg-admin"));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(text, QStringLiteral("SELECT TO_DATE('01/01/2008')  AS DTINI\nFROM PARAMGERAL"));
        QCOMPARE(read, QDate(2008, 1, 1));
    }
};

QTEST_MAIN(TstFilterDialog)
#include "tst_filterdialog.moc"
