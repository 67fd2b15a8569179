// The report model: TRptGen describes one report over a source dataset with its collections
// (header cells, groups, detail columns, titles, footers, totals, virtual fields), owns the
// aggregate accumulator, the used-field list, the two lists of user functions and the field map,
// and checks virtual fields for circular references. No pass walks the dataset into a workbook
// yet; the spreadsheet output object is made with the report.
#pragma once

#include "accum.h"
#include "enumrows.h"
#include "flookup.h"
#include "graphics.h"
#include "repproc.h"
#include "uflist.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TReportFileIterator;

// The report model has a namespace of its own: the kernel's request items have a TGroupItem too,
// and two classes of one name in one program would share one destructor and one virtual table.
namespace rgen {

class TRptGen;
class TRptCollectionBase;

enum TTitlePlacement : quint8 { tpFirstPage, tpAllPages };
enum TFooterKind : quint8 { fkText, fkDate, fkTime, fkDateTime, fkPagenum };

// The section names of a report, in this order.
extern const char* const RptSectionNames[6]; // "RepHEAD" ... "RepTITLE"

// The look of one cell.
class TCellDefinition
{
public:
    TFont Font;
    TBorderSet Border = TBorderSet::All();
    TColor Color = clNone;
    TVAlign VAlign = vaCenter;
    THAlign HAlign = haCenter;
    QString Text;
    bool WrapText = false;
    bool DefaultFont = true;

    // Copies the font, the text, both alignments, the colour and the borders.
    void Assign(const TCellDefinition& source);
};

// ---- Collections

// An item of a report collection: an ID unique in its collection (from 0, never reused) and a
// display name for designer lists.
class TRptCollectionItem
{
public:
    virtual ~TRptCollectionItem();
    TRptCollectionItem(const TRptCollectionItem&) = delete;
    TRptCollectionItem& operator=(const TRptCollectionItem&) = delete;

    int ID() const { return m_id; }
    int Index() const;
    TRptCollectionBase* Collection() const { return m_collection; }
    // The class name unless the item says otherwise.
    virtual QString DisplayName() const;
    virtual const char* ClassName() const = 0;

protected:
    explicit TRptCollectionItem(TRptCollectionBase* collection);
    // Copies the cell definition into one of the item's own.
    static void copyCell(TCellDefinition& own, const TCellDefinition& given) { own.Assign(given); }

private:
    TRptCollectionBase* m_collection;
    int m_id;
};

class TRptCollectionBase
{
public:
    explicit TRptCollectionBase(TRptGen* owner) : m_owner(owner) {}
    virtual ~TRptCollectionBase();
    TRptCollectionBase(const TRptCollectionBase&) = delete;
    TRptCollectionBase& operator=(const TRptCollectionBase&) = delete;

    // The report the collection was made for.
    TRptGen* Owner() const { return m_owner; }
    int Count() const { return int(m_items.size()); }
    TRptCollectionItem* ItemAt(int index) const { return m_items.at(size_t(index)).get(); }
    int IndexOf(const TRptCollectionItem* item) const;
    TRptCollectionItem* FindItemID(int id) const;
    // Destroys the item (it has left the collection when its destructor runs).
    void Delete(int index);
    void Clear();

protected:
    template <class T> T* add()
    {
        auto item = std::make_unique<T>(this);
        T* raw = item.get();
        Q_ASSERT(m_items.empty() || m_items.back()->ID() < raw->ID()); // findID counts on it
        m_items.push_back(std::move(item));
        return raw;
    }

private:
    friend class TRptCollectionItem;
    // The first item whose ID is `id` or more.
    std::vector<std::unique_ptr<TRptCollectionItem>>::const_iterator findID(int id) const;

