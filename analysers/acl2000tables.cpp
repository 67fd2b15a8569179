// The ACL 2000's message layout, code table and test list. The tables are the analyser's as its
// maker documents them, oddities included: "31" twice in the sample identifiers, the empty last
// item of two format selectors, and a second unit for test "03" that the first always hides.
#include "acl2000util.h"

namespace {

TMsgFldInfo row(const char* selector, const char* name, const char* refField, qint32 kind,
                qint32 offset, qint32 length)
{
    return TMsgFldInfo{selector, {}, 0, name, refField, kind, offset, length};
}

struct CodeGroup
{
    qint32 kind;
    const char* field;
    std::initializer_list<std::pair<const char*, const char*>> codes;
};

} // namespace

const std::vector<TMsgFldInfo>& ACL2000MsgFields()
{
    static const std::vector<TMsgFldInfo> rows{
        row("first", "Message begin separator", "", 0, 0, 1),
        row("", "SC", "", 1, 1, 4),
        row("", "Device ID", "", 1, 5, 2),
        row("", "Header length", "", 1, 11, 4),
        row("", "Header length", "", 5, 11, 4),
        row("", "CRLF", "", 0, 15, 2),
        row("0034", "TestId", "", 2, 17, 2),
        row("", "Msg count", "", 1, 19, 2),
        row("", "Format", "", 5, 17, 2),
        row("", "Date", "", 1, 22, 14),
        row("", "Time", "", 1, 36, 9),
        row("", "Warnings", "", 14, 45, 1),
        row("", "Warnings", "", 15, 46, 1),
        row("", "ISINumber", "", 1, 47, 5),
        row("", "Transmission type", "", 13, 52, 1),
        row("", "Test type", "", 7, 53, 1),
        row("", "Sensor", "", 12, 54, 1),
        row("", "Bath number", "", 1, 55, 12),
        row("", "CRLF", "", 0, 67, 2),
        row("001C", "Id", "", 1, 41, 2),
        row("", "Id", "", 5, 41, 2),
        row("", "Error", "", 16, 17, 1),
        row("21;22;23;24;25;26;27;28;29;30;31;31;32;33;34;35;36;37;38", "Sample Id", "", 1, 17, 12),
        row("01;02;03;04;05;06;07;08;09;10;11;12;13;14;15;16;17;18", "Data", "", 1, 17, 19),
        row("", "Units1", "TestId", 17, 0, 0),
        row("", "Units2", "TestId", 18, 0, 0),
        row("", "Units3", "TestId", 19, 0, 0),
        row("", "Units4", "TestId", 20, 0, 0),
        row("", "DataLk", "TestId", 5, 0, 0),
        row("03", "Result1", "", 1, 17, 4),
        row("", "Result2", "", 1, 21, 3),
        row("", "Result3", "", 1, 24, 4),
        row("", "Result4", "", 1, 28, 4),
        row("09;06", "Result1", "", 1, 17, 4),
        row("", "Result2", "", 1, 21, 4),
        row("0F;15", "Result1", "", 1, 17, 5),
        row("", "Result2", "", 1, 22, 4),
        row("21;24", "Result1", "", 1, 17, 6),
        row("", "Result2", "", 1, 28, 4),
        row("30;36;39", "Result1", "", 1, 17, 5),
        row("", "Result2", "", 1, 22, 5),
        row("33", "Result1", "", 1, 17, 6),
        row("", "Result2", "", 1, 23, 5),
        row("45;4E;51", "Result1", "", 1, 17, 7),
        row("", "Result2", "", 1, 24, 4),
        row("", "Result3", "", 1, 28, 4),
        row("", "CRLF", "", 0, 43, 2),
        row("03;1B;27;63", "Format", "", 8, 21, 1),
        row("21;24;", "Format", "", 9, 21, 1),
        row("33", "Format", "", 10, 21, 1),
        row("45;4E;", "Format", "", 11, 21, 1),
    };
    return rows;
}

