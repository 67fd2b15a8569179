// The libraries in one program: classes of the same name in two libraries would share one
// destructor and one virtual table there, so each library's objects must still behave as its own.
#include <kernel/dbaccess.h>
#include <kernel/request.h>
#include <reports/rgen.h>

#include <gtest/gtest.h>

#include <memory>

TEST(OneProgram, KernelAndReportGroupItemsStayApart)
{
    // A kernel request holding a group-by item is freed by the kernel's own destructor.
    auto request = std::make_unique<TDBRequest>();
    TGroupItem* byPatient = request->Group().Add();
    byPatient->SetFieldName(QStringLiteral("V.PATIENTS_ID"));
    byPatient->SetOrigin(QStringLiteral("V"));
    auto copy = std::make_unique<TDBRequest>();
    copy->Assign(*request);
    ASSERT_EQ(copy->Group().Count(), 1);
    EXPECT_EQ(copy->Group()[0]->Origin(), QStringLiteral("V"));
    request.reset();
    copy.reset();

    // A report's group item is the report model's, with its totals.
    auto report = std::make_unique<rgen::TRptGen>();
    rgen::TGroupItem* group = report->GroupItems().Add();
    group->OrderFields = QStringLiteral("PATIENTS_ID");
    EXPECT_EQ(group->DisplayName(), QStringLiteral("G0"));
    EXPECT_TRUE(group->Totals().ShowValues);
    report.reset();
}
