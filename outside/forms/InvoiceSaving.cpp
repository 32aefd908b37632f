#include "outside/forms/InvoiceSaving.h"

#include <QFileDialog>
#include <QMessageBox>

#include "documents/InvoicePdf.h"

namespace InvoiceSaving {

void askAndSave(QWidget *parent, const InvoiceDocument &invoice)
{
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Salvar fatura em PDF"),
                                                      InvoicePdf::fileName(invoice),
                                                      QStringLiteral("Documento PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!InvoicePdf::save(invoice, path, &error))
        QMessageBox::warning(parent, QStringLiteral("Salvar fatura"), error);
}

} // namespace InvoiceSaving
