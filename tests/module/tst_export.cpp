#include <QtTest>

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QRadioButton>
#include <QLineEdit>
#include <QStatusBar>
#include <QLabel>

#include "outside/forms/ExportDialog.h"
#include "tests/support/ExportFiles.h"
#include "Cli_fas09600/FindBar.h"
#include "tests/module/ModuleFixture.h"
#include "Cli_fas09600/PreviewCells.h"
#include "outside/forms/TableExport.h"
#include "tests/module/PreviewScreenTest.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "Cli_fas09600/TfrmFaturamento.h"

// Export from the preview screen ("Exportar…", Ctrl+E): the file read back cell by
// cell in CSV and XLSX, and a cancel that keeps the file that was there.
class TstExport : public PreviewScreenTest
{
    Q_OBJECT

    QTemporaryDir m_files;

private slots:
    // The file written by "Exportar…" (Ctrl+E), read back cell by cell.
    void exportReadBack_data()
    {
        QTest::addColumn<bool>("csv");
        QTest::addColumn<bool>("onlyTicked");
        QTest::addColumn<bool>("fileThere"); // the user declines to replace it
        QTest::addColumn<bool>("suggested"); // the name offered kept, on an account without a documents folder
        QTest::addColumn<bool>("byTotal");   // the rows sorted by their total first
        QTest::newRow("CSV, all rows") << true << false << false << false << false;
        QTest::newRow("CSV, ticked rows") << true << true << false << false << false;
        QTest::newRow("XLSX, all rows") << false << false << false << false << false;
        QTest::newRow("XLSX, ticked rows") << false << true << false << false << false;
        QTest::newRow("XLSX over a file kept") << false << false << true << false << false;
        QTest::newRow("CSV, name offered, no documents folder") << true << false << false << true << false;
        QTest::newRow("CSV, ticked rows, sorted by total") << true << true << false << false << true;
        QTest::newRow("XLSX, all rows, sorted by total") << false << false << false << false << true;
    }

    void exportReadBack()
    {
        QFETCH(bool, csv);
        QFETCH(bool, onlyTicked);
        QFETCH(bool, fileThere);
        QFETCH(bool, suggested);
        QFETCH(bool, byTotal);
        loadSample();
        const auto unsorted = qScopeGuard([] { screen()->cdsFaturamento->SetIndexField(QString()); });
        if (byTotal)
            screen()->cdsFaturamento->SetIndexField(QStringLiteral("VRTOTAFATFAS"));
        QTemporaryDir freshHome;
        const QByteArray home = qgetenv("HOME");
        const auto homeBack = qScopeGuard([&] { qputenv("HOME", home); });
        if (suggested)
            qputenv("HOME", QFile::encodeName(freshHome.path()));
        const QString path = suggested ? QDir(freshHome.path()).filePath(QStringLiteral("Prévia para Faturamento"))
                                       : m_files.filePath(
                                           QStringLiteral("previa%1").arg(QTest::currentDataTag()).remove(' '));
        m_fixture.mainForm.statusBar()->clearMessage();
        if (fileThere) {
            QFile before(path + QStringLiteral(".xlsx"));
            QVERIFY(before.open(QIODevice::WriteOnly) && before.write("antes") == 5);
        }
        QStringList questions;
        m_fixture.modals.arm([&](QWidget *modal) {
            auto *dialog = qobject_cast<ExportDialog *>(modal);
            if (!dialog) {
                questions << modal->metaObject()->className();
                return ModalWatcher::closeModal(modal);
            }
            (onlyTicked ? dialog->rbtMarcadas : dialog->rbtTodas)->click();
            (csv ? dialog->rbtCsv : dialog->rbtXlsx)->click();
            QCOMPARE(dialog->lblArquivo->buddy(), static_cast<QWidget *>(dialog->edtArquivo));
            if (!suggested) {
                dialog->edtArquivo->selectAll();
                QTest::keyClicks(dialog->edtArquivo, path);
            }
            QTest::keyClick(dialog->edtArquivo, Qt::Key_Return);
            if (dialog->isVisible()) // kept open when the file is not to be replaced
                ModalWatcher::closeModal(dialog);
        });
        pressOnGrid(Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(m_fixture.errors, QStringList());
        QCOMPARE(questions, fileThere ? QStringList{QStringLiteral("QMessageBox")} : QStringList());
        if (fileThere) {
            QFile kept(path + QStringLiteral(".xlsx"));
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), QByteArray("antes"));
            QCOMPARE(m_fixture.mainForm.statusBar()->currentMessage(), QString());
            return;
        }

