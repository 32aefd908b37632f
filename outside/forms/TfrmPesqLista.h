#pragma once

#include <QDialog>
#include <QStringList>

#include "kor_export.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class TClientDataSet;

// The list picker: the rows of a dataset with a tick box each, a search box
// that narrows the rows shown, commands to tick or untick every row shown, and
// the keys of the ticked rows as the answer. Used by Pesqlista::PesquisaLista.
class KOR_EXPORT TfrmPesqLista : public QDialog
{
    Q_OBJECT
public:
    // Lists the dataset's rows (its visible fields, in their display texts) with
    // the rows whose key is in `picked` ticked.
    TfrmPesqLista(TClientDataSet &dataSet, const QString &keyField, const QString &title, const QStringList &picked,
                  QWidget *parent = nullptr);

    // The keys of the ticked rows, in the dataset's order.
    QStringList PickedKeys() const;
    int RowCount() const;
    // The key of the row shown at `shownRow` (after the search box's narrowing).
    QString KeyAt(int shownRow) const;

    QLineEdit *edtProcurar = nullptr;
    QTableView *grdLista = nullptr;
    QPushButton *btnMarcarTodos = nullptr;
    QPushButton *btnDesmarcarTodos = nullptr;
    QPushButton *btnConfirmar = nullptr;
    QPushButton *btnCancelar = nullptr;
    QLabel *lblMarcados = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fill(TClientDataSet &dataSet, const QString &keyField, const QStringList &picked);
    void tickShown(bool ticked);
    void toggleCurrent();
    void showCount();

    QStandardItemModel *m_model;
    QSortFilterProxyModel *m_shown;
};
