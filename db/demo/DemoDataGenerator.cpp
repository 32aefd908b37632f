#include "db/demo/DemoDataGenerator.h"

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <tuple>
#include <unordered_set>
#include <vector>

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "db/demo/BulkInserter.h"
#include "platform/data/CivilDate.h"
#include "platform/sql/DatabaseError.h"

namespace {

QVariant nullText()
{
    return QVariant(QMetaType(QMetaType::QString));
}

const char *const MonthNames[] = {"janeiro", "fevereiro", "março",    "abril",   "maio",     "junho",
                                  "julho",   "agosto",    "setembro", "outubro", "novembro", "dezembro"};

// Brazilian registration numbers with valid check digits.
QString checkDigits(QString digits, const std::vector<int> &weights1, const std::vector<int> &weights2)
{
    auto digit = [&](const std::vector<int> &weights) {
        int sum = 0;
        for (size_t i = 0; i < weights.size(); ++i)
            sum += digits.at(qsizetype(i)).digitValue() * weights[i];
        const int rest = sum % 11;
        return rest < 2 ? 0 : 11 - rest;
    };
    digits += QString::number(digit(weights1));
    digits += QString::number(digit(weights2));
    return digits;
}

QString cpf(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> d(0, 9);
    QString base;
    for (int i = 0; i < 9; ++i)
        base += QString::number(d(rng));
    return checkDigits(base, {10, 9, 8, 7, 6, 5, 4, 3, 2}, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2});
}

QString cnpj(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> d(0, 9);
    QString base;
    for (int i = 0; i < 8; ++i)
        base += QString::number(d(rng));
    base += QStringLiteral("0001");
    return checkDigits(base, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}, {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2});
}

struct Company
{
    const char *code;
    const char *name;
    const char *state;
    std::vector<std::pair<const char *, const char *>> branches; // code, name
    // Fiscal registration: municipal registration, IBGE code of the head office's
    // city, Simples Nacional option ('1' none, '3' ME/EPP).
    const char *municipalRegistration;
    const char *municipality;
    const char *regime;
};

const std::vector<Company> &companies()
{
    static const std::vector<Company> list = {
        {"01",
         "Fas Tecnologia Ltda",
         "SP",
         {{"0001", "Matriz São Paulo"}, {"0002", "Filial Campinas"}},
         "45871236",
         "3550308",
         "1"},
        {"02",
         "Fas Serviços de Informática S.A.",
         "RJ",
         {{"0001", "Matriz Rio de Janeiro"}, {"0002", "Filial Niterói"}, {"0003", "Filial Petrópolis"}},
         "07123984",
         "3304557",
         "1"},
        {"03", "Fas Sul Sistemas Ltda", "RS", {{"0001", "Matriz Porto Alegre"}}, "0981234", "4314902", "3"},
    };
    return list;
}

struct ClientSeed
{
    const char *name;
    const char *legalName;
    char personType;
    const char *country; // of the main address
    const char *city;
    const char *state;
    int mainAddresses; // domestic clients with two main addresses in Brazil
};

