// The kernel's in-memory descriptions of tables, fields and links, read from METATABLE, METAFIELD
// and TABLELINK by the access component (TDBAccess::LoadMetaData, LoadTableProps), with their
// key=value "Custom" texts, multi-language labels, value lists and join texts.
#pragma once

#include <kernel/krnproc.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TDBAccess;
class TTableProps;

// ---- languages of the metadata texts

enum TKrnLang { krnLangUnknown, krnLangFRA, krnLangRUS, krnLangENG };

// "fra", "rus", "eng"; empty for krnLangUnknown.
QString KrnLangKey(TKrnLang language);
// The process-wide key that labels are read in; set by TDBAccess::SetLanguage. Main thread only.
QString CurrentLangKey();
void SetCurrentLangKey(const QString& key);

// Storage width of a multi-language string field of `n` characters.
int LangStringSize(int n);

// The entries of a lookup list (the LookupKeys and LookupValues of a field's Custom text): split
// at "," and trimmed; an empty text has none. Entries hold no ",", so joining them back gives
// the same list.
QStringList SplitLookupList(const QString& text);
QString JoinLookupList(const QStringList& entries);

// ---- Custom texts

// The loaders switch modification of Custom lists on for the length of a load (main thread only).
class TMetaModifyScope
{
public:
    TMetaModifyScope();
    ~TMetaModifyScope();
    TMetaModifyScope(const TMetaModifyScope&) = delete;
    TMetaModifyScope& operator=(const TMetaModifyScope&) = delete;

private:
    bool m_previous;
};

// The CUSTOM text of a table, field or link: "key=value" lines, keys compared without regard to
// case. Outside a load every change raises "Cannot modify readonly property".
class TCustomPropList
{
public:
    TCustomPropList() = default;
    explicit TCustomPropList(const QString& text);

    // The lines joined by CR LF; set from text whose lines end in CR LF, CR or LF (a break at the
    // very end opens no further line).
    QString Text() const { return m_text; }
    void SetText(const QString& text);
    QStringList Lines() const;
    int Count() const { return int(Lines().size()); }

    // The value after the first "=" of the first line whose name is `key`; empty when none.
    QString Values(const QString& key) const;
    // Replaces that line's value or appends a line; an empty value removes the line.
    void SetValues(const QString& key, const QString& value);

private:
    void checkModify() const;

    QString m_text; // kept whole: most lists are read far more often than changed
};

// ---- descriptions

enum TDeleteAction : quint8 { daNone, daCascade, daRestrict, daSetNull, daNoDelete };

// DEL_ACT by its first character: "C" cascade, "R" restrict, "N" set null, "X" no delete; any
// other text (lower case too) daNone.
TDeleteAction DeleteActionFromText(const QString& text);

// One METAFIELD row.
class TFieldProps
{
public:
    QString TableName;
    QString FieldName;
    bool Required = false;
    bool Visible = true;
    QString MetaType;
    int Size = 0;
    int Precision = 0;
    TDataType DataType = dtUnknown;
    bool LookupReady = false;
    const TTableProps* Owner = nullptr;
    TCustomPropList Custom;
    QString Origin;     // a view field: the table it comes from
    QString NativeName; // a view field: its name in that table

    // The Label part for the current language when a Label is stored, else the field name.
    QString Label() const;
    QString GetCustom(const QString& key) const { return Custom.Values(key); }
    QString GetCustomML(const QString& key) const;
    // LookupReady: LookupKeys is set and has as many entries (for the current language) as
    // LookupValues.
    void PrepareLookup();
    // The display text of a stored value of a coded field: the LookupValues entry at the place of
    // the value in LookupKeys (case ignored), in the current language; empty when not listed.
    QString LookupValue(const QString& storedValue) const;
};

// The fields of one table in METAFIELD order (ORD); owns them. Names compare without regard to
// case.
class TFieldPropsList
{
public:
    int Count() const { return int(m_items.size()); }
    TFieldProps* At(int index) const { return m_items.at(size_t(index)).get(); }
    const QStringList& Names() const { return m_names; }
    TFieldProps* Find(const QString& fieldName) const;
    void Add(std::unique_ptr<TFieldProps> field);

private:
    std::vector<std::unique_ptr<TFieldProps>> m_items;
    QStringList m_names;
};

// Options of the join texts.
enum TJoinOption {
    joChildAsStored = 0x1,  // the stored child name, not its mapped name
    joParentAsStored = 0x2, // the stored parent name, not its mapped name
    joReversed = 0x4,       // the child side written first
    joWithTableNames = 0x8, // the clause names both tables (JoinClauseText)
};

// One TABLELINK row: the child's RefFields refer to the parent's KeyFields (same count, same
// order).
class TLinkInfo
{
public:
    QString Parent;
    QString Child;
    QString KeyFields;
    QString RefFields;
    TDeleteAction DeleteAction = daNone;
    bool Optional = false; // some referencing field is not required
    TDBAccess* Owner = nullptr;
    bool AttachedToParent = false;
    int ID = 0;
    TCustomPropList Custom;

