// The structure engine's components and work sets, binding a table name, the choice of action,
// the handlers that keep the marks and positions of the rows, and writing the work sets back
// into the structure.
#include "tablestrengine.h"

#include "schemawork.h"
#include "tablestrwork.h"

#include <kernel/dbaccess.h>
#include <kernel/krnproc.h>
#include <platform/db/database.h>

#include <QScopedValueRollback>

#include <algorithm>

using namespace strwork;

namespace strwork {

QStringList MemoLines(const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = t.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString TrimmedText(const QString& text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b).unicode() <= 32)
        ++b;
    while (e > b && text.at(e - 1).unicode() <= 32)
        --e;
    return text.mid(b, e - b);
}

QStringList NameList(const QString& text)
{
    QStringList names;
    for (const QString& n : QString(text).replace(QLatin1Char(';'), QLatin1Char(',')).split(u',')) {
        if (!n.trimmed().isEmpty())
            names.append(n.trimmed());
    }
    return names;
}

TDeleteAction DeleteActionOf(const QString& code)
{
    static const QString codes = QStringLiteral(" CRNX"); // in the order of the actions
    const QString c = code.trimmed();
    const qsizetype at = c.size() == 1 ? codes.indexOf(c) : -1;
    return at > 0 ? TDeleteAction(at) : daNone;
}

bool HasName(const QStringList& list, const QString& name)
{
    return list.contains(name, Qt::CaseInsensitive);
}

void DefineWorkSet(MemDataSet& d, const char* name, std::initializer_list<WorkColumn> columns)
{
    d.setObjectName(QLatin1String(name));
    for (const WorkColumn& c : columns) {
        d.fieldDefs().add(QLatin1String(c.name), c.type, c.size);
        d.addField(QLatin1String(c.name), c.type, c.size);
    }
}

} // namespace strwork

namespace {

void define(MemDataSet& d, const char* name, std::initializer_list<WorkColumn> columns)
{
    DefineWorkSet(d, name, columns);
}

constexpr FieldType Str = FieldType::String;
constexpr FieldType Int = FieldType::Integer;
constexpr FieldType Bool = FieldType::Boolean;
constexpr FieldType Memo = FieldType::Memo;

void setLines(SqlQuery& q, const QStringList& lines)
{
    SetStatement(q, lines);
}

// The position of `text` among the captions: exact first; else the first caption beginning with
// it (case ignored) is given as `replacement`. -1 when neither.
int captionIndex(const QStringList& captions, const QString& text, QString& replacement)
{
    const int exact = int(captions.indexOf(text));
    if (exact >= 0)
        return exact;
    for (const QString& c : captions) {
        if (c.startsWith(text, Qt::CaseInsensitive)) {
            replacement = c;
            return -1;
        }
    }
    return -1;
}

} // namespace

const QStringList& TTableStrEngine::DataTypeCaptions()
{
    static const QStringList captions{QStringLiteral("Integer"),
                                      QStringLiteral("Autoinc"),
                                      QStringLiteral("String"),
                                      QStringLiteral("DateTime"),
                                      QStringLiteral("Date"),
                                      QStringLiteral("Time"),
                                      QStringLiteral("Money"),
                                      QStringLiteral("Numeric"),
                                      QStringLiteral("Memo"),
                                      QStringLiteral("Blob"),
                                      QStringLiteral("Logical"),
                                      QStringLiteral("Graphic"),
                                      QStringLiteral("Cours"),
                                      QStringLiteral("Taux"),
                                      QStringLiteral("String international")};
    return captions;
}

const QStringList& TTableStrEngine::DeleteActionCaptions()
{
    static const QStringList captions{QStringLiteral("None"), QStringLiteral("Cascade"),
                                      QStringLiteral("Restrict"), QStringLiteral("Set null"),
                                      QStringLiteral("No Delete")};
    return captions;
}

