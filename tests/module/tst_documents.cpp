#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTableWidget>

#include "billing/BillingCodes.h"
#include "billing/BillingItemLayout.h"
#include "billing/HistoryLayout.h"
#include "billing/InvoiceLayout.h"
#include "Cli_fas09600/GenerationResult.h"
#include "Cli_fas09600/RunResultPanel.h"
#include "Cli_fas09602/TfrmHistorico.h"
#include "documents/InvoiceFromPacket.h"
#include "documents/InvoicePdf.h"
#include "platform/data/DataPacket.h"
#include "platform/data/TClientDataSet.h"
#include "platform/data/TRecordStore.h"
#include "platform/ui/TDBGrid.h"
#include "tests/support/BillingRows.h"
#include "tests/support/ModalWatcher.h"

// The invoice PDF and the printed tables (result panel, history) read back with
// pdftotext (poppler-utils); GetFaturaDocumento's packet read as an invoice.
class tst_documents : public QObject
{
    Q_OBJECT

private:
    static InvoiceDocument invoice(int lines, const QString &client = QStringLiteral("Acme Holdings Inc."))
    {
        InvoiceDocument d;
        d.issuer = {QStringLiteral("Faturadora Exemplo Ltda"),
                    QStringLiteral("11222333000181"),
                    {QStringLiteral("Matriz — Curitiba / PR")}};
        d.client = {client, {}, {QStringLiteral("500 Market Street"), QStringLiteral("San Francisco CA 94105 — US")}};
        d.company = QStringLiteral("01");
        d.number = 4711;
        d.date = QDateTime(QDate(2025, 3, 15), QTime(10, 20, 30), Qt::UTC);
        for (int i = 0; i < lines; ++i)
            d.lines.append({QStringLiteral("Service line %1").arg(i + 1), {}, QDate(2025, 1 + i % 12, 1), 100.25 + i});
        return d;
    }

    // GetFaturaDocumento's answer: one row per month given, the header on each.
    static QByteArray invoicePacket(const QList<QDate> &months, const QString &state, const QString &legalName,
                                    const QString &country, const QString &product)
    {
        TRecordStore store(InvoiceLayout::lines());
        for (const QDate &month : months) {
            const int row = store.appendRow();
            const auto set = [&](const char *field, const QString &value) {
                store.setText(row, store.indexOf(QString::fromLatin1(field)), value.toStdString());
            };
            const auto at = [&](const char *field) { return store.indexOf(QString::fromLatin1(field)); };
            set("CDEMPRESA", QStringLiteral("01"));
            store.setNumber(row, at("NRLANCFAT"), 4711);
            store.setDateTimeMs(row, at("DTLANCFAT"),
                                QDateTime(QDate(2025, 3, 15), QTime(10, 20), Qt::UTC).toMSecsSinceEpoch());
            set("IDSITUACAO", state);
            set("NMEMPRESA", QStringLiteral("Faturadora Exemplo"));
            set("NRCNPJEMPRESA", QStringLiteral("11222333000181"));
            set("NMFILIAL", QStringLiteral("Matriz"));
            set("NMCIDADEFILIAL", QStringLiteral("Curitiba"));
            set("SGESTADOEMPRESA", QStringLiteral("PR"));
            set("NMFANTCLIE", QStringLiteral("Acme"));
            set("NMRAZSOCCLIE", legalName);
            set("DSLOGRENDECLIE", QStringLiteral("500 Market Street"));
            set("NMCIDADECLIE", QStringLiteral("San Francisco"));
            set("CDPAIS", country);
            store.setDateTimeMs(row, at("DTMESAPURFAS"), QDateTime(month, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch());
            set("IDAPURFATFAS", QStringLiteral("6"));
            set("NMPRODUTO", product);
            set("DSFATURCLIE", month.toString(QStringLiteral("'Suporte' MM/yyyy")));
            store.setNumber(row, at("VRTOTAFATFAS"), month.month() * 100.0);
        }
        return DataPacket::encode(store);
    }

    static QString pdfText(const QString &path, int page)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? text(file.readAll(), page) : QStringLiteral("no file ") + path;
    }

