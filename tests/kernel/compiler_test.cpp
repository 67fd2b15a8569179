// The request compiler: texts per server kind written by hand from the required behaviour, and
// every local-kind text run on the practice's SQLite file with its rows compared to rows worked
// out by hand.
#include "kernel_helpers.h"

#include <support/qt_printers.h>

#include <gtest/gtest.h>

using namespace krntest;

namespace {

QStringList sorted(QStringList rows)
{
    rows.sort();
    return rows;
}

// The local-kind practice and a request on it.
class LocalCompiler : public ::testing::Test
{
protected:
    Practice p;
    std::unique_ptr<TDBRequest> r = p.request();
};

} // namespace

// MS SQL Server writes the same joins as the local kind, after "TOP 50".
TEST(RequestCompiler, LinkJoinsAndOracleWhereJoins)
{
    const QList<QPair<int, QStringList>> cases = {
        // The outer mark goes on the optional side; RIGHT turns the sides round.
        {2,
         {"SELECT ", " P.NOM,V.MONTANT,M.NOM MNOM", "FROM", " PATIENTS P,", " VISITS V,",
          " MEDECINS M", "WHERE", " P.PATIENTS_ID = V.PATIENTS_ID (+) ",
          " AND  M.MEDECINS_ID = V.MEDECINS_ID (+) ", " AND  ROWNUM <= 50"}},
        {3,
         {"SELECT ", " P.NOM,V.MONTANT,M.NOM MNOM", "FROM",
          " PATIENTS P LEFT OUTER JOIN VISITS V ON P.PATIENTS_ID = V.PATIENTS_ID ",
          " RIGHT OUTER JOIN MEDECINS M ON M.MEDECINS_ID = V.MEDECINS_ID "}},
    };
    for (const auto& [kind, lines] : cases) {
        Practice p(kind);
        auto r = p.request();
        addFrom(*r, "PATIENTS", "P");
        addFrom(*r, "VISITS", "V", "P")->SetJoinOperator("left outer join");
        addFrom(*r, "MEDECINS", "M", "V", "MEDECINS_ID")->SetJoinOperator("right outer join");
        addSelect(*r, "P", "NOM");
        addSelect(*r, "V", "MONTANT");
        addSelect(*r, "M", "NOM", "MNOM");
        EXPECT_EQ(compiled(*r), lines) << kind;
        if (kind != 3)
            continue;
        // Every doctor with the visits seen; Claude, who has no visit, drops out.
        EXPECT_EQ(sorted(p.rows(*r)), QStringList({"Arnaud|25|Dupont", "Arnaud|30|Martin",
                                                   "Bernard|45|Dupont", "Denis|20|Petit"}));
        r->From()[2]->SetJoinOperator("left outer join");
        compiled(*r);
        EXPECT_EQ(sorted(p.rows(*r)),
                  QStringList({"Arnaud|25|Dupont", "Arnaud|30|Martin", "Bernard|45|Dupont",
                               "Claude|NULL|NULL", "Denis|20|Petit"}));
    }
}

TEST(RequestCompiler, ChoiceAmongTwoLinks)
{
    const QList<QPair<int, QStringList>> cases = {
        {2,
         {"SELECT ", " V.VISITS_ID,M.NOM MNOM", "FROM", " VISITS V,", " MEDECINS M", "WHERE",
          " V.REMPL_ID = M.MEDECINS_ID ", " AND  ROWNUM <= 50"}},
        {3,
         {"SELECT ", " V.VISITS_ID,M.NOM MNOM", "FROM",
          " VISITS V JOIN MEDECINS M ON M.MEDECINS_ID = V.REMPL_ID "}},
    };
    for (const auto& [kind, lines] : cases) {
        Practice p(kind);
        auto r = p.request();
        addFrom(*r, "VISITS", "V");
        TFromItem* m = addFrom(*r, "MEDECINS", "M", "V", "rempl_id");
        addSelect(*r, "V", "VISITS_ID");
        addSelect(*r, "M", "NOM", "MNOM");
        EXPECT_EQ(compiled(*r), lines) << kind;
        if (kind == 3) {
            EXPECT_EQ(sorted(p.rows(*r)), QStringList({"10|Martin", "12|Petit", "13|Dupont"}));
        }
        m->SetMasterFields("");
        EXPECT_EQ(compiled(*r), QStringList("error: Cannot compile Req: multiple joins MEDECINS "
                                            "with VISITS with empty MasterFields property."));
        m->SetMasterFields("X");
        EXPECT_EQ(compiled(*r), QStringList("error: Cannot compile Req: link info for tables "
                                            "VISITS,MEDECINS not found."));
    }
}

