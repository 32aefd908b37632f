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

// Opens `path` for reading, telling apart a missing file, one the user may not
// read and a folder.
void open(QFile &file, const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        refuseOpen(path, errno);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        refuseOpen(path, EIO);
    }
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
        throw ImportError(QStringLiteral("%1 é uma pasta; informe o arquivo CSV a importar.").arg(path));
}

[[noreturn]] void refuseRead(const QString &path, const QFile &file)
{
    throw ImportError(QStringLiteral("Não foi possível ler o arquivo %1: %2.").arg(path, file.errorString()));
}

QString load(const QString &path)
{
    QFile file;
    open(file, path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        refuseRead(path, file);
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

ImportStream::ImportStream(const QString &path, qsizetype pieceBytes)
    : m_path(path)
    , m_pieceBytes(pieceBytes)
{
    ImportSource::open(m_file, path);
}

// Reads a block more; false at the end of the file.
bool ImportStream::fill()
{
    const qsizetype had = m_bytes.size();
    m_bytes.resize(had + m_pieceBytes);
    const qint64 got = m_file.read(m_bytes.data() + had, m_pieceBytes);
    if (got < 0)
        ImportSource::refuseRead(m_path, m_file);
    m_bytes.resize(had + qsizetype(got));
    if (m_atStart && (m_bytes.size() >= 3 || got == 0)) {
        m_atStart = false;
        if (m_bytes.startsWith("\xFF\xFE") || m_bytes.startsWith("\xFE\xFF"))
            ImportSource::refuseEncoding(m_path, QStringLiteral("está em UTF-16"));
        if (m_bytes.startsWith("\xEF\xBB\xBF"))
            m_bytes.remove(0, 3);
    }
    return got > 0;
}

// Follows the fields as CsvReader reads them, from where the last scan stopped;
// returns the end of the last whole record seen (a LF outside quotes).
qsizetype ImportStream::scan()
{
    const char *bytes = m_bytes.constData();
    for (; m_scanned < m_bytes.size(); ++m_scanned) {
        const char c = bytes[m_scanned];
        switch (m_state) {
        case State::Quoted:
            if (c == '"')
                m_state = State::QuoteSeen;
            continue;
        case State::QuoteSeen:
            if (c == '"') {
                m_state = State::Quoted;
                continue;
            }
            break;
        case State::FieldStart:
            if (c == '"') {
                m_state = State::Quoted;
                continue;
            }
            if (c == ' ' || c == '\t')
                continue;
            break;
        case State::Plain:
            break;
        }
        if (c == '\n')
            m_recordEnd = m_scanned + 1;
        m_state = c == ';' || c == '\n' || c == '\r' ? State::FieldStart : State::Plain;
    }
    return m_recordEnd;
}

QString ImportStream::decodePiece(qsizetype size)
{
    const QByteArrayView piece(m_bytes.constData(), size);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(piece);
    if (decoder.hasError())
        ImportSource::refuseEncoding(m_path, QStringLiteral("a linha %1 tem caracteres de outra codificação")
                                                 .arg(m_line - 1 + ImportSource::firstBadLine(piece.toByteArray())));
    m_line += int(piece.count('\n'));
    return text;
}

bool ImportStream::next(QString &text)
{
    while (!m_atEnd && (m_bytes.size() < m_pieceBytes || scan() == 0))
        m_atEnd = !fill();
    const qsizetype size = m_atEnd ? m_bytes.size() : m_recordEnd;
    if (size == 0)
        return false;
    text = decodePiece(size);
    m_bytes.remove(0, size);
    m_scanned -= qMin(m_scanned, size);
    m_recordEnd = 0;
    return true;
}
