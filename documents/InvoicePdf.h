#pragma once

#include <QByteArray>
#include <QString>

#include "documents/InvoiceDocument.h"
#include "fasdocuments_export.h"

// The invoice as a PDF (A4, fonts embedded), in English with the Portuguese titles
// beside them. The bytes depend only on the document: the file's creation date is
// the entry's date, never the day it is made, so every reprint is the same file.
namespace InvoicePdf {

FASDOCUMENTS_EXPORT QByteArray make(const InvoiceDocument &invoice);
// Writes make(invoice) to path; false and the reason in Portuguese on failure.
FASDOCUMENTS_EXPORT bool save(const InvoiceDocument &invoice, const QString &path, QString *error);
// The name offered for the file: "fatura-<company>-<number>.pdf".
FASDOCUMENTS_EXPORT QString fileName(const InvoiceDocument &invoice);

// Sets the Info dictionary's /CreationDate of a PDF written by Qt to `when` (no time
// zone: the value is wall-clock) and moves the cross-reference offsets that follow by
// the change in length. Returns the PDF unchanged when it has no such date.
FASDOCUMENTS_EXPORT QByteArray withCreationDate(const QByteArray &pdf, const QDateTime &when);

} // namespace InvoicePdf
