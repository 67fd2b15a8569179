// The kernel tests' access component, metadata caches and hand-written databases.
#include "kernel_helpers.h"

#include <platform/db/odbcdriver.h>

#include <support/kernel_schema.h>

#include <QProcess>

namespace krntest {

bool sqliteOdbcReady()
{
    odbcdb::registerDrivers();
    QProcess p;
    p.start(QStringLiteral("odbcinst"), {QStringLiteral("-q"), QStringLiteral("-d")});
    return p.waitForFinished(10000) &&
           QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("[SQLite3]"));
}

void RecordingExchange::AddBatchStatement(const SqlQuery& statement)
{
    QStringList params;
    for (const Param& p : statement.params())
        params.append(p.name() + "=" + (p.isNull() ? QStringLiteral("NULL") : p.asString()));
    calls.append("add " + statement.sql().split('\n').join(" | ") + " " + params.join(' '));
}

AccessOnKernel::AccessOnKernel(const QString& alias)
{
    db.setDatabaseName(QStringLiteral("Main"));
    db.setAliasName(alias);
    for (SqlQuery* q : {&tables, &fields, &links})
        q->setDatabase(&db);
    tables.setSql(QString::fromLatin1(kernelschema::SelectTables));
    fields.setSql(QString::fromLatin1(kernelschema::SelectFields));
    links.setSql(QString::fromLatin1(kernelschema::SelectLinks));
    access.setObjectName(QStringLiteral("DBAccess1"));
    access.SetDataBase(&db);
    access.SetTables(&tables);
    access.SetFields(&fields);
    access.SetLinks(&links);
}

SampleKernel::SampleKernel(const QString& alias) : AccessOnKernel(alias)
{
    kernel.exec(kernelschema::createTables());
    kernel.execScript(QStringLiteral("sample.sql"));
    access.RegisterModuleVersion(QStringLiteral("DATABASE"), 207);
}

Practice::Practice(int serverKind)
    : AccessOnKernel(serverKind == 3 ? QStringLiteral("KRN") : QStringLiteral("SRV"))
{
    kernel.exec(kernelschema::createTables());
    kernel.execScript(QStringLiteral("practice.sql"));
    if (serverKind != 3) {
        const QString driver = serverKind == 1 ? QStringLiteral("MSSQL") : QStringLiteral("ORACLE");
        registerRecordingDriver(driver, recorder);
        kernel.addAlias(QStringLiteral("SRV"), driver);
    }
    SetKernelProgramDirForTesting(programFolder.path());
    access.UpdateServerKind();
    access.LoadMetaData();
}

Practice::~Practice()
{
    SetKernelProgramDirForTesting(QString());
}

std::unique_ptr<TDBRequest> Practice::request(const QString& name)
{
    auto r = std::make_unique<TDBRequest>();
    r->setObjectName(name);
    r->SetDBAccess(&access);
    return r;
}

QStringList Practice::rows(const TDBRequest& request)
{
    return queryRows(db, request.CompiledText(), &request.GetParams());
}

WritePractice::WritePractice(int serverKind) : Practice(serverKind)
{
    kernel.execScript(QStringLiteral("writeback.sql"));
    access.LoadMetaData();
    recorder->statements.clear();
    recorder->runs.clear();
}

CacheOn::CacheOn(Practice& p, const QString& table, const QString& fields, TDBCacheOptions options)
    : request(p.request(table)), cache(std::make_unique<TDBCache>())
{
    request->From().Add()->SetTableName(table);
    for (const QString& f : fields.split(QLatin1Char(','))) {
        const QStringList named = f.trimmed().split(QStringLiteral(" as "));
        TSelectItem* item = request->Select().Add();
        item->SetText(named.first().trimmed());
        if (named.size() > 1)
            item->SetAlias(named.at(1).trimmed());
    }
    cache->setObjectName(table);
    cache->Options = options;
    cache->SetRequest(request.get());
    cache->Open();
}

QStringList CacheOn::column(const QString& field) const
{
    QStringList values;
    for (const Bookmark& b : cache->bookmarks()) {
        cache->viewRecord(b, [&] {
            const Field* f = cache->FieldByName(field);
            values.append(f->isNull() ? QStringLiteral("NULL") : f->asString());
        });
    }
    return values;
}

QStringList compiled(TDBRequest& request)
{
    try {
        request.SetCompiled(false);
        request.SetCompiled(true);
        return request.CompiledSQL();
    } catch (const EDBKernelError& e) {
        return {QStringLiteral("error: ") + e.message()};
    }
}

TFromItem* addFrom(TDBRequest& r, const QString& table, const QString& alias, const QString& master,
                   const QString& masterFields)
{
    TFromItem* f = r.From().Add();
    f->SetTableName(table);
    f->SetAlias(alias);
    f->SetMasterTable(master);
    f->SetMasterFields(masterFields);
    return f;
}

TSelectItem* addSelect(TDBRequest& r, const QString& origin, const QString& text,
                       const QString& alias, TDataType type, int size)
{
    TSelectItem* s = r.Select().Add();
    s->SetText(text);
    s->SetOrigin(origin);
    s->SetAlias(alias);
    s->SetDataType(type);
    s->SetSize(size);
    return s;
}

TWhereItem* addWhere(TDBRequest& r, const QString& text, int group, const QString& origin)
{
    TWhereItem* w = r.Where().Add();
    w->SetText(text);
    w->SetGroup(group);
    w->SetOrigin(origin);
    return w;
}

} // namespace krntest
