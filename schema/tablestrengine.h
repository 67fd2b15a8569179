// The table-structure engine: one table's structure held in in-memory work sets (the table's
// texts, its fields, indexes and links, each row marked new "C", altered "A", dropped "D" or
// unchanged), loaded from a TTableStruct laid over what the live database holds, checked, and
// applied as an alteration in place or as a rebuild that copies every row into a new table.
//
// It is the part of the structure editor that has no widgets: the editor dialog shows its work
// sets and forwards its buttons and cell clicks to the handlers below; a module version upgrade
// drives it without any view (BatchMode). Without a view the engine behaves as the invisible
// form: it shows no page and no error box, a second autoincrement field silently becomes an
// integer, and a table name that cannot be bound sets BadTableName.
//
// No row is lost by a failed change: on the local kind a save or a drop runs in one transaction of
// the structure's connection (the caller's, when one is open); on the servers it runs on that
// connection only and leaves the transaction to the caller.
#pragma once

#include <schema/sqlnames.h>
#include <schema/tablestruct.h>

#include <platform/data/memdataset.h>
#include <platform/db/localtable.h>
#include <platform/db/sqlquery.h>

#include <QObject>
#include <QPointer>
#include <QStringList>

// The pages of the editor.
enum TStrPage { pgTable, pgFields, pgInd, pgLink };

// What the engine asks of the form that shows it.
class TTableStrView
{
public:
    virtual ~TTableStrView() = default;
    virtual bool FormVisible() const = 0;
    virtual void ShowPage(TStrPage page) = 0;
    // Focuses a control by its component name ("fTName", "SrcList"), or the cell of `field` in a
    // grid ("gFields", "gInd", "gLink").
    virtual void FocusControl(const QString& control, const QString& field = QString()) = 0;
    // The error box.
    virtual void ErrorBox(const QString& message) = 0;
    // The three trigger pages; hidden for the local kind, which has no triggers.
    virtual void ShowTriggerPages(bool visible) = 0;
};

class TTableStrEngine : public QObject
{
    Q_OBJECT
public:
    explicit TTableStrEngine(QObject* owner = nullptr);
    ~TTableStrEngine() override;

    // The form showing the engine; null for none. Not owned.
    void SetView(TTableStrView* view) { m_view = view; }
    TTableStrView* View() const { return m_view; }
    bool FormVisible() const { return m_view && m_view->FormVisible(); }

    // ---- loading
    // Loads the structure: reads the live table (ALTER) and lays the structure's items over it.
    // Raises the kernel error for a structure without version or database, or one that drops.
    void LoadStructure(TTableStruct& Struct);
    void ReloadStructure();
    // Re-creates the table page's row for TS's table name, which binds and loads it.
    void ResetTablePage();
    // The FIELD_NAMEs of the field rows in ORDER, joined by ",", when that order differs from the
    // live table's column order; else empty.
    QString FieldOrderText();
    void LoadTablePage();
    void LoadFieldsGrid();
    void LoadIndexesGrid();
    void LoadLinksGrid();
    void FillTableList();
    void FillExistingTablesMenu();
    // Designing versions is not part of this program: nothing happens.
    void CheckVersionLock() {}

    // ---- validation and change marks
    bool ValidateStructure(bool RaiseErrors);
    void CheckDuplicateFieldNames();
    void CheckDuplicateIndexNames();
    void CheckFieldRow();
    void CheckIndexRow(bool CheckKeyOrder);
    void MarkFieldChange();
    void ToggleBooleanCell(DataSet& D, Field& F);

    // ---- writing and applying
    // Writes TS from the work sets.
    void AssignStructure();
    // Validates (errors raised) and applies the loaded structure.
    void SaveStructure();
    // Drops the table of D after removing the links of its child tables to it.
    void DropTable(TTableStruct& D);

    // ---- the action and the name box
    // fAction.ItemIndex: -1 none, 0 CREATE, 1 ALTER. Choosing an action runs fActionClick.
    int ActionIndex() const { return m_action; }
    void SetActionIndex(int index);
    void fActionClick();
    // The caption of a menu item of mTables: the structure is copied from that table.
    void mCopyTableClick(const QString& tableName);
    void TTableTABLE_NAMEChange();

    // ---- handlers of the editor that change rows
    // A change of page: pending edits of the field, index and link rows are posted.
    void PCChange();
    void tbNewFldClick();
    // The Insert key in the field grid: a new row between the current row and the one above.
    void gFieldsInsertKey();
    void tbDelFldClick();
    void tbRevFldClick();
    void tbRestFldClick();
    void tbUpClick();
    void tbDownClick();
    // A click in a field cell; `field` names the column.
    void gFieldsCellClick(const QString& field);
    void tbNewIndClick();
    void tbDelIndClick();
    void tbRevIndClick();
    void tbRestIndClick();
    void gIndCellClick(const QString& field);
    // The member list of the current index row as the user left it: FIELDS takes it, and the
    // row is posted unless the list is empty. The move buttons store with `Updating` set.
    void StoreIndexMembers(const QStringList& members, bool updating = false);
    void tbDelLinkClick();
    void tbRevLinkClick();
    void tbRestLinkClick();