TEST_F(LocalCompiler, StarOverOneOrSeveralTables)
{
    addFrom(*r, "PATIENTS", "P");
    addSelect(*r, "", "*");
    EXPECT_EQ(compiled(*r), QStringList({"SELECT ", " P.*", "FROM", " PATIENTS P"}));
    EXPECT_EQ(r->Select()[0]->Origin(), "P");
    EXPECT_EQ(sorted(p.rows(*r)),
              QStringList({"1|Arnaud|1", "2|Bernard|2", "3|Claude|NULL", "4|Denis|1"}));

    r->Select()[0]->SetOrigin("");
    addFrom(*r, "VISITS", "V", "P");
    addSelect(*r, "P", "NOM");
    EXPECT_EQ(compiled(*r), QStringList("error: Cannot compile Req: select notation \" * \" is "
                                        "invalid without origin for multiple tables."));

    // A lone "*" is replaced by every field of every table, names made unique; the list breaks
    // after its fifth column.
    r->Select().Delete(1);
    EXPECT_EQ(compiled(*r),
              QStringList({"SELECT ",
                           " P.PATIENTS_ID,P.NOM,P.MEDECINS_ID,V.VISITS_ID,V.PATIENTS_ID "
                           "PATIENTS_ID_1,",
                           " V.MEDECINS_ID MEDECINS_ID_1,V.REMPL_ID,V.MONTANT", "FROM",
                           " PATIENTS P JOIN VISITS V ON P.PATIENTS_ID = V.PATIENTS_ID "}));
    EXPECT_EQ(sorted(p.rows(*r)),
              QStringList({"1|Arnaud|1|10|1|1|2|25", "1|Arnaud|1|11|1|2|NULL|30",
                           "2|Bernard|2|12|2|1|3|45", "4|Denis|1|13|4|3|1|20"}));

    r->Select().Clear();
    addFrom(*r, "NOWHERE", "X", "P");
    EXPECT_EQ(compiled(*r),
              QStringList("error: Req: table properties for table NOWHERE not found."));
}

TEST_F(LocalCompiler, LineBreaksAfterLongItems)
{
    addFrom(*r, "PATIENTS", "P");
    addSelect(*r, "P", "NOM");
    addSelect(*r, "P", "MEDECINS_ID")->SetConvertCurrency(true);
    addSelect(*r, "P", "PATIENTS_ID");
    const QString longText = "'" + QString(125, 'x') + "'";
    addSelect(*r, "", longText, "LONGX")->SetIsExpr(true);
    addSelect(*r, "P", "NOM", "N2");
    EXPECT_EQ(compiled(*r),
              QStringList({"SELECT ", " P.NOM,", " P.MEDECINS_ID", " ,P.PATIENTS_ID,",
                           " " + longText + " LONGX", " ,P.NOM N2", "FROM", " PATIENTS P"}));
    EXPECT_EQ(p.rows(*r).size(), 4);
}

