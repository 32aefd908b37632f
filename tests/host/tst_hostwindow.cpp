// fas-host's main window as a clerk meets it: Qt's own texts in Portuguese, the
// server's address that stays in the status bar, a window that fits the screen
// it starts on, and the guide behind the screens' help button. The program runs
// once per screen (see CMakeLists.txt): the expectations follow from the screen.
#include <QtTest>

#include <QDialogButtonBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QPushButton>
#include <QStatusBar>
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
