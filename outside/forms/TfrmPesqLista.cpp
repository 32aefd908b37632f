#include "outside/forms/TfrmPesqLista.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "platform/data/TClientDataSet.h"

namespace {

constexpr int KeyRole = Qt::UserRole + 1;

} // namespace

TfrmPesqLista::TfrmPesqLista(TClientDataSet &dataSet, const QString &keyField, const QString &title,
                             const QStringList &picked, QWidget *parent)
    : QDialog(parent)
    , m_model(new QStandardItemModel(this))
    , m_shown(new QSortFilterProxyModel(this))
{
    setObjectName(QStringLiteral("frmPesqLista"));
    setWindowTitle(title);
    setModal(true);
    resize(560, 420);

    edtProcurar = new QLineEdit(this);
    edtProcurar->setObjectName(QStringLiteral("edtProcurar"));
    edtProcurar->setPlaceholderText(QStringLiteral("Procurar..."));
    edtProcurar->setClearButtonEnabled(true);
    grdLista = new QTableView(this);
    grdLista->setObjectName(QStringLiteral("grdLista"));
    btnMarcarTodos = new QPushButton(QStringLiteral("Marcar todos"), this);
    btnMarcarTodos->setObjectName(QStringLiteral("btnMarcarTodos"));
    btnDesmarcarTodos = new QPushButton(QStringLiteral("Desmarcar todos"), this);
    btnDesmarcarTodos->setObjectName(QStringLiteral("btnDesmarcarTodos"));
    btnConfirmar = new QPushButton(QStringLiteral("Confirmar"), this);
    btnConfirmar->setObjectName(QStringLiteral("btnConfirmar"));
    btnConfirmar->setDefault(true);
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    lblMarcados = new QLabel(this);
    lblMarcados->setObjectName(QStringLiteral("lblMarcados"));

    auto *commands = new QHBoxLayout;
    commands->addWidget(btnMarcarTodos);
    commands->addWidget(btnDesmarcarTodos);
    commands->addWidget(lblMarcados, 1);
    commands->addWidget(btnConfirmar);
    commands->addWidget(btnCancelar);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(edtProcurar);
    layout->addWidget(grdLista, 1);
    layout->addLayout(commands);

    fill(dataSet, keyField, picked);
    m_shown->setSourceModel(m_model);
    m_shown->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_shown->setFilterKeyColumn(-1);
    grdLista->setModel(m_shown);
    grdLista->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdLista->setSelectionMode(QAbstractItemView::SingleSelection);
    grdLista->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdLista->verticalHeader()->setVisible(false);
    grdLista->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdLista->verticalHeader()->setDefaultSectionSize(grdLista->fontMetrics().height() + 4);
    grdLista->horizontalHeader()->setStretchLastSection(true);
    grdLista->resizeColumnsToContents();
    grdLista->installEventFilter(this);
    if (m_shown->rowCount() > 0)
        grdLista->setCurrentIndex(m_shown->index(0, 1));

    connect(edtProcurar, &QLineEdit::textChanged, m_shown, &QSortFilterProxyModel::setFilterFixedString);
    connect(btnMarcarTodos, &QPushButton::clicked, this, [this] { tickShown(true); });
    connect(btnDesmarcarTodos, &QPushButton::clicked, this, [this] { tickShown(false); });
    connect(btnConfirmar, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancelar, &QPushButton::clicked, this, &QDialog::reject);
    connect(grdLista, &QTableView::doubleClicked, this, [this] { toggleCurrent(); });
    connect(m_model, &QStandardItemModel::itemChanged, this, &TfrmPesqLista::showCount);
    showCount();
}

void TfrmPesqLista::fill(TClientDataSet &dataSet, const QString &keyField, const QStringList &picked)
{
    QList<TField *> shown;
    QStringList headers{QString()};
    for (int i = 0; i < dataSet.FieldCount(); ++i) {
        TField *field = dataSet.Fields(i);
        if (field->Visible()) {
            shown << field;
            headers << field->DisplayLabel();
        }
    }
    m_model->setColumnCount(int(headers.size()));
    m_model->setHorizontalHeaderLabels(headers);
    const TField *key = dataSet.FieldByName(keyField);
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
        QList<QStandardItem *> row;
        auto *tick = new QStandardItem;
        tick->setCheckable(true);
        tick->setEditable(false);
        const QString keyText = key->AsString();
        tick->setData(keyText, KeyRole);
        tick->setCheckState(picked.contains(keyText) ? Qt::Checked : Qt::Unchecked);
        row << tick;
        for (const TField *field : std::as_const(shown)) {
            auto *cell = new QStandardItem(field->DisplayText());
            cell->setEditable(false);
            row << cell;
        }
        m_model->appendRow(row);
    }
    dataSet.First();
}

QStringList TfrmPesqLista::PickedKeys() const
{
    QStringList keys;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QStandardItem *tick = m_model->item(row, 0);
        if (tick->checkState() == Qt::Checked)
            keys << tick->data(KeyRole).toString();
    }
    return keys;
}

int TfrmPesqLista::RowCount() const
{
    return m_model->rowCount();
}

QString TfrmPesqLista::KeyAt(int shownRow) const
{
    return m_shown->index(shownRow, 0).data(KeyRole).toString();
}

void TfrmPesqLista::tickShown(bool ticked)
{
    for (int row = 0; row < m_shown->rowCount(); ++row) {
        const QModelIndex source = m_shown->mapToSource(m_shown->index(row, 0));
        m_model->itemFromIndex(source)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void TfrmPesqLista::toggleCurrent()
{
    const QModelIndex current = grdLista->currentIndex();
    if (!current.isValid())
        return;
    QStandardItem *tick = m_model->item(m_shown->mapToSource(current).row(), 0);
    tick->setCheckState(tick->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void TfrmPesqLista::showCount()
{
    lblMarcados->setText(QStringLiteral("%1 de %2 marcado(s)").arg(PickedKeys().size()).arg(m_model->rowCount()));
}

bool TfrmPesqLista::eventFilter(QObject *watched, QEvent *event)
{
    // Space ticks or unticks the current row, wherever the row's focus is.
    if (watched == grdLista && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
        toggleCurrent();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
