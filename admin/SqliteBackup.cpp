#include "admin/SqliteBackup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "platform/data/FasError.h"
#include "platform/sql/NativeHandle.h"

namespace SqliteBackup {
namespace {

[[noreturn]] void fail(const QString &target, const QString &reason)
{
    throw FasError(QStringLiteral("Não foi possível gravar a cópia em %1: %2").arg(target, reason));
}

// Runs the backup in one step, waiting out a writer that holds a lock for a moment.
void runBackup(sqlite3 *source, sqlite3 *destination, const QString &target)
{
    sqlite3_backup *backup = sqlite3_backup_init(destination, "main", source, "main");
    if (!backup)
        fail(target, QString::fromUtf8(sqlite3_errmsg(destination)));
    int rc = SQLITE_OK;
    for (int attempt = 0; attempt < 600; ++attempt) {
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        sqlite3_sleep(50);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        fail(target, rc == SQLITE_BUSY || rc == SQLITE_LOCKED
                         ? QStringLiteral("o banco de dados ficou ocupado por outro programa por tempo demais")
                         : QString::fromUtf8(sqlite3_errstr(rc)));
}

void syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The path a file name leads to, following symbolic links, also for a file that
// does not exist yet (its folder's real path and its name).
QString resolvedPath(const QString &path, int links = 0)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    if (info.isSymLink() && links < 16)
        return resolvedPath(info.symLinkTarget(), links + 1);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

// The database itself and the files SQLite keeps beside it while it is in use.
const QStringList DatabaseFiles{QString(), QStringLiteral("-wal"), QStringLiteral("-journal"), QStringLiteral("-shm")};

void refuseDatabaseFiles(const QString &sourcePath, const QString &target)
{
    const QString database = resolvedPath(sourcePath);
    const QString resolved = resolvedPath(target);
    for (const QString &suffix : DatabaseFiles)
        if (resolved == database + suffix)
            fail(target, suffix.isEmpty()
                             ? QStringLiteral("é o próprio banco de dados")
                             : QStringLiteral("é o arquivo %1 do próprio banco de dados, que o SQLite usa enquanto "
                                              "ele está aberto; indique outro nome")
                                   .arg(suffix));
}

// The copy holds what the database holds: readable by no one the database's own
// mode leaves out, and never by every user. Owner read and write at least, so
// that SQLite can write it.
mode_t copyMode(const QString &sourcePath)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(sourcePath).constData(), &status) != 0)
        return S_IRUSR | S_IWUSR;
    return (status.st_mode & (S_IRGRP | S_IWGRP)) | S_IRUSR | S_IWUSR;
}

// Creates the temporary file with the copy's mode from the start (SQLite gives its
// journal the same mode); an empty file is an empty SQLite database.
void createTemporary(const QString &temporary, mode_t mode, const QString &target)
{
    const int fd = ::open(QFile::encodeName(temporary).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        fail(target, QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
}

void removeWithCompanions(const QString &path)
{
    for (const QString &suffix : DatabaseFiles)
        QFile::remove(path + suffix);
}

} // namespace

void copy(const QSqlDatabase &db, const QString &sourcePath, const QString &target)
{
    sqlite3 *source = DatabaseConnection::nativeHandle<sqlite3>(db, "sqlite3*");
    if (!source)
        fail(target, QStringLiteral("a conexão não dá acesso ao SQLite"));
    refuseDatabaseFiles(sourcePath, target);
    if (QFileInfo(target).isDir())
        fail(target, QStringLiteral("é uma pasta; indique o nome do arquivo"));

    const QString temporary = QStringLiteral("%1.tmp-%2").arg(target).arg(QCoreApplication::applicationPid());
    removeWithCompanions(temporary);
    auto removeTemporary = qScopeGuard([&temporary] { removeWithCompanions(temporary); });
    createTemporary(temporary, copyMode(sourcePath), target);
    sqlite3 *destination = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(temporary).constData(), &destination, SQLITE_OPEN_READWRITE,
                                   nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = QString::fromUtf8(destination ? sqlite3_errmsg(destination) : sqlite3_errstr(rc));
        sqlite3_close(destination);
        fail(target, reason);
    }
    {
        const auto closeDestination = qScopeGuard([destination] { sqlite3_close(destination); });
        runBackup(source, destination, target);
    }
    syncFile(temporary);
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0)
        fail(target, QString::fromLocal8Bit(std::strerror(errno)));
    removeTemporary.dismiss();
}

} // namespace SqliteBackup
