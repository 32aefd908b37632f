#include "admin/CommandTable.h"

#include "admin/commands/Commands.h"

namespace CommandTable {

const QList<AdminCommand> &commands()
{
    static const QList<AdminCommand> table = {
        AdminCommands::init(),  AdminCommands::migrate(),    AdminCommands::backup(),
        AdminCommands::check(), AdminCommands::importFile(), AdminCommands::user(),
    };
    return table;
}

const AdminCommand *find(const QString &name)
{
    for (const AdminCommand &command : commands())
        if (command.name == name)
            return &command;
    return nullptr;
}

QString helpText()
{
    QString text = QStringLiteral(
        "Uso: fas-admin [--config ARQUIVO | --database URL] COMANDO [argumentos]\n"
        "Administra o banco de dados do faturamento.\n\n"
        "Opções (--config e --database valem antes ou depois do comando):\n"
        "  --config ARQUIVO  arquivo INI de configuração (padrão: variável FAS_CONFIG)\n"
        "  --database URL    arquivo SQLite ou endereço postgresql:// (prevalece sobre a configuração)\n"
        "  -h, --help        mostra esta ajuda; fas-admin COMANDO --help mostra a do comando\n\n"
        "Comandos:\n");
    for (const AdminCommand &command : commands())
        text += QStringLiteral("  %1%2\n").arg(command.name.leftJustified(9), command.summary);
    return text;
}

} // namespace CommandTable
