#include "admin/commands/Commands.h"

#include "admin/AdminContext.h"
#include "admin/BillingCheck.h"
#include "admin/commands/CommandArguments.h"

namespace {

const QString Usage = QStringLiteral(
    "Uso: fas-admin check\n"
    "Verifica a integridade do banco de dados, a versão do seu esquema e as regras do faturamento: nenhuma\n"
    "apuração em dois lançamentos, cada apuração de um lançamento ativo Realizada e nenhuma liberada por um\n"
    "estorno ainda Realizada, o total de cada lançamento ativo igual à soma dos seus itens, cada contador igual\n"
    "ao maior número usado.\n"
    "Mostra cada problema com as linhas envolvidas; código 0 sem problemas, 1 com algum.");

int run(AdminContext &context)
{
    requireArgumentCount(context, 0, Usage);
    const QStringList findings = BillingCheck(context.database()).run();
    for (const QString &finding : findings)
        context.say(finding);
    if (!findings.isEmpty()) {
        context.say(
            QStringLiteral("%1: %2 problema(s) encontrado(s).").arg(context.url().displayName()).arg(findings.size()));
        return AdminExit::Failed;
    }
    context.say(QStringLiteral("%1: nenhum problema encontrado.").arg(context.url().displayName()));
    return AdminExit::Ok;
}

} // namespace

AdminCommand AdminCommands::check()
{
    return {QStringLiteral("check"), QStringLiteral("verifica a integridade e as regras do faturamento"), Usage, &run};
}
