#pragma once

#include "kor_export.h"

class QWidget;
struct InvoiceDocument;

// "Salvar fatura em PDF": asks where, offering the invoice's own file name, and
// writes the PDF there; a failure is told in a message over `parent`.
namespace InvoiceSaving {

KOR_EXPORT void askAndSave(QWidget *parent, const InvoiceDocument &invoice);

} // namespace InvoiceSaving
