#include "documents/InvoiceDocument.h"

#include <cmath>

double InvoiceDocument::total() const
{
    // Summed in cents, as the entry's total is kept, so 0.1 + 0.2 prints 0.30.
    qint64 cents = 0;
    for (const Line &line : lines)
        cents += qint64(std::llround(line.value * 100));
    return double(cents) / 100;
}
