#include <QtTest>

#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "billing/BillingItemLayout.h"
#include "outside/forms/ExportDialog.h"
#include "tests/support/ExportFiles.h"
#include "Cli_fas09600/FindBar.h"
#include "Cli_fas09600/GenerationResult.h"
#include "tests/module/ModuleFixture.h"
#include "Cli_fas09600/PreviewActions.h"
#include "tests/module/PreviewScreenTest.h"
#include "Cli_fas09600/RunResultPanel.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "Cli_fas09600/TfrmFaturamento.h"

// The generation run's result panel: a run's entries, their months and the total
// line listed and exported, emptied by the next filter; and where the screen's
// added menu entries stand.
class TstResultPanel : public PreviewScreenTest
{
    Q_OBJECT

    QTemporaryDir m_files;

private slots:
    // The run's result, grouped per entry from a generation's answer, exported
    // from its panel; the new menu entries come after the designed ones.
    void resultListAndMenus()
    {
        QList<BillingRow> rows = PreviewScreenDriver::sampleRows();
        rows[0].noteEntry = rows[1].noteEntry = QStringLiteral("7");
        rows[2].noteEntry = QStringLiteral("8");
        rows[1].month = QDate(2024, 2, 1); // entry 7 holds February and March
        TClientDataSet answer;
        answer.SetFieldDefs(BillingItemLayout::faturamento());
        answer.SetData(BillingRows::packet(rows));
        GenerationResult made;
        made.AddAnswer(GenerationResult::Kind::Note, answer.Store());
        RunResultPanel *panel = screen()->runResultPanel;
        panel->BeginRun();
        panel->Show(made);
        panel->EndRun();
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->tblResultado->rowCount(), 3);
        QVERIFY(panel->tblResultado->item(2, 0)->font().bold()); // the total line
        QVERIFY(!panel->tblResultado->item(1, 0)->font().bold());
        const QString path = m_files.filePath(QStringLiteral("resultado.csv"));
        m_fixture.modals.arm([&](QWidget *modal) {
            auto *dialog = qobject_cast<ExportDialog *>(modal);
            if (!dialog)
                return ModalWatcher::closeModal(modal);
            dialog->rbtCsv->click();
            dialog->edtArquivo->setText(path);
            QTest::keyClick(dialog->edtArquivo, Qt::Key_Return);
        });
        panel->btnExportar->click();
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(ExportFiles::parseCsv(QString::fromUtf8(written.readAll().mid(3))),
                 (QList<QStringList>{
                     {"Tipo", "Lançamento", "Empresa", "Cliente", "Meses", "Itens", "Valor Total"},
                     {"Nota Fiscal", "7", "Empresa Um", "Alfa; \"Beta\"", "02/2024, 03/2024", "2", "1.234,00"},
                     {"Nota Fiscal", "8", "Empresa Um", "Ação Çedilha", "03/2024", "1", "100,00"},
                     {"Total", "", "", "", "02/2024, 03/2024", "3", "1.334,00"}}));
        screen()->cdsFaturamento->SetData(BillingRows::packet(rows)); // a new filter empties it
        QVERIFY(!panel->isVisible());
        QCOMPARE(panel->tblResultado->rowCount(), 0);

        const QList<QAction *> operacao = screen()->mnuOperacao->actions();
        QCOMPARE(operacao.mid(0, 4), (QList<QAction *>{screen()->mnuListagem, screen()->mnuConfigImpressora,
                                                       operacao.at(2), screen()->mnuSair}));
        QCOMPARE(operacao.mid(5),
                 (QList<QAction *>{screen()->previewActions->mnuExportar, screen()->previewActions->mnuRestaurarLayout,
                                   operacao.at(7), screen()->previewActions->mnuHistorico}));
        QVERIFY(operacao.at(7)->isSeparator());
        QCOMPARE(screen()->previewActions->mnuHistorico->text(), QStringLiteral("Histórico de gerações…"));
        QCOMPARE(screen()->previewActions->mnuExportar->text(), QStringLiteral("Exportar…"));
        QCOMPARE(screen()->mnuManutencao->actions().size(), 11);
    }
};

QTEST_MAIN(TstResultPanel)
#include "tst_resultpanel.moc"
