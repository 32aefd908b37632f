#include <QtTest>

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>
#include <QToolTip>

#include "Cli_fas09600/FindBar.h"
#include "tests/module/ModuleFixture.h"
#include "tests/module/PreviewScreenTest.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "Cli_fas09600/TfrmFaturamento.h"

namespace {

// The running style, noting each title it is given to paint: its text, the
// label rectangle and the painter's font.
class TitleRecorder : public QProxyStyle
{
public:
    struct Painted
    {
        QString text;
        QRect label;
        QFont font;
    };
    explicit TitleRecorder(const QString &base)
        : QProxyStyle(base)
    {
    }
    QHash<int, Painted> painted; // by section
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (const auto *header = qstyleoption_cast<const QStyleOptionHeader *>(option);
            header && element == CE_HeaderLabel)
            const_cast<TitleRecorder *>(this)->painted[header->section] = {header->text, header->rect, painter->font()};
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

// Reading the preview grid: find (Ctrl+F, F3) over the current column from a bar
// in its own row, and the tool tips of cells and titles the grid cannot show whole.
class TstGridReading : public PreviewScreenTest
{
    Q_OBJECT

private slots:
    // Find: Ctrl+F, the text, Enter, then F3; the current column only, case and
    // accents ignored, wrapping to the first row, a word when nothing matches.
    void find_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("rowsFound"); // after Enter, then after each F3
        QTest::addColumn<bool>("wrapsAtLast");
        QTest::addColumn<QString>("caption"); // the bar names the column it searches
        QTest::newRow("accents and case") << 2 << "ACAO" << QList<int>{2, 2} << true << "Procurar em Cliente:";
        QTest::newRow("wraps to the first row") << 2 << "a" << QList<int>{1, 2, 0} << true << "Procurar em Cliente:";
        QTest::newRow("status caption") << 1 << "cancel" << QList<int>{2} << false << "Procurar em Situação:";
        QTest::newRow("capitals against a plain text")
            << 2 << "SOMA(" << QList<int>{1, 1} << true << "Procurar em Cliente:";
        QTest::newRow("accented capitals") << 2 << "ÇEDILHA" << QList<int>{2, 2} << true << "Procurar em Cliente:";
        QTest::newRow("typed text running past the cell")
            << 2 << "soma(1)x" << QList<int>{0} << false << "Procurar em Cliente:";
        QTest::newRow("tick caption") << 0 << "NAO" << QList<int>{1, 1} << true << "Procurar em Marcado:";
        QTest::newRow("nothing matches") << 2 << "zeta" << QList<int>{0} << false << "Procurar em Cliente:";
        QTest::newRow("another column holds it")
            << 9 << "alfa" << QList<int>{0} << false << "Procurar em Empresa Emitente:";
    }

