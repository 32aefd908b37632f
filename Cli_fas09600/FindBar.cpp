#include "Cli_fas09600/FindBar.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "platform/ui/EventGuard.h"
#include "Cli_fas09600/PreviewCells.h"
#include "platform/data/TClientDataSet.h"
#include "platform/data/TField.h"
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDataSetModel.h"

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
    lblProcurar = new QLabel(this);
    lblProcurar->setObjectName(QStringLiteral("lblProcurar"));
    edtProcurar = new QLineEdit(this);
    edtProcurar->setObjectName(QStringLiteral("edtProcurar"));
    edtProcurar->setMinimumWidth(160);
    lblProcurar->setBuddy(edtProcurar);
    auto *next = new QToolButton(this);
    next->setText(QStringLiteral("Próximo"));
    next->setToolTip(QStringLiteral("Procurar o próximo (F3)"));
    lblResultado = new QLabel(this);
    lblResultado->setObjectName(QStringLiteral("lblResultado"));
    // A long answer is cut at the row's end rather than widening the screen.
    lblResultado->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto *close = new QToolButton(this);
    close->setText(QStringLiteral("x"));
    close->setToolTip(QStringLiteral("Fechar (Esc)"));
    layout->addWidget(lblProcurar);
    layout->addWidget(edtProcurar);
    layout->addWidget(next);
    layout->addWidget(lblResultado, 1);
    layout->addWidget(close);
    hide();
    // The row above the grid; hidden, it takes no room.
    if (auto *rows = qobject_cast<QBoxLayout *>(grid->parentWidget()->layout()))
        rows->insertWidget(rows->indexOf(grid), this);
    nameSearchedColumn();

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
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentColumnChanged, this,
            [this] { nameSearchedColumn(); });
    connect(m_grid->model(), &QAbstractItemModel::modelReset, this, [this] { nameSearchedColumn(); });
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionMoved, this, [this] { nameSearchedColumn(); });
    edtProcurar->installEventFilter(this);
}

void FindBar::Open()
{
    nameSearchedColumn();
    show();
    edtProcurar->setFocus();
    edtProcurar->selectAll();
}

void FindBar::Close()
{
    hide();
    lblResultado->clear();
    m_grid->setFocus();
}

int FindBar::searchedColumn() const
{
    const QModelIndex current = m_grid->currentIndex();
    return current.isValid() ? current.column() : m_grid->horizontalHeader()->logicalIndex(0);
}

void FindBar::nameSearchedColumn()
{
    const int column = searchedColumn();
    const QString title = column >= 0 ? PreviewCells::ColumnTitle(*m_grid, column) : QString();
    lblProcurar->setText(title.isEmpty() ? QStringLiteral("Procurar:") : QStringLiteral("Procurar em %1:").arg(title));
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
    const int column = searchedColumn();
    const int from = current.isValid() ? current.row() : -1;
    const int found = rows > 0 ? findRow(Folded(typed), column, from + 1) : -1;
    const QString columnTitle = PreviewCells::ColumnTitle(*m_grid, column);
    if (found < 0) {
        lblResultado->setText(QStringLiteral("Nenhuma linha contém \"%1\" na coluna \"%2\".").arg(typed, columnTitle));
        QApplication::beep();
        return;
    }
    lblResultado->setText(found <= from ? QStringLiteral("Procura reiniciada da primeira linha.") : QString());
    m_grid->setCurrentIndex(m_grid->model()->index(found, column));
    m_grid->scrollTo(m_grid->currentIndex());
}

namespace {

// Whether `text` holds `folded` (a folded text) once folded itself. A text of
// ASCII characters only has no accents to drop and folds to its lower case,
// which the case-blind search compares without making a folded copy: most cells
// of a preview are such texts, and a search may read a million of them.
bool holdsFolded(const QString &text, const QString &folded)
{
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    return ascii ? text.contains(folded, Qt::CaseInsensitive) : FindBar::Folded(text).contains(folded);
}

// holdsFolded for a text held as UTF-8 and a folded needle of ASCII
// characters (`needle` its bytes): an ASCII text is searched byte by byte, its
// letters lowered as the folded needle's are; any other text the careful way.
bool holdsFoldedUtf8(std::string_view text, const QByteArray &needle, const QString &folded)
{
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](char c) { return uchar(c) < 0x80; });
    if (!ascii)
        return holdsFolded(QString::fromUtf8(text.data(), qsizetype(text.size())), folded);
    const auto lowered = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    const auto found = std::search(text.cbegin(), text.cend(), needle.cbegin(), needle.cend(),
                                   [&](char t, char n) { return lowered(t) == n; });
    return found != text.cend();
}

} // namespace

int FindBar::findRow(const QString &folded, int gridColumn, int start) const
{
    const int rows = m_grid->model()->rowCount();
    const int stored = findStoredRow(folded, gridColumn, start);
    if (stored != NotStored)
        return stored;
    for (int step = 0; step < rows; ++step) {
        const int row = (start + step) % rows;
        if (holdsFolded(PreviewCells::CellText(*m_grid, row, gridColumn), folded))
            return row;
    }
    return -1;
}

int FindBar::findStoredRow(const QString &folded, int gridColumn, int start) const
{
    const TField *field = m_grid->ColumnField(gridColumn);
    const TClientDataSet *dataSet = m_grid->DataModel()->DataSet();
    const int rows = m_grid->model()->rowCount();
    // Only a browsed dataset's cells read as its store; an empty needle (typed
    // marks only) is left to the general search.
    if (!field || !dataSet || dataSet->State() != TDataSetState::Browse || folded.isEmpty()
        || dataSet->Store().rowCount() != rows)
        return NotStored;
    const TRecordStore &store = dataSet->Store();
    const int column = field->Index();
    const auto scan = [&](const auto &holds) {
        for (int step = 0; step < rows; ++step) {
            const int row = (start + step) % rows;
            if (holds(row))
                return row;
        }
        return -1;
    };
    const bool asciiNeedle = std::all_of(folded.cbegin(), folded.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (asciiNeedle && PreviewCells::ShowsStoredText(*field)) {
        const QByteArray needle = folded.toLatin1();
        return scan([&](int row) { return holdsFoldedUtf8(store.text(row, column), needle, folded); });
    }
    if (PreviewCells::ShowsFromStoredText(*field)) {
        // A status or a tick has a handful of stored texts: each is matched once.
        const bool nullHolds = holdsFolded(PreviewCells::ShownFromStored(*field, QString()), folded);
        std::unordered_map<std::string_view, bool> holdsOf;
        return scan([&](int row) {
            if (store.isNull(row, column))
                return nullHolds;
            const std::string_view text = store.text(row, column);
            auto at = holdsOf.find(text);
            if (at == holdsOf.end()) {
                const QString stored = QString::fromUtf8(text.data(), qsizetype(text.size()));
                at = holdsOf.emplace(text, holdsFolded(PreviewCells::ShownFromStored(*field, stored), folded)).first;
            }
            return at->second;
        });
    }
    return NotStored;
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched == edtProcurar
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        Close();
        return true;
    }
    return QFrame::eventFilter(watched, event);
}
