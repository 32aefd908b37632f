#include "server/nfse/CancellationBuilder.h"

#include <QXmlStreamWriter>

#include <fas/Version.h>

#include "platform/data/FasError.h"
#include "server/nfse/DpsBuilder.h"
#include "billing/FiscalId.h"
#include "server/nfse/NfseFormat.h"

QStringList CancellationData::problems() const
{
    QStringList list;
    if (const QString author = FiscalId::documentProblem(authorDocument); !author.isEmpty())
        list << QStringLiteral("O CNPJ ou CPF da empresa emitente: %1. Corrija o cadastro.").arg(author);
    const QString key = accessKey.trimmed();
    if (key.size() != 50 || NfseFormat::digitsOf(key) != key)
        list << QStringLiteral("A chave de acesso da NFS-e (%1) deve ter 50 dígitos.").arg(key);
    const QString when = NfseFormat::dateTimeProblem(requested,
                                                     QStringLiteral("A data e hora do pedido de cancelamento"));
    if (!when.isEmpty())
        list << when;
    const qsizetype length = reasonText.trimmed().size();
    if (length < 15 || length > 255)
        list << QStringLiteral("O motivo do cancelamento tem %1 caracteres; o leiaute da NFS-e pede de 15 a 255. "
                               "Descreva o motivo com mais clareza.")
                    .arg(length);
    return list;
}

namespace CancellationBuilder {

namespace {

const char *const cancellationEvent = "101101";

void text(QXmlStreamWriter &xml, const char *name, const QString &value)
{
    xml.writeTextElement(QString::fromLatin1(name), value);
}

void writeEvent(QXmlStreamWriter &xml, const CancellationData &d)
{
    xml.writeStartElement(QStringLiteral("e%1").arg(QLatin1String(cancellationEvent)));
    text(xml, "xDesc", QStringLiteral("Cancelamento de NFS-e"));
    text(xml, "cMotivo", QString::number(static_cast<int>(d.reason)));
    text(xml, "xMotivo", d.reasonText.trimmed());
    xml.writeEndElement();
}

} // namespace

QString requestId(const CancellationData &data)
{
    return QStringLiteral("PRE%1%2").arg(data.accessKey.trimmed(), QLatin1String(cancellationEvent));
}

QByteArray build(const CancellationData &data)
{
    const QStringList problems = data.problems();
    if (!problems.isEmpty())
        throw FasError(QStringLiteral("O pedido de cancelamento da NFS-e não pode ser montado:\n- %1")
                           .arg(problems.join(QStringLiteral("\n- "))));
    const QString author = FiscalId::bare(data.authorDocument);
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(QStringLiteral("http://www.sped.fazenda.gov.br/nfse"));
    xml.writeStartElement(QStringLiteral("pedRegEvento"));
    xml.writeAttribute(QStringLiteral("versao"), QString::fromLatin1(DpsBuilder::layoutVersion));
    xml.writeStartElement(QStringLiteral("infPedReg"));
    xml.writeAttribute(QStringLiteral("Id"), requestId(data));
    text(xml, "tpAmb",
         data.environment == DpsData::Environment::Production ? QStringLiteral("1") : QStringLiteral("2"));
    text(xml, "verAplic", QStringLiteral("FAS09600 " FAS_VERSION_TEXT));
    text(xml, "dhEvento", NfseFormat::dateTime(data.requested));
    text(xml, author.size() == 14 ? "CNPJAutor" : "CPFAutor", author);
    text(xml, "chNFSe", data.accessKey.trimmed());
    writeEvent(xml, data);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

} // namespace CancellationBuilder
