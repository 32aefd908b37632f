// fas-host's main window as a clerk meets it: Qt's own texts in Portuguese, the
// server's address that stays in the status bar, a window that fits the screen
// it starts on, the guide behind the screens' help button, and the history of
// generations with its reversals, reached from the preview. The program runs
// once per screen (see CMakeLists.txt): the expectations follow from the screen.
#include <QtTest>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>

#include "tests/support/AppServerProcess.h"
#include "platform/ui/ErrorReport.h"
#include "host/GuideWindow.h"
#include "outside/services/HostConfig.h"
#include "host/HostTranslations.h"
#include "host/HostWindow.h"
#include "tests/support/ModalWatcher.h"
#include "host/ModuleLoader.h"
#include "outside/forms/TApplication.h"
#include "outside/controls/TButtonFlat.h"
#include "outside/data/TdtmDBGeral.h"
#include "outside/forms/TfrmPadrao.h"
#include "outside/net/RemoteArgument.h"
#include "outside/net/RemoteCallError.h"
#include "outside/net/TNetConnection.h"
#include "outside/services/MessageDialog.h"
#include "platform/data/TClientDataSet.h"
#include "platform/sql/DatabaseConnection.h"
#include "platform/sql/DatabaseUrl.h"
#include "platform/ui/TDBGrid.h"
#include "tests/support/TestSql.h"

using namespace Qt::StringLiterals;

class TestHostWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settings;
    AppServerProcess m_server;
    TdtmDBGeral m_dataModule;
    ModuleLoader m_module{ModuleLoader::defaultPath(QStringLiteral(FAS_BIN_DIR))};
    std::unique_ptr<HostWindow> m_window;
    ModalWatcher m_modals;
    QStringList m_errors;

    static QAction *actionNamed(const QWidget *holder, const QString &text)
    {
        const QList<QAction *> actions = holder->actions();
        const auto found = std::find_if(actions.begin(), actions.end(), [&](QAction *a) { return a->text() == text; });
        return found == actions.end() ? nullptr : *found;
    }

    TfrmPadrao *openedScreen()
    {
        m_modals.arm(); // the filter dialog opens with the screen: cancelled
        m_window->openPreview();
        m_modals.disarm();
        const QList<QMdiSubWindow *> frames = m_window->mdiArea()->subWindowList();
        return frames.isEmpty() ? nullptr : qobject_cast<TfrmPadrao *>(frames.first()->widget());
    }

    // ---- the history of generations ------------------------------------

    QStringList m_informed; // information messages, in order
    bool m_usersAdded = false;

    template<typename T>
    static T *named(const QObject *holder, const char *name)
    {
        return holder ? holder->findChild<T *>(QString::fromLatin1(name)) : nullptr;
    }

    static QString cell(const TClientDataSet *rows, const char *field)
    {
        return rows->FieldByName(QString::fromLatin1(field))->AsString();
    }

    // Moves to the first row that matches; its index, -1 when none does.
    static int moveToRow(TClientDataSet *rows, const std::function<bool()> &matches)
    {
        for (int row = 0; rows && row < rows->RecordCount(); ++row) {
            rows->SetRecNo(row + 1);
            if (matches())
                return row;
        }
        return -1;
    }

    static QString itemKey(const TClientDataSet *rows)
    {
        QStringList key;
        for (const char *field : {"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "DTMESAPURFAS", "IDAPURFATFAS"})
            key << cell(rows, field);
        return key.join(u'|');
    }

    // The preview with every calculation of the default period: the filter
    // dialog that opens with it asks for every service type and situation.
    TfrmPadrao *loadedPreview()
    {
        m_modals.arm([](QWidget *modal) {
            for (const char *name :
                 {"chbLicencaUso", "chbManutencao", "chbCustomizacao", "chbMaoObra", "chbServDesk", "chbTSituacao"}) {
                if (auto *box = named<QCheckBox>(modal, name); box && !box->isChecked())
                    box->click();
            }
            if (auto *confirm = named<QAbstractButton>(modal, "sbtConfirma"))
                confirm->click();
            if (modal->isVisible())
                ModalWatcher::closeModal(modal);
        });
        m_window->openPreview();
        m_modals.disarm();
        const QList<QMdiSubWindow *> frames = m_window->mdiArea()->subWindowList();
        for (QMdiSubWindow *frame : frames) {
            if (auto *screen = qobject_cast<TfrmPadrao *>(frame->widget()))
                return screen;
        }
        return nullptr;
    }

    // A real click on a grid's cell.
    static void clickCell(TDBGrid *grid, int row, int column)
    {
        const QModelIndex index = grid->model()->index(row, column);
        grid->scrollTo(index);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
    }

    // Ticks the first pending row without an entry and generates; the item's key.
    QString generateOne(TfrmPadrao *preview)
    {
        auto *rows = named<TClientDataSet>(preview, "cdsFaturamento");
        const int pending = moveToRow(rows, [rows] {
            return cell(rows, "IDSTAPFATFAS") == u"P" && cell(rows, "NRLANCTONF").isEmpty()
                   && cell(rows, "NRLANCINVOICE").isEmpty() && !cell(rows, "IDAPURFATFAS").isEmpty();
        });
        if (pending < 0)
            return {};
        clickCell(preview->dbgPadrao, pending, 0);
        if (cell(rows, "IDCHECK") != u"S")
            return {};
        const QString key = itemKey(rows);
        QTest::mouseClick(named<QAbstractButton>(preview, "sbtGerarNF"), Qt::LeftButton);
        return key;
    }

    // The preview's "Operação › Histórico de gerações…", clicked as a user does.
    QWidget *historyFromMenu(TfrmPadrao *preview)
    {
        QMenuBar *bar = preview->mnuMenu;
        QAction *title = preview->mnuOperacao->menuAction();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(title).center());
        if (!QTest::qWaitForWindowExposed(preview->mnuOperacao))
            return nullptr;
        QAction *entry = named<QAction>(preview, "mnuHistorico");
        if (!entry || preview->mnuOperacao->actions().constLast() != entry)
            return nullptr;
        QTest::mouseClick(preview->mnuOperacao, Qt::LeftButton, {},
                          preview->mnuOperacao->actionGeometry(entry).center());
        return historyScreens().value(0);
    }

    QList<QWidget *> historyScreens() const
    {
        QList<QWidget *> screens;
        const QList<QMdiSubWindow *> frames = m_window->mdiArea()->subWindowList();
        for (QMdiSubWindow *frame : frames) {
            if (frame->widget() && frame->widget()->objectName() == u"frmHistorico")
                screens << frame->widget();
        }
        return screens;
    }

    // Answers the reversal dialog: types `reason`, notes what the dialog made of
    // it, and presses "Estornar" when it may (else "Cancelar").
    struct ReasonAnswer
    {
        bool asked = false;
        bool mayConfirm = false;
        int kept = -1;
    };
    void answerReason(const QString &reason, ReasonAnswer &answer)
    {
        m_modals.arm([reason, &answer](QWidget *modal) {
            auto *edit = named<QLineEdit>(modal, "edtMotivo");
            auto *confirm = named<QAbstractButton>(modal, "btnEstornar");
            if (!edit || !confirm) {
                ModalWatcher::closeModal(modal);
                return;
            }
            answer.asked = true;
            QTest::keyClicks(edit, reason);
            answer.mayConfirm = confirm->isEnabled();
            answer.kept = int(edit->text().size());
            QTest::mouseClick(answer.mayConfirm ? confirm : named<QAbstractButton>(modal, "btnCancelar"),
                              Qt::LeftButton);
        });
    }

    // Users in the database: every call then needs its user's token.
    QString addUser(const QString &name, const QString &right)
    {
        QProcess admin;
        admin.start(AppServerProcess::binary(QStringLiteral("fas-admin")),
                    {QStringLiteral("--database"), m_server.databaseUrl(), QStringLiteral("user"),
                     QStringLiteral("add"), name, QStringLiteral("--right"), right});
        if (!admin.waitForFinished(60000) || admin.exitCode() != 0)
            return {};
        return QString::fromUtf8(admin.readAllStandardOutput()).trimmed().split(u'\n').constLast();
    }

    bool dropUsers() { return TestSql::exec(database(), QStringLiteral("DELETE FROM USUARIOFAT")); }

    QSqlDatabase database()
    {
        const QString connection = QStringLiteral("tst_hostwindow");
        if (!QSqlDatabase::contains(connection))
            DatabaseConnection::open(DatabaseUrl::parse(m_server.databaseUrl()), connection);
        return QSqlDatabase::database(connection);
    }

    // The history's connection again, as `token`'s user (none: no token).
    static void reconnectAs(QWidget *history, const QString &token)
    {
        auto *net = named<TNetConnection>(history, "netHistorico");
        net->Close();
        net->SetBearerToken(token);
        net->Open();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(HostTranslations::install(*QCoreApplication::instance()));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        QVERIFY2(m_server.prepareDemoDatabase() && m_server.start(), qPrintable(m_server.errorText()));
        HostConfig::setWebUrl(m_server.host());
        HostConfig::setWebPort(m_server.port());
        m_dataModule.Open(m_server.databaseUrl());
        ErrorReport::setSink([this](const QString &text) { m_errors << text; });
        MessageDialog::setRecorder([this](MessageDialog::Kind, const QString &text) { m_informed << text; });
        m_window = std::make_unique<HostWindow>(m_module);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanupTestCase()
    {
        m_window->destroyScreens();
        Application().DestroyForms();
        m_module.unload();
        m_window.reset();
        ErrorReport::setSink({});
        MessageDialog::setRecorder({});
    }

    void cleanup()
    {
        m_modals.disarm();
        if (m_usersAdded) // also when a test stopped half-way: the next ones need no token
            QVERIFY(dropUsers());
        m_usersAdded = false;
        for (QWidget *history : historyScreens())
            history->parentWidget()->close();
        QTRY_VERIFY(historyScreens().isEmpty());
    }

    void qtTextsInPortuguese_data()
    {
        QTest::addColumn<QDialogButtonBox::StandardButton>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("yes") << QDialogButtonBox::Yes << QStringLiteral("&Sim");
        QTest::newRow("no") << QDialogButtonBox::No << QStringLiteral("&Não");
        QTest::newRow("cancel") << QDialogButtonBox::Cancel << QStringLiteral("Cancelar");
        QTest::newRow("save") << QDialogButtonBox::Save << QStringLiteral("Salvar");
    }

    void qtTextsInPortuguese()
    {
        QFETCH(QDialogButtonBox::StandardButton, button);
        QFETCH(QString, text);
        QDialogButtonBox box(button);
        QCOMPARE(box.button(button)->text(), text);
    }

    void serverAddressStaysOverStatusTips_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("entry");
        QTest::newRow("entry without a tip") << QStringLiteral("&Faturamento") << QStringLiteral("Sair");
        QTest::newRow("entry with a tip") << QStringLiteral("Aj&uda") << QStringLiteral("Guia do usuário");
    }

    void serverAddressStaysOverStatusTips()
    {
        QFETCH(QString, menu);
        QFETCH(QString, entry);
        const QString address =
            QStringLiteral("Servidor de aplicação: %1:%2").arg(m_server.host()).arg(m_server.port());
        QMenuBar *bar = m_window->menuBar();
        QAction *title = actionNamed(bar, menu);
        QVERIFY(title);
        QMenu *opened = title->menu();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(title).center());
        QVERIFY(QTest::qWaitForWindowExposed(opened));
        QAction *hovered = actionNamed(opened, entry);
        QVERIFY(hovered);
        QTest::mouseMove(opened, opened->actionGeometry(hovered).center());
        QTRY_COMPARE(opened->activeAction(), hovered);
        QCOMPARE(m_window->statusBar()->currentMessage(), hovered->statusTip());
        opened->close();
        QCOMPARE(m_window->serverLabel()->text(), address);
        QVERIFY(m_window->serverLabel()->isVisible());
    }

    void windowFitsTheScreen()
    {
        const QRect available = m_window->screen()->availableGeometry();
        QVERIFY2(available.contains(m_window->frameGeometry()),
                 qPrintable(QStringLiteral("window %1x%2 on an area of %3x%4")
                                .arg(m_window->frameGeometry().width())
                                .arg(m_window->frameGeometry().height())
                                .arg(available.width())
                                .arg(available.height())));
        // Each registration of the program says whether its screen holds the design.
        const bool designFits = qEnvironmentVariable("FAS_TEST_DESIGN_FITS") == QLatin1String("1");
        QCOMPARE(m_window->isMaximized(), !designFits);
        if (designFits)
            QCOMPARE(m_window->size(), HostWindow::designedSize());
    }

    // The screen keeps its designed frame; where the MDI area is smaller the
    // area scrolls until the close button and the legend's right end show.
    void previewKeepsItsDesignAndScrolls()
    {
        TfrmPadrao *screen = openedScreen();
        QVERIFY(screen);
        QMdiArea *area = m_window->mdiArea();
        QMdiSubWindow *frame = screen->SubWindow();
        const QSize designed = QSize(915, 491).expandedTo(screen->minimumSizeHint() + frame->size() - screen->size());
        QCOMPARE(frame->size(), designed);
        const bool fits = area->viewport()->rect().contains(frame->geometry());
        QCOMPARE(area->horizontalScrollBar()->isVisible() || area->verticalScrollBar()->isVisible(), !fits);
        area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        const QRect shown = area->viewport()->rect();
        QWidget *legend = screen->findChild<QWidget *>(QStringLiteral("panLegenda"));
        QVERIFY(legend);
        QVERIFY(shown.contains(screen->sbtFechar->mapTo(area->viewport(), screen->sbtFechar->rect().center())));
        QVERIFY(shown.contains(legend->mapTo(area->viewport(), legend->rect().bottomRight())));
        QCOMPARE(frame->size(), designed);
    }

    // A run made from the preview is the first of the history, with its entry; a
    // supervisor reverses it there, and the preview, verified, shows the item
    // pending and tickable again.
    void historyReversesAGeneration()
    {
        TfrmPadrao *preview = loadedPreview();
        QVERIFY(preview);
        m_informed.clear();
        m_errors.clear();
        const QString key = generateOne(preview);
        QVERIFY(!key.isEmpty());
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
        // A note whose NFS-e the national service rejected: the history gives the reason.
        QVERIFY(TestSql::exec(
            database(),
            QStringLiteral("INSERT INTO NFSEDPS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, NRSERIEDPS, NRDPS, IDDPS, "
                           "DSXMLDPS, IDSITDPS, DSRETORNO, DTCRIACAO) SELECT CDEMPRESA, IDTPLANCFAT, "
                           "NRLANCFAT, '1', 1, 'DPS-tst', '<DPS/>', 'R', 'E0310 Tomador não encontrado', "
                           "DTLANCFAT FROM LANCFATFAS WHERE IDTPLANCFAT = 'N' AND IDEXECFAT = (SELECT "
                           "MAX(IDEXECFAT) FROM LANCFATFAS)")));

        QWidget *history = historyFromMenu(preview);
        QVERIFY(history);
        auto *runs = named<TClientDataSet>(history, "cdsGeracoes");
        auto *entries = named<TClientDataSet>(history, "cdsLancamentos");
        QVERIFY(runs->RecordCount() > 0);
        QCOMPARE(runs->RecNo(), 1);
        QVERIFY(QStringList({"GeraNF", "GeraInvoice"}).contains(cell(runs, "NMMETODO")));
        QCOMPARE(cell(runs, "QTITENS"), QStringLiteral("1"));
        QVERIFY(runs->FieldByName(QStringLiteral("CDERRO"))->IsNull());
        QCOMPARE(entries->RecordCount(), 1);
        QCOMPARE(cell(entries, "IDSITUACAO"), QStringLiteral("A"));
        const QString entry = cell(entries, "NRLANCFAT");
        QCOMPARE(entries->FieldByName(QStringLiteral("IDSITDPS"))->DisplayText(),
                 cell(entries, "IDTPLANCFAT") == u"N" ? QStringLiteral("rejeitada: E0310 Tomador não encontrado")
                                                      : QString());

        auto *reverseRun = named<QAbstractButton>(history, "sbtEstornarGeracao");
        QVERIFY(reverseRun->isEnabled()); // no users: the right is unknown
        ReasonAnswer answer;
        answerReason(QStringLiteral("Cliente pediu outra data"), answer);
        m_informed.clear();
        QTest::mouseClick(reverseRun, Qt::LeftButton);
        m_modals.disarm();
        QVERIFY(answer.asked && answer.mayConfirm);
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
        QCOMPARE(m_informed.size(), 1);
        QVERIFY2(m_informed.first().startsWith(QStringLiteral("1 lançamento(s) estornado(s): "))
                     && m_informed.first().contains(entry),
                 qPrintable(m_informed.first()));
        QCOMPARE(cell(runs, "NMMETODO"), QStringLiteral("EstornaGeracao")); // read again, newest first
        QCOMPARE(cell(entries, "NRLANCFAT"), entry);
        QCOMPARE(cell(entries, "IDSITUACAO"), QStringLiteral("E"));
        QCOMPARE(cell(entries, "DSMOTIVOESTORNO"), QStringLiteral("Cliente pediu outra data"));
        // The preview's result panel shows the entry reversed, out of its total.
        auto *made = named<QTableWidget>(preview, "tblResultado");
        QCOMPARE(made->rowCount(), 2);
        QVERIFY2(made->item(0, 0)->text().endsWith(QStringLiteral(" (estornada)")),
                 qPrintable(made->item(0, 0)->text()));
        QCOMPARE(made->item(1, 5)->text(), QStringLiteral("0"));

        QTest::mouseClick(preview->sbtVerificar, Qt::LeftButton);
        auto *rows = named<TClientDataSet>(preview, "cdsFaturamento");
        const int found = moveToRow(rows, [rows, &key] { return itemKey(rows) == key; });
        QVERIFY(found >= 0);
        QCOMPARE(cell(rows, "IDSTAPFATFAS"), QStringLiteral("P"));
        QCOMPARE(named<QLineEdit>(preview, "edtSituacao")->text(), QStringLiteral("Pendente"));
        QVERIFY(cell(rows, "NRLANCTONF").isEmpty() && cell(rows, "NRLANCINVOICE").isEmpty());
        clickCell(preview->dbgPadrao, found, 0);
        QCOMPARE(cell(rows, "IDCHECK"), QStringLiteral("S"));
        clickCell(preview->dbgPadrao, found, 0);
        QCOMPARE(cell(rows, "IDCHECK"), QStringLiteral("N"));
    }

    // The menu opens one history screen; a second click brings it to the front.
    void historyOpensOnce_data()
    {
        QTest::addColumn<bool>("closedBetween");
        QTest::newRow("second click while open") << false;
        QTest::newRow("click after closing") << true;
    }

    void historyOpensOnce()
    {
        QFETCH(bool, closedBetween);
        TfrmPadrao *preview = loadedPreview();
        QVERIFY(preview);
        QWidget *first = historyFromMenu(preview);
        QVERIFY(first);
        QPointer<QWidget> kept(first);
        if (closedBetween) {
            first->parentWidget()->close();
            QTRY_VERIFY(kept.isNull());
        }
        m_window->mdiArea()->setActiveSubWindow(preview->SubWindow());
        QWidget *second = historyFromMenu(preview);
        QVERIFY(second);
        QCOMPARE(historyScreens().size(), 1);
        if (!closedBetween)
            QCOMPARE(second, first);
        QCOMPARE(m_window->mdiArea()->activeSubWindow()->widget(), second);
    }

    // The reason dialog and what refuses a reversal: the dialog keeps "Estornar"
    // off while the reason is blank and takes no more than 200 characters; the
    // server's refusal is shown as it says it and changes nothing; a user who is
    // not a supervisor finds the commands off.
    void reversalReasonAndRefusals_data()
    {
        // "before": "reversed": the run's entry once already; "reversal": that, and the reversal's row
        // chosen; "refused": a refused reversal's row chosen; "meanwhile": the run reversed by another
        // clerk since the history was read; "faturamento": as such a user
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("mayConfirm");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QString>("outcome"); // "cancelled", "reversed", "refused", "not offered"
        QTest::newRow("empty reason") << ""
                                      << "" << false << 0 << "cancelled";
        QTest::newRow("blank reason") << ""
                                      << "   " << false << 3 << "cancelled";
        QTest::newRow("201 characters") << "" << QString(201, u'm') << true << 200 << "reversed";
        QTest::newRow("already reversed") << "reversed"
                                          << "de novo" << false << -1 << "not offered";
        QTest::newRow("reversal's row") << "reversal"
                                        << "" << false << -1 << "not offered";
        QTest::newRow("refused run's row") << "refused"
                                           << "" << false << -1 << "not offered";
        QTest::newRow("reversed meanwhile") << "meanwhile"
                                            << "de novo" << true << 7 << "refused";
        QTest::newRow("faturamento user") << "faturamento"
                                          << "" << false << -1 << "not offered";
    }

    void reversalReasonAndRefusals()
    {
        QFETCH(QString, before);
        QFETCH(QString, reason);
        QFETCH(bool, mayConfirm);
        QFETCH(int, kept);
        QFETCH(QString, outcome);
        TfrmPadrao *preview = loadedPreview();
        QVERIFY(preview);
        QVERIFY(!generateOne(preview).isEmpty());
        QWidget *history = historyFromMenu(preview);
        QVERIFY(history);
        auto *runs = named<TClientDataSet>(history, "cdsGeracoes");
        auto *entries = named<TClientDataSet>(history, "cdsLancamentos");
        const QString run = cell(runs, "IDGERACAO");
        auto *reverseRun = named<QAbstractButton>(history, "sbtEstornarGeracao");
        ReasonAnswer answer;
        auto *net = named<TNetConnection>(history, "netHistorico");
        const auto reverseElsewhere = [net, &run] {
            net->Call(QStringLiteral("EstornaGeracao"),
                      {RemoteArgument::text(run), RemoteArgument::text(u"outro caixa"_s)});
        };
        if (before == u"reversed" || before == u"reversal") {
            answerReason(QStringLiteral("primeira vez"), answer);
            QTest::mouseClick(named<QAbstractButton>(history, "sbtEstornarLancamento"), Qt::LeftButton);
            if (before == u"reversed")
                QVERIFY(moveToRow(runs, [runs, &run] { return cell(runs, "IDGERACAO") == run; })
                        > 0); // below its reversal
            else
                QCOMPARE(cell(runs, "NMMETODO"), QStringLiteral("EstornaLancamento"));
        } else if (before == u"meanwhile") {
            reverseElsewhere();
        } else if (before == u"refused") {
            reverseElsewhere();
            QVERIFY_THROWS_EXCEPTION(RemoteCallError, reverseElsewhere());
            QTest::mouseClick(named<QAbstractButton>(history, "sbtPesquisar"), Qt::LeftButton);
            QCOMPARE(cell(runs, "NMMETODO"), QStringLiteral("EstornaGeracao"));
            // The outcome in words: no code.
            QCOMPARE(runs->FieldByName(QStringLiteral("CDERRO"))->DisplayText(),
                     QStringLiteral("Recusada: já estornada"));
        } else if (before == u"faturamento") {
            const QString token = addUser(QStringLiteral("ana"), QStringLiteral("faturamento"));
            m_usersAdded = true;
            QVERIFY(!token.isEmpty());
            reconnectAs(history, token);
        }
        const QString entriesBefore = QString::fromUtf8(entries->GetData());
        const int runsBefore = runs->RecordCount();
        m_informed.clear();
        m_errors.clear();
        answer = {};
        answerReason(reason, answer);
        const int modals = m_modals.seen();
        QTest::mouseClick(reverseRun, Qt::LeftButton);
        m_modals.disarm();
        if (outcome == u"not offered") {
            QVERIFY(!reverseRun->isEnabled());
            QVERIFY(!named<QAbstractButton>(history, "sbtEstornarLancamento")->isEnabled());
            QVERIFY(!named<QAction>(history, "mnuEstornarGeracao")->isEnabled());
            QVERIFY(!named<QAction>(history, "mnuEstornarLancamento")->isEnabled());
        }
        if (before == u"faturamento") {
            QVERIFY(dropUsers());
            m_usersAdded = false;
            reconnectAs(history, QString());
            QVERIFY(reverseRun->isEnabled()); // the right is unknown again
        }
        QCOMPARE(m_modals.seen() - modals, outcome == u"not offered" ? 0 : 1);
        QCOMPARE(answer.mayConfirm, mayConfirm);
        QCOMPARE(answer.kept, kept);
        if (outcome == u"reversed") {
            QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
            QCOMPARE(m_informed.size(), 1);
            QCOMPARE(cell(runs, "NMMETODO"), QStringLiteral("EstornaGeracao"));
            QCOMPARE(cell(entries, "DSMOTIVOESTORNO"), reason.left(200));
            return;
        }
        QVERIFY(m_informed.isEmpty());
        QCOMPARE(runs->RecordCount(), runsBefore);
        QCOMPARE(QString::fromUtf8(entries->GetData()), entriesBefore);
        if (outcome == u"refused") {
            QCOMPARE(m_errors.size(), 1);
            // What happened in words: no method, code or header.
            QVERIFY2(m_errors.first().startsWith(
                         QStringLiteral("Os lançamentos da geração %1 já foram estornados.").arg(run))
                         && !m_errors.first().contains(QStringLiteral("Estorna"))
                         && !m_errors.first().contains(u"-320"_s),
                     qPrintable(m_errors.first()));
        } else {
            QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
        }
    }

    // The guide is found from wherever the program lies: installed, the program
    // in bin/ or in its private folder, or in the build tree.
    void guideFoundFromTheProgram_data()
    {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QString>("guide");
        const QString installed = QStringLiteral("usr/share/fas09600/guide/guia-do-usuario.md");
        QTest::newRow("program in bin/") << "usr/bin" << installed;
        QTest::newRow("program in the multiarch private folder") << "usr/lib/x86_64-linux-gnu/fas09600" << installed;
        QTest::newRow("program in the private folder") << "usr/lib/fas09600" << installed;
        QTest::newRow("build tree") << "build/bin"
                                    << "build/share/doc/fas09600/docs/guia-do-usuario.md";
    }

    void guideFoundFromTheProgram()
    {
        QFETCH(QString, programDir);
        QFETCH(QString, guide);
        QTemporaryDir root;
        const QString expected = QDir::cleanPath(root.filePath(guide));
        QVERIFY(QDir().mkpath(root.filePath(programDir)) && QDir().mkpath(QFileInfo(expected).path()));
        QVERIFY(QFile(expected).open(QIODevice::WriteOnly));
        QCOMPARE(GuideWindow::defaultPath(root.filePath(programDir)), expected);
    }

    void helpOpensTheGuide_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::addColumn<bool>("shipped");
        QTest::newRow("screen's help button") << true << true;
        QTest::newRow("F1 in the host") << false << true;
        QTest::newRow("guide missing") << true << false;
    }

    void helpOpensTheGuide()
    {
        QFETCH(bool, byButton);
        QFETCH(bool, shipped);
        const QString shippedGuide = GuideWindow::defaultPath(QStringLiteral(FAS_BIN_DIR));
        QVERIFY2(QFileInfo(shippedGuide).isFile(), qPrintable(shippedGuide));
        const QString guide = shipped ? shippedGuide : m_settings.filePath(QStringLiteral("sem/guia-do-usuario.md"));
        m_window->setGuidePath(guide);
        if (m_window->guideWindow())
            m_window->guideWindow()->close();
        m_errors.clear();
        TfrmPadrao *screen = openedScreen();
        QVERIFY(screen);
        if (byButton) {
            QTest::mouseClick(screen->sbtAjuda, Qt::LeftButton);
        } else {
            QApplication::setActiveWindow(m_window.get());
            QTest::keyClick(m_window.get(), Qt::Key_F1);
        }
        GuideWindow *window = m_window->guideWindow();
        if (!shipped) {
            QCOMPARE(m_errors.size(), 1); // once per click
            QVERIFY(m_errors.first().contains(QDir::toNativeSeparators(guide)));
            QVERIFY(!window || !window->isVisible());
            return;
        }
        QVERIFY(m_errors.isEmpty());
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->source(), QUrl::fromLocalFile(guide));
        QVERIFY(window->toPlainText().contains(QStringLiteral("Guia do usuário")));
        // Every picture of the guide is read from the guide's folder.
        int pictures = 0;
        for (QTextBlock block = window->document()->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextImageFormat image = it.fragment().charFormat().toImageFormat();
                if (!image.isValid())
                    continue;
                ++pictures;
                const QUrl url = window->source().resolved(QUrl(image.name()));
                QVERIFY2(QFileInfo(url.toLocalFile()).isFile(), qPrintable(url.toString()));
            }
        }
        QVERIFY(pictures > 0);
    }
};

QTEST_MAIN(TestHostWindow)
#include "tst_hostwindow.moc"
