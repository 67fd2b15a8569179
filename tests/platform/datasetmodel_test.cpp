// The grid model over a dataset: columns from the visible fields, display texts through the
// fields' text events, rows following posts, deletes, filters and closing, the current row
// following the cursor both ways, and an offscreen table view on top.
#include "dataset_helpers.h"

#include <platform/data/datasetmodel.h>

#include <QTableView>

#include <gtest/gtest.h>

using namespace testdata;

namespace {

QString cell(const DataSetModel& m, int row, int column)
{
    return m.data(m.index(row, column)).toString();
}

} // namespace

TEST(DataSetModel, ShowsVisibleFieldsWithTheirLabelsAndTexts)
{
    auto ds = makeItems({{1, "a", 1.5}, {2, "b", 2}, {3, "c", 3}});
    ds->fieldByName("QTY")->setVisible(false);
    ds->fieldByName("NAME")->setDisplayLabel("Nom");
    ds->fieldByName("NAME")->setDisplayWidth(12);
    ds->fieldByName("NAME")->onGetText = [](const Field& f, QString& text, bool display) {
        text = display ? f.asString().toUpper() + "!" : f.asString();
    };
    DataSetModel model(ds.get());
    ASSERT_EQ(model.columnCount(), 2);
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "ID");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Nom");
    EXPECT_EQ(cell(model, 0, 0), "1");
    EXPECT_EQ(cell(model, 1, 1), "B!");
    EXPECT_EQ(cell(model, 2, 1), "C!");
    const auto align = [&](int column) {
        return Qt::Alignment(model.data(model.index(0, column), Qt::TextAlignmentRole).toInt());
    };
    EXPECT_TRUE(align(0) & Qt::AlignRight); // numbers right
    EXPECT_TRUE(align(1) & Qt::AlignLeft);
    const int idWidth = model.headerData(0, Qt::Horizontal, Qt::SizeHintRole).toSize().width();
    const int nameWidth = model.headerData(1, Qt::Horizontal, Qt::SizeHintRole).toSize().width();
    EXPECT_GT(nameWidth, idWidth);                    // 12 characters against 10
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 1); // reading rows did not move the cursor
}

TEST(DataSetModel, FollowsTheCursorAndTheChanges)
{
    auto ds = makeItems({{1, "a", 1}, {2, "b", 2}, {3, "c", 3}});
    DataSetModel model(ds.get());
    QList<int> current;
    QObject::connect(&model, &DataSetModel::currentRowChanged,
                     [&](int row) { current.append(row); });
    int resets = 0, changes = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++changes; });

    EXPECT_EQ(model.currentRow(), 0);
    ds->next();
    ds->next();
    EXPECT_EQ(current, QList<int>({1, 2}));
    model.setCurrentRow(0);
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 1);
    EXPECT_EQ(model.currentRow(), 0);

    // The record being edited shows its edited value at once.
    ds->edit();
    ds->fieldByName("NAME")->setValue("edited");
    EXPECT_GT(changes, 0);
    EXPECT_EQ(cell(model, 0, 1), "edited");
    EXPECT_EQ(cell(model, 1, 1), "b");
    ds->cancel();
    EXPECT_EQ(cell(model, 0, 1), "a");

    ds->appendRecord({4, "d", 4.0});
    EXPECT_EQ(model.currentRow(), 3);
    ds->deleteRecord();
    EXPECT_EQ(model.rowCount(), 3);

    ds->setFilter("QTY >= 2");
    ds->setFiltered(true);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(cell(model, 0, 1), "b");
    ds->setFiltered(false);

    // Disabled controls: nothing reaches the model until they are enabled again.
    const int before = resets;
    ds->disableControls();
    ds->appendRecord({5, "e", 5.0});
    ds->appendRecord({6, "f", 6.0});
    EXPECT_EQ(model.rowCount(), 3);
    ds->enableControls();
    EXPECT_EQ(resets, before + 1);
    EXPECT_EQ(model.rowCount(), 5);

    // A table view on top, then the dataset closed, then gone under the model.
    QTableView view;
    view.setModel(&model);
    view.show();
    EXPECT_EQ(view.model()->index(4, 1).data().toString(), "f");
    ds->close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_EQ(model.currentRow(), -1);
    ds.reset();
    EXPECT_EQ(model.dataSet(), nullptr);
}