const std::vector<ClientSeed> &clientSeeds()
{
    static const std::vector<ClientSeed> list = {
        {"Padaria Pão de Açúcar", "Padaria Pão de Açúcar Ltda ME", 'J', "0055", "São Paulo", "SP", 1},
        {"Açougue São João", "Açougue e Mercearia São João Ltda", 'J', "0055", "Campinas", "SP", 2},
        {"Construtora Horizonte", "Horizonte Construções e Incorporações S.A.", 'J', "0055", "Belo Horizonte", "MG", 1},
        {"Farmácia Saúde & Vida", "Drogaria Saúde e Vida Ltda", 'J', "0055", "Niterói", "RJ", 1},
        {"Auto Peças Irmãos Gonçalves", "Gonçalves & Irmãos Comércio de Peças Ltda", 'J', "0055", "Goiânia", "GO", 2},
        {"Clínica Sorriso", "Clínica Odontológica Sorriso Ltda", 'J', "0055", "Curitiba", "PR", 1},
        {"Supermercado Econômico", "Econômico Supermercados Ltda", 'J', "0055", "Salvador", "BA", 1},
        {"Escola Criança Feliz", "Associação Educacional Criança Feliz", 'J', "0055", "Florianópolis", "SC", 1},
        {"Hotel Águas Claras", "Hotel Fazenda Águas Claras Ltda", 'J', "0055", "Petrópolis", "RJ", 1},
        {"Transportadora Rápida Sul", "Rápida Sul Transportes Rodoviários Ltda", 'J', "0055", "Porto Alegre", "RS", 1},
        {"Metalúrgica União", "Metalúrgica União Indústria e Comércio S.A.", 'J', "0055", "Joinville", "SC", 2},
        {"Cooperativa Agrícola Paraná", "Cooperativa Agroindustrial do Paraná", 'J', "0055", "Maringá", "PR", 1},
        {"Laboratório Vitória", "Laboratório de Análises Clínicas Vitória Ltda", 'J', "0055", "Vitória", "ES", 1},
        {"Restaurante Sabor Mineiro", "Sabor Mineiro Restaurante e Eventos Ltda", 'J', "0055", "Uberlândia", "MG", 1},
        {"Editora Letras & Cia", "Letras & Companhia Editora Ltda", 'J', "0055", "Recife", "PE", 1},
        {"Confecções Maré Alta", "Maré Alta Indústria de Confecções Ltda", 'J', "0055", "Fortaleza", "CE", 1},
        {"Imobiliária Lar Doce Lar", "Lar Doce Lar Negócios Imobiliários Ltda", 'J', "0055", "Santos", "SP", 1},
        {"Gráfica Arte Nova", "Arte Nova Gráfica e Editora Ltda", 'J', "0055", "Ribeirão Preto", "SP", 1},
        {"João Carlos Magalhães", "João Carlos Magalhães", 'F', "0055", "São José dos Campos", "SP", 1},
        {"Maria da Conceição Araújo", "Maria da Conceição Araújo", 'F', "0055", "Natal", "RN", 1},
        {"José Antônio Pereira", "José Antônio Pereira", 'F', "0055", "Belém", "PA", 2},
        {"Ana Beatriz Simões", "Ana Beatriz Simões", 'F', "0055", "Manaus", "AM", 1},
        {"Luís Fernando Brandão", "Luís Fernando Brandão", 'F', "0055", "Brasília", "DF", 1},
        {"Andes Trading", "Andes Trading S.A.", 'J', "0056", "Santiago", "", 1},
        {"Buenos Aires Software", "Buenos Aires Software S.R.L.", 'J', "0054", "Buenos Aires", "", 1},
        {"Lisboa Consultoria", "Lisboa Consultoria e Gestão Lda", 'J', "0351", "Lisboa", "", 1},
        {"Montevideo Logística", "Montevideo Logística S.A.", 'J', "0598", "Montevidéu", "", 1},
        {"Pacific Data", "Pacific Data Inc.", 'J', "0001", "San Diego", "CA", 1},
        {"Müller Maschinenbau", "Müller Maschinenbau GmbH", 'J', "0049", "München", "", 1},
        {"Société Lumière", "Société Lumière de Services SARL", 'J', "0033", "Lyon", "", 1},
        {"Hernández Asesores", "Carlos Hernández", 'F', "0054", "Córdoba", "", 1},
    };
    return list;
}

struct Product
{
    const char *code;
    const char *name;
    char serviceType;
    const char *catalogue;    // CDTIPOSERV
    const char *nationalCode; // in the national list of services
    double issRate;           // percent
};

const std::vector<Product> &products()
{
    static const std::vector<Product> list = {
        {"MO001", "Mão de obra técnica", '1', "MOB", "010701", 2.0},
        {"MO002", "Mão de obra de consultoria", '1', "MOB", "010601", 2.0},
        {"SD001", "Service Desk 8x5", '2', "SDK", "010701", 2.0},
        {"SD002", "Service Desk 24x7", '2', "SDK", "010701", 2.0},
        {"CU001", "Customização de relatórios", '3', "CUS", "010401", 2.9},
        {"CU002", "Customização de integrações", '3', "CUS", "010401", 2.9},
        {"TR001", "Treinamento de usuários", '4', "TRE", "080201", 5.0},
        {"LI001", "Licença de uso – módulo fiscal", '5', "LIC", "010501", 2.0},
        {"LI002", "Licença de uso – folha de pagamento", '5', "LIC", "010501", 2.0},
        {"MA001", "Manutenção mensal do sistema", '6', "MAN", "010701", 2.0},
        {"MA002", "Manutenção evolutiva", '6', "MAN", "010401", 2.9},
        {"LO001", "Locação de equipamentos", '7', "LOC", "010701", 5.0},
    };
    return list;
}

