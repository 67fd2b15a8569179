// What the kernel uses of the schema and structure tools: multi-language label extraction, the
// label translators of the metadata, and the interface through which the kernel asks the schema
// library to create a view and to upgrade the kernel's own tables. The schema library registers
// its implementation at start-up; until it does, no view can be created and the kernel module is
// reported for upgrade whenever its database version is older.
#pragma once

#include <kernel/metadata.h>
#include <platform/db/serverkind.h>

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class TDBAccess;

// The part of a "#key#text#key#text" multi-language text for `key` ("fra", "rus", "eng"): the
// text after the tag "#" + key + "#" (or key + "#" at the very start) up to the next "#" or the
// end. A text without any "#" is valid for every language and is returned whole; a text with
// "#" but without the tag gives the empty text. With an empty key, the part after the first "#".
QString ExtractMultiLabel(const QString& text, const QString& key);

// A label made of the texts of the three languages: plain when every text given is the same (the
// first one given, or empty when none is), else "#fra#" + French + "#rus#" + Russian + "#eng#" +
// English, all three always, in that order. The texts are to hold no "#".
QString ComposeMultiLabel(const QString& french, const QString& russian, const QString& english);

// The metadata label dictionary: translated labels of tables and fields and translated values of
// lookup codes, by table, field and code, all compared without regard to case.
class TMetaDictionary
{
public:
    struct TFieldEntry
    {
        QString Label;
        QStringList LookupValues; // code "=" value lines
    };
    struct TTableEntry
    {
        QString Label;
        QStringList FieldLabels;           // field name "=" label lines
        QMap<QString, TFieldEntry> Fields; // by upper-cased field name
    };

    // The entry of a table or a field, made when missing.
    TTableEntry& Table(const QString& tableName);
    TFieldEntry& Field(const QString& tableName, const QString& fieldName);

    // Each gives the empty text when a level is missing.
    QString TableLabel(const QString& tableName) const;
    // From the table entry's field-label lines.
    QString TableFieldLabel(const QString& tableName, const QString& fieldName) const;
    // From the field's own entry.
    QString FieldLabel(const QString& tableName, const QString& fieldName) const;
    QString LookupValue(const QString& tableName, const QString& fieldName,
                        const QString& key) const;

private:
    const TTableEntry* findTable(const QString& tableName) const;
    const TFieldEntry* findField(const QString& tableName, const QString& fieldName) const;

    QMap<QString, TTableEntry> m_tables; // by upper-cased table name
};

// The process-wide dictionary: none at start-up (nothing in this program makes one), freed at
// exit. Main thread only.
TMetaDictionary* MetaDictionary();
void SetMetaDictionary(std::unique_ptr<TMetaDictionary> dictionary);

// Translators of the metadata labels through the dictionary, called while the descriptions are
// loaded (the Custom lists are open to change then). Without a dictionary they change nothing;
// with one they only ever replace values with non-blank texts, and add no key but Label.
void TranslateTableLabel(const QString& tableName, TCustomPropList& custom);
void TranslateFieldLabel(const QString& tableName, const QString& fieldName,
                         TCustomPropList& custom);
// The field's label and the values of its lookup codes, position by position; a code without a
// value position is skipped.
void TranslateFieldCustom(const QString& tableName, const QString& fieldName,
                          TCustomPropList& custom);

// A view to create, as the kernel describes it to the schema tools.
struct TViewFieldItem
{
    QString FieldName;
    TDataType DataType = dtUnknown;
    int Size = 0;
    int Precision = 0;
    bool Required = false;
    bool Hidden = false;
    QStringList Custom; // key=value lines (Label)
    QString Origin;     // stored as METAFIELD.ORIGIN
    QString NativeName; // stored as METAFIELD.NATIVE_NAME
};

struct TViewLinkItem
{
    QString MasterTable;  // stored as TABLELINK.PARENT
    QString MasterFields; // stored as REF_FIELDS
    QString KeyFields;    // stored as KEY_FIELDS
    QString Child;        // stored as CHILD when set, else the view's name
    TDeleteAction DeleteAction = daNone;
    QStringList Custom;
};

struct TViewStruct
{
    QString TableName; // the view's name
    bool System = true;
    QStringList Custom;
    ServerKind::Kind ServerKind = ServerKind::Unknown;
    QString BaseTable;          // stored as METATABLE.BASE_TABLE
    QString PrimaryIndexFields; // comma list; empty: no key index
    QList<TViewFieldItem> Fields;
    QList<TViewLinkItem> Links;
};

// The kernel's view of the schema tools' component that applies one module version of the
// schema. A request names the version that creates its view (and forgets it when the component
// goes); the schema library's TDBVersion derives from this class.
class SchemaVersion : public QObject
{
public:
    using QObject::QObject;
};

class TSchemaTools
{
public:
    virtual ~TSchemaTools() = default;

    // Runs the kernel upgrade steps from `databaseVersion` + 1 up to `codeVersion`; false at the
    // first step that fails (the access component's switch was checked before the call).
    virtual bool UpgradeKernelModule(TDBAccess& access, int databaseVersion, int codeVersion) = 0;
    // Creates the view from the SQL lines with its METATABLE, METAFIELD and TABLELINK rows
    // (while a schema version is being applied). Database errors pass through.
    virtual void CreateView(TDBAccess& access, const TViewStruct& view, const QStringList& sql) = 0;
};

// The registered schema tools; null until the schema library registers them. Not owned.
TSchemaTools* SchemaTools();
void SetSchemaTools(TSchemaTools* tools);
