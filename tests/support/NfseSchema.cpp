#include "tests/support/NfseSchema.h"

#include <QFile>

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

namespace NfseSchema {

QString problems(const QByteArray &xml, const QString &schemaFile)
{
    const QString schemaDir = QStringLiteral(FAS_SOURCE_DIR "/server/nfse/schemas/v1_01/");
    QString errors;
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(QFile::encodeName(schemaDir + schemaFile).constData());
    xmlSchemaPtr schema = xmlSchemaParse(parser);
    xmlSchemaValidCtxtPtr valid = schema ? xmlSchemaNewValidCtxt(schema) : nullptr;
    xmlDocPtr doc = xmlReadMemory(xml.constData(), static_cast<int>(xml.size()), "dps.xml", nullptr, XML_PARSE_NONET);
    xmlSchemaSetValidStructuredErrors(
        valid, [](void *out, xmlErrorPtr error) { *static_cast<QString *>(out) += QString::fromUtf8(error->message); },
        &errors);
    const int result = (valid && doc) ? xmlSchemaValidateDoc(valid, doc) : -1;
    xmlFreeDoc(doc);
    xmlSchemaFreeValidCtxt(valid);
    xmlSchemaFree(schema);
    xmlSchemaFreeParserCtxt(parser);
    return result == 0 ? QString() : errors + QStringLiteral(" (resultado %1)").arg(result);
}

} // namespace NfseSchema