    // The join conditions of the link written in a WHERE clause, " P.K = C.R AND ... ", with the
    // outer mark " (+)" on the child side for an OUTER operator (or, without an operator, for an
    // optional link); a RIGHT operator swaps the two sides. Empty aliases stand for the table
    // names. Raises "Invalid reference for table '%s'(%s) from table %s(%s)." when the field
    // lists differ in length.
    QString JoinWhereText(const QString& parentAlias, const QString& childAlias, int options,
                          const QString& joinOperator = QString()) const;
    // The link as a JOIN clause: " [PARENT PA ]OP CHILD CA ON P.K = C.R AND ... "; the operator
    // defaults to "LEFT OUTER JOIN" for an optional link, else "JOIN".
    QString JoinClauseText(const QString& parentAlias, const QString& childAlias, int options,
                           const QString& joinOperator = QString()) const;

private:
    friend class TDBAccess;
    bool m_inherited = false; // a view's copy of its base table's link
};

// Links a table takes part in; not owned.
using TLinksList = QList<TLinkInfo*>;

// One METATABLE row with its fields and links.
class TTableProps
{
public:
    QString TableName;
    QString KeyFields;
    bool System = false;
    bool TraceLog = false;
    TCustomPropList Custom;
    TFieldPropsList Fields;
    TLinksList ParentLinks; // links in which this table is the child
    TLinksList ChildLinks;  // links in which this table is the parent
    QString BaseTable;      // a view: the table it is built on

    int FieldCount() const { return Fields.Count(); }
    // Both raise "Table '%s': properties for field '%s' not found.".
    TFieldProps* GetFieldProps(int index) const;
    TFieldProps* FieldPropsByName(const QString& fieldName) const;
    TFieldProps* FindFieldProps(const QString& fieldName) const { return Fields.Find(fieldName); }
    // The Label part for the current language when a Label is stored, else the table name.
    QString Label() const;
    QString GetCustomML(const QString& key) const;
};

// The descriptions by table name, in the order they were added; owns them. Looked up without
// regard to case; of two descriptions of one name the first is found.
class TTablePropsList
{
public:
    TTablePropsList();
    ~TTablePropsList();
    TTablePropsList(const TTablePropsList&) = delete;
    TTablePropsList& operator=(const TTablePropsList&) = delete;

    int Count() const { return int(m_items.size()); }
    TTableProps* At(int index) const { return m_items.at(size_t(index)).get(); }
    TTableProps* Find(const QString& tableName) const;
    // Raises "Properties for table '%s' not found.".
    TTableProps* GetProps(const QString& tableName) const;
    void Add(std::unique_ptr<TTableProps> props);
    // Takes the description out of the list (null when absent).
    std::unique_ptr<TTableProps> Take(const TTableProps* props);
    // Takes every description out, in list order.
    std::vector<std::unique_ptr<TTableProps>> TakeAll();
    void Clear();

private:
    struct IndexEntry
    {
        QString key; // upper-cased name
        TTableProps* props;
    };
    std::vector<IndexEntry>::iterator indexPosition(const QString& key);

    std::vector<std::unique_ptr<TTableProps>> m_items;
    // The first description of each name, sorted by key. Descriptions mostly come in name order,
    // so adding one is usually an append; and a lookup hashes no text, which stays cheap on every
    // processor.
    std::vector<IndexEntry> m_index;
};

// Every link of an access component; owns them.
class TLinksSet
{
public:
    int Count() const { return int(m_items.size()); }
    TLinkInfo* At(int index) const { return m_items.at(size_t(index)).get(); }
    bool Contains(const TLinkInfo* link) const;
    TLinkInfo* Add(std::unique_ptr<TLinkInfo> link);
    // Takes out the links for which `remove` holds and hands them over, so that the caller can
    // drop every reference to them before they are freed.
    template <typename Pred> std::vector<std::unique_ptr<TLinkInfo>> TakeIf(Pred remove)
    {
        std::vector<std::unique_ptr<TLinkInfo>> taken, kept;
        for (auto& link : m_items)
            (remove(*link) ? taken : kept).push_back(std::move(link));
        m_items.swap(kept);
        return taken;
    }
    void Clear() { m_items.clear(); }

private:
    std::vector<std::unique_ptr<TLinkInfo>> m_items;
};

// Two descriptions of the same column: the same object, or equal (table, field) pairs where a
// view field also counts by its (origin, native name). Names compare exactly.
bool SameFieldProps(const TFieldProps* a, const TFieldProps* b);

// The text a multi-language field shows: its stored value reduced to the current language.
QString MultiLangGetText(const QString& storedValue);
// The value stored when `entered` is typed over `oldValue`: an entered text with a language tag is
// stored as it is; otherwise it becomes the part of the current language, the other languages
// keeping their parts of the old value, written "#fra#..#rus#..#eng#.." without empty parts.
// Without a current language the entered text is the whole value.
QString MultiLangSetText(const QString& oldValue, const QString& entered);