// The IBGE code of a demo client's city in Brazil; empty abroad.
QString municipalityOf(const char *city)
{
    static const std::map<std::string_view, const char *> codes = {{"São Paulo", "3550308"},
                                                                   {"Campinas", "3509502"},
                                                                   {"Belo Horizonte", "3106200"},
                                                                   {"Niterói", "3303302"},
                                                                   {"Goiânia", "5208707"},
                                                                   {"Curitiba", "4106902"},
                                                                   {"Salvador", "2927408"},
                                                                   {"Florianópolis", "4205407"},
                                                                   {"Petrópolis", "3303906"},
                                                                   {"Porto Alegre", "4314902"},
                                                                   {"Joinville", "4209102"},
                                                                   {"Maringá", "4115200"},
                                                                   {"Vitória", "3205309"},
                                                                   {"Uberlândia", "3170206"},
                                                                   {"Recife", "2611606"},
                                                                   {"Fortaleza", "2304400"},
                                                                   {"Santos", "3548500"},
                                                                   {"Ribeirão Preto", "3543402"},
                                                                   {"São José dos Campos", "3549904"},
                                                                   {"Natal", "2408102"},
                                                                   {"Belém", "1501402"},
                                                                   {"Manaus", "1302603"},
                                                                   {"Brasília", "5300108"}};
    const auto found = codes.find(city);
    return found == codes.end() ? QString() : QString::fromLatin1(found->second);
}

const std::vector<std::pair<const char *, const char *>> &operators()
{
    static const std::vector<std::pair<const char *, const char *>> list = {
        {"ADMIN", "Administrador do Sistema"}, {"MSOUZA", "Márcia Souza"},        {"JPEREIRA", "João Pereira"},
        {"ACOSTA", "Antônio Costa"},           {"LFERNANDES", "Luíza Fernandes"},
    };
    return list;
}

const char *serviceWords(char type)
{
    switch (type) {
    case '1':
        return "Serviços de mão de obra técnica";
    case '2':
        return "Serviços de atendimento (service desk)";
    case '3':
        return "Serviços de customização";
    case '4':
        return "Serviços de treinamento";
    case '5':
        return "Licença de uso de software";
    case '6':
        return "Serviços de manutenção do sistema";
    default:
        return "Locação de equipamentos";
    }
}

// Fiscal-note group: services, licences and rentals go on separate notes.
const char *noteGroup(char type)
{
    switch (type) {
    case '5':
        return "LIC";
    case '7':
        return "LOC";
    default:
        return "SERV";
    }
}

struct Client
{
    QString code;
    QString name;
    bool domestic = true;
};

struct Calculation
{
    int company = 0;
    int branch = 0;
    int client = 0;
    QDate month;
    char type = '6';
    QString status; // empty: blank
};

// The realized calculations of one company, branch, client, note group and month.
struct Entry
{
    int number = 0;
    bool invoice = false;
    QString issued; // NRNOTAFISC / NRINVOICE, empty while not issued
    int items = 0;
    double total = 0;
    int company = 0, branch = 0, client = 0;
    const char *group = "";
    QDate month;
};

struct Entries
{
    std::map<std::tuple<int, int, int, std::string, qint64>, Entry> byKey;
    std::map<std::pair<int, bool>, int> lastNumber; // per company and kind
    std::vector<const Entry *> ofCalculation;       // null: no entry
    std::vector<double> values;                     // VRTOTAFATFAS per calculation
    int noteSerial = 1000;                          // the last NRNOTAFISC and NRINVOICE issued
    int invoiceSerial = 100;
};

// The one random source: the same seed gives the same draws in the same order.
class Random
{
public:
    explicit Random(quint32 seed)
        : m_engine(seed)
    {
    }
    double unit() { return std::uniform_real_distribution<double>(0, 1)(m_engine); }
    bool chance(double p) { return unit() < p; }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_engine); }
    std::mt19937 &engine() { return m_engine; }

private:
    std::mt19937 m_engine;
};

// From January 2008 to the current month.
struct Period
{
    QDate first;
    QDate last;