TTableStrEngine::TTableStrEngine(QObject* owner) : QObject(owner)
{
    TS.setObjectName(QStringLiteral("TS"));
    TS.SetSystem(false);
    TSR.setObjectName(QStringLiteral("TSR"));
    setLines(QFields, {QStringLiteral("select * from METAFIELD"),
                       QStringLiteral("where TABLE_NAME=:TABLE_NAME")});
    setLines(QTable, {QStringLiteral("select * from METATABLE"),
                      QStringLiteral("where TABLE_NAME=:TABLE_NAME")});
    setLines(QPLinks, {QStringLiteral("select * from TABLELINK"),
                       QStringLiteral("where CHILD=:TABLE_NAME")});
    setLines(QCLinks, {QStringLiteral("select * from TABLELINK"),
                       QStringLiteral("where PARENT=:TABLE_NAME")});
    setLines(QLink,
             {QStringLiteral("select KEY_FIELDS from METATABLE where TABLE_NAME=:TABLE_NAME")});
    setLines(QMSSQLInd,
             {QStringLiteral("select indid, name, keycnt,status"),
              QStringLiteral("from sysindexes"),
              QStringLiteral("where id = object_id(:TABLE_NAME) and indid > 0 and indid < 255 "
                             "order by indid")});
    // The table's name travels as a bound parameter, which the server takes as wide text.
    setLines(QMSSQLKeys, {QStringLiteral("select index_col(:TABLE_NAME, :indid, :nkey) col_name")});
    setLines(QOraInd,
             {QStringLiteral("select TABLE_NAME,INDEX_NAME,UNIQUENESS from SYS.ALL_INDEXES"),
              QStringLiteral("where (Upper(TABLE_NAME) = Upper(:TABLE_NAME))")});
    setLines(QOraKeys, {QStringLiteral("select INDEX_NAME,COLUMN_NAME,COLUMN_POSITION"),
                        QStringLiteral("from SYS.ALL_IND_COLUMNS A"),
                        QStringLiteral("where (Upper(TABLE_NAME) = Upper(:TABLE_NAME))"),
                        QStringLiteral("order by COLUMN_POSITION ")});
    setLines(QFieldsMSSQL, {QStringLiteral("select name,isnullable,xusertype from syscolumns where "
                                           "id = object_id(:TABLE_NAME)")});
    setLines(QFMTable,
             {QStringLiteral("select LIB,LANGUE_ID from DISPLAY_TABLE where CODE = :TABLE_NAME")});
    setLines(QFMField, {QStringLiteral("select F.CODE,F.LIB, F.LANGUE_ID"),
                        QStringLiteral("from DISPLAY_TABLE T,  DISPLAY_FIELD F"),
                        QStringLiteral("where T.CODE = :TABLE_NAME"),
                        QStringLiteral("  and T.DISPLAY_TABLE_ID = F.DISPLAY_TABLE_ID")});
    setLines(QFMLookup,
             {QStringLiteral("select FIELD_NAME,CODE, LANGUE_ID,LIB from COMBO"),
              QStringLiteral("where TABLE_NAME = :TABLE_NAME"), QStringLiteral("order by SORT")});
    setLines(
        QCopyParent,
        {QStringLiteral("insert into TABLELINK(PARENT,CHILD,KEY_FIELDS,REF_FIELDS,DEL_ACT,CUSTOM)"),
         QStringLiteral("values (:NEW_PARENT,:CHILD,:KEY_FIELDS,:REF_FIELDS,:DEL_ACT,:CUSTOM)")});
    setLines(QChilds, {QStringLiteral("select L.*, T.OBJECT_KIND"),
                       QStringLiteral("from TABLELINK L, METATABLE T"),
                       QStringLiteral("where L.PARENT=:PARENT"),
                       QStringLiteral("  and L.CHILD = T.TABLE_NAME")});
    setLines(QCopyPerm, {QStringLiteral("insert into ROLEPERM(DBROLE_ID,TABLE_NAME,ACTION,KIND)"),
                         QStringLiteral("values (:DBROLE_ID,:NEW_NAME,:ACTION,:KIND)")});
    // Every permission row, also one whose role has no DBROLE row (the tools' own rights, role
    // 0): only its grant needs the role's name.
    setLines(QPerm, {QStringLiteral("select RP.*,R.DBNAME"),
                     QStringLiteral("from ROLEPERM RP left outer join DBROLE R"),
                     QStringLiteral("    on RP.DBROLE_ID=R.DBROLE_ID"),
                     QStringLiteral("where RP.TABLE_NAME=:TABLE_NAME")});
    createWorkSets();
    connectHandlers();
}

