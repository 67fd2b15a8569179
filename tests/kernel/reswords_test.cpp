// The reserved-word look-up of the three server kinds.
#include <kernel/reswords.h>

#include <gtest/gtest.h>

TEST(ReservedWords, LookUpPerServerKind)
{
    // Whole entries only, in any case; a non-ASCII letter never folds into a reserved word; other
    // kinds reserve nothing, whatever kind was asked before.
    struct Case
    {
        int kind;
        bool reserved;
        QStringList words;
    };
    const QList<Case> cases = {
        {1, true, {"select", "SELECT", "identity_insert", "current_timestamp"}},
        {1, false, {"rownum", "INT", " SELECT", "SELECT,", "SEL", ""}},
        {2, true, {"rownum", "RowId", "VARCHAR2"}},
        {2, false, {"SELECT", "INT"}},
        {3, true, {"INT", "Function"}},
        {3, false, {"SELECT", "ınt"}},
        {0, false, {"INT"}},
        {4, false, {"SELECT"}}};
    for (const Case& c : cases) {
        for (const QString& word : c.words)
            EXPECT_EQ(IsReservedWord(word, c.kind), c.reserved) << word.toStdString() << c.kind;
    }
    EXPECT_EQ(ReservedWords(3), QStringList({"INT", "FUNCTION"}));
    EXPECT_TRUE(ReservedWords(0).isEmpty());
}
