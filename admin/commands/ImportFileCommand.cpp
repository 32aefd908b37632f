#include "admin/commands/Commands.h"

#include <cstdio>

#include "admin/AdminContext.h"
#include "admin/import/ImportCommand.h"

namespace {

const QString Usage = QStringLiteral(
    "Uso: fas-admin import TIPO ARQUIVO\n"
    "Importa um arquivo CSV (UTF-8, separado por ';', vírgula decimal, datas dd/mm/aaaa) de empresas, filiais,\n"
    "clientes, produtos ou apurações: lê e confere o arquivo inteiro e grava tudo numa transação, ou nada,\n"
    "listando cada linha com problema. O cabeçalho de cada tipo está em docs/import.md.");

int run(AdminContext &context)
{
    QTextStream err(stderr);
    return runImport(context.arguments(), context.url(), context.out(), err);
}

} // namespace

AdminCommand AdminCommands::importFile()
{
    return {QStringLiteral("import"),
            QStringLiteral("importa empresas, filiais, clientes, produtos ou apurações de um CSV"), Usage, &run};
}
