#include "tests/module/PreviewScreenDriver.h"

#include <QtTest>

#include <QAbstractItemModelTester>
#include <QHeaderView>

#include "Cli_fas09600/Cli_fas09600.h"
#include "tests/module/ModuleFixture.h"
#include "Pkg_fas09600/Pkg_fas09600.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBGrid.h"
#include "Cli_fas09600/TfrmFaturamento.h"

TfrmFaturamento *PreviewScreenDriver::screen()
{
    return Cli_fas09600::frmFaturamento;
}

TDBGrid *PreviewScreenDriver::grid()
{
    return screen()->dbgPadrao;
}

void PreviewScreenDriver::open()
{
    QString why;
    QVERIFY2(m_fixture.start(&why), qPrintable(why));
    Initialize();
    launch();
    new QAbstractItemModelTester(grid()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, screen());
}

void PreviewScreenDriver::close()
{
    if (Cli_fas09600::boIdCriado)
        closeScreen();
    Finalize();
}

void PreviewScreenDriver::launch(std::function<void(QWidget *)> onDialog)
{
    m_fixture.modals.arm(std::move(onDialog));
    IniProc();
    m_fixture.modals.disarm();
    QVERIFY(Cli_fas09600::boIdCriado);
}

void PreviewScreenDriver::closeScreen()
{
    QPointer<TfrmFaturamento> closing = screen();
    closing->sbtFechar->click();
    QTRY_VERIFY(closing.isNull());
}

void PreviewScreenDriver::loadSample()
{
    screen()->cdsFaturamento->SetData(BillingRows::packet(sampleRows()));
    QHeaderView *header = grid()->horizontalHeader();
    for (int logical = 0; logical < header->count(); ++logical)
        header->moveSection(header->visualIndex(logical), logical);
    header->moveSection(6, 2); // "Valor Total" dragged in front of "Cliente"
}

void PreviewScreenDriver::pressOnGrid(int key, Qt::KeyboardModifiers modifiers)
{
    QApplication::setActiveWindow(&m_fixture.mainForm);
    grid()->setFocus();
    QTest::keyClick(grid(), Qt::Key(key), modifiers);
}

void PreviewScreenDriver::clickTitle(int column)
{
    QHeaderView *header = grid()->horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
}

QList<BillingRow> PreviewScreenDriver::sampleRows()
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

const QStringList &PreviewScreenDriver::shownTitles()
{
    static const QStringList titles = {QStringLiteral("Marcado"),     QStringLiteral("Situação"),
                                       QStringLiteral("Valor Total"), QStringLiteral("Cliente"),
                                       QStringLiteral("Faturamento"), QStringLiteral("Data da Apuração"),
                                       QStringLiteral("Mês Apurado"), QStringLiteral("Nº Nota Fiscal"),
                                       QStringLiteral("Invoice"),     QStringLiteral("Empresa Emitente")};
    return titles;
}

QList<QStringList> PreviewScreenDriver::shownRows()
{
    const auto row = [](const char *tick, const char *status, const char *total, const QString &client,
                        const char *date) {
        return QStringList{QString::fromUtf8(tick),
                           QString::fromUtf8(status),
                           QString::fromUtf8(total),
                           client,
                           QStringLiteral("Manutenção"),
                           QString::fromUtf8(date),
                           QStringLiteral("03/2024"),
                           QString(),
                           QString(),
                           QStringLiteral("Empresa Um")};
    };
    return {row("Sim", "Pendente", "1.234,50", QStringLiteral("Alfa; \"Beta\""), "04/04/2024 10:20:30"),
            row("Não", "Realizada", "-0,50", QStringLiteral("=SOMA(1)"), "04/04/2024"),
            row("Sim", "Cancelada", "100,00", QStringLiteral("Ação Çedilha"), "04/04/2024")};
}
