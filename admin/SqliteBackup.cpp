#include "admin/SqliteBackup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
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

} // namespace

void copy(const QSqlDatabase &db, const QString &sourcePath, const QString &target)
{
    sqlite3 *source = DatabaseConnection::nativeHandle<sqlite3>(db, "sqlite3*");
    if (!source)
        fail(target, QStringLiteral("a conexão não dá acesso ao SQLite"));
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && targetInfo.canonicalFilePath() == QFileInfo(sourcePath).canonicalFilePath())
        fail(target, QStringLiteral("é o próprio banco de dados"));
    if (targetInfo.isDir())
        fail(target, QStringLiteral("é uma pasta; indique o nome do arquivo"));

    const QString temporary = QStringLiteral("%1.tmp-%2").arg(target).arg(QCoreApplication::applicationPid());
    QFile::remove(temporary);
    auto removeTemporary = qScopeGuard([&temporary] { QFile::remove(temporary); });
    sqlite3 *destination = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(temporary).constData(), &destination,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
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