    explicit Period(QDate today)
        : first(2008, 1, 1)
        , last(today.year(), today.month(), 1)
    {
    }
    int months() const { return ageOf(first) + 1; }
    int ageOf(QDate month) const { return (last.year() - month.year()) * 12 + last.month() - month.month(); }
};

QStringList columns(std::initializer_list<const char *> names)
{
    QStringList out;
    for (const char *name : names)
        out << QString::fromLatin1(name);
    return out;
}

QString companyBranch(const Company &company, int branch)
{
    return QString::fromUtf8(company.branches.at(size_t(branch)).first);
}

QString kindCode(bool invoice)
{
    return invoice ? QStringLiteral("I") : QStringLiteral("N");
}

void writeParameters(QSqlDatabase &db, const Period &period)
{
    BulkInserter paramgeral(db, QStringLiteral("PARAMGERAL"), columns({"CDPARAMGERAL", "DTINICIOAPUR", "NMSISTEMA"}));
    paramgeral.insert({1, CivilDate::sqlDate(period.first), QStringLiteral("Faturamento de Serviços")});
    paramgeral.finish();
}

// Companies and their branches; returns the number of branches.
// Their fiscal registration is always filled; `nationalNotes` switches the
// national service note on for all of them.
int writeCompanies(QSqlDatabase &db, Random &random, bool nationalNotes)
{
    // One table at a time: a COPY stream must end before the next begins.
    BulkInserter empresa(db, QStringLiteral("EMPRESA"),
                         columns({"CDEMPRESA", "NMEMPRESA", "NRCNPJEMPRESA", "SGESTADO", "NRINSCMUNEMPRESA",
                                  "CDMUNIBGEEMPRESA", "IDREGTRIBEMPRESA", "NRSERIEDPS", "IDNFSEEMPRESA"}));
    for (const Company &c : companies())
        empresa.insert({QString::fromUtf8(c.code), QString::fromUtf8(c.name), cnpj(random.engine()),
                        QString::fromUtf8(c.state), QString::fromLatin1(c.municipalRegistration),
                        QString::fromLatin1(c.municipality), QString::fromLatin1(c.regime), QStringLiteral("1"),
                        nationalNotes ? QVariant(QStringLiteral("S")) : nullText()});
    empresa.finish();
    BulkInserter filial(db, QStringLiteral("FILIAL"), columns({"CDEMPRESA", "CDFILIAL", "NMFILIAL", "NMCIDADE"}));
    int branches = 0;
    for (const Company &c : companies()) {
        for (const auto &[code, name] : c.branches) {
            QString city = QString::fromUtf8(name);
            city.remove(QRegularExpression(QStringLiteral("^(Matriz|Filial) ")));
            filial.insert({QString::fromUtf8(c.code), QString::fromUtf8(code), QString::fromUtf8(name), city});
            ++branches;
        }
    }
    filial.finish();
    return branches;
}

void writeProductsAndOperators(QSqlDatabase &db)
{
    BulkInserter produto(db, QStringLiteral("PRODUTO"),
                         columns({"CDPRODUTO", "NMPRODUTO", "CDSERVNACPRODUTO", "PCALIQISSPRODUTO"}));
    for (const Product &p : products())
        produto.insert(
            {QString::fromUtf8(p.code), QString::fromUtf8(p.name), QString::fromLatin1(p.nationalCode), p.issRate});
    produto.finish();
    BulkInserter operador(db, QStringLiteral("OPERADOR"), columns({"CDOPERADOR", "NMOPERADOR"}));
    for (const auto &[code, name] : operators())
        operador.insert({QString::fromUtf8(code), QString::fromUtf8(name)});
    operador.finish();
}

// Client number i: a named one, or a numbered copy of it for large sets.
Client makeClient(int i, const ClientSeed &seed, QString &legal)
{
    const int copy = i / int(clientSeeds().size());
    Client client;
    client.code = QStringLiteral("%1").arg(i + 1, 6, 10, QLatin1Char('0'));
    client.name = QString::fromUtf8(seed.name);
    legal = QString::fromUtf8(seed.legalName);
    if (copy > 0) {
        client.name += QStringLiteral(" %1").arg(copy + 1);
        legal += QStringLiteral(" %1").arg(copy + 1);
    }
    client.name.truncate(50);
    legal.truncate(50);
    client.domestic = QLatin1String(seed.country) == QLatin1String("0055");
    return client;
}

