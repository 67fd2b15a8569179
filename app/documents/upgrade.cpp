// The local tables' first start, version check and upgrade. Every change to the tables runs in
// one transaction together with the version file, so that a failure leaves both as they were
// and a later start simply tries again.
#include "upgrade.h"

#include "localtabledefs.h"
#include "tablehelpers.h"

#include <app/mainwindow/mainform_texts.h>
#include <platform/db/database.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlname.h>
#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/format.h>
#include <platform/inifile.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/support/paths.h>
#include <platform/support/textprocs.h>
#include <platform/ui/forms.h>
#include <translation/lc.h>

#include <QFile>
#include <QFileInfo>

namespace {

const QString VersionFile = QStringLiteral("quorvane.ver");
const QString VersionSection = QStringLiteral("Application");
const QString VersionKey = QStringLiteral("Version");

// Sets ProgVersion in the version file, then commits: the tables count as up to date only once
// the file says so. When the commit fails the file is put back as it was.
void commitWithVersion(Database& db)
{
    const QString path = VersionFileName();
    const bool existed = QFileInfo::exists(path);
    QByteArray before;
    if (existed) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw EInOutError(QStringLiteral("Cannot read the version file %1: %2")
                                  .arg(path, file.errorString()));
        before = file.readAll();
    }
    IniFile(path).writeString(VersionSection, VersionKey, ProgVersion);
    try {
        db.commit();
    } catch (...) {
        QString error;
        const bool restored =
            existed ? fileops::writeFile(path, before, &error) : fileops::remove(path, &error);
        if (!restored)
            WriteToLog(QStringLiteral("The version file could not be put back: %1").arg(error));
        throw;
    }
}

// Runs `change` and the version file as one transaction on the data folder's database.
template <typename F> void changeTables(Database& db, F change)
{
    db.startTransaction();
    try {
        change();
        commitWithVersion(db);
    } catch (...) {
        RollbackQuietly(db);
        throw;
    }
}

struct TableHandle
{
    LocalTable table;
    TableHandle(Database& db, const QString& name)
    {
        table.setDatabase(&db);
        table.setTableName(name);
    }
};

void addFieldWhenMissing(Database& db, const QString& table, const QString& field)
{
    TableHandle t(db, table);
    if (!t.table.storedFieldDefs().find(field))
        t.table.addField(LocalFieldDef(table, field));
}

void addIndexWhenMissing(Database& db, const QString& table, const QString& index)
{
    TableHandle t(db, table);
    if (t.table.storedIndexDefs().find(index))
        return;
    const IndexDef def = LocalIndexDef(table, index);
    t.table.addIndex(def.name, def.fields, def.options);
}

// The old layout kept first names in the table's third field, too narrow; they move to a field
// Prenom of the current width, which takes the old field's place in the layout. Only while
// Prenom is missing: the third field of a newer layout is something else entirely.
void moveFirstNames(Database& db)
{
    const QString table = LocalTableName::Patients;
    TableHandle t(db, table);
    const FieldDefs fields = t.table.storedFieldDefs();
    const FieldDef prenom = LocalFieldDef(table, QStringLiteral("Prenom"));
    if (fields.find(prenom.name))
        return;
    // A third field that is no text, or one the current layout keeps (a birth date stored as
    // text, say), is not the old first-name field: moving it would destroy it.
    const LocalTableDef* current = FindLocalTableDef(table);
    if (fields.count() < 3 || !isTextType(fields.at(2).type) ||
        current->fields.find(fields.at(2).name))
        throw Exception(
            QStringLiteral("Cannot upgrade %1: it has no first-name field to move (its "
                           "third field is %2)")
                .arg(table, fields.count() < 3 ? QStringLiteral("missing") : fields.at(2).name));
    const QString old = fields.at(2).name;
    // Indexes on the old field go with it; NomPrenom is made again on Prenom.
    const IndexDefs indexes = t.table.storedIndexDefs();
    for (const IndexDef& ix : indexes.list()) {
        if (ix.fieldList().contains(old, Qt::CaseInsensitive)) {
            if (ix.options.testFlag(IndexDef::Primary))
                throw Exception(
                    QStringLiteral("Cannot upgrade %1: its key is the field %2").arg(table, old));
            t.table.deleteIndex(ix.name);
        }
    }
    t.table.addField(prenom);
    db.execute(QStringLiteral("UPDATE %1 SET %2 = %3")
                   .arg(quoteSqlName(table), quoteSqlName(prenom.name), quoteSqlName(old)));
    t.table.dropField(old);
}

class HourGlass
{
public:
    HourGlass() { setScreenCursor(crHourGlass); }
    ~HourGlass() { setScreenCursor(crDefault); }
    HourGlass(const HourGlass&) = delete;
    HourGlass& operator=(const HourGlass&) = delete;
};

} // namespace

QString VersionFileName()
{
    const QString found = files::findNoCase(DataDir, VersionFile);
    return found.isEmpty() ? AddBackslash(DataDir) + VersionFile : found;
}

bool PrepareLocalTables()
{
    CheckDirectory(DataDir, true);
    Database db;
    db.setLocalFolder(DataDir);
    if (AnyLocalTableExists(db))
        return false;
    changeTables(db, [&] { CreateLocalTables(db); });
    return true;
}

bool CheckDatabaseVersion()
{
    PrepareLocalTables();
    const QString stored = IniFile(VersionFileName()).readString(VersionSection, VersionKey);
    const int dataVersion = StrToFloatAny(stored.isEmpty() ? QStringLiteral("0") : stored);
    const int progVersion = StrToFloatAny(ProgVersion);
    if (dataVersion == progVersion)
        return true;
    setScreenCursor(crDefault);
    if (dataVersion < progVersion) {
        const TLC& texts = MainFormTexts();
        const QString shown = stored.isEmpty() ? texts.GetConst(23) : stored;
        const QString question = Format(texts.GetConst(21), {ProgVersion + QStringLiteral(" (") +
                                                                 ProgBuild + QStringLiteral(")\r"),
                                                             shown}) +
                                 QStringLiteral("\r\r") + texts.GetConst(22);
        if (dialogService().messageDlg(question, mtInformation, TMsgDlgButtons(mbYes) | mbNo) !=
            mrYes)
            return false;
    }
    return UpgradeDatabase(dataVersion);
}

bool UpgradeDatabase(int DataVersion)
{
    {
        HourGlass hourGlass;
        Database db;
        db.setLocalFolder(DataDir);
        changeTables(db, [&] {
            if (DataVersion < 200) {
                addFieldWhenMissing(db, LocalTableName::Files, QStringLiteral("Dossier"));
                moveFirstNames(db);
                addIndexWhenMissing(db, LocalTableName::Patients, QStringLiteral("NomPrenom"));
                addFieldWhenMissing(db, LocalTableName::Files, QStringLiteral("Patient_Nom"));
            }
            if (DataVersion < 201)
                addFieldWhenMissing(db, LocalTableName::Cfg, QStringLiteral("DS_CODE"));
        });
    }
    dialogService().messageDlg(QStringLiteral("Mise à jour terminée."), mtInformation, mbOK);
    return true;
}
