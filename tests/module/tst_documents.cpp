#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "documents/InvoicePdf.h"

// The invoice PDF read back with pdftotext (poppler-utils).
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