// The addresses of a client: its main ones, sometimes a billing one, and for some
// foreign clients a billing address in Brazil (they stay foreign).
void addAddresses(std::vector<QVariantList> &addresses, int i, const Client &client, const ClientSeed &seed,
                  Random &random)
{
    static const char *const streets[] = {"Rua das Acácias",      "Avenida Brasil",         "Rua São Bento",
                                          "Travessa do Comércio", "Avenida Getúlio Vargas", "Rua Marechal Deodoro"};
    static const char *const districts[] = {"Centro", "Jardim América", "Vila Nova", "Boa Vista", "Santa Cecília"};
    const QString country = QString::fromUtf8(seed.country);
    int sequence = 0;
    auto address = [&](const char *type, const QString &countryCode) {
        ++sequence;
        addresses.push_back(
            {client.code, sequence, QString::fromLatin1(type), countryCode,
             QStringLiteral("%1, %2").arg(QString::fromUtf8(streets[random.pick(6)])).arg(10 + random.pick(2000)),
             QString::fromUtf8(districts[random.pick(5)]), QString::fromUtf8(seed.city), QString::fromUtf8(seed.state),
             client.domestic ? QStringLiteral("%1-%2").arg(10000 + random.pick(89999)).arg(100 + random.pick(899))
                             : QString(),
             countryCode == u"0055" && client.domestic ? QVariant(municipalityOf(seed.city)) : nullText()});
    };
    for (int m = 0; m < seed.mainAddresses; ++m)
        address("P", country);
    if (random.chance(0.4))
        address("C", country);
    if (!client.domestic && i % 3 == 0)
        address("C", QStringLiteral("0055"));
}

// Clients: the named ones, then numbered copies for large sets (a client has at
// most a few hundred calculations in real life); then their addresses.
std::vector<Client> writeClients(QSqlDatabase &db, Random &random, int rows)
{
    BulkInserter cliente(
        db, QStringLiteral("CLIENTE"),
        columns({"CDCLIENTE", "NMFANTCLIE", "NMRAZSOCCLIE", "NRINSJURCLIE", "IDTPIJURCLIE", "DSEMAILCLIE"}));
    const int seeds = int(clientSeeds().size());
    const int clientCount = std::max(seeds, (rows + 299) / 300);
    std::vector<Client> clients;
    std::vector<QVariantList> addresses; // written after the clients they belong to
    for (int i = 0; i < clientCount; ++i) {
        const ClientSeed &seed = clientSeeds().at(size_t(i % seeds));
        QString legal;
        const Client client = makeClient(i, seed, legal);
        QString number;
        if (client.domestic)
            number = seed.personType == 'F' ? cpf(random.engine()) : cnpj(random.engine());
        cliente.insert({client.code, client.name, legal, number.isEmpty() ? nullText() : QVariant(number),
                        QString(QChar::fromLatin1(seed.personType)),
                        QStringLiteral("financeiro%1@cliente.com.br").arg(i + 1)});
        addAddresses(addresses, i, client, seed, random);
        clients.push_back(client);
    }
    cliente.finish();
    BulkInserter endereco(db, QStringLiteral("ENDECLIE"),
                          columns({"CDCLIENTE", "NRSEQENDECLIE", "IDTPENDECLIE", "CDPAIS", "DSLOGRENDECLIE",
                                   "NMBAIRENDECLIE", "NMCIDADE", "SGESTADO", "NRCEPENDECLIE", "CDMUNIBGE"}));
    for (const QVariantList &row : addresses)
        endereco.insert(row);
    endereco.finish();
    return clients;
}