    // ---- components
    TTableStruct TS;
    TTableStruct TSR;
    LocalTable T;
    SqlQuery Q, QCopy, QFields, QTable, QPLinks, QCLinks, QTables, QLink, QDBFields;
    SqlQuery QMSSQLInd, QMSSQLKeys, QOraInd, QOraKeys, QFieldsMSSQL;
    SqlQuery QFMTable, QFMField, QFMLookup;
    SqlQuery QCopyParent, QChilds, QCopyPerm, QPerm;
    MemDataSet TTable, TFields, TInd, TLink;
    MemDataSet TSrcFld, TSrcInd, TSrcLink;

    // ---- state
    QPointer<TTableStruct> SourceStruct;
    ServerKind::Kind ServerKind = ServerKind::Unknown;
    Database* StructDatabase = nullptr;
    bool BatchMode = false;
    bool CopyingTable = false;
    bool Updating = false;
    bool StructLoaded = false;
    bool BadTableName = false;
    int InsertOrder = -1;
    bool MovingField = false;
    bool LinkDialogOpen = false;
    QStringList TableList;
    QStringList UserTableList;
    QStringList WorkList;
    // The text of the name box fTName.
    QString TableNameBox;

    // The captions of the data types 1 to 15 and of the delete actions 0 to 4.
    static const QStringList& DataTypeCaptions();
    static const QStringList& DeleteActionCaptions();

private:
    void createWorkSets();
    void connectHandlers();
    void bindTableName(const QString& name);
    void bindDatabase(Database* database);
    void showPage(TStrPage page);
    void focus(const QString& control, const QString& field = QString());
    void errorBox(const QString& message);
    // The structure's name, as errors begin.
    QString structName() const;
    [[noreturn]] void fail(TStrPage page, const QString& message, const QString& control = {},
                           const QString& field = {});

    // loading
    // The columns of the bound table, in table order.
    FieldDefs liveColumns() const;
    void readLiveFields(int& counter, bool labels);
    void readLiveIndexes();
    void readLegacyFieldLabels();
    void readLegacyTableLabel();
    void layStructureFields(int& counter);
    void layStructureIndexes();
    void layStructureLinks();
    void guessLinks();
    void bindLinkFields();
    // The FIELDS of the first index row, the primary key, without moving the cursor.
    QString primaryKeyFields();

    // validation
    void checkTableNames();
    void checkFields();
    void checkIndexes();
    void checkLinks();
    QString mappedIndexFields(const QString& fields);

    // handlers
    void TTableNewRecord();
    void TFieldsBeforeInsert();
    void TFieldsNewRecord();
    void TFieldsBeforeDelete(DataSet& D);
    void TFieldsBeforePost();
    void TFieldsAfterPost();
    void TFieldsDTChange();
    void TFieldsDatatypeChange();
    void TIndAfterInsert();
    void TIndBeforePost();
    void TIndAfterPost();
    void TLinkBeforeInsert();
    void TLinkAfterInsert();
    void TLinkBeforePost();
    void TLinkACTChange();
    void moveField(int tag);
    // Gives the field rows ORDER 1..n in their order; among rows of equal ORDER the `posted` row
    // comes after the others, or before them with `postedFirst`.
    void renumberFields(const Bookmark& posted, bool postedFirst);
    void deleteRow(DataSet& D);
    // Marks the current row of D "A" when it differs from its row in `source` (found by
    // `keyField`), else clears the mark; rows marked "C" or "D" and rows without a source stay.
    void remarkFromSource(DataSet& D, DataSet& source, const QString& keyField);

    // writing TS
    void assignTable(TTraceLogAction trace);
    void assignFields();
    void assignIndexes();
    void assignLinks();

    // applying
    void apply(bool rebuild);
    bool NeedsRecreate();
    void checkCopyTableName();
    void CreateCopyTable();
    void CopyLinksAndPermissions();
    void RenameCopyTable();
    void RelinkChildren(bool OnlyIfKeyChanged);
    void RestoreIndexesAndLinks();
    void RenameTable();
    // The delete trigger of the table under its new name, from the link rows that name it.
    void rebuildRenamedDeleteTrigger();
    // The items of the fields made with links (kept as they are when `restoring`, else with
    // their types and metadata) and of the links not dropped.
    void addLinkItems(bool restoring);
    void dropTable(TTableStruct& D);
    QString copyTableName() const;
    bool tableExists(const QString& name);
    void closeReaders();

    TTableStrView* m_view = nullptr;
    int m_action = -1;
    int m_savedAction = -1;
    bool m_inActionClick = false;
};

// Test-only fault point: when the environment variable QUORVANE_TEST_CRASH_AT names the step, the
// process ends at once with status 70 on reaching it. Steps: "table-dropped" (a rebuild dropped
// the old table, the copy not yet renamed).
void TableStrCrashPoint(const char* Step);
