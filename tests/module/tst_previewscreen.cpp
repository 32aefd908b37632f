#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTabWidget>

#include "tests/support/BillingRows.h"
#include "Cli_fas09600/Cli_fas09600.h"
#include "outside/services/HostConfig.h"
#include "tests/module/ModuleFixture.h"
#include "Pkg_fas09600/Pkg_fas09600.h"
#include "outside/net/RemoteCallError.h"
#include "outside/services/Showavi.h"
#include "outside/forms/TApplication.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBControls.h"
#include "platform/ui/TDBGrid.h"
#include "outside/net/TNetConnection.h"
#include "Cli_fas09600/TfrmFaturamento.h"
#include "ui_frmFaturamento.h"

using Cli_fas09600::frmFaturamento;

// The preview screen through the module's real entries, against a real server.
class TstPreviewScreen : public QObject
{
    Q_OBJECT

    ModuleFixture m_fixture;

    static TfrmFaturamento *screen() { return frmFaturamento; }

    void launch()
    {
        m_fixture.modals.arm(); // the filter dialog opens modally: close it
        IniProc();
        QVERIFY(Cli_fas09600::boIdCriado);
        QVERIFY(screen());
    }

    void closeScreen()
    {
        if (!Cli_fas09600::boIdCriado)
            return;
        QPointer<TfrmFaturamento> closing = screen();
        closing->sbtFechar->click();
        QTRY_VERIFY(closing.isNull());
    }

    void load(const QList<BillingRow> &rows) { screen()->cdsFaturamento->SetData(BillingRows::packet(rows)); }

    static QList<BillingRow> rowsWithStatuses(const QStringList &statuses)
    {
        QList<BillingRow> rows;
        for (const QString &status : statuses) {
            BillingRow row;
            row.status = status;
            row.client = QStringLiteral("Cliente %1").arg(rows.size());
            rows << row;
        }
        return rows;
    }

    void pressOnGrid(int key, Qt::KeyboardModifiers modifiers)
    {
        QApplication::setActiveWindow(&m_fixture.mainForm);
        screen()->dbgPadrao->setFocus();
        QTest::keyClick(screen()->dbgPadrao, Qt::Key(key), modifiers);
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(m_fixture.start(&why), qPrintable(why));
        Initialize();
    }

    void cleanup()
    {
        m_fixture.modals.disarm();
        m_fixture.clearMessages();
    }

    void cleanupTestCase()
    {
        closeScreen();
        Finalize();
    }

    void secondLaunchReusesTheScreen()
    {
        launch();
        TfrmFaturamento *first = screen();
        const int dialogs = m_fixture.modals.seen();
        launch();
        QCOMPARE(screen(), first);
        QCOMPARE(m_fixture.mdiArea->subWindowList().size(), 1);
        QCOMPARE(m_fixture.modals.seen(), dialogs + 1);
        QVERIFY(screen()->netFaturamento->Connected());
    }

    void launchRestoresNormalSizeGridPageAndFocus()
    {
        launch();
        screen()->SubWindow()->showMaximized();
        screen()->SetActivePage(screen()->tshFormulario);
        launch();
        QVERIFY(!screen()->SubWindow()->isMaximized());
        QVERIFY(!screen()->SubWindow()->isMinimized());
        QCOMPARE(screen()->pgcPadrao->currentWidget(), screen()->tshFolhaDados);
        QTRY_COMPARE(screen()->window()->focusWidget(), static_cast<QWidget *>(screen()->dbgPadrao));

        screen()->SubWindow()->showMinimized();
        launch();
        QVERIFY(!screen()->SubWindow()->isMinimized());
    }

    void closeAndRelaunchConnectsAgainAndReadsTheAddress()
    {
        launch();
        closeScreen();
        QVERIFY(!Cli_fas09600::boIdCriado);
        QVERIFY(m_fixture.mdiArea->subWindowList().isEmpty());

        AppServerProcess second;
        second.setDatabaseUrl(m_fixture.server.databaseUrl());
        QVERIFY2(second.start(), qPrintable(second.errorText()));
        HostConfig::setWebPort(second.port());
        launch();
        QCOMPARE(screen()->netFaturamento->Port(), second.port());
        QVERIFY(screen()->netFaturamento->Connected());
        closeScreen();
        HostConfig::setWebPort(m_fixture.server.port());
    }

