// The fields, keys and indexes of every local table, and the creation of a new installation's
// tables from them.
#include "localtabledefs.h"

#include "tablehelpers.h"

#include <platform/db/database.h>
#include <platform/db/localtable.h>

namespace {

// Paths are never cut: a cut path names another file, or none.
constexpr int PathSize = 4096;
// Names, titles and short comment lines.
constexpr int NameSize = 64;
// Dates and times written as text in the regional formats (packages).
constexpr int DateTextSize = 20;

struct Builder
{
    LocalTableDef def;

    explicit Builder(const QString& name) { def.name = name; }
    Builder& key(const QString& name)
    {
        def.fields.add(name, FieldType::Integer, 0, true);
        return *this;
    }
    Builder& integer(const QString& name)
    {
        def.fields.add(name, FieldType::Integer);
        return *this;
    }
    Builder& text(const QString& name, int size)
    {
        def.fields.add(name, FieldType::String, size);
        return *this;
    }
    Builder& field(const QString& name, FieldType type)
    {
        def.fields.add(name, type);
        return *this;
    }
    Builder& primary(const QString& fields)
    {
        def.indexes.add(QString(), fields, IndexDef::Primary);
        return *this;
    }
    Builder& index(const QString& name, const QString& fields, IndexDef::Options options = {})
    {
        def.indexes.add(name, fields, options);
        return *this;
    }
};

QList<LocalTableDef> makeDefs()
{
    namespace T = LocalTableName;
    QList<LocalTableDef> out;

    // Sources: one row per configured source.
    out.append(Builder(T::Cfg)
                   .key("Number")
                   .integer("Type")
                   .integer("State")
                   .text("Titul", NameSize)
                   .text("Extension", 16)
                   .field("NeedId", FieldType::Boolean)
                   .field("NeedComment", FieldType::Boolean)
                   .integer("Warning")
                   .integer("DS_CODE")
                   .primary("Number")
                   .index("type_index", "Type")
                   .def);

    // Folder sources.
    out.append(Builder(T::Fr)
                   .key("Configuration")
                   .text("Dir", PathSize)
                   .text("Pattern", NameSize)
                   .field("Clear", FieldType::Boolean)
                   .integer("Date&Time")
                   .primary("Configuration")
                   .def);

    // Packages. Package numbers are drawn at random, so the order of creation that num_index
    // must give (the open package is the last one in it) comes from a counter of its own.
    out.append(Builder(T::Package)
                   .key("Number")
                   .text("S_date", DateTextSize)
                   .text("S_time", DateTextSize)
                   .text("F_date", DateTextSize)
                   .text("F_time", DateTextSize)
                   .integer("Transfer state")
                   .integer("State")
                   .integer("Type")
                   .field("Seq", FieldType::AutoInc)
                   .primary("Number")
                   .index("num_index", "Seq")
                   .index("dnum_index", "Seq", IndexDef::Descending)
                   .def);

    // Documents.
    out.append(Builder(T::Files)
                   .key("Number")
                   .integer("Pack")
                   .text("File_name", PathSize)
                   .integer("Cfg")
                   .field("Date", FieldType::Date)
                   .field("Time", FieldType::Time)
                   .integer("Type")
                   .integer("Pages")
                   .integer("NeedId")
                   .integer("Patient")
                   .field("Comment", FieldType::Memo)
                   .text("TComment1", NameSize)
                   .text("TComment2", NameSize)
                   .text("Patient_Nom", NameSize)
                   .integer("Dossier")
                   .primary("Number")
                   .index("NeedId_index", "NeedId;Type")
                   .index("type_index", "Type")
                   .index("pack_cfg_index", "Pack;Cfg")
                   .def);

    // Breeze sources.
    out.append(Builder(T::RcFiles)
                   .key("Configuration")
                   .text("File", PathSize)
                   .integer("Reg")
                   .field("Clear", FieldType::Boolean)
                   .text("Extension", 3)
                   .text("Cur_file", PathSize)
                   .integer("Cur_time")
                   .primary("Configuration")
                   .def);

    // Virtual-printer sources.
    out.append(Builder(T::Printers)
                   .key("Configuration")
                   .text("Printer", 255)
                   .integer("Index")
                   .text("Work_name", 255)
                   .text("NameForPrint", 255)
                   .primary("Configuration")
                   .def);

    // Serial sources.
    out.append(Builder(T::Com)
                   .key("Configuration")
                   .integer("Com")
                   .field("FSTX", FieldType::Boolean)
                   .integer("STX")
                   .integer("ETX")
                   .integer("Timeout")
                   .integer("Baud Rate")
                   .integer("Data Bits")
                   .integer("Handshaking")
                   .integer("Parity")
                   .integer("Stop Bits")
                   .primary("Configuration")
                   .def);

    // Local patients. Names are found and listed without regard to case or accents.
    out.append(Builder(T::Patients)
                   .key("Patient_ID")
                   .text("Nom", NameSize)
                   .text("Prenom", NameSize)
                   .field("Date de naissance", FieldType::Date)
                   .integer("N_Dossier")
                   .primary("Patient_ID")
                   .index("NomPrenom", "Nom;Prenom", IndexDef::CaseInsensitive)
                   .def);

    // Files already taken by folder sources. Paths compare without regard to case.
    out.append(Builder(T::FrFiles)
                   .integer("Cfg")
                   .text("Name", PathSize)
                   .integer("Date&Time")
                   .index("cfg_index", "Cfg")
                   .index("cfg_name_index", "Cfg;Name", IndexDef::CaseInsensitive)
                   .def);

    // Files handed over by direct send.
    out.append(Builder(T::DSFiles)
                   .key("Number")
                   .text("Source file", PathSize)
                   .integer("Date&Time")
                   .text("Destination file", PathSize)
                   .integer("Cfg")
                   .primary("Number")
                   .def);
    return out;
}

} // namespace

const QList<LocalTableDef>& LocalTableDefs()
{
    static const QList<LocalTableDef> defs = makeDefs();
    return defs;
}

const LocalTableDef* FindLocalTableDef(const QString& table)
{
    for (const LocalTableDef& def : LocalTableDefs()) {
        if (def.name.compare(table, Qt::CaseInsensitive) == 0)
            return &def;
    }
    return nullptr;
}

FieldDef LocalFieldDef(const QString& table, const QString& field)
{
    const LocalTableDef* def = FindLocalTableDef(table);
    const FieldDef* f = def ? def->fields.find(field) : nullptr;
    if (!f)
        throw Exception(
            QStringLiteral("The local table layout has no field %1 in %2").arg(field, table));
    return *f;
}

IndexDef LocalIndexDef(const QString& table, const QString& index)
{
    const LocalTableDef* def = FindLocalTableDef(table);
    const IndexDef* ix = def ? def->indexes.find(index) : nullptr;
    if (!ix)
        throw Exception(
            QStringLiteral("The local table layout has no index %1 on %2").arg(index, table));
    return *ix;
}

void CreateLocalTables(Database& db)
{
    InTransaction(db, [&db] {
        for (const LocalTableDef& def : LocalTableDefs()) {
            LocalTable table;
            table.setDatabase(&db);
            table.setTableName(def.name);
            table.fieldDefs() = def.fields;
            table.indexDefs() = def.indexes;
            table.createTable();
        }
    });
}

bool AnyLocalTableExists(Database& db)
{
    const QStringList names = db.connection().tableNames();
    for (const LocalTableDef& def : LocalTableDefs()) {
        if (names.contains(def.name, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