TEST(RequestCompiler, ConditionsGroupsAndOrder)
{
    for (int kind : {2, 3}) {
        Practice p(kind);
        auto r = p.request();
        addFrom(*r, "PATIENTS", "P");
        addSelect(*r, "", "NOM");
        addWhere(*r, "P.NOM = 'Arnaud'", 1);
        addWhere(*r, "P.NOM = 'Denis'", 1);
        addWhere(*r, "P.PATIENTS_ID > 1");
        addWhere(*r, "count(*) > 1")->SetIsHaving(true); // no grouping: left out
        for (const char* field :
             {"P.NOM", "P.PATIENTS_ID", "P.MEDECINS_ID", "P.NOM", "P.PATIENTS_ID", "P.MEDECINS_ID"})
            r->Order().Add()->SetFieldName(field);
        r->Order()[3]->SetDesc(true);
        QStringList where = {"WHERE", " ((P.NOM = 'Arnaud')", "      OR (P.NOM = 'Denis'))",
                             " AND (P.PATIENTS_ID > 1)"};
        if (kind == 2)
            where = QStringList({"WHERE", " ROWNUM <= 50", " AND ((P.NOM = 'Arnaud')",
                                 "      OR (P.NOM = 'Denis'))", " AND (P.PATIENTS_ID > 1)"});
        EXPECT_EQ(compiled(*r), QStringList({"SELECT ", " P.NOM", "FROM", " PATIENTS P"}) + where +
                                    QStringList({"ORDER BY",
                                                 " P.NOM,P.PATIENTS_ID,P.MEDECINS_ID,P.NOM "
                                                 "DESC,P.PATIENTS_ID,",
                                                 " P.MEDECINS_ID"}));
        if (kind == 3) {
            EXPECT_EQ(p.rows(*r), QStringList({"Denis"}));
        }
    }

    Practice p;
    auto r = p.request();
    addFrom(*r, "VISITS", "V");
    addSelect(*r, "V", "PATIENTS_ID");
    addSelect(*r, "", "count(*)", "N")->SetIsExpr(true);
    addWhere(*r, "count(*) > 1")->SetIsHaving(true);
    r->Group().Add()->SetFieldName("V.PATIENTS_ID");
    EXPECT_EQ(compiled(*r),
              QStringList({"SELECT ", " V.PATIENTS_ID,count(*) N", "FROM", " VISITS V", "GROUP BY",
                           " V.PATIENTS_ID", "HAVING", " (count(*) > 1)"}));
    EXPECT_EQ(p.rows(*r), QStringList({"1|2"}));
}

TEST_F(LocalCompiler, ParametersOfEveryItemNamedOnce)
{
    addFrom(*r, "PATIENTS", "P");
    addSelect(*r, "", "NOM");
    addWhere(*r, "P.PATIENTS_ID >= :ID")->ItemParams()[0].setAsInteger(2);
    TWhereItem* second = addWhere(*r, "P.PATIENTS_ID <> :ID");
    second->ItemParams()[0].setAsInteger(4);
    // The currency rate is one value for the whole text: never renamed.
    addWhere(*r, "P.PATIENTS_ID <> :SYS_OUT_CURRENCY_COURS")->ItemParams()[0].setAsInteger(3);
    addWhere(*r, "P.PATIENTS_ID <> :SYS_OUT_CURRENCY_COURS")->ItemParams()[0].setAsInteger(3);
    // A name the renaming gave is taken: an item's own P1 gets another.
    addWhere(*r, "P.PATIENTS_ID <> :P1")->ItemParams()[0].setAsInteger(1);
    EXPECT_EQ(compiled(*r), QStringList({"SELECT ", " P.NOM", "FROM", " PATIENTS P", "WHERE",
                                         " (P.PATIENTS_ID >= :ID)", " AND (P.PATIENTS_ID <> :P1)",
                                         " AND (P.PATIENTS_ID <> :SYS_OUT_CURRENCY_COURS)",
                                         " AND (P.PATIENTS_ID <> :SYS_OUT_CURRENCY_COURS)",
                                         " AND (P.PATIENTS_ID <> :P2)"}));
    EXPECT_EQ(r->GetParams().names(), QStringList({"ID", "P1", "SYS_OUT_CURRENCY_COURS", "P2"}));
    EXPECT_EQ(r->ParamByName("P1").asInteger(), 4);
    EXPECT_EQ(second->Text(), "P.PATIENTS_ID <> :ID");
    EXPECT_EQ(p.rows(*r), QStringList({"Bernard"}));

    // Conditions split into a union keep their own values under one name.
    auto split = p.request("Split");
    split->SetSplitWhereToUnion(true);
    addFrom(*split, "PATIENTS", "P");
    addSelect(*split, "", "NOM");
    addWhere(*split, "P.PATIENTS_ID = :ID", 1)->ItemParams()[0].setAsInteger(1);
    addWhere(*split, "P.PATIENTS_ID = :ID", 1)->ItemParams()[0].setAsInteger(4);
    compiled(*split);
    EXPECT_EQ(
        split->CompiledText(),
        "select  Q.* from (SELECT \n P.NOM\nFROM\n PATIENTS P\nWHERE\n ((P.PATIENTS_ID = :ID))"
        "\nUNION\nSELECT \n P.NOM\nFROM\n PATIENTS P\nWHERE\n ((P.PATIENTS_ID = :P1))) Q");
    EXPECT_EQ(sorted(p.rows(*split)), QStringList({"Arnaud", "Denis"}));
}