    TRptGen* m_owner;
    std::vector<std::unique_ptr<TRptCollectionItem>> m_items;
    int m_nextId = 0;
};

template <class T> class TRptCollection : public TRptCollectionBase
{
public:
    using TRptCollectionBase::TRptCollectionBase;
    T* Add() { return add<T>(); }
    T* Items(int index) const { return static_cast<T*>(ItemAt(index)); }
    T* operator[](int index) const { return Items(index); }
};

class THeadItem;
// A plain list of header items, which the model does not fill.
using THeadItemCollector = QList<THeadItem*>;

// A header cell; Master is the ID of the header item above it (-1 at the top).
class THeadItem : public TRptCollectionItem
{
public:
    explicit THeadItem(TRptCollectionBase* collection);
    // Every item whose Master is this one's ID takes this one's Master.
    ~THeadItem() override;

    const TCellDefinition& CellDefinition() const { return m_cell; }
    TCellDefinition& CellDefinition() { return m_cell; }
    void SetCellDefinition(const TCellDefinition& cell) { copyCell(m_cell, cell); }
    int Master = -1;
    THeadItemCollector Collector;

    // The cell text; when empty, "THeadItem" and the ID.
    QString DisplayName() const override;
    const char* ClassName() const override { return "THeadItem"; }

private:
    TCellDefinition m_cell;
};

class TRptHeader : public TRptCollection<THeadItem>
{
public:
    using TRptCollection::TRptCollection;
    THeadItemCollector Collector;
};

class TTotalDefs;

// A total: an expression whose fields and virtual fields may stand only inside aggregates.
class TTotalDef : public TRptCollectionItem
{
public:
    // The expression takes the report's user functions and the field names of its SourceDataSet,
    // and reports its fields to the report's used-field list.
    explicit TTotalDef(TRptCollectionBase* collection);
    ~TTotalDef() override;

    QString FieldName;
    QString Picture;
    bool NewLine = false;
    QString NewLineFormat;
    QString Expression() const { return m_expr->Text(); }
    void SetExpression(const QString& text) { m_expr->SetText(text); }
    const TCellDefinition& CellDef() const { return m_cell; }
    TCellDefinition& CellDef() { return m_cell; }
    void SetCellDef(const TCellDefinition& cell) { copyCell(m_cell, cell); }
    TRptExpr& Expr() { return *m_expr; }

    // FieldName; when empty, the class name.
    QString DisplayName() const override;
    const char* ClassName() const override { return "TTotalDef"; }

private:
    TCellDefinition m_cell;
    std::unique_ptr<TRptExpr> m_expr;
};

// The totals of the report or of a group, with a serial number shared by the whole program.
class TTotalDefs : public TRptCollection<TTotalDef>
{
public:
    explicit TTotalDefs(TRptGen* owner);

    bool SeparateCaption = false;
    bool ShowValues = true;
    QString Caption;
    TColor Color = 0xC0C0C0;
    TFont Font;
    TFont OtherFont;
    int Number() const { return m_number; }

private:
    int m_number;
};

class TGroupItem : public TRptCollectionItem
{
public:
    explicit TGroupItem(TRptCollectionBase* collection);
    ~TGroupItem() override;

    QString OrderFields;
    QString ShowFields;
    bool ShowValues = true;
    bool EntireGroup = false;
    bool PageBreak = false;
    QStringList SortItems;
    bool DescendIndex = false;
    int SelectionNumber = 0;
    QString OtherTitle;
    QString OtherTitleTotal;
    TFont OtherFont;
    const TCellDefinition& CellDefinition() const { return m_cell; }
    TCellDefinition& CellDefinition() { return m_cell; }
    void SetCellDefinition(const TCellDefinition& cell) { copyCell(m_cell, cell); }
    TTotalDefs& Totals() { return *m_totals; }

    // "G" and the ID.
    QString DisplayName() const override;
    const char* ClassName() const override { return "TGroupItem"; }

private:
    TCellDefinition m_cell;
    std::unique_ptr<TTotalDefs> m_totals;
};

class TDetailItem : public TRptCollectionItem
{
public:
    explicit TDetailItem(TRptCollectionBase* collection) : TRptCollectionItem(collection) {}
    QString FieldName;
    double Width = 0;
    QString Picture;
    const TCellDefinition& CellDefinition() const { return m_cell; }
    TCellDefinition& CellDefinition() { return m_cell; }
    void SetCellDefinition(const TCellDefinition& cell) { copyCell(m_cell, cell); }