const std::vector<TRepFldInfo>& ACL2000RepFields()
{
    static const std::vector<TRepFldInfo> rows = [] {
        const CodeGroup groups[] = {
            {17,
             "Units1",
             {{"03", "s"},
              {"06", "s"},
              {"09", "s"},
              {"0F", "%"},
              {"15", "%"},
              {"21", "%"},
              {"24", "%"},
              {"30", "%"},
              {"36", "%"},
              {"39", "%"},
              {"33", "U/ml"},
              {"45", "%"},
              {"4E", "%"},
              {"51", "%"}}},
            {18,
             "Units2",
             {{"03", "%"},
              {"06", "R"},
              {"09", "R"},
              {"0F", "s"},
              {"15", "s"},
              {"21", "s"},
              {"24", "s"},
              {"30", "delta"},
              {"36", "delta"},
              {"39", "delta"},
              {"33", "delta OD"},
              {"45", "R-INR"},
              {"4E", "R-INR"},
              {"51", "R"}}},
            {19, "Units3", {{"03", "R-INR"}, {"45", "s"}, {"4E", "s"}, {"51", "s"}}},
            {20, "Units4", {{"03", "mg/dl"}, {"03", "g/l"}}},
            {16,
             "Error",
             {{"A", "coag. error"},
              {"N", "not coag."},
              {"E", "calc. error"},
              {"F", "-0-"},
              {"S", "no sample"}}},
            {8,
             "Format",
             {{"0", "mg/dl INR off"},
              {"4", "g/l INR off"},
              {"8", "mg/dl INR on"},
              {"C", "g/l INR on"}}},
            {9,
             "Format",
             {{"0", "II EXTRINSIC high curve"},
              {"1", "V"},
              {"2", "X"},
              {"3", "VII"},
              {"4", "VIII INTRINSIC high curve"},
              {"5", "IX"},
              {"6", "XI"},
              {"7", "XII"},
              {"8", "II EXTRINSIC low curve"},
              {"9", "V"},
              {"A", "X"},
              {"B", "VII"},
              {"C", "VIII INTRINSIC low curve"},
              {"D", "IX"},
              {"E", "XI"},
              {"F", "XII"}}},
            {10, "Format", {{"0", "high curve"}, {"8", "low curve"}}},
            {11, "Format", {{"0", "INR off"}, {"8", "INR on"}}},
            {7,
             "TestType",
             {{"0", "PT-FIB, APTT, TT in standard, PATHWAY"},
              {"1", "PT-FIB, APTT, TT in extended"},
              {"2", "DOUBLE: PT-FIB, APTT, TT, PT-FIB/APTT in standart"},
              {"3", "DOUBLE: PT-FIB, APTT, TT, PT-FIB/APTT in extendet"},
              {"4", "PT-FIB/APTT, TT/APTT in standard"},
              {"6", "DOUBLE: PT-FIB/APTT, TT/APTT in standard"},
              {"8", "SINGLE, ABS., SPECIAL with on-plate calculation"}}},
            {12,
             "Status",
             {{"0", "Fluidic sensor ok, reagents present"},
              {"1", "Fluidic sensor off"},
              {"6", "Electronic fail"},
              {"7", "Flush out of range"},
              {"8", "Air out of range"},
              {"9", "Leakage between sensors"},
              {"B", "No reagent 1"},
              {"C", "No reagent 2"},
              {"D", "No reagent 3"},
              {"E", "No reagents"}}},
            {13,
             "Transmission",
             {{"0", "Transmission of analytical results"}, {"1", "Transmission of raw data"}}},
            {14,
             "Warning",
             {{"0", "Magnetic stirrer ok and fluidic sensor ok"},
              {"1", "Magnetic stirrer fail"},
              {"2", "No reagent 18"},
              {"3", "Magnetic stirrer fail. and no reagent 18"},
              {"8", "Fluidic sensor fail"},
              {"9", "Magnetic stirrer and fluidic sensor fail"},
              {"A", "No reagent 18 and fluidic sensor fail"},
              {"B", "Magnetic stirrer fail., no reagent 18 and fluidic sensor fail."}}},
            {15,
             "Warning",
             {{"0", "Reagent temp. ok, preheater temp. ok cover closed during run, rotor temp. ok"},
              {"1", "Reagent temp. out of range"},
              {"2", "Preheater temp. out of range"},
              {"3", "Reagent and preheater temp. out of range"},
              {"4", "Cover open during run"},
              {"5", "Reagent temp. out of range, cover open during run"},
              {"6", "Preheater temp. out of range, cover open during run"},
              {"7", "Reagent and preheater temp. out of range, cover open during run"},
              {"8", "Rotor temp. out of range"},
              {"9", "Reagent and rotor temp. out of range"},
              {"A", "Preheater and rotor temp. out of range"},
              {"B", "Reagent, preheater and rotor temp. out of range"},
              {"C", "Rotor temp. out of range, cover open during run"},
              {"D", "Reagent and rotor temp. out of range, cover open during run"},
              {"E", "Preheater and rotor temp. out of range, cover open during run"},
              {"F", "Reagent preheater and rotor temp. out of range, cover open during run"}}},
        };
        std::vector<TRepFldInfo> all;
        for (const CodeGroup& group : groups)
            for (const auto& [code, text] : group.codes)
                all.push_back(TRepFldInfo{group.kind, code, text, group.field});
        return all;
    }();
    return rows;
}

const std::vector<TTestInfo>& ACL2000Tests()
{
    static const std::vector<TTestInfo> tests = [] {
        const std::pair<const char*, const char*> list[] = {
            {"00", "delete BATCH NO."},
            {"01", "undefined test (for internal use)"},
            {"02", "delete SAMPLE ID"},
            {"03", "PT-FIB"},
            {"06", "APTT"},
            {"09", "TT"},
            {"0F", "EXTRINSIC PATHWAY"},
            {"15", "INTRINSIC PATHWAY"},
            {"1B", "PT-FIB/APTT"},
            {"1E", "TT/APTT"},
            {"21", "SINGLE FACTOR - EXTRINSIC"},
            {"24", "SINGLE FACTOR - INTRINSIC"},
            {"27", "DOUBLE PT-FIB"},
            {"2A", "DOUBLE APTT"},
            {"2D", "DOUBLE TT"},
            {"30", "ABS.: ANTITHROMBIN III"},
            {"31", "FREE ABS. 1"},
            {"32", "FREE ABS. 2"},
            {"33", "ABS.: HEPARIN"},
            {"34", "FREE ABS. 3"},
            {"35", "FREE ABS. 4"},
            {"36", "ABS.: ANTIPLASMIN"},
            {"39", "ABS.: PLASMINOGEN"},
            {"45", "SPECIAL: PROCOMPLEX"},
            {"4E", "SPECIAL: HEPATOCOMPLEX"},
            {"51", "SPECIAL: PROCLOT"},
            {"63", "DOUBLE PT-FIB/APTT"},
            {"6C", "FREE SPECIAL 1"},
            {"6D", "FREE SPECIAL 2"},
            {"6E", "FREE SPECIAL 3"},
        };
        std::vector<TTestInfo> all;
        for (const auto& [code, name] : list)
            all.push_back(
                TTestInfo{0, QString::fromLatin1(code), QString(), QString::fromLatin1(name)});
        return all;
    }();
    return tests;
}