TEST_F(LocalCompiler, JoinOptimizationLeavesOutUnusedTables)
{
    addFrom(*r, "PATIENTS", "P");
    addFrom(*r, "VISITS", "V", "P");
    addFrom(*r, "MEDECINS", "M", "P");
    addSelect(*r, "P", "NOM");
    addSelect(*r, "V", "MONTANT");
    const QStringList head = {"SELECT ", " P.NOM,V.MONTANT", "FROM",
                              " PATIENTS P JOIN VISITS V ON P.PATIENTS_ID = V.PATIENTS_ID "};
    const QString doctorJoin = " JOIN MEDECINS M ON M.MEDECINS_ID = P.MEDECINS_ID ";
    EXPECT_EQ(compiled(*r), head + QStringList(doctorJoin));
    r->SetJoinOptimization(true);
    EXPECT_EQ(compiled(*r), head);
    EXPECT_EQ(sorted(p.rows(*r)),
              QStringList({"Arnaud|25", "Arnaud|30", "Bernard|45", "Denis|20"}));
    // An expression naming the table keeps it.
    addSelect(*r, "", "upper(M.NOM)", "MN")->SetIsExpr(true);
    EXPECT_EQ(compiled(*r), QStringList({"SELECT ", " P.NOM,V.MONTANT,upper(M.NOM) MN", "FROM",
                                         head.last(), doctorJoin}));
}

TEST(RequestCompiler, OrGroupsSplitIntoAUnion)
{
    auto statement = [](const QString& group1, const QString& group2) {
        return QStringList({"SELECT ", " P.NOM", "FROM", " PATIENTS P", "WHERE",
                            " ((" + group1 + "))", " AND ((" + group2 + "))",
                            " AND (P.NOM <> 'Bernard')"});
    };
    const QString a = "P.PATIENTS_ID < 3", b = "P.NOM = 'Denis'", c = "P.MEDECINS_ID = 1",
                  d = "P.MEDECINS_ID IS NULL";
    QStringList inner = statement(a, c) + QStringList("UNION") + statement(a, d) +
                        QStringList("UNION") + statement(b, c) + QStringList("UNION") +
                        statement(b, d);
    inner.last() += ") Q";
    for (int kind : {1, 2, 3}) {
        Practice p(kind);
        auto r = p.request();
        r->SetSplitWhereToUnion(true);
        addFrom(*r, "PATIENTS", "P");
        addSelect(*r, "", "NOM");
        for (const auto& [text, group] :
             QList<QPair<QString, int>>{{a, 1}, {b, 1}, {c, 2}, {d, 2}, {"P.NOM <> 'Bernard'", 0}})
            addWhere(*r, text, group);
        r->Order().Add()->SetFieldName("P.NOM");

        QStringList lines = inner;
        lines.first() =
            (kind == 1 ? "select TOP 50 Q.* from (" : "select  Q.* from (") + lines.first();
        if (kind == 2)
            lines << "WHERE  ROWNUM <= 50";
        lines << "ORDER BY"
              << " NOM";
        EXPECT_EQ(compiled(*r), lines) << kind;
        for (int i = 0; i < r->Where().Count(); ++i)
            EXPECT_TRUE(r->Where()[i]->Enabled());
        if (kind == 3) {
            EXPECT_EQ(p.rows(*r), QStringList({"Arnaud", "Denis"}));
        }

        // A failure amid the statements gives the conditions back as well, and no text.
        addWhere(*r, "P.PATIENTS_ID in (:EMB_DBREQ)", 1);
        EXPECT_EQ(compiled(*r), QStringList("error: Req: invalid DBRequest reference parameter "
                                            "'EMB_DBREQ'."));
        EXPECT_FALSE(r->Compiled());
        EXPECT_TRUE(r->CompiledSQL().isEmpty());
        for (int i = 0; i < r->Where().Count(); ++i)
            EXPECT_TRUE(r->Where()[i]->Enabled());
    }
}