    void serverDownAtCreationLeavesNoScreen()
    {
        closeScreen();
        const int unusedPort = AppServerProcess::unusedPort();
        HostConfig::setWebPort(unusedPort);
        m_fixture.modals.arm();
        const int dialogs = m_fixture.modals.seen();
        try {
            IniProc();
            QFAIL("the screen was created without a server");
        } catch (const RemoteCallError &error) {
            QVERIFY(error.message().contains(QStringLiteral("127.0.0.1:%1").arg(unusedPort)));
        }
        QVERIFY(!Cli_fas09600::boIdCriado);
        QVERIFY(!Showavi::IsActive());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_fixture.mdiArea->subWindowList().isEmpty());
        const QWidgetList windows = QApplication::allWidgets();
        QVERIFY(std::none_of(windows.cbegin(), windows.cend(),
                             [](QWidget *w) { return qobject_cast<TfrmFaturamento *>(w) != nullptr; }));
        QCOMPARE(m_fixture.modals.seen(), dialogs); // no filter dialog after a failed creation
        QCOMPARE(Screen::Cursor(), Screen::crDefault);

        HostConfig::setWebPort(m_fixture.server.port());
        launch();
        QVERIFY(screen()->netFaturamento->Connected());
    }

    void enablingRules_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("verify");
        QTest::newRow("closed") << "closed" << false;
        QTest::newRow("rows loaded") << "rows" << true;
        QTest::newRow("empty result") << "empty" << true;
        QTest::newRow("editing a row") << "edit" << false;
        QTest::newRow("row posted") << "post" << true;
    }

    void enablingRules()
    {
        QFETCH(QString, step);
        QFETCH(bool, verify);
        launch();
        TfrmFaturamento *s = screen();
        s->cdsFaturamento->Close();
        if (step != QLatin1String("closed"))
            load(step == QLatin1String("empty") ? QList<BillingRow>{} : rowsWithStatuses({"P", "R"}));
        if (step == QLatin1String("edit") || step == QLatin1String("post")) {
            s->cdsFaturamento->Edit();
            s->cdsFaturamento->FieldByName(QStringLiteral("IDCHECK"))->SetAsString(QStringLiteral("S"));
        }
        if (step == QLatin1String("post"))
            s->cdsFaturamento->Post();

        QCOMPARE(s->sbtVerificar->isEnabled(), verify);
        QCOMPARE(s->sbtGerarNF->isEnabled(), verify);
        QCOMPARE(s->mnuGerarNF->isEnabled(), verify);
        for (QWidget *button : {s->sbtIncluir, s->sbtAlterar, s->sbtExcluir, s->sbtConfirmar, s->sbtCancelar})
            QVERIFY2(!button->isEnabled(), qPrintable(button->objectName()));
        for (QAction *entry : {s->mnuIncluir, s->mnuAlterar, s->mnuExcluir, s->mnuConfirmar, s->mnuCancelar})
            QVERIFY2(!entry->isEnabled(), qPrintable(entry->objectName()));
        for (QAction *entry : {s->mnuListagem, s->mnuConfigImpressora, s->mnuProcurar, s->mnuVerificar})
            QVERIFY2(!entry->isEnabled(), qPrintable(entry->objectName()));
        QVERIFY(!s->sbtImprimir->isEnabled());
        QVERIFY(s->sbtFiltrar->isEnabled());
        QVERIFY(s->mnuFiltrar->isEnabled());
        if (s->cdsFaturamento->State() == TDataSetState::Edit)
            s->cdsFaturamento->Cancel();
    }

    void situationFollowsTheCurrentRow()
    {
        launch();
        load(rowsWithStatuses({"P", "N", "R", "C", "X", ""}));
        const QStringList expected = {"Pendente", "Não realizada pelo sistema", "Realizada", "Cancelada", "", ""};
        QCOMPARE(screen()->edtSituacao->text(), expected[0]); // the first row after opening
        for (int row = expected.size() - 1; row >= 0; --row) {
            screen()->cdsFaturamento->SetRecNo(row + 1);
            QCOMPARE(screen()->edtSituacao->text(), expected[row]);
        }
        // Moving through the grid moves the dataset and so the situation box.
        screen()->dbgPadrao->setCurrentIndex(screen()->dbgPadrao->model()->index(3, 2));
        QCOMPARE(screen()->cdsFaturamento->RecNo(), 4);
        QCOMPARE(screen()->edtSituacao->text(), QStringLiteral("Cancelada"));
        QCOMPARE(screen()->Design()->lblNaoRelPelSist->text(), QStringLiteral("Não realizado pelo sistema"));
        QCOMPARE(screen()->Design()->lblCancelado->text(), QStringLiteral("Cancelado"));

        // The legend counts the rows and sums their totals beside the ticked ones.
        QCOMPARE(screen()->lblLinhas->text(), QStringLiteral("Linhas: 6   Total: 600,00"));
        QVERIFY(screen()->lblLinhas->geometry().right()
                < screen()->lblTotalMarcado->geometry().right()
                      - screen()->lblTotalMarcado->fontMetrics().horizontalAdvance(screen()->lblTotalMarcado->text()));
        QVERIFY(!screen()->dbgPadrao->ShowsEmptyText());

        // An empty result empties the detail controls but keeps the situation text.
        load({});
        QCOMPARE(screen()->edtSituacao->text(), QStringLiteral("Cancelada"));
        QCOMPARE(screen()->lblLinhas->text(), QStringLiteral("Linhas: 0   Total: 0,00"));
        // ... and says so inside the grid, painted in it, not in a dialog.
        QVERIFY(screen()->dbgPadrao->ShowsEmptyText());
        QCOMPARE(screen()->dbgPadrao->EmptyText(), QStringLiteral("Nenhuma apuração para este filtro."));
        const QImage withText = screen()->dbgPadrao->viewport()->grab().toImage();
        screen()->dbgPadrao->SetEmptyText(QString());
        const QImage blank = screen()->dbgPadrao->viewport()->grab().toImage();
        screen()->dbgPadrao->SetEmptyText(QStringLiteral("Nenhuma apuração para este filtro."));
        QVERIFY(withText != blank);
        QVERIFY(m_fixture.messages.isEmpty());
        QCOMPARE(screen()->Design()->dbeNmCliente->text(), QString());
        QCOMPARE(screen()->dbtNome->text(), QString());
    }

    void serviceTypeTexts_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << "1"
                           << "Mão de obra";
        QTest::newRow("2") << "2"
                           << "Service Desk";
        QTest::newRow("3") << "3"
                           << "Customização";
        QTest::newRow("4") << "4"
                           << "";
        QTest::newRow("5") << "5"
                           << "Licença de uso";
        QTest::newRow("6") << "6"
                           << "Manutenção";
        QTest::newRow("7") << "7"
                           << "Locação";
        QTest::newRow("empty") << ""
                               << "";
    }

    void serviceTypeTexts()
    {
        QFETCH(QString, code);
        QFETCH(QString, text);
        launch();
        BillingRow row;
        row.serviceType = code;
        load({row});
        const QModelIndex cell = screen()->dbgPadrao->model()->index(0, 3);
        QCOMPARE(cell.data().toString(), text);
        QCOMPARE(screen()->Design()->dbeNmTipoServ->text(), text);
        for (TClientDataSet *batch : {screen()->cdsNota, screen()->cdsInv}) {
            batch->CreateDataSet();
            batch->Insert();
            batch->FieldByName(QStringLiteral("IDAPURFATFAS"))->SetAsString(code);
            QCOMPARE(batch->FieldByName(QStringLiteral("IDAPURFATFAS"))->DisplayText(), text);
            QCOMPARE(batch->FieldByName(QStringLiteral("IDAPURFATFAS"))->Text(), text);
            batch->Close();
        }
    }

    void generateShortcutOnlyWhileVerifyIsEnabled()
    {
        launch();
        screen()->cdsFaturamento->Close();
        pressOnGrid(Qt::Key_N, Qt::ControlModifier);
        QVERIFY(m_fixture.messages.isEmpty());

        load(rowsWithStatuses({"P"})); // nothing ticked
        QVERIFY(screen()->mnuGerarNF->isEnabled());
        pressOnGrid(Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(m_fixture.messages, QStringList{QStringLiteral(
                                         "Apuração deve ser informada para gerar Nota(s) Fiscal(is) / Invoice(s).")});
    }

    void filterShortcutAlwaysAvailable_data()
    {
        QTest::addColumn<bool>("loaded");
        QTest::newRow("closed dataset") << false;
        QTest::newRow("rows loaded") << true;
    }

    void filterShortcutAlwaysAvailable()
    {
        QFETCH(bool, loaded);
        launch();
        screen()->cdsFaturamento->Close();
        if (loaded)
            load(rowsWithStatuses({"R"}));
        screen()->SetActivePage(screen()->tshFormulario);
        const int dialogs = m_fixture.modals.seen();
        m_fixture.modals.arm();
        pressOnGrid(Qt::Key_L, Qt::ControlModifier);
        QTRY_COMPARE(m_fixture.modals.seen(), dialogs + 1);
        QCOMPARE(screen()->pgcPadrao->currentWidget(), screen()->tshFolhaDados);
        QTRY_COMPARE(screen()->window()->focusWidget(), static_cast<QWidget *>(screen()->dbgPadrao));
    }
};

QTEST_MAIN(TstPreviewScreen)
#include "tst_previewscreen.moc"
