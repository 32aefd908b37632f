#include "admin/import/ImportLayout.h"

#include "billing/FiscalId.h"

namespace {

ImportColumn text(const char *name, int size, bool required = false, int part = 0)
{
    return {QString::fromLatin1(name), ValueKind::Text, size, required, {}, part};
}

ImportColumn code(const char *name, const char *codes, bool required = false)
{
    return {QString::fromLatin1(name), ValueKind::Code, 1, required, QString::fromLatin1(codes), 0};
}

ImportColumn typed(const char *name, ValueKind kind, bool required = false, int part = 0)
{
    return {QString::fromLatin1(name), kind, 0, required, {}, part};
}

ImportColumn checked(ImportColumn column, QString (*check)(const QString &))
{
    column.check = check;
    return column;
}

QString municipality(const QString &code)
{
    return FiscalId::municipalityProblem(code);
}

QString serviceCode(const QString &code)
{
    return FiscalId::serviceCodeProblem(code);
}

QString series(const QString &series)
{
    return FiscalId::seriesProblem(series);
}

// The value as the import converted it: "2.5".
QString issRate(const QString &percent)
{
    return FiscalId::issRateProblem(percent.toDouble());
}

QStringList names(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *name : list)
        result << QString::fromLatin1(name);
    return result;
}

ImportLayout companies()
{
    ImportLayout layout;
    layout.keyword = QStringLiteral("empresas");
    layout.englishKeyword = QStringLiteral("companies");
    layout.columns = {text("CDEMPRESA", 2, true),      text("NMEMPRESA", 40, true),
                      text("NRCNPJEMPRESA", 14),       text("SGESTADO", 2),
                      text("NRINSCMUNEMPRESA", 15),    checked(text("CDMUNIBGEEMPRESA", 7), municipality),
                      code("IDREGTRIBEMPRESA", "123"), checked(text("NRSERIEDPS", 5), series),
                      code("IDNFSEEMPRESA", "SN")};
    layout.shortestHeader = 4;
    layout.targets = {
        {QStringLiteral("EMPRESA"), layout.header(), names({"CDEMPRESA"}), 0, QStringLiteral("a empresa")}};
    return layout;
}

ImportLayout branches()
{
    ImportLayout layout;
    layout.keyword = QStringLiteral("filiais");
    layout.englishKeyword = QStringLiteral("branches");
    layout.columns = {text("CDEMPRESA", 2, true), text("CDFILIAL", 4, true), text("NMFILIAL", 30, true),
                      text("NMCIDADE", 40)};
    layout.targets = {
        {QStringLiteral("FILIAL"), layout.header(), names({"CDEMPRESA", "CDFILIAL"}), 0, QStringLiteral("a filial")}};
    layout.references = {{names({"CDEMPRESA"}), QStringLiteral("EMPRESA"), names({"CDEMPRESA"}),
                          QStringLiteral("a empresa"), QStringLiteral("importe antes as empresas"), 0}};
    return layout;
}

// A client and, when NRSEQENDECLIE is filled, one of its addresses: a client
// with several addresses takes one line per address, its own columns repeated.
ImportLayout clients()
{
    ImportLayout layout;
    layout.keyword = QStringLiteral("clientes");
    layout.englishKeyword = QStringLiteral("clients");
    layout.columns = {text("CDCLIENTE", 21, true),
                      text("NMFANTCLIE", 50, true),
                      text("NMRAZSOCCLIE", 50),
                      text("NRINSJURCLIE", 14),
                      code("IDTPIJURCLIE", "FJ", true),
                      text("DSEMAILCLIE", 80),
                      typed("NRSEQENDECLIE", ValueKind::Integer, true, 1),
                      text("IDTPENDECLIE", 1, true, 1),
                      text("CDPAIS", 4, true, 1),
                      text("DSLOGRENDECLIE", 80, false, 1),
                      text("NMBAIRENDECLIE", 40, false, 1),
                      text("NMCIDADE", 40, false, 1),
                      text("SGESTADO", 3, false, 1),
                      text("NRCEPENDECLIE", 10, false, 1),
                      checked(text("CDMUNIBGE", 7, false, 1), municipality)};
    layout.shortestHeader = 14;
    layout.targets = {
        {QStringLiteral("CLIENTE"), layout.header().mid(0, 6), names({"CDCLIENTE"}), 0, QStringLiteral("o cliente")},
        {QStringLiteral("ENDECLIE"), QStringList{QStringLiteral("CDCLIENTE")} + layout.header().mid(6),
         names({"CDCLIENTE", "NRSEQENDECLIE"}), 1, QStringLiteral("o endereço")},
    };
    return layout;
}

