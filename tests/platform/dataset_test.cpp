// The cursor dataset base, exercised through the in-memory dataset: event order, failing handlers,
// required fields, bookmarks, Locate and Lookup, filters, calculated fields, field values and the
// error messages; and the grid model over a dataset.
#include "dataset_helpers.h"

#include <platform/data/datasetmodel.h>

#include <gtest/gtest.h>

using namespace testdata;

namespace {

QStringList ids(DataSet& ds)
{
    return column(ds, QStringLiteral("ID"));
}

} // namespace

TEST(DataSet, EventOrderOfTheEditingCycle)
{
    auto ds = std::make_unique<MemDataSet>();
    ds->fieldDefs().add("ID", FieldType::Integer);
    ds->fieldDefs().add("NAME", FieldType::String, 20);
    EventLog log;
    log.attach(*ds);
    ds->createDataSet();
    EXPECT_EQ(log.take(), QStringList({"BeforeOpen", "AfterOpen"})); // empty: no AfterScroll

    ds->append();
    EXPECT_EQ(log.take(), QStringList({"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert",
                                       "AfterScroll"}));
    ds->fieldByName("ID")->setValue(1);
    ds->post();
    EXPECT_EQ(log.take(), QStringList({"BeforePost", "AfterPost"}));

    ds->edit();
    ds->edit(); // already editing: nothing
    ds->fieldByName("NAME")->setValue("x");
    ds->cancel();
    EXPECT_EQ(log.take(), QStringList({"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}));
    EXPECT_TRUE(ds->fieldByName("NAME")->isNull());

    // Append while editing a modified record posts it first.
    ds->edit();
    ds->fieldByName("NAME")->setValue("kept");
    ds->append();
    EXPECT_EQ(log.take(),
              QStringList({"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost", "BeforeInsert",
                           "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll"}));
    // Moving away from an untouched new record cancels it.
    ds->first();
    EXPECT_EQ(log.take(),
              QStringList({"BeforeCancel", "AfterCancel", "BeforeScroll", "AfterScroll"}));
    EXPECT_EQ(ds->recordCount(), 1);

    // Moving away from a modified record posts it.
    ds->edit();
    ds->fieldByName("NAME")->setValue("moved");
    ds->next();
    EXPECT_EQ(log.take(), QStringList({"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost",
                                       "BeforeScroll", "AfterScroll"}));
    EXPECT_EQ(ds->fieldByName("NAME")->asString(), "moved");

    ds->deleteRecord();
    EXPECT_EQ(log.take(),
              QStringList({"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
    ds->edit(); // an empty dataset inserts
    EXPECT_EQ(ds->state(), DataSet::State::Insert);
    ds->cancel();
    log.take();
    ds->close();
    EXPECT_EQ(log.take(), QStringList({"BeforeClose", "AfterClose"}));
}

TEST(DataSet, FailingBeforeHandlerLeavesTheRecordUnchanged)
{
    auto ds = makeItems({{1, "A", 1}, {2, "B", 2}});
    const auto fail = [](DataSet&) { throw EAbort(QStringLiteral("no")); };
    const std::pair<DataSet::NotifyEvent DataSet::*, void (*)(DataSet&)> cases[] = {
        {&DataSet::beforeEdit, [](DataSet& d) { d.edit(); }},
        {&DataSet::beforeInsert, [](DataSet& d) { d.append(); }},
        {&DataSet::onNewRecord, [](DataSet& d) { d.append(); }},
        {&DataSet::beforeScroll, [](DataSet& d) { d.next(); }},
        {&DataSet::beforeDelete, [](DataSet& d) { d.deleteRecord(); }}};
    for (const auto& [hook, action] : cases) {
        ds.get()->*hook = fail;
        EXPECT_THROW(action(*ds), EAbort);
        ds.get()->*hook = nullptr;
        EXPECT_EQ(ds->state(), DataSet::State::Browse);
        EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 1);
        EXPECT_EQ(ds->recordCount(), 2);
    }

    ds->beforePost = fail;
    ds->edit();
    ds->fieldByName("NAME")->setValue("X");
    EXPECT_THROW(ds->post(), EAbort);
    EXPECT_EQ(ds->state(), DataSet::State::Edit);
    EXPECT_EQ(ds->fieldByName("NAME")->asString(), "X"); // the edit is still there to retry
    ds->cancel();
    EXPECT_EQ(column(*ds, "NAME"), QStringList({"A", "B"}));
}

TEST(DataSet, BookmarksSurviveEditsAndReportDeletedRecords)
{
    auto ds = makeItems({{1, "C", 0}, {2, "A", 0}, {3, "B", 0}});
    ds->setIndexFieldNames("NAME");
    ASSERT_TRUE(ds->locate("ID", 1));
    const Bookmark c = ds->bookmark();
    ASSERT_TRUE(ds->locate("ID", 2));
    const Bookmark a = ds->bookmark();

    // Record 2 moves to the end of the order; every bookmark still finds its record.
    ds->edit();
    ds->fieldByName("NAME")->setValue("Z");
    ds->post();
    EXPECT_EQ(column(*ds, "NAME"), QStringList({"B", "C", "Z"}));
    ds->gotoBookmark(a);
    EXPECT_EQ(ds->fieldByName("NAME")->asString(), "Z");

    ds->gotoBookmark(c);
    ds->deleteRecord();
    EXPECT_FALSE(ds->bookmarkValid(c));
    EXPECT_TRUE(ds->bookmarkValid(a));
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 2); // the next record in the order
    EXPECT_EQ(messageOf<EDBEditError>([&] { ds->gotoBookmark(c); }), "items: Record not found");
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 2);
}

TEST(DataSet, LocateWithOptionsAndLookup)
{
    auto ds = makeItems({{1, "Émile", 1}, {2, "eric", 2}, {3, "Eric", 3}, {4, "Zoé", 4}});
    ds->appendRecord({5, Variant::null(), 5.0});
    const auto located = [&](const QString& fields, const VariantList& values,
                             DataSet::LocateOptions options = {}) {
        return ds->locate(fields, values, options) ? ds->fieldByName("ID")->asInteger() : 0;
    };
    EXPECT_EQ(located("NAME", {"Eric"}), 3);
    EXPECT_EQ(located("NAME", {"ERIC"}, DataSet::CaseInsensitive), 2);
    EXPECT_EQ(located("name", {"emile"}, DataSet::CaseInsensitive), 1);
    EXPECT_EQ(located("NAME", {"Zo"}, DataSet::PartialKey), 4);
    EXPECT_EQ(located("NAME", {"ZO"}, DataSet::PartialKey), 0);
    EXPECT_EQ(located("NAME", {"zo"}, DataSet::CaseInsensitive | DataSet::PartialKey), 4);
    EXPECT_EQ(located("ID;NAME", {3, "eric"}), 0);
    EXPECT_EQ(located("ID;NAME", {2, "ERIC"}, DataSet::CaseInsensitive), 2);
    EXPECT_EQ(located("ID", {"4"}), 4); // converted to the field's type
    EXPECT_EQ(located("NAME", {Variant::null()}), 5);
    EXPECT_THROW(ds->locate("ID;NAME", VariantList{1}), EDBEditError);
    EXPECT_THROW(ds->locate("NOPE", 1), EDBEditError);

    // Nothing found: the cursor stays, and no AfterScroll. Lookup does not move it at all.
    EventLog log;
    log.attach(*ds);
    EXPECT_FALSE(ds->locate("NAME", "emile"));
    EXPECT_EQ(log.take(), QStringList({"BeforeScroll"}));
    EXPECT_EQ(ds->lookup("ID", {3}, "NAME").toString(), "Eric");
    EXPECT_TRUE(ds->lookup("ID", {9}, "NAME").isNull());
    // Every record locate would find, in order, through the filter; without a move either.
    const auto ids = [&](const QList<Bookmark>& marks) {
        QList<qint64> out;
        for (const Bookmark& b : marks)
            ds->viewRecord(b, [&] { out.append(ds->fieldByName("ID")->asInteger()); });
        return out;
    };
    EXPECT_EQ(ids(ds->matchingBookmarks("NAME", {"eric"}, DataSet::CaseInsensitive)),
              QList<qint64>({2, 3}));
    EXPECT_TRUE(ds->matchingBookmarks("ID", {9}).isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 5);
    ds->setFilter("ID > 2");
    ds->setFiltered(true);
    EXPECT_EQ(ids(ds->matchingBookmarks("NAME", {"ERIC"}, DataSet::CaseInsensitive)),
              QList<qint64>({3}));
}

TEST(DataSet, FiltersByEventAndByText)
{
    auto ds =
        makeItems({{1, "A", 1}, {2, "B", 2}, {3, "C", 3}, {4, "B", 4}, {5, "D", 5}, {6, "b", 6}});
    ds->onFilterRecord = [](DataSet& d, bool& accept) {
        accept = d.fieldByName("QTY")->asFloat() >= 3;
    };
    ds->setFiltered(true);
    EXPECT_EQ(ids(*ds), QStringList({"3", "4", "5", "6"}));
    ds->setRecNo(2);
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 4);

    // Both the text and the event must accept a record.
    ds->setFilter("NAME = 'B'");
    EXPECT_EQ(ids(*ds), QStringList({"4"}));
    ds->onFilterRecord = nullptr;

    const struct
    {
        const char* filter;
        bool caseInsensitive;
        QStringList ids;
    } texts[] = {{"NAME = 'B'", false, {"2", "4"}},
                 {"NAME = 'B'", true, {"2", "4", "6"}},
                 {"NAME = 'B' and QTY > 2", false, {"4"}},
                 {"not (NAME = 'B') AND QTY <= 3 or ID = 6", false, {"1", "3", "6"}},
                 {"3 < QTY", false, {"4", "5", "6"}},
                 {"QTY >= 5", false, {"5", "6"}},
                 {"NAME = 'It''s'", false, {}}};
    for (const auto& t : texts) {
        ds->setFilterOptions(t.caseInsensitive ? DataSet::FilterCaseInsensitive
                                               : DataSet::FilterOptions());
        ds->setFilter(t.filter);
        EXPECT_EQ(ids(*ds), t.ids) << t.filter;
    }
    EXPECT_TRUE(ds->eof() && ds->bof());
    EXPECT_THROW(ds->setFilter("NAME = "), EDBEditError);
    EXPECT_THROW(ds->setFilter("NAME = 'open"), EDBEditError);
    EXPECT_EQ(ds->filter(), "NAME = 'It''s'"); // the refused text changed nothing

    // A posted record that leaves the filter leaves the view; the cursor moves to a neighbour.
    ds->setFilter("NAME = 'B'");
    ASSERT_TRUE(ds->locate("ID", 2));
    ds->edit();
    ds->fieldByName("NAME")->setValue("X");
    ds->post();
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 4);
    EXPECT_EQ(ds->recordCount(), 1);

    // A boolean field alone.
    MemDataSet flags;
    flags.fieldDefs().add("ID", FieldType::Integer);
    flags.fieldDefs().add("CHANGED", FieldType::Boolean);
    flags.createDataSet();
    for (const VariantList& r : {VariantList{1, true}, {2, false}, {3, Variant::null()}, {4, true}})
        flags.appendRecord(r);
    flags.setFilter("CHANGED");
    flags.setFiltered(true);
    EXPECT_EQ(ids(flags), QStringList({"1", "4"}));
    flags.setFilter("CHANGED is null or not CHANGED");
    EXPECT_EQ(ids(flags), QStringList({"2", "3"}));
}

// Parentheses and NOTs nest up to 256 levels and no deeper; a long run of OR or AND is no nesting
// at all. Either kind of text, made long enough, used to exhaust the stack.
TEST(DataSet, FilterTextsNestAtMost256Levels)
{
    auto ds = makeItems({{1, "A", 1}, {2, "B", 2}});
    ds->setFiltered(true);
    const auto wrapped = [](int levels, const char* open, const char* close) {
        return QString(open).repeated(levels) + "ID = 2" + QString(close).repeated(levels);
    };
    const struct
    {
        QString text;
        bool accepted;
    } texts[] = {{wrapped(256, "(", ")"), true},
                 {wrapped(257, "(", ")"), false},
                 {wrapped(256, "not ", ""), true}, // an even count: ID = 2 itself
                 {wrapped(128, "not (", ")"), true},
                 {wrapped(129, "not (", ")"), false},
                 {QString("ID = 7 or ").repeated(200000) + "ID = 2", true},
                 {QString("ID = 2 and ").repeated(200000) + "QTY = 2", true}};
    for (const auto& t : texts) {
        ds->setFilter("ID = 1");
        const QString message = messageOf<EDBEditError>([&] { ds->setFilter(t.text); });
        if (t.accepted) {
            EXPECT_EQ(message, "<no error>") << t.text.left(40).toStdString();
            EXPECT_EQ(ids(*ds), QStringList({"2"})) << t.text.left(40).toStdString();
        } else {
            EXPECT_TRUE(message.startsWith("Filter expression nested more than 256 levels deep"))
                << message.left(80).toStdString();
            EXPECT_EQ(ds->filter(), "ID = 1");
            EXPECT_EQ(ids(*ds), QStringList({"1"}));
        }
    }
}

TEST(DataSet, CalculatedFieldsFollowTheRecord)
{
    MemDataSet ds;
    ds.fieldDefs().add("ID", FieldType::Integer);
    ds.fieldDefs().add("QTY", FieldType::Float);
    Field* twice = ds.addField("TWICE", FieldType::Float, 0, Field::Kind::Calculated);
    ds.onCalcFields = [](DataSet& d) {
        d.fieldByName("TWICE")->setValue(d.fieldByName("QTY")->asFloat() * 2);
    };
    ds.createDataSet();
    EXPECT_EQ(ds.fieldNames(), QStringList({"ID", "QTY", "TWICE"}));
    ds.appendRecord({1, 3.0});
    EXPECT_DOUBLE_EQ(twice->asFloat(), 6.0);
    ds.edit();
    ds.fieldByName("QTY")->setValue(5.0);
    EXPECT_DOUBLE_EQ(twice->asFloat(), 10.0);
    ds.cancel();
    EXPECT_DOUBLE_EQ(twice->asFloat(), 6.0);

    ds.onCalcFields = [](DataSet& d) { d.fieldByName("QTY")->setValue(1.0); };
    EXPECT_THROW(ds.first(), EDBEditError);
    ds.onCalcFields = nullptr;
    ds.close();
    EXPECT_EQ(ds.fieldCount(), 1); // the persistent field stays; the defaults go
}

TEST(DataSet, ErrorsNameTheDatasetAndTheFieldAndRequiredFieldsNeedAValue)
{
    auto ds = makeItems({{1, "A", 1}});
    EXPECT_EQ(messageOf<EDBEditError>([&] { ds->fieldByName("NOPE"); }),
              "items : Champ 'NOPE' non trouvé");
    EXPECT_EQ(messageOf<EDBEditError>([&] { ds->fieldByName("NAME")->setValue("x"); }),
              "items: Dataset not in edit or insert mode");
    EXPECT_THROW(ds->post(), EDBEditError);
    ds->deleteRecord();
    EXPECT_EQ(messageOf<EDBEditError>([&] { ds->deleteRecord(); }),
              "items: Cannot perform this operation on an empty dataset");
    ds->close();
    EXPECT_EQ(messageOf<EDBEditError>([&] { ds->first(); }),
              "items: Cannot perform this operation on a closed dataset");
    MemDataSet patients;
    EXPECT_THROW(patients.open(), EDBClient); // an in-memory dataset is created, not opened
    // Without a name, the message is the field's part alone.
    EXPECT_EQ(messageOf<EDBEditError>([&] { patients.fieldByName("NOM"); }),
              "Champ 'NOM' non trouvé");

    // Required fields, and empty text as a value where the field allows it.
    patients.setObjectName("patients");
    patients.fieldDefs().add("ID", FieldType::Integer, 0, true);
    patients.fieldDefs().add(FieldDef{"CODE", FieldType::String, 12, true, true});
    patients.fieldDefs().add(FieldDef{"NOM", FieldType::String, 30, true, false});
    patients.createDataSet();
    patients.fieldByName("ID")->setDisplayLabel("Numéro");

    patients.append();
    patients.fieldByName("CODE")->setValue("");
    patients.fieldByName("NOM")->setValue("Durand");
    EXPECT_EQ(messageOf<EDBEditError>([&] { patients.post(); }),
              "patients: Field 'Numéro' must have a value");
    patients.fieldByName("ID")->setValue(1);
    patients.fieldByName("NOM")->setValue(""); // an empty text is no value for it
    EXPECT_EQ(messageOf<EDBEditError>([&] { patients.post(); }),
              "patients: Field 'NOM' must have a value");
    EXPECT_EQ(patients.state(), DataSet::State::Insert);
    patients.fieldByName("NOM")->setValue("Durand");
    patients.post(); // CODE holds "", which counts as a value for it
    EXPECT_FALSE(patients.fieldByName("CODE")->isNull());
}

TEST(DataSet, FieldValuesTakeTheirFieldsTypeAndFormats)
{
    MemDataSet ds;
    ds.fieldDefs().add("N", FieldType::Integer);
    ds.fieldDefs().add("S", FieldType::String, 5);
    ds.fieldDefs().add("D", FieldType::Date);
    ds.fieldDefs().add("T", FieldType::Time);
    ds.fieldDefs().add("C", FieldType::Currency);
    ds.createDataSet();
    ds.append();
    Field* n = ds.fieldByName("N");
    n->setValue(12);
    EXPECT_THROW(n->setValue("abc"), EConvertError);
    EXPECT_EQ(n->asInteger(), 12); // the refused value changed nothing
    n->setAsString("");
    EXPECT_TRUE(n->isNull());
    n->setAsString("42");
    EXPECT_EQ(n->value().type(), Variant::Type::Integer);
    ds.fieldByName("S")->setValue("abcdefgh");
    EXPECT_EQ(ds.fieldByName("S")->asString(), "abcde");
    ds.fieldByName("D")->setAsDateTime(46362.75); // 2026-12-06, 18:00
    EXPECT_DOUBLE_EQ(ds.fieldByName("D")->asDateTime(), 46362.0);
    ds.fieldByName("T")->setAsDateTime(45000.25);
    EXPECT_DOUBLE_EQ(ds.fieldByName("T")->asDateTime(), 0.25);
    ds.fieldByName("C")->setAsFloat(1234.56789);
    EXPECT_EQ(ds.fieldByName("C")->asCurrency().scaled, 12345679);
    ds.post();

    // Display formats apply to numbers and dates, not to text.
    ds.fieldByName("C")->setDisplayFormat("#,##0.00");
    ds.fieldByName("D")->setDisplayFormat("dd mmm yyyy");
    ds.fieldByName("S")->setDisplayFormat("0.00");
    EXPECT_EQ(ds.fieldByName("C")->displayText(), "1 234,57");
    EXPECT_EQ(ds.fieldByName("D")->displayText(), "06 déc. 2026");
    EXPECT_EQ(ds.fieldByName("S")->displayText(), "abcde");

    // Text events: a handler gives the shown text and takes the typed one.
    Field* s = ds.fieldByName("S");
    s->onGetText = [](const Field& f, QString& text, bool display) {
        text = (display ? "<" : "[") + f.asString() + (display ? ">" : "]");
    };
    s->onSetText = [](Field& f, const QString& text) { f.setAsString(text.toUpper()); };
    EXPECT_EQ(s->displayText(), "<abcde>");
    EXPECT_EQ(s->text(), "[abcde]");
    ds.edit();
    s->setText("xy");
    EXPECT_EQ(s->asString(), "XY");
    int changes = 0;
    s->onChange = [&](Field&) { ++changes; };
    s->onValidate = [](Field&, const Variant& v) {
        if (v.toString() == "NO")
            throw EDBEditError("refused");
    };
    EXPECT_THROW(s->setValue("NO"), EDBEditError);
    EXPECT_EQ(s->asString(), "XY");
    s->setValue("ok");
    EXPECT_EQ(changes, 1);
    ds.fieldByName("C")->clear();
    EXPECT_EQ(ds.fieldByName("C")->displayText(), ""); // a null shows nothing
}

TEST(DataSet, NavigationEndsAndInsertPosition)
{
    auto ds = makeItems({{1, "a", 0}, {2, "b", 0}, {3, "c", 0}, {4, "d", 0}});
    EXPECT_TRUE(ds->bof());
    EXPECT_EQ(ds->moveBy(2), 2);
    EXPECT_EQ(ds->recNo(), 3);
    EXPECT_EQ(ds->moveBy(10), 1); // only one record left
    EXPECT_TRUE(ds->eof());
    ds->next();
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 4); // stays on the last record
    EXPECT_EQ(ds->moveBy(-10), -3);
    EXPECT_TRUE(ds->bof());
    ds->setRecNo(2);

    // Insert puts the new record before the current one; append at the end.
    ds->insert();
    EXPECT_EQ(ds->recNo(), 0);
    ds->fieldByName("ID")->setValue(9);
    ds->post();
    EXPECT_EQ(ds->recNo(), 2);
    ds->append();
    ds->fieldByName("ID")->setValue(10);
    ds->post();
    EXPECT_EQ(column(*ds, "ID"), QStringList({"1", "9", "2", "3", "4", "10"}));
    EXPECT_EQ(ds->recNo(), 6);
}