TTableStrEngine::~TTableStrEngine() = default;

void TTableStrEngine::createWorkSets()
{
    define(TTable, "TTable",
           {{"DELETE_BODY", Memo, 0},
            {"DELETE_HEAD", Memo, 0},
            {"UPDATE_HEAD", Memo, 0},
            {"INSERT_HEAD", Memo, 0},
            {"TABLE_NAME", Str, 30},
            {"NEW_NAME", Str, 30},
            {"CUSTOM", Memo, 0},
            {"UPDATE_BODY", Memo, 0},
            {"INSERT_BODY", Memo, 0},
            {"REPL", Bool, 0}});
    define(TFields, "TFields",
           {{"UA", Str, 1},
            {"NEW_NAME", Str, 30},
            {"REQUIRED", Bool, 0},
            {"DATATYPE", Int, 0},
            {"DT", Str, 20},
            {"FIELD_NAME", Str, 30},
            {"STORED", Bool, 0},
            {"SIZE", Int, 0},
            {"PREC", Int, 0},
            {"METATYPE", Str, 30},
            {"CUSTOM", Memo, 0},
            {"ORDER", Int, 0},
            {"HIDDEN", Bool, 0},
            {"ONLY_META", Bool, 0},
            {"LINK_ID", Int, 0}});
    TFields.indexDefs().add(QStringLiteral("idxORDER"), QStringLiteral("ORDER"));
    define(TInd, "TInd",
           {{"NAME", Str, 30},
            {"UNIQUE", Bool, 0},
            {"CLASTERED", Bool, 0},
            {"FIELDS", Str, 255},
            {"PK", Bool, 0},
            {"UA", Str, 1},
            {"NEW_NAME", Str, 30}});
    define(TLink, "TLink",
           {{"MASTER", Str, 30},
            {"CUSTOM", Memo, 0},
            {"KEY", Str, 100},
            {"REFERENCE", Str, 100},
            {"UA", Str, 1},
            {"ACTION", Int, 0},
            {"ACT", Str, 10},
            {"LINK_ID", FieldType::AutoInc, 0},
            {"NEW_REFERENCE", Str, 100}});
    define(TSrcFld, "TSrcFld",
           {{"REQUIRED", Bool, 0},
            {"DATATYPE", Int, 0},
            {"FIELD_NAME", Str, 30},
            {"SIZE", Int, 0},
            {"PREC", Int, 0},
            {"METATYPE", Str, 30},
            {"CUSTOM", Memo, 0},
            {"NEW_NAME", Str, 30},
            {"DT", Str, 20},
            {"ORDER", Int, 0},
            {"HIDDEN", Bool, 0}});
    define(TSrcInd, "TSrcInd",
           {{"NAME", Str, 30},
            {"UNIQUE", Bool, 0},
            {"CLASTERED", Bool, 0},
            {"FIELDS", Str, 100},
            {"PK", Bool, 0},
            {"NEW_NAME", Str, 30}});
    define(TSrcLink, "TSrcLink",
           {{"MASTER", Str, 30},
            {"CUSTOM", Memo, 0},
            {"KEY", Str, 100},
            {"REFERENCE", Str, 100},
            {"ACTION", Int, 0},
            {"LINK_ID", Int, 0},
            {"ACT", Str, 10}});
    for (MemDataSet* d : {&TTable, &TFields, &TInd, &TLink, &TSrcFld, &TSrcInd, &TSrcLink})
        d->createDataSet();
    TFields.setIndexName(QStringLiteral("idxORDER"));
}

