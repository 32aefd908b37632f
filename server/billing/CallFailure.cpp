#include "server/billing/CallFailure.h"

#include <QHash>

#include "platform/data/FasError.h"
#include "platform/sql/DatabaseError.h"
#include "server/base/ServerLog.h"
#include "server/sql/SqlFailure.h"

namespace {

QString notInTime(const ThreadDatabase &database)
{
    return QStringLiteral("O banco de dados %1 não respondeu a tempo. Nada foi alterado; tente novamente em "
                          "instantes ou informe o administrador.")
        .arg(database.url().displayName());
}

// What a call did, as a sentence about whether it was recorded may name it.
QString recordedText(const char *method)
{
    static const QHash<QByteArray, QString> texts{
        {"GeraNF", QStringLiteral("a geração das notas fiscais foi gravada")},
        {"GeraInvoice", QStringLiteral("a geração das invoices foi gravada")},
        {"EstornaGeracao", QStringLiteral("o estorno da geração foi gravado")},
        {"EstornaLancamento", QStringLiteral("o estorno do lançamento foi gravado")},
    };
    return texts.value(QByteArray(method),
                       QStringLiteral("a operação %1 foi gravada").arg(QString::fromLatin1(method)));
}

RpcError busy(const ThreadDatabase &database)
{
    return RpcError(RpcCode::Busy, database.url().isSqlite()
                                       ? QStringLiteral("Outro processo está gravando no banco de dados %1 e não o "
                                                        "liberou a tempo. Nada foi alterado; tente novamente em "
                                                        "instantes. Se persistir, feche o programa que está "
                                                        "gravando nele.")
                                             .arg(database.url().displayName())
                                       : QStringLiteral("O banco de dados está ocupado com outra geração. "
                                                        "Nada foi alterado; tente novamente em instantes."));
}

// A connection that failed is dropped, so the next call starts afresh; a busy one
// is kept.
RpcError sqlAnswer(const ThreadDatabase &database, const char *method, const SqlFailure &failure)
{
    qCWarning(lcSql, "%s: erro do banco de dados em %s: %s [%s]", method, qUtf8Printable(failure.context()),
              qUtf8Printable(failure.error().text().simplified()), qUtf8Printable(failure.error().nativeErrorCode()));
    if (failure.isBusy())
        return busy(database);
    if (failure.isCancelled() && !failure.isConnectionLost()) // the statement time-out; the connection is sound
        return RpcError(RpcCode::DatabaseUnavailable, notInTime(database));
    database.discard();
    if (failure.isOutcomeUnknown())
        return RpcError(RpcCode::DatabaseUnavailable,
                        QStringLiteral("Não foi possível confirmar se %1: a conexão com o banco de dados %2 caiu "
                                       "durante a confirmação; consulte a prévia antes de repetir.")
                            .arg(recordedText(method), database.url().displayName()));
    if (failure.isTimedOut())
        return RpcError(RpcCode::DatabaseUnavailable, notInTime(database));
    if (failure.isConnectionLost())
        return RpcError(RpcCode::DatabaseUnavailable,
                        QStringLiteral("O banco de dados %1 está indisponível. Nada foi alterado; tente "
                                       "novamente ou informe o administrador.")
                            .arg(database.url().displayName()));
    return RpcError(RpcCode::ServerFailure,
                    QStringLiteral("O banco de dados recusou a operação %1. Nada foi alterado; informe o "
                                   "administrador (detalhes no registro do servidor).")
                        .arg(QString::fromLatin1(method)));
}

} // namespace

RpcError CallFailure::current() const
{
    try {
        throw;
    } catch (const RpcError &error) {
        return error;
    } catch (const SqlFailure &failure) {
        if (m_context.stopRequested())
            return RpcError::clientGone(); // the statement was stopped; the connection is sound
        return sqlAnswer(m_database, m_method, failure);
    } catch (const PacketError &error) {
        return RpcError(RpcCode::InvalidParams, QStringLiteral("Lote de itens inválido: %1").arg(error.message()));
    } catch (const DatabaseError &error) {
        return RpcError(RpcCode::DatabaseUnavailable, error.message());
    }
}
