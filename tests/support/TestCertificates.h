#pragma once

#include <QString>

// A company's A1 certificate made for a test with the openssl command line: a
// self-signed RSA key and certificate (PEM, for a verifier to trust) and the PKCS#12
// file a signer loads, with its password in an owner-only file beside it.
struct TestCertificate
{
    QString pkcs12;
    QString passwordFile;
    QString certificatePem;
};

enum class CertificateValidity { InForce, Expired };

// Writes the files into `dir` under names starting with `name`. Returns a certificate
// with empty paths (and says why with qWarning) when openssl fails.
TestCertificate makeTestCertificate(const QString &dir, const QString &name, const QString &password,
                                    CertificateValidity validity = CertificateValidity::InForce);
