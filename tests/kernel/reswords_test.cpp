// The reserved-word lists of the three server kinds.
#include <kernel/reswords.h>

#include <gtest/gtest.h>

TEST(ReservedWords, LookUpPerServerKind)
{
    // Whole entries only, in any case; a non-ASCII letter never folds into a reserved word; other
    // kinds reserve nothing, whatever kind was asked before. Neighbouring words of a list run
    // together count as one entry, and their parts are not reserved unless listed elsewhere.
    struct Case
    {
        int kind;
        bool reserved;
        QStringList words;
    };
    const QList<Case> cases = {
        {1,
         true,
         {"select", "SELECT", "identity_insert", "current_timestamp", "FORPROCESSEXIT",
          "READTEXTBEGIN", "HAVINGRESTORE", "RIGHTCHECKPOINT", "SAVECOMMIT", "SERIALIZABLECONFIRM",
          "CONSTRAINTJOIN", "CONTROLROW", "CONVERTLIKE", "MIRROREXITTEMPORARY", "NOTTOP",
          "TSEQUALDELETE", "UPDATETEXTDISTRIBUTED", "OUTERWAITFOR", "ERROREXIT"}},
        {1,
         false,
         {"rownum", "INT", " SELECT", "SELECT,", "SEL", "", "FOR", "HAVING", "RESTORE", "RIGHT",
          "COMMIT", "JOIN", "NOT", "TOP", "DELETE", "OUTER", "WAITFOR"}},
        {2,
         true,
         {"rownum", "RowId", "ARRAYAS", "CREATECURRENT", "DODROP", "FROMGROUP", "MLSLABELMODE",
          "SELECTSET", "TOTRIGGER", "UPDATEUSER", "VARCHAR2"}},
        {2,
         false,
         {"SELECT", "INT", "ARRAY", "AS", "CREATE", "DROP", "FROM", "TRIGGER", "USER", "UPDATE"}},
        {3, true, {"INT", "Function"}},
        {3, false, {"SELECT", "ınt"}},
        {0, false, {"INT"}},
        {4, false, {"SELECT"}}};
    for (const Case& c : cases) {
        for (const QString& word : c.words)
            EXPECT_EQ(IsReservedWord(word, c.kind), c.reserved) << word.toStdString() << c.kind;
    }
    EXPECT_EQ(ReservedWords(1).size(), 185);
    EXPECT_EQ(ReservedWords(2).size(), 81);
    EXPECT_EQ(ReservedWords(3), QStringList({"INT", "FUNCTION"}));
    EXPECT_TRUE(ReservedWords(0).isEmpty());
}