    // Answers the next file dialog with `path`.
    void answerFileDialog(const QString &path)
    {
        m_modals.arm([path](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog)
                return ModalWatcher::closeModal(modal);
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")); // Qt's own dialog
            if (!name)
                return ModalWatcher::closeModal(modal);
            name->setText(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
    }

    // A run of 45 notes and an invoice (number 4711) in the result panel.
    static GenerationResult runResult()
    {
        QList<BillingRow> rows;
        for (int i = 1; i <= 45; ++i) {
            BillingRow row;
            row.client = QStringLiteral("Cliente %1").arg(i);
            row.noteEntry = QString::number(100 + i);
            rows << row;
        }
        TClientDataSet answer;
        answer.SetFieldDefs(BillingItemLayout::faturamento());
        answer.SetData(BillingRows::packet(rows));
        GenerationResult made;
        made.AddAnswer(GenerationResult::Kind::Note, answer.Store());
        BillingRow invoice;
        invoice.client = QStringLiteral("Acme");
        invoice.invoiceEntry = QStringLiteral("4711");
        answer.SetData(BillingRows::packet({invoice}));
        made.AddAnswer(GenerationResult::Kind::Invoice, answer.Store());
        return made;
    }

    // What the clerk saves from a screen: the result panel's table or its invoice
    // (the last entry selected), the history's entries of a run of 45.
    QString savedFrom(const QString &screen)
    {
        const QString path = m_files.filePath(screen + QStringLiteral(".pdf"));
        if (QFile::exists(path))
            return path;
        QMainWindow window;
        auto *panel = new RunResultPanel(&window);
        TfrmHistorico *history = nullptr;
        if (screen.startsWith(QLatin1String("result panel"))) {
            window.addDockWidget(Qt::BottomDockWidgetArea, panel);
            window.show();
            panel->SetFilterText(QStringLiteral("Período de apuração: 01/03/2024 a 31/03/2024"));
            panel->SetInvoiceSource([](const QString &company, const QString &number) {
                return company == u"01" && number == u"4711" ? TDataPacket(
                           invoicePacket({QDate(2024, 3, 1)}, QStringLiteral("A"), QStringLiteral("Acme Holdings Inc."),
                                         QStringLiteral("0249"), QStringLiteral("Suporte")))
                                                             : TDataPacket();
            });
            panel->Show(runResult());
        }
        answerFileDialog(path);
        if (screen == u"result panel") {
            panel->btnSalvarPdf->click();
        } else if (screen == u"result panel invoice") {
            if (panel->btnSalvarFatura->isEnabled())
                return QStringLiteral("enabled on a note");
            panel->tblResultado->selectRow(45);
            panel->btnSalvarFatura->click();
        } else {
            history = new TfrmHistorico;
            history->show();
            QApplication::setActiveWindow(history);
            fillHistory(*history);
            history->dbgLancamentos->setFocus();
            history->mnuSalvarPdf->trigger();
            delete history;
        }
        m_modals.disarm();
        return path;
    }

    static void fillHistory(TfrmHistorico &history)
    {
        TRecordStore runs(HistoryLayout::runs());
        const int run = runs.appendRow();
        runs.setNumber(run, runs.indexOf(QStringLiteral("IDGERACAO")), 42);
        runs.setText(run, runs.indexOf(QStringLiteral("NMMETODO")), "GeraNF");
        {
            const QSignalBlocker quiet(history.cdsGeracoes); // no entries asked of a server
            history.cdsGeracoes->SetData(DataPacket::encode(runs));
        }
        TRecordStore entries(HistoryLayout::entries());
        for (int i = 1; i <= 45; ++i) {
            const int row = entries.appendRow();
            entries.setText(row, entries.indexOf(QStringLiteral("CDEMPRESA")), "01");
            entries.setText(row, entries.indexOf(QStringLiteral("IDTPLANCFAT")), "N");
            entries.setNumber(row, entries.indexOf(QStringLiteral("NRLANCFAT")), 500 + i);
            entries.setText(row, entries.indexOf(QStringLiteral("CDCLIENTE")),
                            QStringLiteral("CLI%1").arg(i).toStdString());
            entries.setText(row, entries.indexOf(QStringLiteral("IDSITUACAO")), "A");
        }
        history.cdsLancamentos->SetData(DataPacket::encode(entries));
        history.AtualizaComandos();
    }

    static QString text(const QByteArray &pdf, int page)
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("f.pdf")));
        if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size())
            return {};
        file.close();
        QProcess p;
        p.start(QStringLiteral("pdftotext"),
                {QStringLiteral("-enc"), QStringLiteral("UTF-8"), QStringLiteral("-f"), QString::number(page),
                 QStringLiteral("-l"), QString::number(page), file.fileName(), QStringLiteral("-")});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return QStringLiteral("pdftotext failed: ") + QString::fromUtf8(p.readAllStandardError());
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    QTemporaryDir m_files;
    ModalWatcher m_modals;

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed; scripts/install-deps.sh installs it");
    }

    void pageText_data()
    {
        QTest::addColumn<InvoiceDocument>("document");
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("absent");
        InvoiceDocument three = invoice(3);
        QTest::newRow("lines and total") << three << 1 << QStringList{"INVOICE / FATURA",
                                                                      "01-4711",
                                                                      "2025-03-15",
                                                                      "Service line 1",
                                                                      "01/2025",
                                                                      "100.25",
                                                                      "Service line 3",
                                                                      "03/2025",
                                                                      "102.25",
                                                                      "Total / Total",
                                                                      "303.75",
                                                                      "11.222.333/0001-81",
                                                                      "Page / Página 1 of / de 1"}
                                         << QStringList{"REVERSED"};
        InvoiceDocument accented = invoice(1, QStringLiteral("Ação & Comércio São João Ltda"));
        accented.lines[0].service = QStringLiteral("Manutenção técnica");
        accented.lines[0].description = QStringLiteral("Suporte à operação — março");
        QTest::newRow("accented text") << accented << 1
                                       << QStringList{"Ação & Comércio São João Ltda", "Manutenção técnica",
                                                      "Suporte à operação — março", "Nº da fatura"}
                                       << QStringList{};
        InvoiceDocument reversed = invoice(2);
        reversed.reversed = true;
        QTest::newRow("reversed entry") << reversed << 1 << QStringList{"REVERSED / ESTORNADA"} << QStringList{};
        // 60 lines do not fit one page: the second repeats the header and ends in the total.
        const InvoiceDocument sixty = invoice(60);
        QTest::newRow("60 lines, page 1") << sixty << 1 << QStringList{"Service line 1\n", "Page / Página 1 of / de 2"}
                                          << QStringList{"Service line 60", "Total / Total"};
        QTest::newRow("60 lines, page 2")
            << sixty << 2
            << QStringList{"INVOICE / FATURA", "01-4711",       "Acme Holdings Inc.", "Service / Serviço",
                           "Service line 60",  "Total / Total", "7,785.00",           "Page / Página 2 of / de 2"}
            << QStringList{"Service line 1\n"};
    }

    void pageText()
    {
        QFETCH(InvoiceDocument, document);
        QFETCH(int, page);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, absent);
        const QString read = text(InvoicePdf::make(document), page);
        for (const QString &s : expected)
            QVERIFY2(read.contains(s), qPrintable(s + QStringLiteral(" missing from:\n") + read));
        for (const QString &s : absent)
            QVERIFY2(!read.contains(s), qPrintable(s + QStringLiteral(" found in:\n") + read));
    }

    void invoiceFromPacket_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<bool>("reversed");
        QTest::addColumn<QString>("client");
        QTest::addColumn<QStringList>("address");
        QTest::addColumn<QList<QDate>>("months");
        QTest::addColumn<QString>("service");
        const QDate jan(2025, 1, 1), feb(2025, 2, 1), mar(2025, 3, 1);
        QTest::newRow("live, legal name, Brazil")
            << invoicePacket({jan, feb}, "A", "Acme Holdings Inc.", "0055", "Suporte") << false << "Acme Holdings Inc."
            << QStringList{"500 Market Street", "San Francisco"} << QList<QDate>{jan, feb} << "Suporte";
        QTest::newRow("reversed, abroad, no legal name nor product")
            << invoicePacket({feb}, "E", "", "0249", "") << true << "Acme"
            << QStringList{"500 Market Street", "San Francisco", "País / Country: 0249"} << QList<QDate>{feb}
            << BillingCodes::serviceTypeText(QStringLiteral("6"));
        QTest::newRow("months out of order")
            << invoicePacket({mar, jan, feb}, "A", "Acme Holdings Inc.", "0055", "Suporte") << false
            << "Acme Holdings Inc." << QStringList{"500 Market Street", "San Francisco"} << QList<QDate>{jan, feb, mar}
            << "Suporte";
    }

    void invoiceFromPacket()
    {
        QFETCH(QByteArray, packet);
        QFETCH(bool, reversed);
        QFETCH(QString, client);
        QFETCH(QStringList, address);
        QFETCH(QList<QDate>, months);
        QFETCH(QString, service);
        const InvoiceDocument d = InvoiceFromPacket::read(packet);
        QCOMPARE(d.company, QStringLiteral("01"));
        QCOMPARE(d.number, 4711);
        QCOMPARE(d.date, QDateTime(QDate(2025, 3, 15), QTime(10, 20), Qt::UTC));
        QCOMPARE(d.reversed, reversed);
        QCOMPARE(d.issuer.name, QStringLiteral("Faturadora Exemplo"));
        QCOMPARE(d.issuer.address, (QStringList{"Matriz", "Curitiba — PR"}));
        QCOMPARE(d.client.name, client);
        QCOMPARE(d.client.address, address);
        QList<QDate> read;
        for (const InvoiceDocument::Line &line : d.lines) {
            read << line.month;
            QCOMPARE(line.value, line.month.month() * 100.0);
            QCOMPARE(line.description, line.month.toString(QStringLiteral("'Suporte' MM/yyyy")));
        }
        QCOMPARE(read, months);
        QCOMPARE(d.lines.first().service, service);
    }

    // Saved as a PDF through the screens' commands: the heading, the grid's titles
    // in its order and its cells, the header row again on the second page.
    void printedTable_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("result panel, page 1") << "result panel" << 1
                                              << QStringList{"Resultado da geração",
                                                             "Período de apuração: 01/03/2024 a 31/03/2024",
                                                             "Impresso em",
                                                             "Tipo",
                                                             "Lançamento",
                                                             "Empresa",
                                                             "Cliente",
                                                             "Meses",
                                                             "Itens",
                                                             "Valor Total",
                                                             "Nota Fiscal",
                                                             "101",
                                                             "Cliente 1\n",
                                                             "03/2024",
                                                             "100,00",
                                                             "Página 1 de 2"}
                                              << QStringList{"Cliente 45", "Página 2"};
        QTest::newRow("result panel, page 2") << "result panel" << 2 << QStringList{"Resultado da geração",
                                                                                    "Tipo",
                                                                                    "Valor Total",
                                                                                    "Cliente 45",
                                                                                    "Invoice",
                                                                                    "4711",
                                                                                    "Total",
                                                                                    "4.600,00",
                                                                                    "Página 2 de 2"}
                                              << QStringList{"Cliente 1\n"};
        QTest::newRow("result panel, the invoice")
            << "result panel invoice" << 1
            << QStringList{"INVOICE / FATURA", "01-4711", "Acme Holdings Inc.", "03/2024"} << QStringList{};
        QTest::newRow("history entries, page 2") << "history entries" << 2
                                                 << QStringList{"Histórico de gerações — lançamentos da geração 42",
                                                                "Lançamento",
                                                                "Tipo",
                                                                "Empresa",
                                                                "Cliente",
                                                                "Situação",
                                                                "CLI45",
                                                                "545",
                                                                "Página 2 de 2"}
                                                 << QStringList{"CLI1\n"};
    }

    void printedTable()
    {
        QFETCH(QString, screen);
        QFETCH(int, page);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, absent);
        const QString read = pdfText(savedFrom(screen), page);
        for (QString s : expected) {
            QVERIFY2(read.contains(s), qPrintable(s + QStringLiteral(" missing from:\n") + read));
        }
        for (QString s : absent) {
            QVERIFY2(!read.contains(s), qPrintable(s + QStringLiteral(" found in:\n") + read));
        }
    }

    // The file is the entry's: made twice (a second apart) it is the same bytes, its
    // creation date is the entry's, and its cross-references still point at the objects.
    void reprintIsTheSameFile()
    {
        const InvoiceDocument d = invoice(5);
        const QByteArray first = InvoicePdf::make(d);
        QTest::qWait(1100);
        QCOMPARE(InvoicePdf::make(d), first);
        QVERIFY(first.contains("/CreationDate (D:20250315102030)"));
        QVERIFY(first.contains("/FontFile2")); // the font is embedded
        const qsizetype xref = first.lastIndexOf("\nxref\n");
        const QList<QByteArray> rows = first.mid(xref + 6).split('\n');
        const int count = rows.at(0).split(' ').at(1).toInt();
        for (int object = 1; object < count; ++object) {
            const QByteArray entry = rows.at(1 + object);
            if (!entry.contains(" n"))
                continue;
            const qsizetype at = entry.left(10).toLongLong();
            QVERIFY2(first.mid(at).startsWith(QByteArray::number(object) + " 0 obj"), entry.constData());
        }
        const qsizetype start = first.lastIndexOf("startxref\n") + 10;
        QCOMPARE(first.mid(start, first.indexOf('\n', start) - start).toLongLong(), xref + 1);
    }
};

QTEST_MAIN(tst_documents)
#include "tst_documents.moc"
