// The grid model over a dataset: display texts through the fields' text events, alignment and
// width, an edited value shown at once, counted DisableControls, and closing. (The identification
// dialog's tests check headers, rows and the current row both ways through its grid.)
#include "dataset_helpers.h"

#include <platform/data/datasetmodel.h>

#include <gtest/gtest.h>

using namespace testdata;

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

    // Disabled controls are counted: nothing reaches the model until the last enable, and an
    // enable with nothing to match, or with nothing changed meanwhile, does nothing.
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    ds->disableControls();
    ds->disableControls();
    ds->appendRecord({4, "d", 4.0});
    ds->enableControls();
    EXPECT_EQ(model.rowCount(), 3);
    ds->enableControls();
    ds->enableControls();
    ds->disableControls();
    ds->enableControls();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(model.rowCount(), 4);

    // The dataset closed, then gone under the model.
    ds->close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_EQ(model.currentRow(), -1);
    ds.reset();
    EXPECT_EQ(model.dataSet(), nullptr);
}
