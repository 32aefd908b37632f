#include "server/nfse/DpsSigner.h"

#include <mutex>

#include <QFile>
#include <QFileInfo>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <xmlsec/base64.h>
#include <xmlsec/crypto.h>
#include <xmlsec/errors.h>
#include <xmlsec/templates.h>
#include <xmlsec/xmldsig.h>
#include <xmlsec/xmlsec.h>
#include <xmlsec/xmltree.h>

#include "platform/data/FasError.h"
#include "platform/data/PrivateFile.h"

namespace {

template<typename T, void (*Free)(T *)>
struct Freer
{
    void operator()(T *p) const { Free(p); }
};
using Pkcs12Ptr = std::unique_ptr<PKCS12, Freer<PKCS12, PKCS12_free>>;
using X509Ptr = std::unique_ptr<X509, Freer<X509, X509_free>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using DocPtr = std::unique_ptr<xmlDoc, Freer<xmlDoc, xmlFreeDoc>>;
using DsigCtxPtr = std::unique_ptr<xmlSecDSigCtx, Freer<xmlSecDSigCtx, xmlSecDSigCtxDestroy>>;
using XmlSecKeyPtr = std::unique_ptr<xmlSecKey, Freer<xmlSecKey, xmlSecKeyDestroy>>;

const xmlChar *xmlText(const char *text)
{
    return reinterpret_cast<const xmlChar *>(text);
}

struct XmlTextFreer
{
    void operator()(xmlChar *text) const { xmlFree(text); }
};

void freeCaStack(STACK_OF(X509) * stack)
{
    sk_X509_pop_free(stack, X509_free);
}

// xmlsec1 reports a failure as a chain of calls, the cause first; the signer keeps
// the cause (per thread) for its message instead of letting xmlsec1 print to stderr.
thread_local QString xmlsecCause;

void keepXmlsecCause(const char *, int, const char *, const char *, const char *subject, int reason, const char *msg)
{
    if (xmlsecCause.isEmpty())
        xmlsecCause = QStringLiteral("%1 (%2, código %3)")
                          .arg(QString::fromUtf8(msg ? msg : ""), QString::fromUtf8(subject ? subject : ""))
                          .arg(reason);
}

// xmlsec1 and its OpenSSL engine, once per process. The legacy provider reads the
// older PKCS#12 files (RC2, 3DES) that certificate authorities still hand out.
void initialiseOnce()
{
    static std::once_flag once;
    static QString failure;
    std::call_once(once, [] {
        xmlInitParser();
        if (OSSL_PROVIDER_load(nullptr, "legacy"))
            OSSL_PROVIDER_load(nullptr, "default");
        xmlSecBase64SetDefaultLineSize(1 << 24); // base64 values on one line
        xmlSecSetDefaultLineFeed(xmlText(""));
        xmlSecErrorsSetCallback(keepXmlsecCause);
        if (xmlSecInit() < 0 || xmlSecCheckVersion() != 1 || xmlSecOpenSSLAppInit(nullptr) < 0
            || xmlSecOpenSSLInit() < 0)
            failure = QStringLiteral("A biblioteca de assinatura XML (xmlsec1 com OpenSSL) não pôde ser iniciada: "
                                     "reinstale os pacotes libxmlsec1 e libxmlsec1-openssl.");
    });
    if (!failure.isEmpty())
        throw FasError(failure);
}

QString opensslReason()
{
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("motivo não informado");
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

QByteArray readSecret(const QString &path, const QString &what)
{
    if (!QFileInfo::exists(path))
        throw FasError(QStringLiteral("%1 (%2) não foi encontrado. Confira o caminho na seção [nfse] do arquivo de "
                                      "configuração.")
                           .arg(what, path));
    PrivateFile::requireOwnerOnly(path, what);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FasError(QStringLiteral("%1 (%2) não pôde ser lido: %3.").arg(what, path, file.errorString()));
    return file.readAll();
}

QByteArray passwordFrom(QByteArray content)
{
    while (content.endsWith('\n') || content.endsWith('\r'))
        content.chop(1);
    return content;
}

QDate dateOf(const ASN1_TIME *time)
{
    struct tm parts = {};
    if (!ASN1_TIME_to_tm(time, &parts))
        return {};
    return QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
}

struct Parsed
{
    PkeyPtr key;
    X509Ptr certificate;
};

Parsed parsePkcs12(const QByteArray &content, const QByteArray &password, const QString &path,
                   const QString &passwordPath)
{
    BioPtr bio(BIO_new_mem_buf(content.constData(), static_cast<int>(content.size())));
    Pkcs12Ptr p12(d2i_PKCS12_bio(bio.get(), nullptr));
    if (!p12)
        throw FasError(QStringLiteral("O arquivo %1 não é um certificado A1 no formato PKCS#12 (.pfx ou .p12): %2. "
                                      "Exporte o certificado da empresa com a chave privada nesse formato.")
                           .arg(path, opensslReason()));
    if (!PKCS12_verify_mac(p12.get(), password.constData(), static_cast<int>(password.size())))
        throw FasError(QStringLiteral("A senha guardada em %1 não abre o certificado %2. Grave nesse arquivo a "
                                      "senha do certificado A1 da empresa.")
                           .arg(passwordPath, path));
    EVP_PKEY *key = nullptr;
    X509 *certificate = nullptr;
    STACK_OF(X509) *chain = nullptr;
    const bool parsed = PKCS12_parse(p12.get(), password.constData(), &key, &certificate, &chain);
    freeCaStack(chain);
    Parsed result{PkeyPtr(key), X509Ptr(certificate)};
    if (!parsed || !result.key || !result.certificate)
        throw FasError(QStringLiteral("O certificado %1 não traz a chave privada e o certificado da empresa: %2. "
                                      "Exporte-o de novo com a chave privada.")
                           .arg(path, opensslReason()));
    return result;
}

void requireInForce(X509 *certificate, const QString &path)
{
    const QString format = QStringLiteral("dd/MM/yyyy");
    if (X509_cmp_current_time(X509_get0_notAfter(certificate)) <= 0)
        throw FasError(QStringLiteral("O certificado %1 venceu em %2: nada foi assinado. Instale o certificado A1 "
                                      "renovado da empresa e indique-o na seção [nfse] da configuração.")
                           .arg(path, dateOf(X509_get0_notAfter(certificate)).toString(format)));
    if (X509_cmp_current_time(X509_get0_notBefore(certificate)) >= 0)
        throw FasError(QStringLiteral("O certificado %1 só vale a partir de %2: nada foi assinado. Confira a data "
                                      "do servidor ou use o certificado em vigor.")
                           .arg(path, dateOf(X509_get0_notBefore(certificate)).toString(format)));
}

xmlNodePtr firstElementWithId(xmlNodePtr root)
{
    for (xmlNodePtr node = root ? root->children : nullptr; node; node = node->next)
        if (node->type == XML_ELEMENT_NODE && xmlHasProp(node, xmlText("Id")))
            return node;
    return nullptr;
}

} // namespace

struct DpsSigner::Key
{
    XmlSecKeyPtr key;
    QDate validUntil;
    Parsed tls; // the same key and certificate, for the TLS connection
};

DpsSigner::DpsSigner(const QString &pkcs12Path, const QString &passwordPath)
{
    initialiseOnce();
    const QByteArray content = readSecret(pkcs12Path, QStringLiteral("O certificado A1 da empresa"));
    const QByteArray password = passwordFrom(
        readSecret(passwordPath, QStringLiteral("O arquivo da senha do certificado A1")));
    Parsed parsed = parsePkcs12(content, password, pkcs12Path, passwordPath);
    requireInForce(parsed.certificate.get(), pkcs12Path);
    xmlsecCause.clear();
    XmlSecKeyPtr key(xmlSecOpenSSLAppPkcs12LoadMemory(reinterpret_cast<const xmlSecByte *>(content.constData()),
                                                      static_cast<xmlSecSize>(content.size()), password.constData(),
                                                      nullptr, nullptr));
    if (!key)
        throw FasError(QStringLiteral("O certificado %1 não pôde ser preparado para assinar: %2.")
                           .arg(pkcs12Path, xmlsecCause.isEmpty() ? opensslReason() : xmlsecCause));
    const QDate validUntil = dateOf(X509_get0_notAfter(parsed.certificate.get()));
    m_key = std::make_unique<Key>(Key{std::move(key), validUntil, std::move(parsed)});
}

DpsSigner::~DpsSigner() = default;

QDate DpsSigner::validUntil() const
{
    return m_key->validUntil;
}

EVP_PKEY *DpsSigner::privateKey() const
{
    return m_key->tls.key.get();
}

X509 *DpsSigner::certificate() const
{
    return m_key->tls.certificate.get();
}

QByteArray DpsSigner::sign(const QByteArray &xml) const
{
    DocPtr doc(xmlReadMemory(xml.constData(), static_cast<int>(xml.size()), "nfse.xml", nullptr, XML_PARSE_NONET));
    xmlNodePtr root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    xmlNodePtr target = firstElementWithId(root);
    if (!target)
        throw FasError(QStringLiteral("O documento a assinar não é uma DPS nem um pedido de evento da NFS-e: falta "
                                      "o elemento com o atributo Id."));
    if (xmlSecFindChild(root, xmlSecNodeSignature, xmlSecDSigNs))
        throw FasError(
            QStringLiteral("O documento da NFS-e já está assinado: envie-o como está, sem assiná-lo de novo."));
    xmlsecCause.clear();
    xmlAttrPtr idAttr = xmlHasProp(target, xmlText("Id"));
    const std::unique_ptr<xmlChar, XmlTextFreer> id(xmlNodeListGetString(doc.get(), idAttr->children, 1));
    xmlAddID(nullptr, doc.get(), id.get(), idAttr);
    const QByteArray uri = "#" + QByteArray(reinterpret_cast<const char *>(id.get()));

    xmlNodePtr signature = xmlSecTmplSignatureCreate(doc.get(), xmlSecTransformInclC14NId, xmlSecTransformRsaSha256Id,
                                                     nullptr);
    if (!signature || !xmlAddChild(root, signature))
        throw FasError(
            QStringLiteral("A assinatura do documento da NFS-e não pôde ser preparada: %1.").arg(xmlsecCause));
    xmlNodePtr reference = xmlSecTmplSignatureAddReference(signature, xmlSecTransformSha256Id, nullptr,
                                                           xmlText(uri.constData()), nullptr);
    xmlSecTmplReferenceAddTransform(reference, xmlSecTransformEnvelopedId);
    xmlSecTmplReferenceAddTransform(reference, xmlSecTransformInclC14NId);
    xmlSecTmplX509DataAddCertificate(
        xmlSecTmplKeyInfoAddX509Data(xmlSecTmplSignatureEnsureKeyInfo(signature, nullptr)));

    DsigCtxPtr context(xmlSecDSigCtxCreate(nullptr));
    if (!context || !(context->signKey = xmlSecKeyDuplicate(m_key->key.get()))
        || xmlSecDSigCtxSign(context.get(), signature) < 0)
        throw FasError(QStringLiteral("A assinatura do documento da NFS-e falhou: %1.")
                           .arg(xmlsecCause.isEmpty() ? opensslReason() : xmlsecCause));

    xmlChar *text = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc.get(), &text, &size, "UTF-8");
    const QByteArray signedXml(reinterpret_cast<const char *>(text), size);
    xmlFree(text);
    return signedXml;
}
