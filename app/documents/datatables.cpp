// The local tables data module: its table components over the data folder's database, the
// session probe that runs before walks over the tables, and reopening them after a failure.
#include "datatables.h"

#include "localtabledefs.h"

#include <app/appglobals.h>
#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <kernel/request.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlquery.h>
#include <platform/exception.h>

namespace {

LocalTable* makeTable(TDataTables* module, const char* name, const QString& tableName)
{
    auto* table = module->makeComponent<LocalTable>(name, "TTable");
    table->setTableName(tableName);
    return table;
}

// The practice database's patients come in packets of this many rows.
constexpr int PatientPacketRecords = 500;

TDBCache* makePatientCache(TDataTables* module, const char* name)
{
    auto* cache = module->makeComponent<TDBCache>(name, "TDBCache");
    cache->SetParentPacketRecords(false);
    cache->setPacketRecords(PatientPacketRecords);
    return cache;
}

SqlQuery* makeQuery(TDataTables* module, const char* name, const char* sql)
{
    auto* query = module->makeComponent<SqlQuery>(name, "TQuery");
    query->setSql(QLatin1String(sql));
    return query;
}

} // namespace

TDataTables::TDataTables(QObject* parent) : TDataModule(parent)
{
    namespace T = LocalTableName;
    LocalDB = makeComponent<Database>("LocalDB", "TDatabase");
    cfg = makeTable(this, "cfg", T::Cfg);
    fRep = makeTable(this, "fRep", T::Fr);
    packs = makeTable(this, "packs", T::Package);
    files = makeTable(this, "files", T::Files);
    rcfiles = makeTable(this, "rcfiles", T::RcFiles);
    prn = makeTable(this, "prn", T::Printers);
    com = makeTable(this, "com", T::Com);
    Patients_Local = makeTable(this, "Patients_Local", T::Patients);
    FrFiles = makeTable(this, "FrFiles", T::FrFiles);
    IdPatients_Global = makePatientCache(this, "IdPatients_Global");
    SPacks = makeTable(this, "SPacks", QStringLiteral("Package.DB"));
    DSFiles = makeTable(this, "DSFiles", T::DSFiles);
    QTables = makeQuery(this, "QTables", "select * from METATABLE order by TABLE_NAME");
    QLinks = makeQuery(this, "QLinks", "select * from TABLELINK");
    QFields = makeQuery(this, "QFields", "select * from METAFIELD order by TABLE_NAME");
    DBRequestCommon = makeComponent<TDBRequest>("DBRequestCommon", "TDBRequest");
    DBRequestCommon->SetAutoJoin(true);
    DBRequestCommon->SetSelectMode(smDefault);
    DBRequestCommon->SetUpdateMode(umDefault);
    DBRequestCommon->SetParentPacketRecords(false);
    DBRequestCommon->SetPacketRecords(-1);
    DBRequestCommon->SetCached(false);
    DBRequestCommon->SetDistinct(false);
    IdPatients_Local = makeTable(this, "IdPatients_Local", QStringLiteral("patients.db"));
    Patients_Global = makePatientCache(this, "Patients_Global");
    IdPatients_Global->SetRequest(DBRequestCommon);
    Patients_Global->SetRequest(DBRequestCommon);
    if (!DataTables)
        DataTables = this;
}

TDataTables::~TDataTables()
{
    // Tables go before their database (components die in reverse order of creation anyway; the
    // database's closing() reaches no table that is already gone).
    for (LocalTable* table : Tables())
        table->setDatabase(nullptr);
    if (DataTables == this)
        DataTables = nullptr;
}

QList<LocalTable*> TDataTables::Tables() const
{
    QList<LocalTable*> out;
    for (QObject* c : components()) {
        if (auto* table = qobject_cast<LocalTable*>(c))
            out.append(table);
    }
    return out;
}

QList<LocalTable*> TDataTables::StartupTables(bool withLocalPatients) const
{
    QList<LocalTable*> out{cfg, fRep, packs, files, rcfiles, prn, com, FrFiles};
    if (withLocalPatients)
        out << Patients_Local << IdPatients_Local;
    out << SPacks << DSFiles;
    return out;
}

void TDataTables::BindTables(const QString& dataDir, bool withLocalPatients)
{
    LocalDB->close();
    LocalDB->setLocalFolder(dataDir);
    LocalDB->setDatabaseName(dataDir);
    for (LocalTable* table : StartupTables(withLocalPatients))
        table->setDatabase(LocalDB);
}

void ReopenTables()
{
    Q_ASSERT(DataTables);
    QList<LocalTable*> open;
    for (LocalTable* table : DataTables->Tables()) {
        if (table->isActive())
            open.append(table);
    }
    try {
        DataTables->LocalDB->close();
    } catch (const std::exception&) {
        // The connection is dropped whatever went wrong; the tables reopen on a new one.
    }
    for (LocalTable* table : open)
        table->open();
}

bool CheckTables()
{
    if (!CheckSession)
        return true;
    Q_ASSERT(DataTables);
    LocalTable* cfg = DataTables->cfg;
    try {
        cfg->lookup(QStringLiteral("Number"), {Variant(-1)}, QStringLiteral("Number"));
        return true;
    } catch (const std::exception&) {
    }
    try {
        cfg->close();
    } catch (const std::exception&) {
        // Reopening follows whatever state it was left in.
    }
    ReopenTables();
    cfg->open();
    return false;
}

TDataTables& CheckedDataTables()
{
    if (!DataTables)
        throw Exception(QStringLiteral("The local tables are not ready"));
    return *DataTables;
}

DbConnection& ConnectionOf(const LocalTable& table)
{
    if (!table.database())
        throw Exception(QStringLiteral("The local table %1 is not bound to the data folder")
                            .arg(table.tableName()));
    return table.database()->connection();
}
