// The row stores: the used-field list, the field map against a linear search, and the two row
// containers through one suite, the temporary-table files read with the sqlite3 CLI.
#include <reports/enumrows.h>
#include <reports/flookup.h>
#include <reports/uflist.h>

#include <support/db_helpers.h>
#include <support/workspace.h>

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(UsedFieldList, OneLinePerNameWithItsFlags)
{
    TUsedFieldList list;
    EXPECT_EQ(list.Add(QStringLiteral("zed"), ufLaterArgument), 0);
    const int abc = list.Add(QStringLiteral("abc"), ufOutside);
    EXPECT_EQ(list.Add(QStringLiteral("ABC"), ufAccumulated), abc);
    list.Add(QStringLiteral("Bêta"), ufInFunction);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Flags(list.IndexOf(QStringLiteral("Abc"))), 12);
    EXPECT_EQ(list.Names(0), QStringLiteral("ABC"));
    EXPECT_EQ(list.Names(1), QStringLiteral("BÊTA"));
    EXPECT_EQ(list.Names(2), QStringLiteral("ZED"));
    EXPECT_EQ(list.IndexOf(QStringLiteral("other")), -1);
}

// 200 random maps, each read for keys present and absent in every value column and compared with
// a linear search; a column one past the last raises the list-index error for the row found.
TEST(FieldMap, LookupAgreesWithALinearSearch)
{
    std::mt19937 random(4711);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    int raised = 0;
    for (int m = 0; m < 200; ++m) {
        TFieldMap map;
        const int cols = 1 + pick(4);
        QList<QList<qint32>> rows; // key first
        if (m % 10 != 0) {
            map.SetColCount(cols);
            qint32 key = -20 + pick(20);
            const int count = m % 10 == 1 ? 0 : 1 + pick(40);
            for (int r = 0; r < count; ++r) {
                key += 1 + pick(4);
                QList<qint32> values;
                for (int c = 0; c < cols; ++c)
                    values << qint32(random());
                map.AddRow(key, values);
                rows << (QList<qint32>{key} + values);
            }
        }
        auto linear = [&](qint32 key, int col) {
            for (const auto& row : rows) {
                if (row.first() == key)
                    return row.at(col + 1);
            }
            return 0;
        };
        for (int probe = 0; probe < 40; ++probe) {
            const qint32 key =
                rows.isEmpty() ? pick(10) : rows.at(pick(int(rows.size()))).first() - 1 + pick(3);
            const int col = pick(cols);
            EXPECT_EQ(map.Lookup(key, col), linear(key, col)) << "map " << m << " key " << key;
            int row = -1;
            for (int r = 0; r < rows.size(); ++r) {
                if (rows.at(r).first() == key)
                    row = r;
            }
            const QString error = messageOf<EListError>([&] { map.Lookup(key, map.ColCount()); });
            if (row >= 0) {
                EXPECT_EQ(error, QStringLiteral("Index de liste hors limites (%1)").arg(row));
                ++raised;
            } else {
                EXPECT_EQ(error, QStringLiteral("<no error>"));
            }
        }
    }
    EXPECT_GT(raised, 100);
}

TEST(FieldMap, CellsAndFilling)
{
    TFieldMap map;
    EXPECT_FALSE(map.HasData());
    map.SetColCount(2);
    map.AddRow(5, {50, 500});
    map.AddRow(9, {90, 900});
    EXPECT_EQ(map.Cell(1, 0), 9);
    map.Cell(1, 2) = 901;
    EXPECT_EQ(map.Lookup(9, 1), 901);
    EXPECT_EQ(messageOf<EListError>([&] { map.Cell(2, 0); }),
              QStringLiteral("Index de liste hors limites (2)"));
    EXPECT_EQ(messageOf<EListError>([&] { map.Cell(0, 3); }),
              QStringLiteral("Index de liste hors limites (0)"));
    // Rows come in ascending key order, with one value per column; a refused row changes nothing.
    EXPECT_EQ(messageOf<EListError>([&] {
                  map.AddRow(9, {1, 2});
              }),
              QStringLiteral("Clé 9 non croissante dans la table de correspondance"));
    EXPECT_THROW(map.AddRow(12, {1}), EListError);
    EXPECT_EQ(map.RowCount(), 2);
    map.Clear();
    EXPECT_EQ(map.Lookup(5, 0), 0);
}