void TTableStrEngine::connectHandlers()
{
    TTable.onNewRecord = [this](DataSet&) { TTableNewRecord(); };
    F(TTable, "TABLE_NAME").onChange = [this](Field&) { TTableTABLE_NAMEChange(); };
    TFields.beforeInsert = [this](DataSet&) { TFieldsBeforeInsert(); };
    TFields.onNewRecord = [this](DataSet&) { TFieldsNewRecord(); };
    TFields.beforePost = [this](DataSet&) { TFieldsBeforePost(); };
    TFields.afterPost = [this](DataSet&) { TFieldsAfterPost(); };
    F(TFields, "DT").onChange = [this](Field&) { TFieldsDTChange(); };
    F(TFields, "DATATYPE").onChange = [this](Field&) { TFieldsDatatypeChange(); };
    TInd.afterInsert = [this](DataSet&) { TIndAfterInsert(); };
    TInd.beforePost = [this](DataSet&) { TIndBeforePost(); };
    TInd.afterPost = [this](DataSet&) { TIndAfterPost(); };
    TLink.beforeInsert = [this](DataSet&) { TLinkBeforeInsert(); };
    TLink.afterInsert = [this](DataSet&) { TLinkAfterInsert(); };
    TLink.beforePost = [this](DataSet&) { TLinkBeforePost(); };
    F(TLink, "ACT").onChange = [this](Field&) { TLinkACTChange(); };
    for (MemDataSet* d : {&TFields, &TInd, &TLink})
        d->beforeDelete = [this](DataSet& set) { TFieldsBeforeDelete(set); };
}

// ---- the view

void TTableStrEngine::showPage(TStrPage page)
{
    if (m_view)
        m_view->ShowPage(page);
}

void TTableStrEngine::focus(const QString& control, const QString& field)
{
    if (FormVisible())
        m_view->FocusControl(control, field);
}

void TTableStrEngine::errorBox(const QString& message)
{
    // Without a form nobody is there to read it: the caller reports the failure.
    if (m_view)
        m_view->ErrorBox(message);
}

QString TTableStrEngine::structName() const
{
    return SourceStruct ? SourceStruct->objectName() : QString();
}

void TTableStrEngine::fail(TStrPage page, const QString& message, const QString& control,
                           const QString& field)
{
    showPage(page);
    if (!control.isEmpty())
        focus(control, field);
    DBKernelError(message);
}

// ---- binding a table and choosing the action

void TTableStrEngine::bindDatabase(Database* database)
{
    for (SqlQuery* q :
         {&Q,         &QCopy,     &QFields,     &QTable,  &QPLinks,   &QTables,      &QLink,
          &QDBFields, &QMSSQLInd, &QMSSQLKeys,  &QOraInd, &QOraKeys,  &QFieldsMSSQL, &QFMTable,
          &QFMField,  &QFMLookup, &QCopyParent, &QChilds, &QCopyPerm, &QPerm})
        q->setDatabase(database);
    T.setDatabase(database);
}

void TTableStrEngine::bindTableName(const QString& name)
{
    T.setTableName(name);
    QDBFields.close();
    QDBFields.setSql(QStringLiteral("select * from ") + SqlName(name, ServerKind) +
                     QStringLiteral(" where 0=1"));
    QDBFields.open();
    const QString dbo = QStringLiteral("[dbo].[%1]").arg(name);
    for (SqlQuery* q : {&QMSSQLInd, &QMSSQLKeys}) {
        q->close();
        q->paramByName(QStringLiteral("TABLE_NAME")).setAsString(dbo);
    }
    for (SqlQuery* q :
         {&QOraInd, &QOraKeys, &QPLinks, &QFieldsMSSQL, &QFMTable, &QFMField, &QFMLookup}) {
        q->close();
        q->paramByName(QStringLiteral("TABLE_NAME")).setAsString(name);
    }
}

void TTableStrEngine::SetActionIndex(int index)
{
    if (index == m_action)
        return;
    m_savedAction = m_action;
    m_action = index;
    // Clearing the choice clicks nothing.
    if (index >= 0)
        fActionClick();
}

