// The reserved-word lists of the three server kinds.
#include <kernel/reswords.h>

#include <gtest/gtest.h>

TEST(ReservedWords, ListsKeepTheirStoredEntries)
{
    const QStringList msSql = ReservedWords(1);
    const QStringList oracle = ReservedWords(2);
    EXPECT_EQ(msSql.size(), 185);
    EXPECT_EQ(oracle.size(), 81);
    EXPECT_EQ(ReservedWords(3), QStringList({"INT", "FUNCTION"}));
    EXPECT_TRUE(ReservedWords(0).isEmpty());
    EXPECT_EQ(msSql.first(), "ADD");
    EXPECT_EQ(msSql.last(), "PREPARE");
    EXPECT_EQ(oracle.first(), "ALL");
    EXPECT_EQ(oracle.last(), "WITH");
    EXPECT_EQ(QStringList(msSql).removeDuplicates(), 0);

    // Neighbouring words run together count as one entry, and their parts are not reserved on
    // their own unless listed elsewhere.
    for (const char* w : {"FORPROCESSEXIT", "READTEXTBEGIN", "HAVINGRESTORE", "RIGHTCHECKPOINT",
                          "SAVECOMMIT", "SERIALIZABLECONFIRM", "CONSTRAINTJOIN", "CONTROLROW",
                          "CONVERTLIKE", "MIRROREXITTEMPORARY", "NOTTOP", "TSEQUALDELETE",
                          "UPDATETEXTDISTRIBUTED", "OUTERWAITFOR", "ERROREXIT"})
        EXPECT_TRUE(IsReservedWord(w, 1)) << w;
    for (const char* w : {"FOR", "HAVING", "RESTORE", "RIGHT", "COMMIT", "JOIN", "NOT", "TOP",
                          "DELETE", "OUTER", "WAITFOR"})
        EXPECT_FALSE(IsReservedWord(w, 1)) << w;
    for (const char* w : {"ARRAYAS", "CREATECURRENT", "DODROP", "FROMGROUP", "MLSLABELMODE",
                          "SELECTSET", "TOTRIGGER", "UPDATEUSER", "VARCHAR2"})
        EXPECT_TRUE(IsReservedWord(w, 2)) << w;
    for (const char* w :
         {"ARRAY", "AS", "CREATE", "DROP", "FROM", "SELECT", "TRIGGER", "USER", "UPDATE"})
        EXPECT_FALSE(IsReservedWord(w, 2)) << w;
}

TEST(ReservedWords, LookUpPerServerKind)
{
    EXPECT_TRUE(IsReservedWord("select", 1));
    EXPECT_TRUE(IsReservedWord("SELECT", 1));
    EXPECT_FALSE(IsReservedWord("SELECT", 2));
    EXPECT_FALSE(IsReservedWord("SELECT", 3));
    EXPECT_TRUE(IsReservedWord("rownum", 2));
    EXPECT_TRUE(IsReservedWord("RowId", 2));
    EXPECT_FALSE(IsReservedWord("rownum", 1));
    EXPECT_TRUE(IsReservedWord("INT", 3));
    EXPECT_TRUE(IsReservedWord("Function", 3));
    EXPECT_FALSE(IsReservedWord("INT", 1));
    EXPECT_FALSE(IsReservedWord("INT", 2));
    EXPECT_TRUE(IsReservedWord("identity_insert", 1));
    EXPECT_TRUE(IsReservedWord("current_timestamp", 1));

    // Whole entries only.
    EXPECT_FALSE(IsReservedWord(" SELECT", 1));
    EXPECT_FALSE(IsReservedWord("SELECT,", 1));
    EXPECT_FALSE(IsReservedWord("SEL", 1));
    EXPECT_FALSE(IsReservedWord("", 1));
    // A non-ASCII letter never folds into a reserved word.
    EXPECT_FALSE(IsReservedWord(QString::fromUtf8("ınt"), 3));

    // Other kinds reserve nothing, whatever was asked before.
    EXPECT_TRUE(IsReservedWord("INT", 3));
    EXPECT_FALSE(IsReservedWord("INT", 0));
    EXPECT_FALSE(IsReservedWord("SELECT", 4));
}