enum class ContainerKind { Memory, TemporaryTable };

class Containers : public ::testing::TestWithParam<ContainerKind>
{
protected:
    void SetUp() override
    {
        if (GetParam() == ContainerKind::Memory)
            container = std::make_unique<TClientDSContainer>();
        else
            container = std::make_unique<TPDXContainer>();
        container->SetDatabasePath(workspace.root());
        FieldDefs& fields = container->GetFieldDefs();
        fields.add(QStringLiteral("KEY"), FieldType::Integer);
        fields.add(QStringLiteral("NAME"), FieldType::String, 20);
        fields.add(QStringLiteral("V"), FieldType::Float);
        container->GetIndexDefs().add(QStringLiteral("IKEY"), QStringLiteral("KEY"),
                                      IndexDef::Unique);
        container->GetIndexDefs().add(QStringLiteral("INAME"), QStringLiteral("NAME"),
                                      IndexDef::CaseInsensitive);
        container->CreateStorage();
        DataSet* ds = container->GetDataSet();
        const QList<VariantList> rows = {{3, QStringLiteral("Émile"), 1.5},
                                         {1, QStringLiteral("anne"), 2.0},
                                         {2, QStringLiteral("Bruno"), 3.0},
                                         {5, QStringLiteral("david"), 4.0},
                                         {4, QStringLiteral("Claire"), 5.0}};
        for (const VariantList& row : rows)
            ds->appendRecord(row);
    }

    QStringList column(const QString& name)
    {
        DataSet* ds = container->GetDataSet();
        QStringList values;
        for (ds->first(); !ds->eof(); ds->next())
            values << ds->fieldByName(name)->asString();
        return values;
    }

    bool gotoKey(const QString& field, const Variant& value)
    {
        container->EditKey();
        container->GetDataSet()->fieldByName(field)->setValue(value);
        return container->GotoKey();
    }

    TestWorkspace workspace;
    std::unique_ptr<TAbstractDSContainer> container;
};

TEST_P(Containers, IndexesKeysAndRanges)
{
    DataSet* ds = container->GetDataSet();
    container->SetIndexName(QStringLiteral("IKEY"));
    EXPECT_EQ(container->GetIndexName(), QStringLiteral("IKEY"));
    EXPECT_EQ(column(QStringLiteral("KEY")), (QStringList{"1", "2", "3", "4", "5"}));

    EXPECT_TRUE(gotoKey(QStringLiteral("KEY"), 4));
    EXPECT_EQ(ds->fieldByName(QStringLiteral("NAME"))->asString(), QStringLiteral("Claire"));
    EXPECT_FALSE(gotoKey(QStringLiteral("KEY"), 9));
    EXPECT_EQ(ds->fieldByName(QStringLiteral("NAME"))->asString(), QStringLiteral("Claire"));

    container->SetRange({2}, {4});
    EXPECT_EQ(column(QStringLiteral("KEY")), (QStringList{"2", "3", "4"}));
    container->EditRangeStart();
    ds->fieldByName(QStringLiteral("KEY"))->setAsInteger(4);
    container->EditRangeEnd();
    ds->fieldByName(QStringLiteral("KEY"))->setAsInteger(5);
    container->ApplyRange();
    EXPECT_EQ(column(QStringLiteral("KEY")), (QStringList{"4", "5"}));

    // The case-insensitive index orders by the folded names and finds them in any case.
    container->SetIndexName(QStringLiteral("INAME"));
    EXPECT_EQ(column(QStringLiteral("NAME")),
              (QStringList{"anne", "Bruno", "Claire", "david", "Émile"}));
    EXPECT_TRUE(gotoKey(QStringLiteral("NAME"), QStringLiteral("EMILE")));
    EXPECT_EQ(ds->fieldByName(QStringLiteral("KEY"))->asInteger(), 3);

    // A second CreateStorage keeps what the open storage holds.
    container->CreateStorage();
    EXPECT_EQ(ds->recordCount(), 5);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, Containers,
                         ::testing::Values(ContainerKind::Memory, ContainerKind::TemporaryTable));

