// What the kernel uses of the schema and structure tools: multi-language label extraction, the
// label translators of the metadata, and the interface through which the kernel asks the schema
// library to create a view and to upgrade the kernel's own tables. The schema library registers
// its implementation at start-up; until it does, no view can be created and the kernel module is
// reported for upgrade whenever its database version is older.
#pragma once

#include <kernel/metadata.h>
#include <platform/db/serverkind.h>

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class TDBAccess;

// The part of a "#key#text#key#text" multi-language text for `key` ("fra", "rus", "eng"): the
// text after the tag "#" + key + "#" (or key + "#" at the very start) up to the next "#" or the
// end. A text without any "#" is valid for every language and is returned whole; a text with
// "#" but without the tag gives the empty text. With an empty key, the part after the first "#".
QString ExtractMultiLabel(const QString& text, const QString& key);

// Translators of the metadata labels through the process-wide label dictionary. Nothing in this
// program loads that dictionary, so they leave the list as it is; the loaders still call them
// where a dictionary would apply.
void TranslateTableLabel(const QString& tableName, TCustomPropList& custom);
void TranslateFieldLabel(const QString& tableName, const QString& fieldName,
                         TCustomPropList& custom);
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