    void find()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QList<int>, rowsFound);
        QFETCH(bool, wrapsAtLast);
        QFETCH(QString, caption);
        loadSample();
        grid()->setCurrentIndex(grid()->model()->index(0, column));
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); // the bar's row given back
        const QSize screenSize = screen()->size();
        const QRect gridAlone = grid()->geometry();
        pressOnGrid(Qt::Key_F, Qt::ControlModifier);
        FindBar *bar = screen()->findBar;
        QVERIFY(bar->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(bar->edtProcurar));
        QCOMPARE(bar->lblProcurar->text(), caption);
        // Its own row above the grid, taken from the grid's height: no row is covered.
        QTRY_COMPARE(bar->geometry().top(), gridAlone.top());
        QCOMPARE(grid()->geometry().top(), bar->geometry().bottom() + 1);
        QCOMPARE(grid()->geometry().bottom(), gridAlone.bottom());
        QCOMPARE(screen()->size(), screenSize);
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
        // A click in another column names that column.
        const QRect other = grid()->visualRect(grid()->model()->index(0, 3));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier, other.center());
        QCOMPARE(bar->lblProcurar->text(), QStringLiteral("Procurar em Faturamento:"));
        QTest::keyClick(bar->edtProcurar, Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QTRY_COMPARE(grid()->geometry(), gridAlone); // the row given back
        QVERIFY(!screen()->mnuProcurar->isEnabled());
        screen()->sbtProcurar->click(); // the tool button opens the same bar
        QVERIFY(bar->isVisible());
    }

    // A cell or title the grid cannot show whole has it in its tool tip:
    // "Data da Apuração" shows the date in its designed width, the whole value
    // in the tip; a cut text ends in "…" and shows whole in the tip. Texts shown
    // whole and the picture columns have none. A title is painted inside the
    // label rectangle of the style (beside the sort indicator), whole or cut.
    void toolTips_data()
    {
        QTest::addColumn<bool>("title"); // the header's section, else the cell
        QTest::addColumn<bool>("sorted"); // the rows sorted by the column
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("width");      // the column's width; -1: as designed
        QTest::addColumn<QString>("client"); // the first row's client, when given
        QTest::addColumn<QString>("tip");
        const QString longName = QStringLiteral("Companhia Brasileira de Manutenção Industrial");
        QTest::newRow("date with its time") << false << false << 0 << 4 << -1 << ""
                                            << "04/04/2024 10:20:30";
        QTest::newRow("date at midnight, shown whole") << false << false << 1 << 4 << -1 << ""
                                                       << "";
        QTest::newRow("client that fits") << false << false << 1 << 2 << -1 << ""
                                          << "";
        QTest::newRow("client cut") << false << false << 0 << 2 << -1 << longName << longName;
        QTest::newRow("total in a narrowed column") << false << false << 0 << 6 << 20 << ""
                                                    << "1.234,50";
        QTest::newRow("status picture") << false << false << 0 << 1 << -1 << ""
                                        << "";
        QTest::newRow("title cut") << true << false << 0 << 4 << 30 << ""
                                   << "Data da Apuração";
        QTest::newRow("title that fits") << true << false << 0 << 4 << 300 << ""
                                         << "";
        QTest::newRow("title cut by the sort indicator") << true << true << 0 << 6 << 70 << ""
                                                         << "Valor Total";
    }

    void toolTips()
    {
        QFETCH(bool, title);
        QFETCH(bool, sorted);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, width);
        QFETCH(QString, client);
        QFETCH(QString, tip);
        loadSample();
        QCOMPARE(grid()->model()->data(grid()->model()->index(0, 4)).toString(), QStringLiteral("04/04/2024"));
        QCOMPARE(grid()->columnWidth(4), 93);
        if (!client.isEmpty()) {
            TClientDataSet *data = screen()->cdsFaturamento;
            data->First();
            data->Edit();
            data->FieldByName(QStringLiteral("NMFANTCLIE"))->SetAsString(client);
            data->Post();
        }
        const int designed = grid()->columnWidth(column);
        const auto designedWidth = qScopeGuard([&] { grid()->setColumnWidth(column, designed); });
        if (width >= 0)
            grid()->setColumnWidth(column, width);
        QHeaderView *header = grid()->horizontalHeader();
        header->setSortIndicator(sorted ? column : -1, Qt::AscendingOrder);
        const auto unsorted = qScopeGuard([header] { header->setSortIndicator(-1, Qt::AscendingOrder); });
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());

        QWidget *area = title ? header->viewport() : grid()->viewport();
        const QRect rect = title ? QRect(header->sectionViewportPosition(column), 0, header->sectionSize(column),
                                         header->height())
                                 : grid()->visualRect(grid()->model()->index(row, column));
        QHelpEvent help(QEvent::ToolTip, rect.center(), area->mapToGlobal(rect.center()));
        QApplication::sendEvent(area, &help);
        QCOMPARE(QToolTip::isVisible(), !tip.isEmpty());
        if (!tip.isEmpty())
            QCOMPARE(QToolTip::text(), tip);
        if (title) {
            TitleRecorder style(header->style()->name());
            header->setStyle(&style);
            header->viewport()->grab();
            header->setStyle(nullptr);
            QVERIFY(style.painted.contains(column));
            const TitleRecorder::Painted painted = style.painted.value(column);
            const QString whole = grid()->model()->headerData(column, Qt::Horizontal).toString();
            QVERIFY2(QFontMetrics(painted.font).horizontalAdvance(painted.text) <= painted.label.width(),
                     qPrintable(QStringLiteral("\"%1\" in %2 pixels").arg(painted.text).arg(painted.label.width())));
            QCOMPARE(painted.text == whole, tip.isEmpty());
            QCOMPARE(painted.text.endsWith(QChar(0x2026)), !tip.isEmpty());
        }
    }
};

QTEST_MAIN(TstGridReading)
#include "tst_gridreading.moc"