void defineRows(TAbstractDSContainer& container)
{
    container.GetFieldDefs().add(QStringLiteral("KEY"), FieldType::Integer);
    container.GetFieldDefs().add(QStringLiteral("NAME"), FieldType::String, 10);
    container.GetIndexDefs().add(QStringLiteral("IKEY"), QStringLiteral("KEY"), IndexDef::Unique);
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

TEST(PDXContainer, OwnFilesInTheFolderReadableAndRemoved)
{
    TestWorkspace workspace;
    const QString folder = workspace.path(QStringLiteral("rows")); // no separator at its end
    QDir().mkpath(folder);
    {
        TPDXContainer a, b;
        for (TPDXContainer* c : {&a, &b}) {
            c->SetDatabasePath(folder);
            defineRows(*c);
            c->CreateStorage();
        }
        EXPECT_NE(a.FileName(), b.FileName());
        const QRegularExpression name(QStringLiteral("^[0-9A-F]{2,8}\\.DB$"));
        for (TPDXContainer* c : {&a, &b}) {
            EXPECT_TRUE(c->FileName().startsWith(folder + QLatin1Char('/')))
                << c->FileName().toStdString();
            EXPECT_TRUE(name.match(QFileInfo(c->FileName()).fileName()).hasMatch());
        }
        a.GetDataSet()->appendRecord({2, QStringLiteral("deux")});
        a.GetDataSet()->appendRecord({1, QStringLiteral("un")});
        b.GetDataSet()->appendRecord({7, QStringLiteral("sept")});
        auto rows = [](const TPDXContainer& c) {
            return dbtest::sqliteCli(c.FileName(),
                                     QStringLiteral("SELECT \"KEY\", NAME FROM \"%1\" ORDER BY 1;")
                                         .arg(QFileInfo(c.FileName()).fileName()));
        };
        EXPECT_EQ(rows(a), QStringLiteral("1|un\n2|deux"));
        EXPECT_EQ(rows(b), QStringLiteral("7|sept"));
        // Nothing landed beside the folder.
        EXPECT_EQ(filesIn(workspace.root()), QStringList());
    }
    EXPECT_EQ(filesIn(folder), QStringList()) << "journal and lock files go too";
}

TEST(PDXContainer, ANameTakenBySomeoneElseIsPassedOver)
{
    TestWorkspace workspace;
    const QString folder = workspace.path(QStringLiteral("rows"));
    writeFileBytes(folder + QStringLiteral("/10.DB"), "not ours");
    QList<quint32> numbers{0x10, 0x11};
    TPDXContainer::NumberSource = [&] { return numbers.takeFirst(); };
    {
        TPDXContainer c;
        c.SetDatabasePath(folder);
        defineRows(c);
        c.CreateStorage();
        EXPECT_EQ(c.FileName(), folder + QStringLiteral("/11.DB"));
    }
    TPDXContainer::NumberSource = nullptr;
    EXPECT_EQ(filesIn(folder), QStringList{QStringLiteral("10.DB")});
    EXPECT_EQ(readFileBytes(folder + QStringLiteral("/10.DB")), QByteArray("not ours"));
}

TEST(PDXContainer, AFailedCreationLeavesNothing)
{
    TestWorkspace workspace;
    const QString folder = workspace.path(QStringLiteral("rows"));
    QDir().mkpath(folder);
    {
        TPDXContainer noFields;
        noFields.SetDatabasePath(folder);
        EXPECT_THROW(noFields.CreateStorage(), EngineError);
        EXPECT_EQ(filesIn(folder), QStringList());
    }
    TPDXContainer missingFolder;
    missingFolder.SetDatabasePath(workspace.path(QStringLiteral("none")));
    defineRows(missingFolder);
    EXPECT_THROW(missingFolder.CreateStorage(), EInOutError);
}

} // namespace
