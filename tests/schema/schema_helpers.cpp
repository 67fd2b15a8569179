// The schema tests' database, version and structure builders.
#include "schema_helpers.h"

#include <schema/tablestrengine.h>

#include <support/kernel_schema.h>
#include <support/workspace.h>

#include <QRegularExpression>

namespace schematest {

SchemaDb::SchemaDb(quint8 kind)
{
    kernel.exec(kernelschema::createTables() + kernelschema::schemaToolTables(kind));
    if (kind == 3) {
        krntest::registerRecordingDriver(QStringLiteral("STANDARD"), recorder);
        db.setAliasName(QStringLiteral("KRN"));
    } else {
        const QString driver = kind == 1 ? QStringLiteral("MSSQL") : QStringLiteral("ORACLE");
        recorder->acceptUnknown = true;
        krntest::registerRecordingDriver(driver, recorder);
        kernel.addAlias(QStringLiteral("SRV"), driver);
        db.setAliasName(QStringLiteral("SRV"));
    }
    db.setDatabaseName(QStringLiteral("Main"));
    version.setObjectName(QStringLiteral("Version7"));
    version.SetDataBase(&db);
    version.UpdateServerKind();
}

SchemaDb::~SchemaDb()
{
    db.close();
    krntest::restoreStandardDriver();
}

std::unique_ptr<TTableStruct> SchemaDb::table(const QString& name, TUpgradeAction action)
{
    auto s = std::make_unique<TTableStruct>();
    s->setObjectName(QStringLiteral("TS_") + name);
    s->SetDBVersion(&version);
    s->SetTableName(name);
    s->SetUpgradeAction(action);
    return s;
}

QStringList SchemaDb::ddl(qsizetype from) const
{
    static const QRegularExpression re(QStringLiteral("^(create|alter|drop|grant|exec|if exists)"));
    QStringList lines;
    for (qsizetype i = from; i < recorder->statements.size(); ++i) {
        if (re.match(recorder->statements.at(i)).hasMatch())
            lines << recorder->statements.at(i).split(QStringLiteral("\r\n"))
                  << QStringLiteral("go");
    }
    return lines;
}

QStringList SchemaDb::sent(const QString& firstLine) const
{
    for (qsizetype i = recorder->statements.size() - 1; i >= 0; --i) {
        const QStringList lines = recorder->statements.at(i).split(QStringLiteral("\r\n"));
        if (lines.first() == firstLine)
            return lines;
    }
    return {};
}

QStringList SchemaDb::firstLines(qsizetype from) const
{
    QStringList lines;
    for (qsizetype i = from; i < recorder->statements.size(); ++i)
        lines.append(recorder->statements.at(i).section(QStringLiteral("\r\n"), 0, 0));
    return lines;
}

QStringList golden(const QString& name)
{
    QStringList lines = QString::fromUtf8(testData("schema/" + name)).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

TFieldItem* addField(TTableStruct& s, const QString& name, TDataType type, int size,
                     TFieldOptions options)
{
    TFieldItem* f = s.Fields().Add();
    f->FieldName = name;
    f->DataType = type;
    f->Size = size;
    f->Options = options;
    return f;
}

TIndexItem* addIndex(TTableStruct& s, const QString& name, const QString& fields,
                     TIndexStructOptions options)
{
    TIndexItem* i = s.Indexes().Add();
    i->Name = name;
    i->IndexFields = fields;
    i->Options = options;
    return i;
}

TFieldItem* alterField(TTableStruct& s, const QString& name, TDataType type, int size,
                       const QString& newName)
{
    TFieldItem* f = addField(s, name, type, size);
    f->UpgradeAction = uaAlter;
    f->NewName = newName;
    return f;
}

QStringList saveStructure(SchemaDb& d, TTableStruct& s)
{
    TTableStrEngine e;
    e.BatchMode = true;
    e.LoadStructure(s);
    const qsizetype from = d.recorder->statements.size();
    try {
        e.SaveStructure();
    } catch (...) {
        d.recorder->failOn.clear();
        throw;
    }
    return d.firstLines(from);
}

QStringList rowsOf(DataSet& d, const QStringList& fields)
{
    QStringList rows;
    for (const Bookmark& b : d.bookmarks()) {
        d.viewRecord(b, [&] {
            QStringList values;
            for (const QString& name : fields) {
                const Field* f = d.fieldByName(name);
                values.append(f->dataType() == FieldType::Boolean ? QString::number(f->asBoolean())
                                                                  : f->asString());
            }
            rows.append(values.join('|'));
        });
    }
    return rows;
}

TLinkItem* addLink(TTableStruct& s, const QString& master, const QString& refFields,
                   const QString& keyFields, TDeleteAction action)
{
    TLinkItem* l = s.Links().Add();
    l->MasterTable = master;
    l->MasterFields = refFields;
    l->MasterKeyFields = keyFields;
    l->DeleteAction = action;
    return l;
}

} // namespace schematest
