#include <QtTest>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTableWidget>
#include <QToolTip>
#include <QXmlStreamReader>

#include "BillingRows.h"
#include "Cli_fas09600.h"
#include "Cli_fas09601.h"
#include "ExportDialog.h"
#include "FindBar.h"
#include "ModuleFixture.h"
#include "Pkg_fas09600.h"
#include "PreviewCells.h"
#include "PreviewExport.h"
#include "PreviewActions.h"
#include "RunResultPanel.h"
#include "ScreenLayout.h"
#include "TButtonFlat.h"
#include "TClientDataSet.h"
#include "TDBGrid.h"
#include "TBtnPesquisa.h"
#include "TDateEditPlus.h"
#include "TfrmFaturamento.h"
#include "TfrmFiltroFaturamento.h"

using Cli_fas09600::frmFaturamento;

namespace {

// The rows every case loads, and how the screen shows them once "Valor Total"
// has been dragged in front of "Cliente".
QList<BillingRow> sampleRows()
{
    BillingRow first;
    first.client = QStringLiteral("Alfa; \"Beta\"");
    first.tick = QStringLiteral("S");
    first.total = 1234.5;
    first.calculationTime = QTime(10, 20, 30);
    BillingRow second;
    second.client = QStringLiteral("=SOMA(1)");
    second.status = QStringLiteral("R");
    second.tick = QStringLiteral("D");
    second.total = -0.5;
    BillingRow third;
    third.client = QStringLiteral("Ação Çedilha");
    third.status = QStringLiteral("C");
    third.tick = QStringLiteral("S");
    return {first, second, third};
}

const QStringList &shownTitles()
{
    static const QStringList titles = {
        QStringLiteral("Marcado"),     QStringLiteral("Situação"),         QStringLiteral("Valor Total"),
        QStringLiteral("Cliente"),     QStringLiteral("Faturamento"),      QStringLiteral("Data da Apuração"),
        QStringLiteral("Mês Apurado"), QStringLiteral("Nº Nota Fiscal"),   QStringLiteral("Invoice"),
        QStringLiteral("Empresa Emitente")};
    return titles;
}

QList<QStringList> shownRows()
{
    const auto row = [](const char *tick, const char *status, const char *total, const QString &client,
                        const char *date) {
        return QStringList{QString::fromUtf8(tick), QString::fromUtf8(status), QString::fromUtf8(total), client,
                           QStringLiteral("Manutenção"), QString::fromUtf8(date), QStringLiteral("03/2024"),
                           QString(), QString(), QStringLiteral("Empresa Um")};
    };
    return {row("Sim", "Pendente", "1.234,50", QStringLiteral("Alfa; \"Beta\""), "04/04/2024 10:20:30"),
            row("Não", "Realizada", "-0,50", QStringLiteral("=SOMA(1)"), "04/04/2024"),
            row("Sim", "Cancelada", "100,00", QStringLiteral("Ação Çedilha"), "04/04/2024")};
}

QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> rows;
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                cell += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                cell += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(';')) {
            cells << cell;
            cell.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) {
            cells << cell;
            rows << cells;
            cells.clear();
            cell.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    return rows;
}

// The first sheet of an XLSX file, read with Debian's unzip: per cell reference
// ("C2") its text, or its number with "#" in front, and the number of columns
// given a width.
struct Sheet
{
    QHash<QString, QString> cells;
    int widths = 0;
};

Sheet readSheet(const QString &path)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, QStringLiteral("xl/worksheets/sheet1.xml")});
    if (!unzip.waitForFinished(30000))
        return {};
    Sheet sheet;
    QXmlStreamReader xml(unzip.readAllStandardOutput());
    QString reference;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("col"))
            sheet.widths += xml.attributes().value(QStringLiteral("max")).toInt()
                            - xml.attributes().value(QStringLiteral("min")).toInt() + 1;
        else if (xml.name() == QLatin1String("c"))
            reference = xml.attributes().value(QStringLiteral("r")).toString();
        else if (xml.name() == QLatin1String("t"))
            sheet.cells.insert(reference, xml.readElementText());
        else if (xml.name() == QLatin1String("v"))
            sheet.cells.insert(reference, QLatin1Char('#') + xml.readElementText());
    }
    return sheet;
}

QString cellReference(int row, int column)
{
    return QString(QLatin1Char(char('A' + column))) + QString::number(row + 1);
}

double excelSerial(const QDateTime &value)
{
    const QDateTime origin(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    return origin.msecsTo(value) / 86400000.0;
}

} // namespace

