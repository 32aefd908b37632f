#include "admin/commands/Commands.h"

#include "admin/AdminContext.h"
#include "admin/commands/CommandArguments.h"
#include "admin/UserStore.h"

namespace {

const QString Usage = QStringLiteral(
    "Uso: fas-admin user add NOME --right consulta|faturamento|supervisor\n"
    "     fas-admin user list\n"
    "     fas-admin user disable NOME\n"
    "     fas-admin user token NOME\n"
    "Cuida dos usuários do servidor de aplicação, guardados no banco de dados (todos os servidores de uma\n"
    "instalação compartilhada os veem). Direitos: consulta (só a prévia), faturamento (prévia e geração de\n"
    "notas e invoices), supervisor (tudo). \"add\" e \"token\" mostram o token novo sozinho na última linha:\n"
    "ele não é guardado, só o seu hash; \"token\" troca o token (o antigo deixa de valer) e reativa o usuário.\n"
    "Havendo um usuário, toda chamada ao servidor precisa do token de um usuário ativo.");

AccessRight rightArgument(const AdminContext &context)
{
    const QStringList &args = context.arguments();
    if (args.size() != 4 || args.at(2) != u"--right")
        throw AdminUsageError(QStringLiteral("Argumentos inválidos.\n%1").arg(Usage));
    const auto right = AccessRights::fromName(args.at(3));
    if (!right)
        throw AdminUsageError(
            QStringLiteral("Direito desconhecido \"%1\": use consulta, faturamento ou supervisor.").arg(args.at(3)));
    return *right;
}

int add(AdminContext &context)
{
    const AccessRight right = rightArgument(context);
    const QString name = context.arguments().at(1);
    const QString token = UserStore(context.database()).add(name, right);
    context.say(QStringLiteral("Usuário %1 criado com o direito %2. Guarde o token abaixo num arquivo legível só "
                               "pelo usuário (chmod 600): ele não será mostrado de novo.")
                    .arg(name, AccessRights::name(right)));
    context.say(token);
    return AdminExit::Ok;
}

int list(AdminContext &context)
{
    requireArgumentCount(context, 1, Usage);
    const QList<UserStore::User> users = UserStore(context.database()).list();
    if (users.isEmpty()) {
        context.say(QStringLiteral("Nenhum usuário: o servidor de aplicação aceita o token do arquivo de token, ou "
                                   "qualquer chamada se não houver um."));
        return AdminExit::Ok;
    }
    context.say(QStringLiteral("%1 %2 %3 %4")
                    .arg(QStringLiteral("usuário").leftJustified(40), QStringLiteral("direito").leftJustified(11),
                         QStringLiteral("situação").leftJustified(10), QStringLiteral("criado em")));
    for (const UserStore::User &user : users)
        context.say(QStringLiteral("%1 %2 %3 %4")
                        .arg(user.name.leftJustified(40), user.right.leftJustified(11),
                             (user.active ? QStringLiteral("ativo") : QStringLiteral("desativado")).leftJustified(10),
                             user.created));
    return AdminExit::Ok;
}

int disable(AdminContext &context)
{
    requireArgumentCount(context, 2, Usage);
    const QString name = context.arguments().at(1);
    UserStore(context.database()).disable(name);
    context.say(QStringLiteral("Usuário %1 desativado: o seu token não é mais aceito.").arg(name));
    return AdminExit::Ok;
}

int renewToken(AdminContext &context)
{
    requireArgumentCount(context, 2, Usage);
    const QString name = context.arguments().at(1);
    const QString token = UserStore(context.database()).renewToken(name);
    context.say(QStringLiteral("Novo token do usuário %1 (o anterior não vale mais). Guarde-o: ele não será "
                               "mostrado de novo.")
                    .arg(name));
    context.say(token);
    return AdminExit::Ok;
}

int run(AdminContext &context)
{
    const QString action = context.arguments().value(0);
    if (action == u"add")
        return add(context);
    if (action == u"list")
        return list(context);
    if (action == u"disable")
        return disable(context);
    if (action == u"token")
        return renewToken(context);
    if (action.isEmpty())
        throw AdminUsageError(QStringLiteral("Informe a ação: add, list, disable ou token.\n%1").arg(Usage));
    throw AdminUsageError(QStringLiteral("Ação desconhecida \"%1\".\n%2").arg(action, Usage));
}

} // namespace

AdminCommand AdminCommands::user()
{
    return {QStringLiteral("user"), QStringLiteral("cria, lista e desativa usuários e troca os seus tokens"), Usage,
            &run};
}
