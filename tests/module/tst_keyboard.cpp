#include <QtTest>

#include <algorithm>

#include <QCheckBox>
#include <QClipboard>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>

#include "tests/support/CallWatch.h"
#include "Cli_fas09601/Cli_fas09601.h"
#include "Cli_fas09600/FindBar.h"
#include "tests/module/ModuleFixture.h"
#include "Cli_fas09600/PreviewActions.h"
#include "tests/module/PreviewScreenTest.h"
#include "outside/services/Showavi.h"
#include "outside/controls/TBtnPesquisa.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "outside/controls/TDateEditPlus.h"
#include "Cli_fas09600/TfrmFaturamento.h"
#include "Cli_fas09601/TfrmFiltroFaturamento.h"

// The preview screen's commands from the keyboard, and the filter dialog's keys:
// mnemonics, Tab group by group, Enter confirms, Escape cancels.
class TstKeyboard : public PreviewScreenTest
{
    Q_OBJECT

private slots:
    // Every command of the screen from the keyboard.
    void keyboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("reached");
        QTest::newRow("Ctrl+L: filter") << int(Qt::Key_L) << int(Qt::ControlModifier) << "TfrmFiltroFaturamento";
        QTest::newRow("Ctrl+E: export") << int(Qt::Key_E) << int(Qt::ControlModifier) << "ExportDialog";
        QTest::newRow("Ctrl+F: find") << int(Qt::Key_F) << int(Qt::ControlModifier) << "find bar";
        QTest::newRow("F5: verify") << int(Qt::Key_F5) << 0 << "preview loaded";
        QTest::newRow("verify button (no key)") << 0 << 0 << "preview loaded";
        QTest::newRow("Menu: context menu") << int(Qt::Key_Menu) << 0 << "context menu";
        QTest::newRow("Shift+F10: context menu") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << "context menu";
        QTest::newRow("Ctrl+C: copy") << int(Qt::Key_C) << int(Qt::ControlModifier) << "clipboard";
    }

    void keyboard()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, reached);
        loadSample();
        grid()->setCurrentIndex(grid()->model()->index(1, 2));
        QString modalClass;
        m_fixture.modals.arm([&](QWidget *modal) {
            modalClass = QString::fromLatin1(modal->metaObject()->className());
            ModalWatcher::closeModal(modal);
        });
        QSignalSpy loads(screen()->cdsFaturamento, &TClientDataSet::AfterOpen);
        QVERIFY(loads.isValid());
        QSignalSpy verifies(screen()->sbtVerificar, &QAbstractButton::clicked);
        QGuiApplication::clipboard()->clear();
        const int requestsBefore = CallWatch::busyAnimations(); // one busy animation per server call
        if (key == 0)
            screen()->sbtVerificar->click();
        else
            pressOnGrid(key, Qt::KeyboardModifiers(modifiers));
        const int requests = CallWatch::busyAnimations() - requestsBefore;
        if (reached == QLatin1String("find bar"))
            QVERIFY(screen()->findBar->isVisible());
        else if (reached == QLatin1String("preview loaded"))
            QCOMPARE(QList<int>({int(verifies.count()), int(loads.count()), requests}), QList<int>({1, 1, 1}));
        else if (reached == QLatin1String("context menu"))
            QVERIFY(screen()->previewActions->ppmGrade->isVisible());
        else if (reached == QLatin1String("clipboard"))
            // A client's name that reads as a formula reaches a spreadsheet as text.
            QCOMPARE(QGuiApplication::clipboard()->text(),
                     QStringList(PreviewScreenDriver::shownTitles()).join(QLatin1Char('\t')) + QLatin1Char('\n')
                         + PreviewScreenDriver::shownRows()
                               .at(1)
                               .join(QLatin1Char('\t'))
                               .replace(QStringLiteral("\t=SOMA(1)\t"), QStringLiteral("\t'=SOMA(1)\t"))
                         + QLatin1Char('\n'));
        else
            QCOMPARE(modalClass, reached);
        screen()->previewActions->ppmGrade->hide();
        QCOMPARE(m_fixture.errors, QStringList());
    }

    // The filter dialog: mnemonics, Tab group by group, Enter confirms, Escape cancels.
    void filterDialogKeys_data()
    {
        QTest::addColumn<QList<int>>("keys"); // key | modifiers, pressed in the dialog
        QTest::addColumn<QString>("expected");
        QTest::newRow("Alt+R ticks Realizadas") << QList<int>{Qt::ALT | Qt::Key_R} << "realizadas";
        QTest::newRow("Alt+L picks the company list") << QList<int>{Qt::ALT | Qt::Key_L} << "lista";
        QTest::newRow("Alt+A goes to the end date") << QList<int>{Qt::ALT | Qt::Key_A} << "end date";
        QTest::newRow("Tab runs group by group") << QList<int>{} << "tab order";
        QTest::newRow("Enter confirms") << QList<int>{Qt::Key_Return} << "confirmed";
        QTest::newRow("Escape cancels") << QList<int>{Qt::ALT | Qt::Key_R, Qt::Key_Escape} << "cancelled";
    }

    void filterDialogKeys()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, expected);
        QString outcome;
        QSignalSpy loads(screen()->cdsFaturamento, &TClientDataSet::AfterOpen);
        m_fixture.modals.arm([&](QWidget *modal) {
            auto *d = qobject_cast<TfrmFiltroFaturamento *>(modal);
            if (!d)
                return ModalWatcher::closeModal(modal);
            QApplication::setActiveWindow(d);
            d->rbtTEmpresa->setFocus();
            const QList<QAbstractButton *> buttons = d->findChildren<QAbstractButton *>();
            for (int key : keys) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key & ~Qt::KeyboardModifierMask),
                                Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
                // A mnemonic clicks its button once it has shown the press.
                QTRY_VERIFY(std::none_of(buttons.cbegin(), buttons.cend(),
                                         [](const QAbstractButton *button) { return button->isDown(); }));
            }
            if (expected == QLatin1String("tab order")) {
                QList<QWidget *> reached{QApplication::focusWidget()};
                for (int i = 0; i < 20; ++i) {
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                    reached << QApplication::focusWidget();
                }
                const QList<QWidget *> order = {d->rbtTEmpresa,   d->rbtTCliente,   d->depDtIniApu,     d->depDtFinApu,
                                                d->chbLicencaUso, d->chbManutencao, d->chbCustomizacao, d->chbMaoObra,
                                                d->chbTSituacao,  d->chbPSituacao,  d->chbRSituacao,    d->chbCSituacao,
                                                d->chbNSituacao,  d->sbtConfirma,   d->sbtCancela,      d->btfSaveOpc,
                                                d->btfLoadOpc};
                outcome = reached.mid(0, order.size()) == order ? expected : QStringLiteral("tab order broken");
            } else if (expected == QLatin1String("realizadas")) {
                outcome = d->chbRSituacao->isChecked() && d->chbEmitidas->isEnabled() ? expected : QString();
            } else if (expected == QLatin1String("lista")) {
                outcome = d->rbtLEmpresa->isChecked() && d->btpEmpresa->isEnabled() ? expected : QString();
            } else if (expected == QLatin1String("end date")) {
                outcome = QApplication::focusWidget() == d->depDtFinApu ? expected : QString();
            }
            if (d->isVisible())
                ModalWatcher::closeModal(d);
        });
        pressOnGrid(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(m_fixture.errors, QStringList());
        QVERIFY(!Cli_fas09601::frmFiltroFaturamento->isVisible());
        if (expected == QLatin1String("confirmed")) {
            QCOMPARE(loads.count(), 1); // the default filter's rows from the server
        } else if (expected == QLatin1String("cancelled")) {
            QCOMPARE(loads.count(), 0);
            m_fixture.modals.arm([&](QWidget *modal) {
                auto *d = qobject_cast<TfrmFiltroFaturamento *>(modal);
                outcome = d && !d->chbRSituacao->isChecked() ? expected : QString();
                ModalWatcher::closeModal(modal);
            });
            pressOnGrid(Qt::Key_L, Qt::ControlModifier);
            QCOMPARE(outcome, expected);
        } else {
            QCOMPARE(outcome, expected);
        }
    }
};

QTEST_MAIN(TstKeyboard)
#include "tst_keyboard.moc"