// A service: its name, its code in the national list and its ISS rate.
ImportLayout products()
{
    ImportLayout layout;
    layout.keyword = QStringLiteral("produtos");
    layout.englishKeyword = QStringLiteral("products");
    layout.columns = {text("CDPRODUTO", 10, true), text("NMPRODUTO", 50, true),
                      checked(text("CDSERVNACPRODUTO", 6), serviceCode),
                      checked(typed("PCALIQISSPRODUTO", ValueKind::Decimal), issRate)};
    layout.targets = {
        {QStringLiteral("PRODUTO"), layout.header(), names({"CDPRODUTO"}), 0, QStringLiteral("o produto")}};
    return layout;
}

ImportLayout calculations()
{
    ImportLayout layout;
    layout.keyword = QStringLiteral("apuracoes");
    layout.englishKeyword = QStringLiteral("calculations");
    layout.columns = {text("CDEMPRESA", 2, true),    text("CDFILIAL", 4, true),
                      text("CDCLIENTE", 21, true),   typed("DTMESAPURFAS", ValueKind::MonthStart, true),
                      text("IDAPURFATFAS", 1, true), code("IDSTAPFATFAS", "PNRC"),
                      text("CDGRUPONFAPUR", 5),      typed("DTAPURFATFAS", ValueKind::DateTime),
                      text("CDPRODUTO", 10),         text("CDOPERAPUR", 12),
                      text("CDTIPOSERV", 3),         code("IDCOMIFATFAS", "SN"),
                      text("DSEMISSPRONF", 400),     text("DSBOLEFATFAS", 400),
                      text("DSFATURCLIE", 400),      typed("VRTOTAFATFAS", ValueKind::Decimal),
                      text("NRNOTAFISC", 20),        text("NRINVOICE", 10),
                      text("NRSOLISERV", 10)};
    layout.targets = {{QStringLiteral("APURFATFAS"), layout.header(),
                       names({"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "DTMESAPURFAS", "IDAPURFATFAS"}), 0,
                       QStringLiteral("a apuração")}};
    layout.references = {
        {names({"CDEMPRESA"}), QStringLiteral("EMPRESA"), names({"CDEMPRESA"}), QStringLiteral("a empresa"),
         QStringLiteral("importe antes as empresas"), 0},
        {names({"CDEMPRESA", "CDFILIAL"}), QStringLiteral("FILIAL"), names({"CDEMPRESA", "CDFILIAL"}),
         QStringLiteral("a filial"), QStringLiteral("importe antes as filiais"), 0},
        {names({"CDCLIENTE"}), QStringLiteral("CLIENTE"), names({"CDCLIENTE"}), QStringLiteral("o cliente"),
         QStringLiteral("importe antes os clientes"), 0},
        {names({"CDPRODUTO"}), QStringLiteral("PRODUTO"), names({"CDPRODUTO"}), QStringLiteral("o produto"),
         QStringLiteral("importe antes os produtos"), 0},
        {names({"CDOPERAPUR"}), QStringLiteral("OPERADOR"), names({"CDOPERADOR"}), QStringLiteral("o operador"),
         QStringLiteral("cadastre-o antes"), 0},
    };
    layout.keepsBilledRows = true;
    return layout;
}

} // namespace

const QList<ImportLayout> &ImportLayout::all()
{
    static const QList<ImportLayout> layouts = {companies(), branches(), clients(), products(), calculations()};
    return layouts;
}

const ImportLayout *ImportLayout::find(const QString &keyword)
{
    // "apurações" is "apuracoes" too: accents are dropped before comparing.
    QString folded = keyword.normalized(QString::NormalizationForm_D);
    folded.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    for (const ImportLayout &layout : all())
        if (folded.compare(layout.keyword, Qt::CaseInsensitive) == 0
            || folded.compare(layout.englishKeyword, Qt::CaseInsensitive) == 0)
            return &layout;
    return nullptr;
}

QStringList ImportLayout::header() const
{
    QStringList result;
    for (const ImportColumn &column : columns)
        result << column.name;
    return result;
}

ImportLayout ImportLayout::forHeaderWidth(qsizetype width) const
{
    if (shortestHeader == 0 || width < shortestHeader || width >= columns.size())
        return *this;
    ImportLayout narrowed = *this;
    narrowed.columns = columns.mid(0, width);
    const QStringList kept = narrowed.header();
    for (ImportTarget &target : narrowed.targets)
        target.columns.removeIf([&kept](const QString &column) { return !kept.contains(column); });
    return narrowed;
}

int ImportLayout::columnIndex(const QString &name) const
{
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (columns.at(i).name == name)
            return int(i);
    return -1;
}

int ImportLayout::partKeyColumn(int part) const
{
    for (const ImportTarget &target : targets)
        if (target.part == part)
            return columnIndex(target.key.last());
    return -1;
}
