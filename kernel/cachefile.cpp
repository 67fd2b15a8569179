// Local cache files: a cached request keeps its result on the workstation's disk, one file per
// alias beside a catalogue of the versions they were saved at, and reuses it while the
// database's version of the alias (table CACHESYS) stays the same.
#include "request.h"

#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <platform/data/memdataset.h>
#include <platform/db/sqlquery.h>
#include <platform/support/paths.h>

#include <QDir>
#include <QFileInfo>

namespace {

const QString AliasField = QStringLiteral("ALIAS");
const QString VersionField = QStringLiteral("VERSION");

// The catalogue read from its file when it holds a usable one, else new and empty.
void openCatalogue(MemDataSet& catalogue, const QString& fileName)
{
    if (QFileInfo::exists(fileName)) {
        try {
            catalogue.loadFromFile(fileName);
            if (catalogue.findField(AliasField) && catalogue.findField(VersionField))
                return;
        } catch (const Exception&) {
            // A damaged catalogue is replaced: every alias is then read from the database.
        }
        catalogue.close();
    }
    catalogue.fieldDefs().clear();
    catalogue.indexDefs().clear();
    catalogue.fieldDefs().add(AliasField, FieldType::String, 30);
    catalogue.fieldDefs().add(VersionField, FieldType::Integer);
    catalogue.createDataSet();
}

} // namespace

QString TDBRequest::GetCacheDir() const
{
    const QString configured = m_dbAccess ? m_dbAccess->CachePath() : QString();
    const QString folder = AddBackslash(
        configured.isEmpty() ? KernelProgramDir() + QStringLiteral("CACHE") : configured);
    // A folder that cannot be made only costs the reuse: saving into it fails quietly.
    QDir().mkpath(folder);
    return folder;
}

void TDBRequest::LoadThroughCacheFile(TDBCache& cache)
{
    TDBAccess& access = loadingAccess();
    m_query2->setDatabase(access.DataBase());
    const QString folder = GetCacheDir();
    const QString catalogueFile = folder + QStringLiteral("cache.dat");
    const QString dataFile = folder + m_cacheAlias.toLower() + QStringLiteral(".dat");

    int serverVersion = 0;
    bool described = false;
    m_query2->setSql(QStringLiteral("select * from CACHESYS where ALIAS = '%1'").arg(m_cacheAlias));
    try {
        m_query2->open();
        described = !m_query2->eof();
        if (described)
            serverVersion = int(m_query2->fieldByName(VersionField)->asInteger());
    } catch (...) {
        m_query2->close();
        throw;
    }
    m_query2->close();
    if (!described) {
        m_query2->setSql(QStringList{QStringLiteral("insert into CACHESYS(ALIAS,VERSION)"),
                                     QStringLiteral("values('%1',1)").arg(m_cacheAlias)});
        m_query2->execSql();
        serverVersion = 1;
    }

    MemDataSet& catalogue = access.CacheCatalogue();
    if (!catalogue.isActive())
        openCatalogue(catalogue, catalogueFile);
    int localVersion = 0;
    if (catalogue.locate(AliasField, Variant(m_cacheAlias), DataSet::CaseInsensitive)) {
        localVersion = int(catalogue.fieldByName(VersionField)->asInteger());
    } else {
        catalogue.append();
        catalogue.fieldByName(AliasField)->setAsString(m_cacheAlias);
        catalogue.fieldByName(VersionField)->setAsInteger(1);
        catalogue.post();
    }

    if (localVersion != 0 && localVersion == serverVersion && QFileInfo::exists(dataFile)) {
        bool restored = false;
        try {
            cache.close();
            cache.setIndexName(QString());
            cache.loadFromFile(dataFile);
            restored = true;
        } catch (const Exception&) {
            // Unreadable or damaged: read again from the database and saved anew.
        }
        if (restored) {
            const FieldDefs& defs = cache.fieldDefs();
            const QString last = defs.isEmpty() ? QString() : defs.at(defs.count() - 1).name;
            const bool rowId = last.startsWith(QStringLiteral("UPDATE_ID"), Qt::CaseInsensitive);
            cache.SetRowIdField(rowId ? last : QString());
            if (rowId)
                cache.fieldByName(last)->setVisible(false);
            // Not open for the others' writes, yet bound to the descriptions a reload replaces.
            cache.RegisterBoundCache();
            // The file keeps no formats or labels: the fields look as a load makes them look.
            if (cache.Options.testFlag(coAutoFields))
                cache.SetupFormatsAndLabels();
            cache.AfterLoad();
            return;
        }
    }

    fillFromServer(cache);

    // The catalogue promises the file only once the file is written: a version of 0 reloads. A
    // fill cut at the packet size is not the result: restored, it would pass for all of it.
    bool saved = false;
    if (!cache.MoreRecords()) {
        try {
            cache.saveToFile(dataFile);
            saved = true;
        } catch (const Exception&) {
        }
    }
    try {
        if (catalogue.locate(AliasField, Variant(m_cacheAlias), DataSet::CaseInsensitive)) {
            catalogue.edit();
            catalogue.fieldByName(VersionField)->setAsInteger(saved ? serverVersion : 0);
            catalogue.post();
        }
        catalogue.saveToFile(catalogueFile);
    } catch (const Exception&) {
        // An unwritable cache folder only costs the reuse on the next run.
    }
}