    // FieldName; when empty, the class name.
    QString DisplayName() const override;
    const char* ClassName() const override { return "TDetailItem"; }

private:
    TCellDefinition m_cell;
};

class TTitleItem : public TRptCollectionItem
{
public:
    // Its cell has no borders.
    explicit TTitleItem(TRptCollectionBase* collection);
    TTitlePlacement Placement = tpAllPages;
    const TCellDefinition& CellDefinition() const { return m_cell; }
    TCellDefinition& CellDefinition() { return m_cell; }
    void SetCellDefinition(const TCellDefinition& cell) { copyCell(m_cell, cell); }

    // The cell text; when empty, the class name.
    QString DisplayName() const override;
    const char* ClassName() const override { return "TTitleItem"; }

private:
    TCellDefinition m_cell;
};

class TFooterItem : public TRptCollectionItem
{
public:
    // Its cell has no borders.
    explicit TFooterItem(TRptCollectionBase* collection);
    TFooterKind Kind = fkText;
    const TCellDefinition& CellDefinition() const { return m_cell; }
    TCellDefinition& CellDefinition() { return m_cell; }
    void SetCellDefinition(const TCellDefinition& cell) { copyCell(m_cell, cell); }

    // "DATE", "TIME", "DATETIME" or "PAGENUMBER" by kind; for text the cell text, or the class
    // name when empty.
    QString DisplayName() const override;
    const char* ClassName() const override { return "TFooterItem"; }

private:
    TCellDefinition m_cell;
};

class TVirtualField;
class TVirtualFields;
using TOnCalcEvent = std::function<void(TVirtualField& sender, Variant& value)>;

// What the expressions learn of a virtual field.
struct TVirtualFieldInfo
{
    bool Found = false;
    quint8 ResultType = rtNumber;
    int Size = 0;
    // The operators of its tree, which count where the field is used, and all the levels its
    // expression takes below the place of use (TRptExpr::Reached).
    int Levels = 0;
    int Reach = 0;
    QString DisplayName;
    TVFieldMethod Method; // empty when not found
};

// A field computed from an expression of the report. It lives in a TVirtualFields.
class TVirtualField : public TRptCollectionItem
{
public:
    explicit TVirtualField(TRptCollectionBase* collection);
    ~TVirtualField() override;

    QString Expression() const { return m_expression; }
    // A text that reaches this field through bracketed names, directly or through other virtual
    // fields, is refused with message 27 (a string literal's brackets are no reference; an
    // unclosed string or bracket is message 16) and the old expression stays.
    void SetExpression(const QString& text);
    // Only stored: a later self-reference is caught when the value or the type is worked out.
    // The trees that name virtual fields are built anew, since a name may now lead elsewhere.
    QString GetDisplayName() const { return m_displayName; }
    void SetDisplayName(const QString& name);
    QString Picture;
    TOnCalcEvent OnCalcField;

    // The expression, made on demand with the report's user functions.
    TRptExpr& Expr();
    // The expression's type, size and value. Reached again while one of them is being worked
    // out, the field raises message 27 (as Exception). Within one evaluation the value is worked
    // out once while nothing it reads changes (TRptGen::TEvaluation).
    quint8 ResultType();
    int Size();
    Variant Value();
    // The type, size and levels of the expression, its tree built for a use `depth` levels deep
    // (TRptExpr::Root). No method.
    TVirtualFieldInfo Describe(int depth);

    // DisplayName; when empty, the class name.
    QString DisplayName() const override;
    const char* ClassName() const override { return "TVirtualField"; }

private:
    friend class TVirtualFields;
    TVirtualFields& fields() const;
    // The names the text refers to; raises message 27 or 16.
    QStringList checkCircular(const QString& text) const;
    class Busy;

