#pragma once

#include <QFile>
#include <QString>

// The text of an import file: read whole, checked to be UTF-8 (with or without a
// byte-order mark, which is dropped). Throws ImportError naming the file: missing,
// not readable (a permission problem, told apart from a missing file), a folder,
// or in another encoding (naming the first line that is not UTF-8).
namespace ImportSource {

QString load(const QString &path);
// The same check on bytes already read; `path` only names them in the message.
QString decode(const QByteArray &bytes, const QString &path);

} // namespace ImportSource

// An import file read piece after piece, so that a file of any size takes about
// the memory of one piece: each piece holds whole records (a line break inside
// quotes never ends one) and is checked to be UTF-8 as it comes. Opening it, and
// reading a piece that is not UTF-8, throw ImportError as ImportSource::load does.
class ImportStream
{
public:
    static constexpr qsizetype PieceBytes = 1 << 20;

    explicit ImportStream(const QString &path, qsizetype pieceBytes = PieceBytes);

    // The next piece, decoded; false at the end of the file.
    bool next(QString &text);

private:
    enum class State { FieldStart, Plain, Quoted, QuoteSeen };
    bool fill();
    qsizetype scan();
    QString decodePiece(qsizetype size);

    QString m_path;
    QFile m_file;
    qsizetype m_pieceBytes;
    QByteArray m_bytes;    // read and not yet handed out
    qsizetype m_scanned = 0; // bytes of m_bytes already scanned
    qsizetype m_recordEnd = 0; // just after the last record end scanned
    State m_state = State::FieldStart;
    bool m_atStart = true;
    bool m_atEnd = false;
    int m_line = 1; // the line (counting LF) m_bytes begins on
};