void TTableStrEngine::fActionClick()
{
    if (TableNameBox.isEmpty()) {
        ResetTablePage();
        return;
    }
    if (m_inActionClick)
        return;
    QScopedValueRollback<bool> guard(m_inActionClick, true);
    if (ConfirmMsg(QStringLiteral("Changing the upgrade action of the table will cause all table "
                                  "properties,fields,indexes, or links to be deleted. Are you "
                                  "sure you want to change action?"))) {
        StructLoaded = false;
        TS.Clear();
        ResetTablePage();
    } else {
        m_action = m_savedAction;
    }
}

void TTableStrEngine::TTableTABLE_NAMEChange()
{
    const QString name = S(TTable, "TABLE_NAME");
    if (name.isEmpty())
        return;
    if (m_action == uaAlter && !sameName(name, T.tableName())) {
        try {
            bindTableName(name);
        } catch (const std::exception& e) {
            T.setTableName(QString());
            showPage(pgTable);
            if (FormVisible())
                focus(QStringLiteral("fTName"));
            else
                BadTableName = true;
            errorBox(QString::fromUtf8(e.what()));
            return;
        }
    }
    if (!(m_action == uaCreate && StructLoaded && FormVisible()))
        ReloadStructure();
}

void TTableStrEngine::TTableNewRecord()
{
    F(TTable, "REPL").setAsBoolean(false);
}

void TTableStrEngine::mCopyTableClick(const QString& tableName)
{
    TS.Clear();
    TableNameBox = tableName;
    TTable.edit();
    F(TTable, "TABLE_NAME").setAsString(tableName);
    bindTableName(tableName);
    {
        QScopedValueRollback<bool> copying(CopyingTable, true);
        ReloadStructure();
    }
    if (TTable.state() != DataSet::State::Browse)
        TTable.post();
    showPage(pgFields);
}

void TTableStrEngine::PCChange()
{
    for (DataSet* d : {static_cast<DataSet*>(&TFields), static_cast<DataSet*>(&TInd),
                       static_cast<DataSet*>(&TLink)})
        PostIfEditing(*d);
}

// ---- handlers of the field rows

void TTableStrEngine::TFieldsBeforeInsert()
{
    if (InsertOrder == -1)
        InsertOrder = TFields.isEmpty() ? 0 : I(TFields, "ORDER");
}

void TTableStrEngine::TFieldsNewRecord()
{
    F(TFields, "ORDER").setAsInteger(InsertOrder);
    if (!Updating) {
        F(TFields, "UA").setAsString(MarkNew);
        focus(QStringLiteral("gFields"), QStringLiteral("NEW_NAME"));
    }
    InsertOrder = -1;
}

void TTableStrEngine::TFieldsBeforeDelete(DataSet& D)
{
    if (Mark(D) == MarkNew)
        return;
    D.edit();
    F(D, "UA").setAsString(MarkDropped);
    D.post();
    throw EAbort(QString());
}

void TTableStrEngine::deleteRow(DataSet& D)
{
    try {
        D.deleteRecord();
    } catch (const EAbort&) {
        // The row is marked dropped instead.
    }
}

void TTableStrEngine::TFieldsBeforePost()
{
    if (Updating || MovingField)
        return;
    CheckFieldRow();
    if (S(TFields, "FIELD_NAME").isEmpty())
        F(TFields, "FIELD_NAME").setAsString(S(TFields, "NEW_NAME"));
    const QString mark = Mark(TFields);
    if (mark != MarkDropped && mark != MarkNew)
        MarkFieldChange();
}

void TTableStrEngine::TFieldsAfterPost()
{
    if (Updating)
        return;
    QScopedValueRollback<bool> updating(Updating, true);
    ControlsOff off(TFields);
    const Bookmark posted = TFields.bookmark();
    CheckDuplicateFieldNames();
    renumberFields(posted, false);
    TFields.gotoBookmark(posted);
}