    QString m_expression;
    QString m_displayName;
    // The display name upper-cased, and the names the expression refers to in brackets (trimmed,
    // upper-cased, each once): the keys of the collection's indexes.
    QString m_nameKey;
    QStringList m_references;
    std::unique_ptr<TRptExpr> m_expr;
    bool m_busy = false;
    // The value last worked out, and the report's value generation it holds for (none: 0).
    Variant m_value;
    quint64 m_valueGeneration = 0;
};

using TGroups = TRptCollection<TGroupItem>;
using TDetailItems = TRptCollection<TDetailItem>;
using TTitleItems = TRptCollection<TTitleItem>;
using TFooterItems = TRptCollection<TFooterItem>;

// The virtual fields, indexed by name and by the names their expressions refer to, so that
// finding a field and checking a new expression for a circular reference cost as much with
// thousands of fields as with a few.
class TVirtualFields : public TRptCollection<TVirtualField>
{
public:
    explicit TVirtualFields(TRptGen* owner) : TRptCollection(owner) {}
    // The fields go while their indexes are still there.
    ~TVirtualFields() override;

    // The first field whose DisplayName is `name` (any case); null when none.
    TVirtualField* Find(const QString& name) const;

private:
    friend class TVirtualField;
    TVirtualField* findKey(const QString& key) const;
    void rename(TVirtualField* field, const QString& key);
    void refer(TVirtualField* field, const QStringList& references);
    bool leadsTo(const QStringList& names, const QString& key, const TVirtualField* field) const;

    // Upper-cased display name -> the fields of that name, in collection order.
    QHash<QString, QList<TVirtualField*>> m_byName;
    // Upper-cased name -> the fields whose expression refers to it.
    QHash<QString, QSet<TVirtualField*>> m_referrers;
};

class TRptGen : public QObject
{
    Q_OBJECT
public:
    explicit TRptGen(QObject* owner = nullptr);
    ~TRptGen() override;

    // Cleared when the component goes.
    TReportServer* Server() const { return m_server; }
    void SetServer(TReportServer* server) { m_server = server; }
    TRptHeader& HeadItems() { return *m_headItems; }
    TGroups& GroupItems() { return *m_groupItems; }
    TDetailItems& DetailItems() { return *m_detailItems; }
    TTitleItems& TitleItems() { return *m_titleItems; }
    TTotalDefs& Totals() { return *m_totals; }
    TFooterItems& FooterItems() { return *m_footerItems; }
    TVirtualFields& VirtualFields() { return *m_virtualFields; }
    // Cleared when the dataset goes. The totals' expressions take its field names, also when it
    // changes after they exist.
    DataSet* SourceDataSet() const { return m_sourceDataSet; }
    void SetSourceDataSet(DataSet* dataSet);
    QString SortOrder;
    bool ShowDetail = true;
    double LeftMargin = 0;
    double RightMargin = 0;
    double TopMargin = 0;
    double BottomMargin = 0;
    bool Landscape = false;
    // Names of user functions, and of those whose arguments are taken as raw text; setting
    // copies them into the report's own lists and into every expression.
    const QStringList& UserFunction() const { return m_userFunction; }
    void SetUserFunction(const QStringList& names);
    const QStringList& UserFunction2() const { return m_userFunction2; }
    void SetUserFunction2(const QStringList& names);
    // Null until the report pass makes one.
    TFieldMap* FieldMap() const { return m_fieldMap.get(); }
    void SetFieldMap(std::unique_ptr<TFieldMap> map) { m_fieldMap = std::move(map); }
    // Folder of the temporary tables.
    QString DatabasePath;
    // The row containers are TPDXContainer (temporary tables) instead of TClientDSContainer.
    bool ParadoxTable() const { return m_paradoxTable; }
    void SetParadoxTable(bool on) { m_paradoxTable = on; }