// Patients P and doctors M as two roots: one statement each, united, with one ORDER BY after the
// union.
TEST(RequestCompiler, SeveralRootsGetOneOrderByAfterTheUnionAndKeepTheirOwnFilters)
{
    const QList<QPair<int, QStringList>> cases = {
        {1,
         {"SELECT TOP 50", " P.NOM PNOM, null  MNOM", "FROM", " PATIENTS P", "", "UNION ALL", "",
          "SELECT TOP 50", "  null  PNOM,M.NOM MNOM", "FROM", " MEDECINS M", "ORDER BY",
          " PNOM,MNOM"}},
        {2,
         {"SELECT ", " P.NOM PNOM, cast(null as VARCHAR2(40))  MNOM", "FROM", " PATIENTS P",
          "WHERE", " ROWNUM <= 50", "", "UNION ALL", "", "SELECT ",
          "  cast(null as VARCHAR2(30))  PNOM,M.NOM MNOM", "FROM", " MEDECINS M", "WHERE",
          " ROWNUM <= 50", "ORDER BY", " PNOM,MNOM"}},
        {3,
         {"SELECT ", " P.NOM PNOM, cast(null as VARCHAR(40) )  MNOM", "FROM", " PATIENTS P", "",
          "UNION ALL", "", "SELECT ", "  cast(null as VARCHAR(30) )  PNOM,M.NOM MNOM", "FROM",
          " MEDECINS M", "ORDER BY", " PNOM,MNOM"}},
    };
    for (const auto& [kind, lines] : cases) {
        Practice p(kind);
        auto r = p.request();
        addFrom(*r, "PATIENTS", "P");
        addFrom(*r, "MEDECINS", "M");
        addSelect(*r, "P", "NOM", "PNOM", dtString, 30);
        addSelect(*r, "M", "NOM", "MNOM", dtString, 40);
        r->Order().Add()->SetFieldName("P.NOM");
        r->Order().Add()->SetFieldName("M.NOM");
        EXPECT_EQ(compiled(*r), lines) << kind;
        if (kind != 3)
            continue;
        EXPECT_EQ(p.rows(*r),
                  QStringList({"NULL|Dupont", "NULL|Martin", "NULL|Petit", "Arnaud|NULL",
                               "Bernard|NULL", "Claude|NULL", "Denis|NULL"}));

        // OR groups split into unions: each root keeps the conditions on its own table.
        r->SetSplitWhereToUnion(true);
        addWhere(*r, "P.NOM = 'Arnaud'", 1, "P");
        addWhere(*r, "P.NOM = 'Denis'", 1, "P");
        addWhere(*r, "M.NOM = 'Dupont'", 2, "M");
        addWhere(*r, "M.NOM = 'Petit'", 2, "M");
        const QString patients = "SELECT \n P.NOM PNOM, cast(null as VARCHAR(40) )  MNOM\nFROM\n "
                                 "PATIENTS P\nWHERE\n ((P.NOM = '%1'))";
        const QString doctors = "SELECT \n  cast(null as VARCHAR(30) )  PNOM,M.NOM MNOM\nFROM\n "
                                "MEDECINS M\nWHERE\n ((M.NOM = '%1'))";
        compiled(*r);
        EXPECT_EQ(r->CompiledText(), "select  Q.* from (" + patients.arg("Arnaud") + "\nUNION\n" +
                                         patients.arg("Denis") +
                                         ") Q\n\nUNION ALL\n\nselect  Q.* from (" +
                                         doctors.arg("Dupont") + "\nUNION\n" +
                                         doctors.arg("Petit") + ") Q\nORDER BY\n PNOM,MNOM");
        // No Bernard, Claude nor Martin.
        EXPECT_EQ(p.rows(*r),
                  QStringList({"NULL|Dupont", "NULL|Petit", "Arnaud|NULL", "Denis|NULL"}));
    }
}