        QList<QStringList> expected = PreviewScreenDriver::shownRows();
        if (byTotal) // -0,50, 100,00, 1.234,50
            expected = {expected[1], expected[2], expected[0]};
        if (onlyTicked)
            expected.removeIf([](const QStringList &row) { return row[0] == QStringLiteral("Não"); });
        const QString file = path + (csv ? QStringLiteral(".csv") : QStringLiteral(".xlsx"));
        QCOMPARE(
            m_fixture.mainForm.statusBar()->currentMessage(),
            QStringLiteral("%1 linha(s) exportada(s) para %2.").arg(expected.size()).arg(QFileInfo(file).fileName()));
        if (csv) {
            QFile written(file);
            QVERIFY(written.open(QIODevice::ReadOnly));
            const QByteArray bytes = written.readAll();
            QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
            QList<QStringList> rows = ExportFiles::parseCsv(QString::fromUtf8(bytes.mid(3)));
            QCOMPARE(rows.takeFirst(), PreviewScreenDriver::shownTitles());
            for (QStringList &row : expected) // a text that reads as a formula is kept as text
                if (row[3].startsWith(QLatin1Char('=')))
                    row[3].prepend(QLatin1Char('\''));
            QCOMPARE(rows, expected);
            return;
        }
        const ExportFiles::Sheet sheet = ExportFiles::readSheet(file);
        QCOMPARE(sheet.widths, int(PreviewScreenDriver::shownTitles().size()));
        for (int column = 0; column < PreviewScreenDriver::shownTitles().size(); ++column)
            QCOMPARE(sheet.cells.value(ExportFiles::cellReference(0, column)),
                     PreviewScreenDriver::shownTitles().at(column));
        for (int row = 0; row < expected.size(); ++row) {
            for (int column = 0; column < PreviewScreenDriver::shownTitles().size(); ++column) {
                const QString cell = sheet.cells.value(ExportFiles::cellReference(row + 1, column));
                const QString &shown = expected[row][column];
                if (column == 2) { // a real number
                    QCOMPARE(cell.mid(1).toDouble(), QLocale(QLocale::Portuguese, QLocale::Brazil).toDouble(shown));
                    QVERIFY(cell.startsWith(QLatin1Char('#')));
                } else if (column == 5) { // a real date
                    QDateTime value = QDateTime::fromString(shown, QStringLiteral("dd/MM/yyyy hh:mm:ss"));
                    if (!value.isValid())
                        value = QDateTime(QDate::fromString(shown, QStringLiteral("dd/MM/yyyy")), QTime(0, 0));
                    value.setTimeSpec(Qt::UTC);
                    QVERIFY(cell.startsWith(QLatin1Char('#')));
                    QVERIFY2(qAbs(cell.mid(1).toDouble() - ExportFiles::excelSerial(value)) < 1e-6, qPrintable(cell));
                } else {
                    QCOMPARE(cell, shown);
                }
            }
        }
        QVERIFY(!QFile::exists(file + QStringLiteral(".parcial")));
    }

    // A cancel from the progress dialog leaves the file that was there as it was.
    void cancelKeepsTheFile_data()
    {
        QTest::addColumn<bool>("csv");
        QTest::newRow("CSV") << true;
        QTest::newRow("XLSX") << false;
    }

    void cancelKeepsTheFile()
    {
        QFETCH(bool, csv);
        screen()->cdsFaturamento->SetData(BillingRows::packet(QList<BillingRow>(9000)));
        const QString path = m_files.filePath(csv ? QStringLiteral("cancelada.csv") : QStringLiteral("cancelada.xlsx"));
        QFile before(path);
        QVERIFY(before.open(QIODevice::WriteOnly) && before.write("antes") == 5);
        before.close();
        QList<int> steps;
        const bool written = TableExport::Write(PreviewCells(*grid(), PreviewCells::Rows::All),
                                                  csv ? TableExport::Format::Csv : TableExport::Format::Xlsx, path,
                                                  [&steps](int done, int total) {
                                                      steps << done << total;
                                                      return false;
                                                  });
        QVERIFY(!written);
        QCOMPARE(steps, (QList<int>{4096, csv ? 9000 : 13500}));
        QVERIFY(before.open(QIODevice::ReadOnly));
        QCOMPARE(before.readAll(), QByteArray("antes"));
        const QString name = QFileInfo(path).fileName();
        QCOMPARE(QDir(m_files.path()).entryList({name + QLatin1Char('*')}, QDir::Files), QStringList{name});
    }
};

QTEST_MAIN(TstExport)
#include "tst_export.moc"