    std::function<void(DataSet& dataSet, Field& field, Variant& value)> OnGetFieldValue;
    std::function<void(DataSet* dataSet, const QString& function, const QString& param,
                       double& value)>
        OnGetFunctionValue;
    std::function<void(const QString& function, const QString& param, TExprNodeList& params,
                       std::unique_ptr<TUserFuncNode>& node)>
        OnGetFunctionNode;
    std::function<void(const QString& name, QString& value)> OnGetMacroValue;

    TAccumulator& Accumulator() { return *m_accumulator; }
    TUsedFieldList& UsedFields() { return m_usedFields; }
    // The spreadsheet output object: a TF1Iterator on a workbook of its own.
    TReportFileIterator* Output() const { return m_output.get(); }

    // A new row container of the class ParadoxTable selects, in DatabasePath.
    std::unique_ptr<TAbstractDSContainer> NewContainer() const;

    // The virtual field whose DisplayName is `name` (any case): its expression's type, size and
    // levels (worked out now, for a use `depth` levels deep: TVirtualField::Describe) and a
    // method that evaluates it.
    TVirtualFieldInfo FindVirtualField(const QString& name, int depth = 0);

    // Changes to the text, dataset or functions of the report's expressions, and to the names
    // of its virtual fields, counted.
    quint64 ExpressionChanges() const { return m_expressionChanges; }
    void ExpressionChanged()
    {
        ++m_expressionChanges;
        ValuesChanged();
    }

    // While an expression of the report is evaluated, a virtual field keeps its value for the
    // other places that use it, so that a field used twice is worked out once. What it keeps
    // goes as soon as something it may read can have changed: a user function ran (it may read
    // a changing state, or move a row), a total advanced, an expression or a name changed. A
    // value worked out through one of these is not kept at all. Between two evaluations from
    // outside nothing is kept: the rows a field reads may have moved without the report being
    // told.
    class TEvaluation
    {
    public:
        // The outermost evaluation starts with nothing kept.
        explicit TEvaluation(TRptGen* report) : m_report(report)
        {
            if (report && report->m_evaluations++ == 0)
                report->ValuesChanged();
        }
        ~TEvaluation()
        {
            if (m_report)
                --m_report->m_evaluations;
        }
        TEvaluation(const TEvaluation&) = delete;
        TEvaluation& operator=(const TEvaluation&) = delete;

    private:
        TRptGen* m_report;
    };
    // A kept value is good while this stays the same.
    quint64 ValueGeneration() const { return m_valueGeneration; }
    void ValuesChanged() { ++m_valueGeneration; }

    // The keyed dataset of the group rows: its first field a row's key, its second the key of
    // the row above.
    QPointer<DataSet> KeyDataSet;
    // The key `-steps` links above `key` (-1 when a link is missing); `key` itself for steps of 0
    // or more.
    qint64 AncestorKey(qint64 key, qint64 steps) const;

private:
    void forEachTotals(const std::function<void(TTotalDefs&)>& visit);
    void updateExpressions();

    QPointer<TReportServer> m_server;
    QPointer<DataSet> m_sourceDataSet;
    QMetaObject::Connection m_sourceGone;
    QStringList m_userFunction;
    QStringList m_userFunction2;
    bool m_paradoxTable = false;
    quint64 m_expressionChanges = 0;
    quint64 m_valueGeneration = 0;
    int m_evaluations = 0;
    TUsedFieldList m_usedFields;
    std::unique_ptr<TAccumulator> m_accumulator;
    std::unique_ptr<TFieldMap> m_fieldMap;
    // Kept by a shared pointer, which frees an object of a class this file does not know.
    std::shared_ptr<TReportFileIterator> m_output;
    std::unique_ptr<TRptHeader> m_headItems;
    std::unique_ptr<TGroups> m_groupItems;
    std::unique_ptr<TDetailItems> m_detailItems;
    std::unique_ptr<TTitleItems> m_titleItems;
    std::unique_ptr<TTotalDefs> m_totals;
    std::unique_ptr<TFooterItems> m_footerItems;
    std::unique_ptr<TVirtualFields> m_virtualFields;
};

} // namespace rgen
