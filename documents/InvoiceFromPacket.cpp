#include "documents/InvoiceFromPacket.h"

#include <algorithm>

#include "billing/BillingCodes.h"
#include "platform/data/TClientDataSet.h"
#include "platform/data/TField.h"

namespace {

QString text(const TClientDataSet &ds, const char *field)
{
    return ds.FieldByName(QString::fromLatin1(field))->AsString().trimmed();
}

QStringList joinedLines(const QList<QStringList> &parts)
{
    QStringList lines;
    for (QStringList part : parts) {
        part.removeAll(QString());
        if (!part.isEmpty())
            lines << part.join(QStringLiteral(" — "));
    }
    return lines;
}

} // namespace

InvoiceDocument InvoiceFromPacket::read(const TDataPacket &packet)
{
    TClientDataSet ds;
    ds.SetData(packet);
    ds.First();
    InvoiceDocument d;
    if (ds.Eof())
        return d;
    d.company = text(ds, "CDEMPRESA");
    d.number = qint64(ds.FieldByName(QStringLiteral("NRLANCFAT"))->AsFloat());
    d.date = ds.FieldByName(QStringLiteral("DTLANCFAT"))->AsDateTime();
    d.reversed = text(ds, "IDSITUACAO") == u"E";
    d.issuer.name = text(ds, "NMEMPRESA");
    d.issuer.taxId = text(ds, "NRCNPJEMPRESA");
    d.issuer.address = joinedLines({{text(ds, "NMFILIAL")}, {text(ds, "NMCIDADEFILIAL"), text(ds, "SGESTADOEMPRESA")}});
    const QString legalName = text(ds, "NMRAZSOCCLIE");
    d.client.name = legalName.isEmpty() ? text(ds, "NMFANTCLIE") : legalName;
    d.client.taxId = text(ds, "NRINSJURCLIE");
    d.client.address = joinedLines(
        {{text(ds, "DSLOGRENDECLIE"), text(ds, "NMBAIRENDECLIE")},
         {text(ds, "NRCEPENDECLIE"), text(ds, "NMCIDADECLIE"), text(ds, "SGESTADOCLIE")},
         {text(ds, "CDPAIS") == u"0055" ? QString() : QStringLiteral("País / Country: ") + text(ds, "CDPAIS")}});
    for (; !ds.Eof(); ds.Next()) {
        InvoiceDocument::Line line;
        line.service = text(ds, "NMPRODUTO");
        if (line.service.isEmpty())
            line.service = BillingCodes::serviceTypeText(text(ds, "IDAPURFATFAS"));
        line.description = text(ds, "DSFATURCLIE");
        line.month = ds.FieldByName(QStringLiteral("DTMESAPURFAS"))->AsDateTime().date();
        line.value = ds.FieldByName(QStringLiteral("VRTOTAFATFAS"))->AsFloat();
        d.lines << line;
    }
    // The server answers in month order; the document keeps it whatever the packet's order.
    std::stable_sort(d.lines.begin(), d.lines.end(),
                     [](const InvoiceDocument::Line &a, const InvoiceDocument::Line &b) { return a.month < b.month; });
    return d;
}
