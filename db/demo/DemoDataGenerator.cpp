#include "DemoDataGenerator.h"

#include <algorithm>
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

#include "BulkInserter.h"
#include "DatabaseError.h"

namespace {

QVariant nullText()
{
    return QVariant(QMetaType(QMetaType::QString));
}

QString dateText(QDate date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString dateTimeText(const QDateTime &value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
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
};

const std::vector<Company> &companies()
{
    static const std::vector<Company> list = {
        {"01", "Fas Tecnologia Ltda", "SP", {{"0001", "Matriz São Paulo"}, {"0002", "Filial Campinas"}}},
        {"02",
         "Fas Serviços de Informática S.A.",
         "RJ",
         {{"0001", "Matriz Rio de Janeiro"}, {"0002", "Filial Niterói"}, {"0003", "Filial Petrópolis"}}},
        {"03", "Fas Sul Sistemas Ltda", "RS", {{"0001", "Matriz Porto Alegre"}}},
    };
    return list;
}

struct ClientSeed
{
    const char *name;
    const char *legalName;
    char personType;
    const char *country;   // of the main address
    const char *city;
    const char *state;
    int mainAddresses;     // domestic clients with two main addresses in Brazil
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
    const char *catalogue; // CDTIPOSERV
};

const std::vector<Product> &products()
{
    static const std::vector<Product> list = {
        {"MO001", "Mão de obra técnica", '1', "MOB"},
        {"MO002", "Mão de obra de consultoria", '1', "MOB"},
        {"SD001", "Service Desk 8x5", '2', "SDK"},
        {"SD002", "Service Desk 24x7", '2', "SDK"},
        {"CU001", "Customização de relatórios", '3', "CUS"},
        {"CU002", "Customização de integrações", '3', "CUS"},
        {"TR001", "Treinamento de usuários", '4', "TRE"},
        {"LI001", "Licença de uso – módulo fiscal", '5', "LIC"},
        {"LI002", "Licença de uso – folha de pagamento", '5', "LIC"},
        {"MA001", "Manutenção mensal do sistema", '6', "MAN"},
        {"MA002", "Manutenção evolutiva", '6', "MAN"},
        {"LO001", "Locação de equipamentos", '7', "LOC"},
    };
    return list;
}

const std::vector<std::pair<const char *, const char *>> &operators()
{
    static const std::vector<std::pair<const char *, const char *>> list = {
        {"ADMIN", "Administrador do Sistema"},
        {"MSOUZA", "Márcia Souza"},
        {"JPEREIRA", "João Pereira"},
        {"ACOSTA", "Antônio Costa"},
        {"LFERNANDES", "Luíza Fernandes"},
    };
    return list;
}

const char *serviceWords(char type)
{
    switch (type) {
    case '1': return "Serviços de mão de obra técnica";
    case '2': return "Serviços de atendimento (service desk)";
    case '3': return "Serviços de customização";
    case '4': return "Serviços de treinamento";
    case '5': return "Licença de uso de software";
    case '6': return "Serviços de manutenção do sistema";
    default: return "Locação de equipamentos";
    }
}

// Fiscal-note group: services, licences and rentals go on separate notes.
const char *noteGroup(char type)
{
    switch (type) {
    case '5': return "LIC";
    case '7': return "LOC";
    default: return "SERV";
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

} // namespace

DemoDataGenerator::DemoDataGenerator(QSqlDatabase db, Options options)
    : m_db(std::move(db))
    , m_options(options)
{
}

DemoDataGenerator::Summary DemoDataGenerator::fill()
{
    std::mt19937 rng(m_options.seed);
    auto chance = [&rng](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };

    if (!m_db.transaction())
        throw DatabaseError(QStringLiteral("Não foi possível iniciar a transação: %1").arg(m_db.lastError().text()));
    Summary summary;
    try {
        const QDate firstMonth(2008, 1, 1);
        const QDate lastMonth(m_options.today.year(), m_options.today.month(), 1);
        const int months = (lastMonth.year() - firstMonth.year()) * 12 + lastMonth.month() - firstMonth.month() + 1;

        BulkInserter paramgeral(m_db, QStringLiteral("PARAMGERAL"),
                            {QStringLiteral("CDPARAMGERAL"), QStringLiteral("DTINICIOAPUR"), QStringLiteral("NMSISTEMA")});
        paramgeral.insert({1, dateText(firstMonth), QStringLiteral("Faturamento de Serviços")});

        BulkInserter empresa(m_db, QStringLiteral("EMPRESA"),
                         {QStringLiteral("CDEMPRESA"), QStringLiteral("NMEMPRESA"), QStringLiteral("NRCNPJEMPRESA"),
                          QStringLiteral("SGESTADO")});
        BulkInserter filial(m_db, QStringLiteral("FILIAL"),
                        {QStringLiteral("CDEMPRESA"), QStringLiteral("CDFILIAL"), QStringLiteral("NMFILIAL"),
                         QStringLiteral("NMCIDADE")});
        BulkInserter numero(m_db, QStringLiteral("NUMLANCFAT"),
                        {QStringLiteral("CDEMPRESA"), QStringLiteral("IDTPLANCFAT"), QStringLiteral("NRULTLANCFAT")});
        paramgeral.finish();
        // One table at a time: a COPY stream must end before the next begins.
        for (const Company &c : companies())
            empresa.insert({QString::fromUtf8(c.code), QString::fromUtf8(c.name), cnpj(rng), QString::fromUtf8(c.state)});
        empresa.finish();
        for (const Company &c : companies()) {
            for (const auto &[code, name] : c.branches) {
                QString city = QString::fromUtf8(name);
                city.remove(QRegularExpression(QStringLiteral("^(Matriz|Filial) ")));
                filial.insert({QString::fromUtf8(c.code), QString::fromUtf8(code), QString::fromUtf8(name), city});
                ++summary.branches;
            }
        }
        filial.finish();
        summary.companies = int(companies().size());

        BulkInserter produto(m_db, QStringLiteral("PRODUTO"), {QStringLiteral("CDPRODUTO"), QStringLiteral("NMPRODUTO")});
        for (const Product &p : products())
            produto.insert({QString::fromUtf8(p.code), QString::fromUtf8(p.name)});
        produto.finish();
        BulkInserter operador(m_db, QStringLiteral("OPERADOR"), {QStringLiteral("CDOPERADOR"), QStringLiteral("NMOPERADOR")});
        for (const auto &[code, name] : operators())
            operador.insert({QString::fromUtf8(code), QString::fromUtf8(name)});
        operador.finish();

        // Clients: the named ones, then numbered copies for large sets (a client
        // has at most a few hundred calculations in real life).
        BulkInserter cliente(m_db, QStringLiteral("CLIENTE"),
                         {QStringLiteral("CDCLIENTE"), QStringLiteral("NMFANTCLIE"), QStringLiteral("NMRAZSOCCLIE"),
                          QStringLiteral("NRINSJURCLIE"), QStringLiteral("IDTPIJURCLIE"), QStringLiteral("DSEMAILCLIE")});
        BulkInserter endereco(m_db, QStringLiteral("ENDECLIE"),
                          {QStringLiteral("CDCLIENTE"), QStringLiteral("NRSEQENDECLIE"), QStringLiteral("IDTPENDECLIE"),
                           QStringLiteral("CDPAIS"), QStringLiteral("DSLOGRENDECLIE"), QStringLiteral("NMBAIRENDECLIE"),
                           QStringLiteral("NMCIDADE"), QStringLiteral("SGESTADO"), QStringLiteral("NRCEPENDECLIE")});
        const int seeds = int(clientSeeds().size());
        const int clientCount = std::max(seeds, (m_options.rows + 299) / 300);
        static const char *const streets[] = {"Rua das Acácias", "Avenida Brasil", "Rua São Bento",
                                              "Travessa do Comércio", "Avenida Getúlio Vargas", "Rua Marechal Deodoro"};
        static const char *const districts[] = {"Centro", "Jardim América", "Vila Nova", "Boa Vista", "Santa Cecília"};
        std::vector<Client> clients;
        std::vector<QVariantList> addresses; // written after the clients they belong to
        for (int i = 0; i < clientCount; ++i) {
            const ClientSeed &seed = clientSeeds().at(size_t(i % seeds));
            const int copy = i / seeds;
            Client client;
            client.code = QStringLiteral("%1").arg(i + 1, 6, 10, QLatin1Char('0'));
            client.name = QString::fromUtf8(seed.name);
            QString legal = QString::fromUtf8(seed.legalName);
            if (copy > 0) {
                client.name += QStringLiteral(" %1").arg(copy + 1);
                legal += QStringLiteral(" %1").arg(copy + 1);
            }
            client.name.truncate(50);
            legal.truncate(50);
            const QString country = QString::fromUtf8(seed.country);
            client.domestic = country == QLatin1String("0055");
            QString number;
            if (client.domestic)
                number = seed.personType == 'F' ? cpf(rng) : cnpj(rng);
            cliente.insert({client.code, client.name, legal, number.isEmpty() ? nullText() : QVariant(number),
                            QString(QChar::fromLatin1(seed.personType)),
                            QStringLiteral("financeiro%1@cliente.com.br").arg(i + 1)});

            int sequence = 0;
            auto address = [&](const char *type, const QString &countryCode) {
                ++sequence;
                addresses.push_back({client.code, sequence, QString::fromLatin1(type), countryCode,
                                 QStringLiteral("%1, %2").arg(QString::fromUtf8(streets[pick(6)])).arg(10 + pick(2000)),
                                 QString::fromUtf8(districts[pick(5)]), QString::fromUtf8(seed.city),
                                 QString::fromUtf8(seed.state),
                                 client.domestic ? QStringLiteral("%1-%2").arg(10000 + pick(89999)).arg(100 + pick(899))
                                                 : QString()});
            };
            for (int m = 0; m < seed.mainAddresses; ++m)
                address("P", country);
            if (chance(0.4))
                address("C", country);
            // Some foreign clients keep a billing address in Brazil: still foreign.
            if (!client.domestic && i % 3 == 0)
                address("C", QStringLiteral("0055"));
            clients.push_back(client);
        }
        cliente.finish();
        for (const QVariantList &row : addresses)
            endereco.insert(row);
        endereco.finish();
        summary.clients = clientCount;

        // Calculations: first one of every service type in the first and the last
        // month, then random ones; keys are unique.
        std::vector<Calculation> calcs;
        calcs.reserve(size_t(std::max(m_options.rows, 0)));
        std::unordered_set<std::string> keys;
        auto addCalc = [&](Calculation c) {
            const std::string key = std::to_string(c.company) + '|' + std::to_string(c.branch) + '|'
                                    + std::to_string(c.client) + '|' + std::to_string(c.month.toJulianDay()) + '|'
                                    + c.type;
            if (!keys.insert(key).second)
                return false;
            calcs.push_back(c);
            return true;
        };
        const char types[] = {'1', '2', '3', '5', '6', '7'};
        for (const QDate &month : {firstMonth, lastMonth})
            for (char type : types) {
                if (int(calcs.size()) >= m_options.rows)
                    break;
                Calculation c;
                c.company = pick(int(companies().size()));
                c.branch = pick(int(companies().at(size_t(c.company)).branches.size()));
                c.client = pick(clientCount);
                c.month = month;
                c.type = type;
                addCalc(c);
            }
        int guard = 0;
        while (int(calcs.size()) < m_options.rows && guard < m_options.rows * 20) {
            ++guard;
            Calculation c;
            c.client = pick(clientCount);
            // A client is billed mostly by one company.
            c.company = chance(0.8) ? c.client % int(companies().size()) : pick(int(companies().size()));
            c.branch = pick(int(companies().at(size_t(c.company)).branches.size()));
            c.month = firstMonth.addMonths(pick(months));
            c.type = chance(0.01) ? '4' : types[pick(6)];
            addCalc(c);
        }

        // Status by age: old months are mostly billed, recent ones mostly pending.
        for (Calculation &c : calcs) {
            const int age = (lastMonth.year() - c.month.year()) * 12 + lastMonth.month() - c.month.month();
            const double r = std::uniform_real_distribution<double>(0, 1)(rng);
            if (age >= 3)
                c.status = r < 0.82 ? QStringLiteral("R") : r < 0.89 ? QStringLiteral("C")
                         : r < 0.95 ? QStringLiteral("N") : QStringLiteral("P");
            else
                c.status = r < 0.65 ? QStringLiteral("P") : r < 0.70 ? QString()
                         : r < 0.85 ? QStringLiteral("R") : r < 0.93 ? QStringLiteral("C") : QStringLiteral("N");
        }
        // Every status appears even in a small set.
        const QString everyStatus[] = {QStringLiteral("P"), QStringLiteral("R"), QStringLiteral("C"),
                                       QStringLiteral("N"), QString()};
        for (size_t i = 0; i < calcs.size() && i < 5; ++i)
            calcs[calcs.size() - 1 - i].status = everyStatus[i];

        // Entries of the realized calculations: one per company, branch, client,
        // note group and month, numbered per company and kind.
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
        std::map<std::tuple<int, int, int, std::string, qint64>, Entry> entries;
        std::map<std::pair<int, bool>, int> lastNumber;
        std::vector<const Entry *> entryOf(calcs.size(), nullptr);
        std::vector<double> values(calcs.size());
        std::vector<size_t> order(calcs.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return calcs[a].month < calcs[b].month; });
        int noteSerial = 1000;
        int invoiceSerial = 100;
        for (size_t i : order) {
            const Calculation &c = calcs[i];
            values[i] = c.type == '5' ? 1500 + pick(2000000) / 100.0
                      : c.type == '7' ? 800 + pick(500000) / 100.0
                                      : 150 + pick(8500000) / 100.0;
            if (c.status != QLatin1String("R"))
                continue;
            const bool invoice = !clients[size_t(c.client)].domestic;
            auto key = std::make_tuple(c.company, c.branch, c.client, std::string(noteGroup(c.type)),
                                       c.month.toJulianDay());
            auto [it, fresh] = entries.try_emplace(key);
            Entry &e = it->second;
            if (fresh) {
                e.number = ++lastNumber[{c.company, invoice}];
                e.invoice = invoice;
                e.company = c.company;
                e.branch = c.branch;
                e.client = c.client;
                e.group = noteGroup(c.type);
                e.month = c.month;
                const int age = (lastMonth.year() - c.month.year()) * 12 + lastMonth.month() - c.month.month();
                // The last months' entries are partly still waiting for their numbers.
                if (age >= 2 || chance(0.5))
                    e.issued = invoice ? QStringLiteral("INV%1").arg(++invoiceSerial, 6, 10, QLatin1Char('0'))
                                       : QStringLiteral("%1").arg(++noteSerial, 9, 10, QLatin1Char('0'));
            }
            ++e.items;
            e.total += values[i];
            entryOf[i] = &e;
        }

        BulkInserter apuracao(m_db, QStringLiteral("APURFATFAS"),
                          {QStringLiteral("CDEMPRESA"), QStringLiteral("CDFILIAL"), QStringLiteral("CDCLIENTE"),
                           QStringLiteral("DTMESAPURFAS"), QStringLiteral("IDAPURFATFAS"), QStringLiteral("IDSTAPFATFAS"),
                           QStringLiteral("CDGRUPONFAPUR"), QStringLiteral("DTAPURFATFAS"), QStringLiteral("CDPRODUTO"),
                           QStringLiteral("CDOPERAPUR"), QStringLiteral("CDTIPOSERV"), QStringLiteral("IDCOMIFATFAS"),
                           QStringLiteral("DSEMISSPRONF"), QStringLiteral("DSBOLEFATFAS"), QStringLiteral("DSFATURCLIE"),
                           QStringLiteral("VRTOTAFATFAS"), QStringLiteral("NRNOTAFISC"), QStringLiteral("NRINVOICE"),
                           QStringLiteral("NRSOLISERV")});
        std::vector<const Product *> productsOf[8];
        for (const Product &p : products())
            productsOf[p.serviceType - '0'].push_back(&p);
        for (size_t i = 0; i < calcs.size(); ++i) {
            const Calculation &c = calcs[i];
            const Company &company = companies().at(size_t(c.company));
            const Client &client = clients[size_t(c.client)];
            const auto &choices = productsOf[c.type - '0'];
            const Product *product = choices.at(size_t(pick(int(choices.size()))));
            QDateTime madeAt(c.month.addMonths(1).addDays(pick(8)), QTime(8 + pick(10), pick(60), pick(60)));
            if (madeAt.date() > m_options.today)
                madeAt.setDate(m_options.today);
            const QString monthWords =
                QStringLiteral("%1/%2").arg(QString::fromUtf8(MonthNames[c.month.month() - 1])).arg(c.month.year());
            const QString emission = QStringLiteral("%1 referentes a %2. Retenção de ISS conforme a legislação "
                                                    "do município do prestador.")
                                         .arg(QString::fromUtf8(serviceWords(c.type)), monthWords);
            const QString boleto = QStringLiteral("Não receber após o vencimento. Após o vencimento cobrar multa "
                                                  "de 2% e juros de 0,033% ao dia.");
            const QString billing = client.domestic
                                        ? QStringLiteral("Enviar a nota fiscal e o boleto ao setor financeiro, "
                                                         "aos cuidados da administração.")
                                        : QStringLiteral("Pagamento por transferência internacional; "
                                                         "enviar a invoice em português e inglês.");
            const Entry *entry = entryOf[i];
            QVariant noteNumber = nullText();
            QVariant invoiceNumber = nullText();
            if (entry && !entry->issued.isEmpty())
                (entry->invoice ? invoiceNumber : noteNumber) = entry->issued;
            apuracao.insert({QString::fromUtf8(company.code), QString::fromUtf8(company.branches.at(size_t(c.branch)).first),
                             client.code, dateText(c.month), QString(QChar::fromLatin1(c.type)),
                             c.status.isEmpty() ? nullText() : QVariant(c.status),
                             QString::fromUtf8(noteGroup(c.type)), dateTimeText(madeAt),
                             QString::fromUtf8(product->code),
                             QString::fromUtf8(operators().at(size_t(pick(int(operators().size())))).first),
                             QString::fromUtf8(product->catalogue), chance(0.3) ? QStringLiteral("S") : QStringLiteral("N"),
                             emission, boleto, billing, values[i], noteNumber, invoiceNumber,
                             chance(0.6) ? QVariant(QStringLiteral("SS%1").arg(i + 1, 7, 10, QLatin1Char('0')))
                                         : nullText()});
        }
        apuracao.finish();
        summary.calculations = int(calcs.size());

        BulkInserter lancamento(m_db, QStringLiteral("LANCFATFAS"),
                            {QStringLiteral("CDEMPRESA"), QStringLiteral("IDTPLANCFAT"), QStringLiteral("NRLANCFAT"),
                             QStringLiteral("CDFILIAL"), QStringLiteral("CDCLIENTE"), QStringLiteral("CDGRUPONFAPUR"),
                             QStringLiteral("DTLANCFAT"), QStringLiteral("QTITEMLANCFAT"), QStringLiteral("VRTOTLANCFAT")});
        for (const auto &[key, e] : entries) {
            const Company &company = companies().at(size_t(e.company));
            lancamento.insert({QString::fromUtf8(company.code), e.invoice ? QStringLiteral("I") : QStringLiteral("N"),
                               e.number, QString::fromUtf8(company.branches.at(size_t(e.branch)).first),
                               clients[size_t(e.client)].code, QString::fromUtf8(e.group),
                               dateTimeText(QDateTime(std::min(e.month.addMonths(1).addDays(10), m_options.today),
                                                      QTime(17, 30))),
                               e.items, qRound64(e.total * 100) / 100.0});
        }
        lancamento.finish();
        summary.entries = int(entries.size());

        BulkInserter item(m_db, QStringLiteral("ITEMLANCFAT"),
                      {QStringLiteral("CDEMPRESA"), QStringLiteral("CDFILIAL"), QStringLiteral("CDCLIENTE"),
                       QStringLiteral("DTMESAPURFAS"), QStringLiteral("IDAPURFATFAS"), QStringLiteral("IDTPLANCFAT"),
                       QStringLiteral("NRLANCFAT")});
        for (size_t i = 0; i < calcs.size(); ++i) {
            const Entry *e = entryOf[i];
            if (!e)
                continue;
            const Calculation &c = calcs[i];
            const Company &company = companies().at(size_t(c.company));
            item.insert({QString::fromUtf8(company.code), QString::fromUtf8(company.branches.at(size_t(c.branch)).first),
                         clients[size_t(c.client)].code, dateText(c.month), QString(QChar::fromLatin1(c.type)),
                         e->invoice ? QStringLiteral("I") : QStringLiteral("N"), e->number});
        }
        item.finish();

        for (size_t company = 0; company < companies().size(); ++company)
            for (bool invoice : {false, true})
                numero.insert({QString::fromUtf8(companies().at(company).code),
                               invoice ? QStringLiteral("I") : QStringLiteral("N"),
                               lastNumber[{int(company), invoice}]});
        numero.finish();
    } catch (...) {
        m_db.rollback();
        throw;
    }
    if (!m_db.commit())
        throw DatabaseError(QStringLiteral("Não foi possível gravar os dados: %1").arg(m_db.lastError().text()));
    return summary;
}