void TTableStrEngine::renumberFields(const Bookmark& posted, bool postedFirst)
{
    struct Row
    {
        Bookmark mark;
        qint64 order = 0;
        bool posted = false;
    };
    QList<Row> rows;
    for (const Bookmark& b : TFields.bookmarks()) {
        Row row;
        row.mark = b;
        row.posted = b == posted;
        TFields.viewRecord(b, [this, &row] { row.order = F(TFields, "ORDER").asInteger(); });
        rows.append(row);
    }
    std::stable_sort(rows.begin(), rows.end(), [postedFirst](const Row& a, const Row& b) {
        if (a.order != b.order)
            return a.order < b.order;
        return a.posted != b.posted && (postedFirst ? a.posted : b.posted);
    });
    QScopedValueRollback<bool> updating(Updating, true);
    for (int i = 0; i < rows.size(); ++i) {
        if (rows.at(i).order == i + 1)
            continue;
        TFields.gotoBookmark(rows.at(i).mark);
        TFields.edit();
        F(TFields, "ORDER").setAsInteger(i + 1);
        TFields.post();
    }
}

void TTableStrEngine::TFieldsDTChange()
{
    if (Updating)
        return;
    const QString text = S(TFields, "DT");
    QString replacement;
    const int index = captionIndex(DataTypeCaptions(), text, replacement);
    if (index >= 0) {
        F(TFields, "DATATYPE").setAsInteger(index + 1);
    } else if (!replacement.isEmpty()) {
        F(TFields, "DT").setAsString(replacement);
    } else {
        F(TFields, "DATATYPE").setAsInteger(dtUnknown);
        DBKernelError(text + QStringLiteral(" is invalid datatype"));
    }
}

void TTableStrEngine::TFieldsDatatypeChange()
{
    if (Updating)
        return;
    const int type = I(TFields, "DATATYPE");
    if (type != dtString && type != dtLangString)
        F(TFields, "SIZE").clear();
    F(TFields, "PREC").clear();
}

void TTableStrEngine::tbNewFldClick()
{
    TFields.last();
    TFields.append();
    focus(QStringLiteral("gFields"), QStringLiteral("NEW_NAME"));
}

void TTableStrEngine::gFieldsInsertKey()
{
    int above = 0; // on the first row the new one goes to the top
    if (!TFields.isEmpty()) {
        const Bookmark current = TFields.bookmark();
        TFields.prior();
        if (TFields.bookmark() != current)
            above = I(TFields, "ORDER");
        TFields.gotoBookmark(current);
    }
    InsertOrder = above;
    TFields.insert();
}

void TTableStrEngine::tbDelFldClick()
{
    deleteRow(TFields);
}

void TTableStrEngine::moveField(int tag)
{
    if (TFields.state() != DataSet::State::Browse)
        TFields.post();
    if (TFields.isEmpty())
        return;
    QScopedValueRollback<bool> moving(MovingField, true);
    TFields.edit();
    F(TFields, "ORDER").setAsInteger(F(TFields, "ORDER").asInteger() + tag);
    TFields.post();
}

void TTableStrEngine::tbUpClick()
{
    moveField(-2);
}

void TTableStrEngine::tbDownClick()
{
    moveField(1);
}

void TTableStrEngine::tbRevFldClick()
{
    if (TFields.state() == DataSet::State::Insert) {
        TFields.cancel();
        return;
    }
    if (TFields.isEmpty() ||
        !TSrcFld.locate(QStringLiteral("FIELD_NAME"), Variant(S(TFields, "FIELD_NAME")),
                        DataSet::CaseInsensitive))
        return;
    const int order = I(TFields, "ORDER");
    const QString name = S(TFields, "NEW_NAME");
    {
        QScopedValueRollback<bool> updating(Updating, true);
        TFields.edit();
        CopyRecord(TSrcFld, TFields);
        F(TFields, "UA").setAsString(QString());
        TFields.post();
        // Back at its loaded place: above the row that holds that place now when it moves up.
        const Bookmark reverted = TFields.bookmark();
        renumberFields(reverted, I(TFields, "ORDER") < order);
        TFields.gotoBookmark(reverted);
    }
    const int link = I(TFields, "LINK_ID");
    if (link != 0 && TLink.locate(QStringLiteral("LINK_ID"), Variant(qint64(link)))) {
        QStringList refs = NameList(S(TLink, "NEW_REFERENCE"));
        for (QString& r : refs) {
            if (sameName(r, name))
                r = S(TFields, "NEW_NAME");
        }
        TLink.edit();
        F(TLink, "NEW_REFERENCE").setAsString(refs.join(QLatin1Char(',')));
        TLink.post();
    }
}

