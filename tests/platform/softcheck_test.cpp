#include <gtest/gtest.h>
#include <platform/softcheck.h>

TEST(SoftCheck, PassingCheckIsTrue)
{
    EXPECT_TRUE(QV_SOFT_CHECK(1 + 1 == 2, QStringLiteral("arithmetic")));
}