// The grid model: display texts through the fields' text events, alignment and width, an edited
// value shown at once, counted DisableControls, and closing. (The identification dialog's tests
// check headers, rows and the current row both ways through its grid.)
TEST(DataSetModel, ShowsTheVisibleFieldsAndFollowsTheChanges)
{
    auto ds = makeItems({{1, "a", 1.5}, {2, "b", 2}, {3, "c", 3}});
    ds->fieldByName("QTY")->setVisible(false);
    ds->fieldByName("NAME")->setDisplayWidth(12);
    ds->fieldByName("NAME")->onGetText = [](const Field& f, QString& text, bool display) {
        text = display ? f.asString().toUpper() + "!" : f.asString();
    };
    DataSetModel model(ds.get());
    const auto cell = [&](int row, int column) {
        return model.data(model.index(row, column)).toString();
    };
    ASSERT_EQ(model.columnCount(), 2);
    EXPECT_EQ(cell(2, 1), "C!");
    const auto alignment = model.data(model.index(0, 0), Qt::TextAlignmentRole).toInt();
    EXPECT_TRUE(Qt::Alignment(alignment) & Qt::AlignRight); // numbers right
    const auto width = [&](int column) {
        return model.headerData(column, Qt::Horizontal, Qt::SizeHintRole).toSize().width();
    };
    EXPECT_GT(width(1), width(0));                    // 12 characters against 10
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 1); // reading rows did not move the cursor

    // The record being edited shows its edited value at once.
    ds->fieldByName("NAME")->onGetText = nullptr;
    ds->edit();
    ds->fieldByName("NAME")->setValue("edited");
    EXPECT_EQ(cell(0, 1), "edited");
    ds->cancel();
    EXPECT_EQ(cell(0, 1), "a");

    // Disabled controls are counted: nothing reaches the model until the last enable; an enable
    // with nothing changed meanwhile does nothing, and one with nothing to match is ignored.
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    ds->disableControls();
    ds->disableControls();
    ds->appendRecord({4, "d", 4.0});
    ds->enableControls();
    EXPECT_EQ(model.rowCount(), 3);
    ds->enableControls();
    EXPECT_EQ(model.rowCount(), 4);
    ds->disableControls();
    ds->enableControls();
    ds->enableControls();
    ds->disableControls();
    ds->deleteRecord();
    EXPECT_EQ(model.rowCount(), 4);
    ds->enableControls();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(resets, 2);

    // The dataset closed, then gone under the model.
    ds->close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_EQ(model.currentRow(), -1);
    ds.reset();
    EXPECT_EQ(model.dataSet(), nullptr);
}