void TTableStrEngine::tbRestFldClick()
{
    if (!ConfirmMsg(QStringLiteral("Are you sure you want to cancel all changes for fields?")))
        return;
    TLink.first();
    while (!TLink.eof()) {
        if (Mark(TLink) == MarkNew)
            TLink.deleteRecord();
        else
            TLink.next();
    }
    TS.Fields().Clear();
    TS.Links().Clear();
    LoadFieldsGrid();
    LoadLinksGrid();
}

void TTableStrEngine::gFieldsCellClick(const QString& field)
{
    // The first row of a new table, still being inserted, counts as a row.
    if ((TFields.isEmpty() && TFields.state() != DataSet::State::Insert) ||
        Mark(TFields) == MarkDropped)
        return;
    const bool required = sameName(field, QStringLiteral("REQUIRED"));
    if (!required && !sameName(field, QStringLiteral("HIDDEN")))
        return;
    if (required && B(TFields, "REQUIRED")) {
        const QStringList members = NameList(primaryKeyFields());
        if (HasName(members, S(TFields, "FIELD_NAME")) || HasName(members, S(TFields, "NEW_NAME")))
            DBKernelError(structName() + QStringLiteral(". Primary key field must be required"));
    }
    ToggleBooleanCell(TFields, *TFields.fieldByName(field));
}

// ---- handlers of the index rows

void TTableStrEngine::TIndAfterInsert()
{
    if (!Updating)
        F(TInd, "UA").setAsString(MarkNew);
}

void TTableStrEngine::remarkFromSource(DataSet& D, DataSet& source, const QString& keyField)
{
    const QString mark = Mark(D);
    if (mark == MarkDropped || mark == MarkNew)
        return;
    if (!source.locate(keyField, D.fieldByName(keyField)->value(), DataSet::CaseInsensitive))
        return;
    QStringList changed;
    GetChangedFields(D, source, changed);
    F(D, "UA").setAsString(changed.isEmpty() ? QString() : MarkAltered);
}

void TTableStrEngine::TIndBeforePost()
{
    if (Updating)
        return;
    CheckIndexRow(false);
    remarkFromSource(TInd, TSrcInd, QStringLiteral("NAME"));
}

void TTableStrEngine::TIndAfterPost()
{
    if (Updating)
        return;
    QScopedValueRollback<bool> updating(Updating, true);
    const Bookmark posted = TInd.bookmark();
    CheckDuplicateIndexNames();
    TInd.gotoBookmark(posted);
}

void TTableStrEngine::tbNewIndClick()
{
    TInd.append();
    focus(QStringLiteral("gInd"), QStringLiteral("NEW_NAME"));
}

void TTableStrEngine::tbDelIndClick()
{
    deleteRow(TInd);
}

void TTableStrEngine::StoreIndexMembers(const QStringList& members, bool updating)
{
    if (TInd.isEmpty())
        return;
    QScopedValueRollback<bool> guard(Updating, Updating || updating);
    TInd.edit();
    F(TInd, "FIELDS").setAsString(members.join(QLatin1Char(',')));
    if (!members.isEmpty())
        TInd.post();
}

void TTableStrEngine::tbRevIndClick()
{
    if (TInd.state() == DataSet::State::Insert) {
        TInd.cancel();
        return;
    }
    if (TInd.isEmpty() ||
        !TSrcInd.locate(QStringLiteral("NAME"), Variant(S(TInd, "NAME")), DataSet::CaseInsensitive))
        return;
    TInd.edit();
    CopyRecord(TSrcInd, TInd);
    F(TInd, "UA").setAsString(QString());
    TInd.post();
}

void TTableStrEngine::tbRestIndClick()
{
    if (!ConfirmMsg(QStringLiteral("Are you sure you want to cancel all changes for indexes?")))
        return;
    TS.Indexes().Clear();
    LoadIndexesGrid();
}

