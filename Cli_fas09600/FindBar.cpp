#include "FindBar.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "EventGuard.h"
#include "PreviewCells.h"
#include "TDBGrid.h"

FindBar::FindBar(TDBGrid *grid, QWidget *screen)
    : QFrame(grid->parentWidget())
    , m_grid(grid)
{
    setObjectName(QStringLiteral("panProcurar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 2, 2);
    layout->setSpacing(4);
    auto *caption = new QLabel(QStringLiteral("Procurar:"), this);
    edtProcurar = new QLineEdit(this);
    edtProcurar->setObjectName(QStringLiteral("edtProcurar"));
    edtProcurar->setMinimumWidth(160);
    caption->setBuddy(edtProcurar);
    auto *next = new QToolButton(this);
    next->setText(QStringLiteral("Próximo"));
    next->setToolTip(QStringLiteral("Procurar o próximo (F3)"));
    lblResultado = new QLabel(this);
    lblResultado->setObjectName(QStringLiteral("lblResultado"));
    auto *close = new QToolButton(this);
    close->setText(QStringLiteral("x"));
    close->setToolTip(QStringLiteral("Fechar (Esc)"));
    layout->addWidget(caption);
    layout->addWidget(edtProcurar);
    layout->addWidget(next);
    layout->addWidget(lblResultado);
    layout->addWidget(close);
    hide();

    actProcurar = new QAction(QStringLiteral("Procurar"), screen);
    actProcurar->setObjectName(QStringLiteral("actProcurar"));
    actProcurar->setShortcut(QKeySequence::Find);
    actProcurarProximo = new QAction(QStringLiteral("Procurar o próximo"), screen);
    actProcurarProximo->setObjectName(QStringLiteral("actProcurarProximo"));
    actProcurarProximo->setShortcut(QKeySequence(Qt::Key_F3));
    for (QAction *action : {actProcurar, actProcurarProximo}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        screen->addAction(action);
    }
    connect(actProcurar, &QAction::triggered, this, [this] { Open(); });
    connect(actProcurarProximo, &QAction::triggered, this, EventGuard::wrap([this](bool) { FindNext(); }));
    connect(edtProcurar, &QLineEdit::returnPressed, this, EventGuard::wrap([this] { FindNext(); }));
    connect(next, &QToolButton::clicked, this, EventGuard::wrap([this](bool) { FindNext(); }));
    connect(close, &QToolButton::clicked, this, [this] { Close(); });
    connect(edtProcurar, &QLineEdit::textEdited, lblResultado, &QLabel::clear);
    edtProcurar->installEventFilter(this);
    m_grid->installEventFilter(this);
}

void FindBar::Open()
{
    place();
    show();
    raise();
    edtProcurar->setFocus();
    edtProcurar->selectAll();
}

void FindBar::Close()
{
    hide();
    lblResultado->clear();
    m_grid->setFocus();
}

void FindBar::place()
{
    adjustSize();
    const QRect area = m_grid->geometry();
    const int x = std::max(area.left(), area.right() - width() - 20);
    move(x, area.top() + m_grid->horizontalHeader()->height() + 2);
}

QString FindBar::Folded(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            folded += c;
    }
    return folded.toCaseFolded();
}

void FindBar::FindNext()
{
    const QString typed = edtProcurar->text();
    if (typed.isEmpty()) {
        Open();
        return;
    }
    const int rows = m_grid->model()->rowCount();
    const QModelIndex current = m_grid->currentIndex();
    const int column = current.isValid() ? current.column() : m_grid->horizontalHeader()->logicalIndex(0);
    const int from = current.isValid() ? current.row() : -1;
    const int found = rows > 0 ? findRow(Folded(typed), column, from + 1) : -1;
    const QString columnTitle = m_grid->model()->headerData(column, Qt::Horizontal).toString().trimmed();
    if (found < 0) {
        lblResultado->setText(QStringLiteral("Nenhuma linha contém \"%1\" na coluna \"%2\".").arg(typed, columnTitle));
        QApplication::beep();
        return;
    }
    lblResultado->setText(found <= from ? QStringLiteral("Procura reiniciada da primeira linha.") : QString());
    m_grid->setCurrentIndex(m_grid->model()->index(found, column));
    m_grid->scrollTo(m_grid->currentIndex());
}

int FindBar::findRow(const QString &folded, int gridColumn, int start) const
{
    const int rows = m_grid->model()->rowCount();
    for (int step = 0; step < rows; ++step) {
        const int row = (start + step) % rows;
        if (Folded(PreviewCells::CellText(*m_grid, row, gridColumn)).contains(folded))
            return row;
    }
    return -1;
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched == edtProcurar
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        Close();
        return true;
    }
    if (event->type() == QEvent::Resize && watched == m_grid && isVisible())
        place();
    return QFrame::eventFilter(watched, event);
}
