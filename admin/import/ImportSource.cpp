#include "admin/import/ImportSource.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStringDecoder>

#include "admin/import/ImportError.h"

namespace ImportSource {

namespace {

[[noreturn]] void refuseOpen(const QString &path, int error)
{
    if (error == ENOENT || error == ENOTDIR)
        throw ImportError(QStringLiteral("O arquivo %1 não existe.").arg(path));
    if (error == EACCES || error == EPERM)
        throw ImportError(QStringLiteral("Sem permissão para ler o arquivo %1: ele existe, mas o usuário que "
                                         "executa o fas-admin não pode lê-lo. Ajuste as permissões do arquivo "
                                         "(ou da pasta) e importe de novo.")
                              .arg(path));
    throw ImportError(QStringLiteral("Não foi possível ler o arquivo %1: %2.")
                          .arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

// The line (from 1) of the first byte that is not UTF-8.
int firstBadLine(const QByteArray &bytes)
{
    int line = 1;
    for (const QByteArray &text : bytes.split('\n')) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString ignored = decoder(text);
        if (decoder.hasError())
            return line;
        ++line;
    }
    return line;
}

[[noreturn]] void refuseEncoding(const QString &path, const QString &where)
{
    throw ImportError(QStringLiteral("O arquivo %1 não está codificado em UTF-8 (%2). Abra-o na planilha e "
                                     "salve-o como \"CSV UTF-8\" (separado por ponto e vírgula), depois "
                                     "importe de novo.")
                          .arg(path, where));
}

} // namespace

QString load(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        refuseOpen(path, errno);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        refuseOpen(path, EIO);
    }
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
        throw ImportError(QStringLiteral("%1 é uma pasta; informe o arquivo CSV a importar.").arg(path));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ImportError(QStringLiteral("Não foi possível ler o arquivo %1: %2.").arg(path, file.errorString()));
    return decode(bytes, path);
}

QString decode(const QByteArray &bytes, const QString &path)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        refuseEncoding(path, QStringLiteral("está em UTF-16"));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    if (decoder.hasError())
        refuseEncoding(path, QStringLiteral("a linha %1 tem caracteres de outra codificação").arg(firstBadLine(bytes)));
    return text;
}

} // namespace ImportSource