// Calculations: first one of every service type in the first and the last month,
// then random ones; keys are unique.
std::vector<Calculation> makeCalculations(Random &random, const Period &period, int rows, int clientCount)
{
    std::vector<Calculation> calcs;
    calcs.reserve(size_t(std::max(rows, 0)));
    std::unordered_set<std::string> keys;
    auto addCalc = [&](const Calculation &c) {
        const std::string key = std::to_string(c.company) + '|' + std::to_string(c.branch) + '|'
                                + std::to_string(c.client) + '|' + std::to_string(c.month.toJulianDay()) + '|' + c.type;
        if (keys.insert(key).second)
            calcs.push_back(c);
    };
    const int companyCount = int(companies().size());
    const auto branchOf = [&](int company) {
        return random.pick(int(companies().at(size_t(company)).branches.size()));
    };
    const char types[] = {'1', '2', '3', '5', '6', '7'};
    for (const QDate &month : {period.first, period.last})
        for (char type : types) {
            if (int(calcs.size()) >= rows)
                break;
            Calculation c;
            c.company = random.pick(companyCount);
            c.branch = branchOf(c.company);
            c.client = random.pick(clientCount);
            c.month = month;
            c.type = type;
            addCalc(c);
        }
    for (int guard = 0; int(calcs.size()) < rows && guard < rows * 20; ++guard) {
        Calculation c;
        c.client = random.pick(clientCount);
        // A client is billed mostly by one company.
        c.company = random.chance(0.8) ? c.client % companyCount : random.pick(companyCount);
        c.branch = branchOf(c.company);
        c.month = period.first.addMonths(random.pick(period.months()));
        c.type = random.chance(0.01) ? '4' : types[random.pick(6)];
        addCalc(c);
    }
    return calcs;
}

// Status by age: old months are mostly billed, recent ones mostly pending; every
// status appears even in a small set.
void assignStatuses(std::vector<Calculation> &calcs, Random &random, const Period &period)
{
    for (Calculation &c : calcs) {
        const double r = random.unit();
        if (period.ageOf(c.month) >= 3)
            c.status = r < 0.82   ? QStringLiteral("R")
                       : r < 0.89 ? QStringLiteral("C")
                       : r < 0.95 ? QStringLiteral("N")
                                  : QStringLiteral("P");
        else
            c.status = r < 0.65   ? QStringLiteral("P")
                       : r < 0.70 ? QString()
                       : r < 0.85 ? QStringLiteral("R")
                       : r < 0.93 ? QStringLiteral("C")
                                  : QStringLiteral("N");
    }
    const QString everyStatus[] = {QStringLiteral("P"), QStringLiteral("R"), QStringLiteral("C"), QStringLiteral("N"),
                                   QString()};
    for (size_t i = 0; i < calcs.size() && i < 5; ++i)
        calcs[calcs.size() - 1 - i].status = everyStatus[i];
}

double drawValue(char type, Random &random)
{
    return type == '5'   ? 1500 + random.pick(2000000) / 100.0
           : type == '7' ? 800 + random.pick(500000) / 100.0
                         : 150 + random.pick(8500000) / 100.0;
}

// The entry a realized calculation joins, made when it is the first of its group.
Entry &entryFor(Entries &entries, const Calculation &c, bool invoice, Random &random, const Period &period)
{
    auto key = std::make_tuple(c.company, c.branch, c.client, std::string(noteGroup(c.type)), c.month.toJulianDay());
    auto [it, fresh] = entries.byKey.try_emplace(key);
    Entry &e = it->second;
    if (!fresh)
        return e;
    e.number = ++entries.lastNumber[{c.company, invoice}];
    e.invoice = invoice;
    e.company = c.company;
    e.branch = c.branch;
    e.client = c.client;
    e.group = noteGroup(c.type);
    e.month = c.month;
    // The last months' entries are partly still waiting for their numbers.
    if (period.ageOf(c.month) >= 2 || random.chance(0.5))
        e.issued = invoice ? QStringLiteral("INV%1").arg(++entries.invoiceSerial, 6, 10, QLatin1Char('0'))
                           : QStringLiteral("%1").arg(++entries.noteSerial, 9, 10, QLatin1Char('0'));
    return e;
}

// Entries of the realized calculations: one per company, branch, client, note
// group and month, numbered per company and kind; values drawn month by month.
Entries groupEntries(const std::vector<Calculation> &calcs, const std::vector<Client> &clients, Random &random,
                     const Period &period)
{
    Entries entries;
    entries.ofCalculation.assign(calcs.size(), nullptr);
    entries.values.resize(calcs.size());
    std::vector<size_t> order(calcs.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return calcs[a].month < calcs[b].month; });
    for (size_t i : order) {
        const Calculation &c = calcs[i];
        entries.values[i] = drawValue(c.type, random);
        if (c.status != QLatin1String("R"))
            continue;
        Entry &e = entryFor(entries, c, !clients[size_t(c.client)].domestic, random, period);
        ++e.items;
        e.total += entries.values[i];
        entries.ofCalculation[i] = &e;
    }
    return entries;
}