// Export, find, the kept layout, the keyboard and the calculation's date on the
// preview screen, through the module's real entries against a real server.
class TstPreviewExtras : public QObject
{
    Q_OBJECT

    ModuleFixture m_fixture;
    QTemporaryDir m_files;

    static TfrmFaturamento *screen() { return frmFaturamento; }
    static TDBGrid *grid() { return screen()->dbgPadrao; }

    void launch(std::function<void(QWidget *)> onDialog = {})
    {
        m_fixture.modals.arm(std::move(onDialog));
        IniProc();
        m_fixture.modals.disarm();
        QVERIFY(Cli_fas09600::boIdCriado);
    }

    void closeScreen()
    {
        QPointer<TfrmFaturamento> closing = screen();
        closing->sbtFechar->click();
        QTRY_VERIFY(closing.isNull());
    }

    void loadSample()
    {
        screen()->cdsFaturamento->SetData(BillingRows::packet(sampleRows()));
        QHeaderView *header = grid()->horizontalHeader();
        for (int logical = 0; logical < header->count(); ++logical)
            header->moveSection(header->visualIndex(logical), logical);
        header->moveSection(6, 2); // "Valor Total" dragged in front of "Cliente"
    }

    void pressOnGrid(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QApplication::setActiveWindow(&m_fixture.mainForm);
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key(key), modifiers);
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(m_fixture.start(&why), qPrintable(why));
        Initialize();
        launch();
        // Finding, exporting and moving columns also go through Qt's model checks.
        new QAbstractItemModelTester(grid()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, screen());
    }

    void cleanup()
    {
        m_fixture.modals.disarm();
        m_fixture.clearMessages();
        if (screen() && screen()->findBar->isVisible())
            screen()->findBar->Close();
    }

    void cleanupTestCase()
    {
        if (Cli_fas09600::boIdCriado)
            closeScreen();
        Finalize();
    }

    // The file written by "Exportar…" (Ctrl+E), read back cell by cell.
    void exportReadBack_data()
    {
        QTest::addColumn<bool>("csv");
        QTest::addColumn<bool>("onlyTicked");
        QTest::addColumn<bool>("fileThere"); // the user declines to replace it
        QTest::newRow("CSV, all rows") << true << false << false;
        QTest::newRow("CSV, ticked rows") << true << true << false;
        QTest::newRow("XLSX, all rows") << false << false << false;
        QTest::newRow("XLSX, ticked rows") << false << true << false;
        QTest::newRow("XLSX over a file kept") << false << false << true;
    }

    void exportReadBack()
    {
        QFETCH(bool, csv);
        QFETCH(bool, onlyTicked);
        QFETCH(bool, fileThere);
        loadSample();
        const QString path = m_files.filePath(QStringLiteral("previa%1").arg(QTest::currentDataTag()).remove(' '));
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
            dialog->edtArquivo->selectAll();
            QTest::keyClicks(dialog->edtArquivo, path);
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
            return;
        }

        QList<QStringList> expected = shownRows();
        if (onlyTicked)
            expected.removeAt(1);
        const QString file = path + (csv ? QStringLiteral(".csv") : QStringLiteral(".xlsx"));
        if (csv) {
            QFile written(file);
            QVERIFY(written.open(QIODevice::ReadOnly));
            const QByteArray bytes = written.readAll();
            QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
            QList<QStringList> rows = parseCsv(QString::fromUtf8(bytes.mid(3)));
            QCOMPARE(rows.takeFirst(), shownTitles());
            for (QStringList &row : expected) // a text that reads as a formula is kept as text
                if (row[3].startsWith(QLatin1Char('=')))
                    row[3].prepend(QLatin1Char('\''));
            QCOMPARE(rows, expected);
            return;
        }
        const Sheet sheet = readSheet(file);
        QCOMPARE(sheet.widths, int(shownTitles().size()));
        for (int column = 0; column < shownTitles().size(); ++column)
            QCOMPARE(sheet.cells.value(cellReference(0, column)), shownTitles().at(column));
        for (int row = 0; row < expected.size(); ++row) {
            for (int column = 0; column < shownTitles().size(); ++column) {
                const QString cell = sheet.cells.value(cellReference(row + 1, column));
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
                    QVERIFY2(qAbs(cell.mid(1).toDouble() - excelSerial(value)) < 1e-6, qPrintable(cell));
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
        const bool written = PreviewExport::Write(PreviewCells(*grid(), PreviewCells::Rows::All),
                                                  csv ? PreviewExport::Format::Csv : PreviewExport::Format::Xlsx, path,
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

    // The run's result, grouped per entry from a generation's answer, exported
    // from its panel; the new menu entries come after the designed ones.
    void resultListAndMenus()
    {
        QList<BillingRow> rows = sampleRows();
        rows[0].noteEntry = rows[1].noteEntry = QStringLiteral("7");
        rows[2].noteEntry = QStringLiteral("8");
        screen()->cdsFaturamento->SetData(BillingRows::packet(rows));
        RunResultPanel *panel = screen()->runResultPanel;
        panel->BeginRun();
        panel->AddAnswer(QStringLiteral("GeraNF"), *screen()->cdsFaturamento);
        panel->EndRun();
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->tblResultado->rowCount(), 2);
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
        QCOMPARE(parseCsv(QString::fromUtf8(written.readAll().mid(3))),
                 (QList<QStringList>{{"Tipo", "Lançamento", "Empresa", "Cliente", "Itens", "Valor Total"},
                                     {"Nota Fiscal", "7", "Empresa Um", "Alfa; \"Beta\"", "2", "1.234,00"},
                                     {"Nota Fiscal", "8", "Empresa Um", "Ação Çedilha", "1", "100,00"}}));
        screen()->cdsFaturamento->SetData(BillingRows::packet(rows)); // a new filter empties it
        QVERIFY(!panel->isVisible());
        QCOMPARE(panel->tblResultado->rowCount(), 0);

        const QList<QAction *> operacao = screen()->mnuOperacao->actions();
        QCOMPARE(operacao.mid(0, 4), (QList<QAction *>{screen()->mnuListagem, screen()->mnuConfigImpressora,
                                                       operacao.at(2), screen()->mnuSair}));
        QCOMPARE(operacao.mid(5), (QList<QAction *>{screen()->previewActions->mnuExportar,
                                                    screen()->previewActions->mnuRestaurarLayout}));
        QCOMPARE(screen()->previewActions->mnuExportar->text(), QStringLiteral("Exportar…"));
        QCOMPARE(screen()->mnuManutencao->actions().size(), 11);
    }

    // Find: Ctrl+F, the text, Enter, then F3; the current column only, case and
    // accents ignored, wrapping to the first row, a word when nothing matches.
    void find_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("rowsFound"); // after Enter, then after each F3
        QTest::addColumn<bool>("wrapsAtLast");
        QTest::newRow("accents and case") << 2 << "ACAO" << QList<int>{2, 2} << true;
        QTest::newRow("wraps to the first row") << 2 << "a" << QList<int>{1, 2, 0} << true;
        QTest::newRow("status caption") << 1 << "cancel" << QList<int>{2} << false;
        QTest::newRow("nothing matches") << 2 << "zeta" << QList<int>{0} << false;
        QTest::newRow("another column holds it") << 9 << "alfa" << QList<int>{0} << false;
    }

    void find()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QList<int>, rowsFound);
        QFETCH(bool, wrapsAtLast);
        loadSample();
        grid()->setCurrentIndex(grid()->model()->index(0, column));
        pressOnGrid(Qt::Key_F, Qt::ControlModifier);
        FindBar *bar = screen()->findBar;
        QVERIFY(bar->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(bar->edtProcurar));
        QTest::keyClicks(bar->edtProcurar, typed);
        QTest::keyClick(bar->edtProcurar, Qt::Key_Return);
        for (int i = 0; i < rowsFound.size(); ++i) {
            if (i > 0)
                pressOnGrid(Qt::Key_F3);
            QCOMPARE(grid()->currentIndex().row(), rowsFound.at(i));
            QCOMPARE(screen()->cdsFaturamento->RecNo(), rowsFound.at(i) + 1);
            QCOMPARE(grid()->currentIndex().column(), column);
        }
        const bool matches = rowsFound.first() != 0;
        QCOMPARE(bar->lblResultado->text().startsWith(QStringLiteral("Nenhuma linha contém \"%1\"").arg(typed)),
                 !matches);
        QCOMPARE(bar->lblResultado->text() == QStringLiteral("Procura reiniciada da primeira linha."),
                 matches && wrapsAtLast);
        QTest::keyClick(bar->edtProcurar, Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(!screen()->mnuProcurar->isEnabled());
        screen()->sbtProcurar->click(); // the tool button opens the same bar
        QVERIFY(bar->isVisible());
    }

    // Column widths and order, the screen's place and size and the filter
    // dialog's place survive closing and opening the screen; the menu entry
    // puts the design back.
    void layoutKeptAcrossCloseAndReopen()
    {
        QHeaderView *header = grid()->horizontalHeader();
        const QRect designed = screen()->SubWindow()->geometry();
        header->moveSection(header->visualIndex(9), 0);
        header->resizeSection(2, 301);
        screen()->SubWindow()->setGeometry(QRect(12, 14, 960, 520));
        QPoint dialogPlace;
        m_fixture.modals.arm([&](QWidget *modal) {
            modal->move(modal->pos() + QPoint(31, 17));
            dialogPlace = modal->pos();
            ModalWatcher::closeModal(modal);
        });
        pressOnGrid(Qt::Key_L, Qt::ControlModifier);
        closeScreen();

        QPoint reopenedAt;
        launch([&](QWidget *modal) {
            QTest::qWait(50);
            reopenedAt = modal->pos();
            ModalWatcher::closeModal(modal);
        });
        header = grid()->horizontalHeader();
        QCOMPARE(reopenedAt, dialogPlace);
        QCOMPARE(screen()->SubWindow()->geometry(), QRect(12, 14, 960, 520));
        screen()->cdsFaturamento->SetData(BillingRows::packet(sampleRows())); // a load keeps them too
        QCOMPARE(header->logicalIndex(0), 9);
        QCOMPARE(header->sectionSize(2), 301);

        screen()->previewActions->mnuRestaurarLayout->trigger();
        QCOMPARE(header->logicalIndex(0), 0);
        QCOMPARE(header->sectionSize(2), 237);
        QCOMPARE(screen()->SubWindow()->geometry(), designed);
        QVERIFY(!ScreenLayout::Store().contains(QStringLiteral("FAS09601/posicao")));

        screen()->SubWindow()->showMaximized(); // closed maximized: the normal place is what stays
        closeScreen();
        launch();
        QCOMPARE(screen()->SubWindow()->geometry(), designed);
    }

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
        pressOnGrid(key, Qt::KeyboardModifiers(modifiers));
        if (reached == QLatin1String("find bar"))
            QVERIFY(screen()->findBar->isVisible());
        else if (reached == QLatin1String("preview loaded"))
            QCOMPARE(QList<int>({int(verifies.count()), int(loads.count() > 0)}), QList<int>({1, 1}));
        else if (reached == QLatin1String("context menu"))
            QVERIFY(screen()->previewActions->ppmGrade->isVisible());
        else if (reached == QLatin1String("clipboard"))
            QCOMPARE(QGuiApplication::clipboard()->text(),
                     QStringList(shownTitles()).join(QLatin1Char('\t')) + QLatin1Char('\n')
                         + shownRows().at(1).join(QLatin1Char('\t')) + QLatin1Char('\n'));
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
            for (int key : keys) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key & ~Qt::KeyboardModifierMask),
                                Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
                QTest::qWait(200); // a mnemonic clicks its button a moment later, as it shows the press
            }
            if (expected == QLatin1String("tab order")) {
                QList<QWidget *> reached{QApplication::focusWidget()};
                for (int i = 0; i < 20; ++i) {
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                    reached << QApplication::focusWidget();
                }
                const QList<QWidget *> order = {d->rbtTEmpresa, d->rbtTCliente, d->depDtIniApu, d->depDtFinApu,
                                                d->chbLicencaUso, d->chbManutencao, d->chbCustomizacao, d->chbMaoObra,
                                                d->chbTSituacao, d->chbPSituacao, d->chbRSituacao, d->chbCSituacao,
                                                d->chbNSituacao, d->sbtConfirma, d->sbtCancela, d->btfSaveOpc,
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

    // "Data da Apuração" shows the date in its designed width, the whole value
    // in the cell's tool tip.
    void calculationDateColumn()
    {
        loadSample();
        const QModelIndex cell = grid()->model()->index(0, 4);
        QCOMPARE(grid()->model()->data(cell).toString(), QStringLiteral("04/04/2024"));
        QCOMPARE(grid()->columnWidth(4), 93);
        const QRect rect = grid()->visualRect(cell);
        QHelpEvent help(QEvent::ToolTip, rect.center(), grid()->viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(grid()->viewport(), &help);
        QCOMPARE(QToolTip::text(), QStringLiteral("04/04/2024 10:20:30"));
    }
};

QTEST_MAIN(TstPreviewExtras)
#include "tst_previewextras.moc"