void TTableStrEngine::gIndCellClick(const QString& field)
{
    if ((TInd.isEmpty() && TInd.state() != DataSet::State::Insert) || Mark(TInd) == MarkDropped)
        return;
    const bool clustered = sameName(field, QStringLiteral("CLASTERED"));
    if (!clustered && (B(TInd, "PK") || !sameName(field, QStringLiteral("UNIQUE"))))
        return;
    if (S(TInd, "NEW_NAME").isEmpty() || S(TInd, "FIELDS").isEmpty())
        return;
    ToggleBooleanCell(TInd, *TInd.fieldByName(field));
}

// ---- handlers of the link rows

void TTableStrEngine::TLinkBeforeInsert()
{
    // Links are added only through the new link dialog.
    if (!LinkDialogOpen && !Updating)
        throw EAbort(QString());
}

void TTableStrEngine::TLinkAfterInsert()
{
    if (!Updating)
        F(TLink, "UA").setAsString(MarkNew);
}

void TTableStrEngine::TLinkBeforePost()
{
    if (Updating)
        return;
    if (S(TLink, "MASTER").isEmpty()) {
        focus(QStringLiteral("gLink"), QStringLiteral("MASTER"));
        DBKernelError(QStringLiteral("Master table name is required"));
    }
    remarkFromSource(TLink, TSrcLink, QStringLiteral("LINK_ID"));
}

void TTableStrEngine::TLinkACTChange()
{
    if (Updating)
        return;
    const QString text = S(TLink, "ACT");
    QString replacement;
    const int index = captionIndex(DeleteActionCaptions(), text, replacement);
    if (index >= 0)
        F(TLink, "ACTION").setAsInteger(index);
    else if (!replacement.isEmpty())
        F(TLink, "ACT").setAsString(replacement);
    else
        DBKernelError(text + QStringLiteral(" is invalid delete action"));
}

void TTableStrEngine::tbDelLinkClick()
{
    if (TLink.isEmpty())
        return;
    const Variant link = F(TLink, "LINK_ID").value();
    const bool isNew = Mark(TLink) == MarkNew;
    // Every field of the link, not only the first.
    for (const Bookmark& b : TFields.bookmarks()) {
        TFields.gotoBookmark(b);
        if (F(TFields, "LINK_ID").value() != link)
            continue;
        if (isNew) {
            deleteRow(TFields);
        } else if (Mark(TFields) != MarkDropped) {
            TFields.edit();
            F(TFields, "UA").setAsString(MarkDropped);
            TFields.post();
        }
    }
    deleteRow(TLink);
}

void TTableStrEngine::tbRevLinkClick()
{
    if (TLink.state() == DataSet::State::Insert) {
        TLink.cancel();
        return;
    }
    if (TLink.isEmpty() || !TSrcLink.locate(QStringLiteral("LINK_ID"), F(TLink, "LINK_ID").value()))
        return;
    const bool wasDropped = Mark(TLink) == MarkDropped;
    TLink.edit();
    CopyRecord(TSrcLink, TLink);
    F(TLink, "UA").setAsString(QString());
    TLink.post();
    if (!wasDropped)
        return;
    const Variant link = F(TLink, "LINK_ID").value();
    for (const Bookmark& b : TFields.bookmarks()) {
        TFields.gotoBookmark(b);
        if (F(TFields, "LINK_ID").value() != link)
            continue;
        QScopedValueRollback<bool> updating(Updating, true);
        TFields.edit();
        MarkFieldChange();
        TFields.post();
    }
}

void TTableStrEngine::tbRestLinkClick()
{
    if (!ConfirmMsg(QStringLiteral("Are you sure you want to cancel all changes for links?")))
        return;
    TS.Links().Clear();
    TFields.first();
    while (!TFields.eof()) {
        if (I(TFields, "LINK_ID") != 0 && Mark(TFields) == MarkNew)
            TFields.deleteRecord();
        else
            TFields.next();
    }
    LoadLinksGrid();
}