// The texts of a calculation that hang on its type and client.
struct CalculationTexts
{
    QString emission;
    QString boleto;
    QString billing;
};

CalculationTexts textsOf(const Calculation &c, const Client &client)
{
    const QString monthWords =
        QStringLiteral("%1/%2").arg(QString::fromUtf8(MonthNames[c.month.month() - 1])).arg(c.month.year());
    CalculationTexts texts;
    texts.emission = QStringLiteral("%1 referentes a %2. Retenção de ISS conforme a legislação "
                                    "do município do prestador.")
                         .arg(QString::fromUtf8(serviceWords(c.type)), monthWords);
    texts.boleto = QStringLiteral("Não receber após o vencimento. Após o vencimento cobrar multa "
                                  "de 2% e juros de 0,033% ao dia.");
    texts.billing = client.domestic ? QStringLiteral("Enviar a nota fiscal e o boleto ao setor financeiro, "
                                                     "aos cuidados da administração.")
                                    : QStringLiteral("Pagamento por transferência internacional; "
                                                     "enviar a invoice em português e inglês.");
    return texts;
}

const std::vector<const Product *> &productsOfType(char type)
{
    static const auto byType = [] {
        std::array<std::vector<const Product *>, 8> out;
        for (const Product &p : products())
            out.at(size_t(p.serviceType - '0')).push_back(&p);
        return out;
    }();
    return byType.at(size_t(type - '0'));
}

// One APURFATFAS row; draws the product, the time it was made, the operator and
// the flags, in that order.
QVariantList calculationRow(size_t i, const Calculation &c, const Client &client, const Entry *entry, double value,
                            Random &random, QDate today)
{
    const Company &company = companies().at(size_t(c.company));
    const auto &choices = productsOfType(c.type);
    const Product *product = choices.at(size_t(random.pick(int(choices.size()))));
    QDateTime madeAt(c.month.addMonths(1).addDays(random.pick(8)),
                     QTime(8 + random.pick(10), random.pick(60), random.pick(60)));
    if (madeAt.date() > today)
        madeAt.setDate(today);
    const CalculationTexts texts = textsOf(c, client);
    QVariant noteNumber = nullText();
    QVariant invoiceNumber = nullText();
    if (entry && !entry->issued.isEmpty())
        (entry->invoice ? invoiceNumber : noteNumber) = entry->issued;
    return {QString::fromUtf8(company.code),
            companyBranch(company, c.branch),
            client.code,
            CivilDate::sqlDate(c.month),
            QString(QChar::fromLatin1(c.type)),
            c.status.isEmpty() ? nullText() : QVariant(c.status),
            QString::fromUtf8(noteGroup(c.type)),
            CivilDate::sqlDateTime(madeAt),
            QString::fromUtf8(product->code),
            QString::fromUtf8(operators().at(size_t(random.pick(int(operators().size())))).first),
            QString::fromUtf8(product->catalogue),
            random.chance(0.3) ? QStringLiteral("S") : QStringLiteral("N"),
            texts.emission,
            texts.boleto,
            texts.billing,
            value,
            noteNumber,
            invoiceNumber,
            random.chance(0.6) ? QVariant(QStringLiteral("SS%1").arg(i + 1, 7, 10, QLatin1Char('0'))) : nullText()};
}

void writeCalculations(QSqlDatabase &db, const std::vector<Calculation> &calcs, const std::vector<Client> &clients,
                       const Entries &entries, Random &random, QDate today)
{
    BulkInserter apuracao(
        db, QStringLiteral("APURFATFAS"),
        columns({"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "DTMESAPURFAS", "IDAPURFATFAS", "IDSTAPFATFAS", "CDGRUPONFAPUR",
                 "DTAPURFATFAS", "CDPRODUTO", "CDOPERAPUR", "CDTIPOSERV", "IDCOMIFATFAS", "DSEMISSPRONF",
                 "DSBOLEFATFAS", "DSFATURCLIE", "VRTOTAFATFAS", "NRNOTAFISC", "NRINVOICE", "NRSOLISERV"}));
    for (size_t i = 0; i < calcs.size(); ++i)
        apuracao.insert(calculationRow(i, calcs[i], clients[size_t(calcs[i].client)], entries.ofCalculation[i],
                                       entries.values[i], random, today));
    apuracao.finish();
}

