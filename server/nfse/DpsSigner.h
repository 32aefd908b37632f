#pragma once

#include <memory>

#include <QByteArray>
#include <QDate>
#include <QString>

#include <openssl/types.h>

// Signs the documents sent to the national NFS-e system with the company's A1
// certificate: an XML-DSig enveloped signature of the document's first element that
// carries an Id (infDPS of a DPS, infPedReg of an event request), RSA-SHA256 with a
// SHA-256 digest, inclusive canonical XML 1.0 (the enveloped-signature and C14N
// transforms), the certificate in KeyInfo/X509Data. The canonicalization and the
// signature are xmlsec1's (OpenSSL), not written here.
//
// The certificate is a PKCS#12 file (.pfx/.p12) and its password is in a file of its
// own; both must be readable by their owner only. A missing file, a wrong password,
// a certificate that has expired or is not valid yet are refused when the signer is
// made, with a message that names the file and what to do.
class DpsSigner
{
public:
    DpsSigner(const QString &pkcs12Path, const QString &passwordPath);
    ~DpsSigner();
    DpsSigner(const DpsSigner &) = delete;
    DpsSigner &operator=(const DpsSigner &) = delete;

    // The last day the certificate is valid.
    QDate validUntil() const;

    // The certificate and its key, owned by the signer: the client certificate of the
    // TLS connection to the national service is the one that signs.
    EVP_PKEY *privateKey() const;
    X509 *certificate() const;

    // `xml` with the Signature appended to its root element. Throws FasError when
    // the document is not XML or has no element to sign. Safe to call from several
    // threads at once.
    QByteArray sign(const QByteArray &xml) const;

private:
    struct Key;
    std::unique_ptr<Key> m_key;
};
