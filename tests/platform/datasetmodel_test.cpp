// The grid model over a dataset: columns from the visible fields, display texts through the
// fields' text events, rows following posts, deletes, filters, counted DisableControls and
// closing, and the current row following the cursor both ways.
#include "dataset_helpers.h"

#include <platform/data/datasetmodel.h>

#include <gtest/gtest.h>

using namespace testdata;

TEST(DataSetModel, ShowsTheVisibleFieldsAndFollowsTheCursorAndTheChanges)
{
    auto ds = makeItems({{1, "a", 1.5}, {2, "b", 2}, {3, "c", 3}});
    ds->fieldByName("QTY")->setVisible(false);
    ds->fieldByName("NAME")->setDisplayLabel("Nom");
    ds->fieldByName("NAME")->setDisplayWidth(12);
    ds->fieldByName("NAME")->onGetText = [](const Field& f, QString& text, bool display) {
        text = display ? f.asString().toUpper() + "!" : f.asString();
    };
    DataSetModel model(ds.get());
    const auto cell = [&](int row, int column) {
        return model.data(model.index(row, column)).toString();
    };
    ASSERT_EQ(model.columnCount(), 2);
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Nom");
    EXPECT_EQ(cell(0, 0), "1");
    EXPECT_EQ(cell(2, 1), "C!");
    const auto alignment = model.data(model.index(0, 0), Qt::TextAlignmentRole).toInt();
    EXPECT_TRUE(Qt::Alignment(alignment) & Qt::AlignRight); // numbers right
    const auto width = [&](int column) {
        return model.headerData(column, Qt::Horizontal, Qt::SizeHintRole).toSize().width();
    };
    EXPECT_GT(width(1), width(0));                    // 12 characters against 10
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 1); // reading rows did not move the cursor

    QList<int> current;
    QObject::connect(&model, &DataSetModel::currentRowChanged,
                     [&](int row) { current.append(row); });
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    ds->next();
    ds->next();
    EXPECT_EQ(current, QList<int>({1, 2}));
    model.setCurrentRow(0);
    EXPECT_EQ(ds->fieldByName("ID")->asInteger(), 1);

    // The record being edited shows its edited value at once.
    ds->fieldByName("NAME")->onGetText = nullptr;
    ds->edit();
    ds->fieldByName("NAME")->setValue("edited");
    EXPECT_EQ(cell(0, 1), "edited");
    ds->cancel();
    EXPECT_EQ(cell(0, 1), "a");

    ds->appendRecord({4, "d", 4.0});
    EXPECT_EQ(model.currentRow(), 3);
    ds->deleteRecord();
    ds->setFilter("QTY >= 2");
    ds->setFiltered(true);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(cell(0, 1), "b");
    ds->setFiltered(false);

    // Disabled controls are counted: nothing reaches the model until the last enable, and an
    // enable with nothing to match does nothing.
    const int before = resets;
    ds->disableControls();
    ds->disableControls();
    ds->appendRecord({5, "e", 5.0});
    ds->enableControls();
    EXPECT_EQ(model.rowCount(), 3);
    ds->enableControls();
    ds->enableControls();
    EXPECT_EQ(resets, before + 1);
    EXPECT_EQ(model.rowCount(), 4);
    ds->disableControls();
    ds->enableControls(); // nothing happened in between
    EXPECT_EQ(resets, before + 1);

    // The dataset closed, then gone under the model.
    ds->close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_EQ(model.currentRow(), -1);
    ds.reset();
    EXPECT_EQ(model.dataSet(), nullptr);
}