void writeEntries(QSqlDatabase &db, const Entries &entries, const std::vector<Client> &clients, QDate today)
{
    BulkInserter lancamento(db, QStringLiteral("LANCFATFAS"),
                            columns({"CDEMPRESA", "IDTPLANCFAT", "NRLANCFAT", "CDFILIAL", "CDCLIENTE", "CDGRUPONFAPUR",
                                     "DTLANCFAT", "QTITEMLANCFAT", "VRTOTLANCFAT"}));
    for (const auto &[key, e] : entries.byKey) {
        const Company &company = companies().at(size_t(e.company));
        const QDateTime madeAt(std::min(e.month.addMonths(1).addDays(10), today), QTime(17, 30));
        lancamento.insert({QString::fromUtf8(company.code), kindCode(e.invoice), e.number,
                           companyBranch(company, e.branch), clients[size_t(e.client)].code, QString::fromUtf8(e.group),
                           CivilDate::sqlDateTime(madeAt), e.items, qRound64(e.total * 100) / 100.0});
    }
    lancamento.finish();
}

void writeEntryItems(QSqlDatabase &db, const std::vector<Calculation> &calcs, const std::vector<Client> &clients,
                     const Entries &entries)
{
    BulkInserter item(
        db, QStringLiteral("ITEMLANCFAT"),
        columns({"CDEMPRESA", "CDFILIAL", "CDCLIENTE", "DTMESAPURFAS", "IDAPURFATFAS", "IDTPLANCFAT", "NRLANCFAT"}));
    for (size_t i = 0; i < calcs.size(); ++i) {
        const Entry *e = entries.ofCalculation[i];
        if (!e)
            continue;
        const Calculation &c = calcs[i];
        const Company &company = companies().at(size_t(c.company));
        item.insert({QString::fromUtf8(company.code), companyBranch(company, c.branch), clients[size_t(c.client)].code,
                     CivilDate::sqlDate(c.month), QString(QChar::fromLatin1(c.type)), kindCode(e->invoice), e->number});
    }
    item.finish();
}

// The last number used per company and kind (zero where none was).
void writeLastNumbers(QSqlDatabase &db, Entries &entries)
{
    BulkInserter numero(db, QStringLiteral("NUMLANCFAT"), columns({"CDEMPRESA", "IDTPLANCFAT", "NRULTLANCFAT"}));
    for (size_t company = 0; company < companies().size(); ++company)
        for (bool invoice : {false, true})
            numero.insert({QString::fromUtf8(companies().at(company).code), kindCode(invoice),
                           entries.lastNumber[{int(company), invoice}]});
    numero.finish();
}

} // namespace

DemoDataGenerator::DemoDataGenerator(QSqlDatabase db, Options options)
    : m_db(std::move(db))
    , m_options(options)
{
}

DemoDataGenerator::Summary DemoDataGenerator::fill()
{
    if (!m_db.transaction())
        throw DatabaseError(QStringLiteral("Não foi possível iniciar a transação: %1").arg(m_db.lastError().text()));
    Summary summary;
    try {
        summary = fillTables();
    } catch (...) {
        m_db.rollback();
        throw;
    }
    if (!m_db.commit())
        throw DatabaseError(QStringLiteral("Não foi possível gravar os dados: %1").arg(m_db.lastError().text()));
    return summary;
}

DemoDataGenerator::Summary DemoDataGenerator::fillTables()
{
    Random random(m_options.seed);
    const Period period(m_options.today);
    Summary summary;
    writeParameters(m_db, period);
    summary.branches = writeCompanies(m_db, random, m_options.nationalNotes);
    summary.companies = int(companies().size());
    writeProductsAndOperators(m_db);
    const std::vector<Client> clients = writeClients(m_db, random, m_options.rows);
    summary.clients = int(clients.size());

    std::vector<Calculation> calcs = makeCalculations(random, period, m_options.rows, summary.clients);
    assignStatuses(calcs, random, period);
    Entries entries = groupEntries(calcs, clients, random, period);
    writeCalculations(m_db, calcs, clients, entries, random, m_options.today);
    summary.calculations = int(calcs.size());
    writeEntries(m_db, entries, clients, m_options.today);
    summary.entries = int(entries.byKey.size());
    writeEntryItems(m_db, calcs, clients, entries);
    writeLastNumbers(m_db, entries);
    return summary;
}