TEST_F(LocalCompiler, TablesWithoutARootAreRefused)
{
    addFrom(*r, "PATIENTS", "P", "M");
    addFrom(*r, "MEDECINS", "M", "P");
    addSelect(*r, "P", "NOM");
    EXPECT_EQ(compiled(*r), QStringList("error: Cannot compile Req: the master tables of P lead "
                                        "round in a circle."));
    r->From().Delete(1);
    EXPECT_EQ(compiled(*r), QStringList("error: Cannot compile Req: from section has no root "
                                        "table."));
    r->From()[0]->SetMasterTable("");
    addFrom(*r, "VISITS", "V", "L");
    addFrom(*r, "LAB", "L", "V");
    EXPECT_EQ(compiled(*r), QStringList("error: Cannot compile Req: the master tables of V lead "
                                        "round in a circle."));
}

TEST_F(LocalCompiler, AlternativeBranchesAsUnionAll)
{
    addFrom(*r, "PATIENTS", "P");
    addFrom(*r, "LAB", "L", "P")->SetUnion("1");
    addFrom(*r, "RAD", "R", "P")->SetUnion("2");
    addSelect(*r, "P", "NOM");
    addSelect(*r, "L", "RESULTAT", "", dtString, 20);
    addSelect(*r, "R", "CLICHE", "", dtString, 20);
    r->Order().Add()->SetFieldName("P.NOM");
    r->Order().Add()->SetFieldName("L.RESULTAT");
    EXPECT_EQ(
        compiled(*r),
        QStringList({"SELECT ", " P.NOM,L.RESULTAT, cast(null as VARCHAR(20) )  CLICHE", "FROM",
                     " PATIENTS P JOIN LAB L ON P.PATIENTS_ID = L.PATIENTS_ID ", "", "UNION ALL",
                     "", "SELECT ", " P.NOM, cast(null as VARCHAR(20) )  RESULTAT,R.CLICHE", "FROM",
                     " PATIENTS P JOIN RAD R ON P.PATIENTS_ID = R.PATIENTS_ID ", "ORDER BY",
                     " NOM,RESULTAT"}));
    EXPECT_EQ(p.rows(*r), QStringList({"Arnaud|NULL|Thorax", "Arnaud|Hb 13|NULL",
                                       "Bernard|Hb 11|NULL", "Claude|NULL|Genou"}));
}

