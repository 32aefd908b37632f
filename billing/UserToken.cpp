#include "billing/UserToken.h"

#include <array>

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

namespace UserToken {

QString generate()
{
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), qsizetype(sizeof words));
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString hashOf(std::string_view token)
{
    const QByteArray digest = QCryptographicHash::hash(QByteArrayView(token.data(), qsizetype(token.size())),
                                                       QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex());
}

} // namespace UserToken
