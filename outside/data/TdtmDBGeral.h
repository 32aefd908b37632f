#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include "kor_export.h"

class TdtmDBGeral;

// One connection component of the host's data module. The three components
// (ADO connection, InterBase database and its transaction) stand for the same
// QtSql connection: a query bound to any of them runs there.
class KOR_EXPORT TDBConnectionComponent : public QObject
{
    Q_OBJECT
public:
    TDBConnectionComponent(TdtmDBGeral *module, const QString &name);
    TdtmDBGeral *Module() const { return m_module; }

private:
    TdtmDBGeral *m_module;
};

// The host's data module: the database connection every query of the screens
// binds to by name. Created and opened by the host; one per process.
class KOR_EXPORT TdtmDBGeral : public QObject
{
    Q_OBJECT
public:
    enum class Dialect { Sqlite, PostgreSql, Oracle, InterBase, Other };

    static constexpr const char *ConnectionName = "dtmDBGeral";

    explicit TdtmDBGeral(QObject *parent = nullptr);
    ~TdtmDBGeral() override;

    // Opens the database the URL names (a SQLite path or a postgresql:// URL).
    // Throws FasError naming the database and the reason.
    void Open(const QString &databaseUrl);
    void Close();
    bool Connected() const;

    QSqlDatabase Database() const;
    Dialect DatabaseDialect() const;
    QString DisplayName() const { return m_displayName; }

    TDBConnectionComponent *adcGeral;
    TDBConnectionComponent *dtbGeral;
    TDBConnectionComponent *ibtGeral;

    // The instance the host created, or nullptr.
    static TdtmDBGeral *Instance();

private:
    QString m_displayName;
    bool m_open = false;
};

// The host's data module, named as the screens name it.
KOR_EXPORT TdtmDBGeral *dtmDBGeral();