TEST_F(LocalCompiler, EmbeddedRequestsWithTheirOwnParameters)
{
    auto sub = p.request("Sub");
    addFrom(*sub, "VISITS", "V");
    addSelect(*sub, "", "PATIENTS_ID");
    addWhere(*sub, "V.MONTANT > :MIN")->ItemParams()[0].setAsInteger(25);
    addFrom(*r, "PATIENTS", "P");
    addSelect(*r, "", "NOM");
    TWhereItem* in = addWhere(*r, "P.PATIENTS_ID in (:EMB_DBREQ1)");
    const int handle = sub->EmbedHandle();
    in->ItemParams()[0].setAsInteger(handle);
    EXPECT_EQ(sub->EmbedHandle(), handle);
    EXPECT_EQ(p.access.FindRequest(handle), sub.get());
    EXPECT_EQ(p.access.FindRequest(0), nullptr);
    addWhere(*r, "P.PATIENTS_ID <> :MIN")->ItemParams()[0].setAsInteger(2);
    EXPECT_EQ(compiled(*r),
              QStringList({"SELECT ", " P.NOM", "FROM", " PATIENTS P", "WHERE",
                           " (P.PATIENTS_ID in (SELECT   V.PATIENTS_ID FROM  VISITS V WHERE  "
                           "(V.MONTANT > :MIN)))",
                           " AND (P.PATIENTS_ID <> :P1)"}));
    EXPECT_EQ(r->GetParams().names(), QStringList({"MIN", "P1"}));
    EXPECT_EQ(r->ParamByName("MIN").asInteger(), 25);
    EXPECT_EQ(p.rows(*r), QStringList({"Arnaud"}));

    // A fixed text has its names renamed on collision.
    auto fixed = p.request("Fixed");
    fixed->SetSQLText("select PATIENTS_ID from VISITS where MONTANT < :MIN");
    fixed->ParamByName("MIN").setAsInteger(26);
    auto r2 = p.request();
    addFrom(*r2, "PATIENTS", "P");
    addSelect(*r2, "", "NOM");
    addWhere(*r2, "P.PATIENTS_ID <> :MIN")->ItemParams()[0].setAsInteger(4);
    addWhere(*r2, "P.PATIENTS_ID in (:EMB_DBREQ1)")
        ->ItemParams()[0]
        .setAsInteger(fixed->EmbedHandle());
    EXPECT_EQ(compiled(*r2), QStringList({"SELECT ", " P.NOM", "FROM", " PATIENTS P", "WHERE",
                                          " (P.PATIENTS_ID <> :MIN)",
                                          " AND (P.PATIENTS_ID in (select PATIENTS_ID from VISITS "
                                          "where MONTANT < :P1))"}));
    EXPECT_EQ(p.rows(*r2), QStringList({"Arnaud"}));

    // A request that is gone (its handle is never given again), none at all, or the request
    // itself.
    const QString invalid = "error: Req: invalid DBRequest reference parameter 'EMB_DBREQ1'.";
    sub.reset();
    EXPECT_EQ(p.access.FindRequest(handle), nullptr);
    EXPECT_NE(p.request("Later")->EmbedHandle(), handle);
    EXPECT_EQ(compiled(*r), QStringList(invalid));
    in->ItemParams()[0].clear();
    EXPECT_EQ(compiled(*r), QStringList(invalid));
    in->ItemParams()[0].setAsInteger(r->EmbedHandle());
    EXPECT_EQ(compiled(*r), QStringList(invalid));
}

TEST(RequestCompiler, ExplicitJoins)
{
    const QList<QPair<int, QStringList>> cases = {
        {1,
         {"SELECT TOP 50", " P.NOM,V.MONTANT", "FROM",
          "PATIENTS P  LEFT OUTER JOIN VISITS V ON (V.PATIENTS_ID = P.PATIENTS_ID and V.MONTANT > "
          ":MIN)"}},
        {2,
         {"SELECT ", " P.NOM,V.MONTANT", "FROM", " PATIENTS P,", " VISITS V", "WHERE",
          "(V.PATIENTS_ID = P.PATIENTS_ID and V.MONTANT > :MIN)", " AND  ROWNUM <= 50"}},
    };
    for (int kind : {1, 2, 3}) {
        Practice p(kind);
        auto r = p.request();
        addFrom(*r, "PATIENTS", "P");
        TFromItem* v = addFrom(*r, "VISITS", "V", "P");
        v->SetJoinOperator("left outer join");
        v->SetJoinExpr("V.PATIENTS_ID = P.PATIENTS_ID and V.MONTANT > :MIN");
        v->JoinParams()[0].setAsInteger(26);
        addSelect(*r, "P", "NOM");
        addSelect(*r, "V", "MONTANT");
        const QStringList lines = compiled(*r);
        if (kind != 3) {
            EXPECT_EQ(lines, cases[kind - 1].second) << kind;
            continue;
        }
        v->SetJoinOperator("where");
        EXPECT_EQ(compiled(*r), QStringList({"SELECT ", " P.NOM,V.MONTANT", "FROM", " PATIENTS P,",
                                             " VISITS V", "WHERE",
                                             "(V.PATIENTS_ID = P.PATIENTS_ID and V.MONTANT > "
                                             ":MIN)"}));
        EXPECT_EQ(sorted(p.rows(*r)), QStringList({"Arnaud|30", "Bernard|45"}));
    }
}

TEST_F(LocalCompiler, SideBySideDistinctAndViewColumns)
{
    r->SetAutoJoin(false);
    r->SetDistinct(true);
    addFrom(*r, "PATIENTS", "P");
    addFrom(*r, "VISITS", "V", "P");
    addSelect(*r, "P", "NOM");
    addWhere(*r, "P.PATIENTS_ID = V.PATIENTS_ID");
    EXPECT_EQ(compiled(*r),
              QStringList({"SELECT DISTINCT ", " P.NOM", "FROM", " PATIENTS P,", " VISITS V",
                           "WHERE", " (P.PATIENTS_ID = V.PATIENTS_ID)"}));
    EXPECT_EQ(sorted(p.rows(*r)), QStringList({"Arnaud", "Bernard", "Denis"}));
    // Reading a view's columns fetches nothing.
    r->SetViewGeneration(true);
    EXPECT_EQ(compiled(*r), QStringList({"SELECT DISTINCT ", " P.NOM", "FROM", " PATIENTS P,",
                                         " VISITS V", "WHERE", "0 = 1"}));
    EXPECT_TRUE(p.rows(*r).isEmpty());
}

// Macros are expanded in the finished text; the handlers around the compile see it before.
TEST_F(LocalCompiler, MacrosExpandedLastAndEvents)
{
    addFrom(*r, "PATIENTS", "P");
    addSelect(*r, "P", "NOM");
    addSelect(*r, "", "%coalesce(P.MEDECINS_ID,0)", "MED")->SetIsExpr(true);
    addSelect(*r, "P", "CALC(TOTAL.MONEY)", "T");
    QStringList seen;
    int before = 0;
    r->OnBeforeCompile = [&before](TDBRequest&) { ++before; };
    r->OnAfterCompile = [&seen](TDBRequest& sender) { seen = sender.CompiledSQL(); };
    EXPECT_EQ(
        compiled(*r),
        QStringList({"SELECT ", " P.NOM,coalesce(P.MEDECINS_ID,0) MED,cast(null as money) TOTAL",
                     "FROM", " PATIENTS P"}));
    EXPECT_EQ(before, 1);
    EXPECT_TRUE(seen.join('\n').contains(" P.NOM,%coalesce(P.MEDECINS_ID,0) MED,"));
    EXPECT_EQ(sorted(p.rows(*r)),
              QStringList({"Arnaud|1|NULL", "Bernard|2|NULL", "Claude|0|NULL", "Denis|1|NULL"}));
}

TEST_F(LocalCompiler, FaultyDescriptionsAreRefused)
{
    TDBRequest lonely;
    lonely.setObjectName("Req");
    EXPECT_EQ(compiled(lonely), QStringList("error: Req cannot compile query: not assigned "
                                            "DBAccess."));
    EXPECT_EQ(kernelErrorOf([&] { lonely.EmbedHandle(); }),
              "Req cannot compile query: not assigned DBAccess.");
    EXPECT_EQ(compiled(*r), QStringList("error: Cannot compile Req: empty from section."));
    TFromItem* blank = addFrom(*r, " ", "B");
    EXPECT_EQ(compiled(*r), QStringList("error: Cannot compile Req: empty from section."));
    blank->SetEnabled(false);
    r->Select().Clear();
    addFrom(*r, "PATIENTS", "P");
    addFrom(*r, "MEDECINS", "p");
    addSelect(*r, "P", "NOM")->SetEnabled(false);
    addSelect(*r, "P", "PATIENTS_ID")->SetEnabled(false);
    EXPECT_EQ(compiled(*r), QStringList("error: Req: duplicate alias name 'p'."));
    r->From()[2]->SetAlias("M");
    EXPECT_EQ(compiled(*r), QStringList("error: Cannot compile Req: empty select section."));
}
