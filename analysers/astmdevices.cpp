// The tests and device fields of the ASTM analysers, and the Elecsys host poll.
#include "astmdevices.h"

#include <platform/exception.h>

#include <QStringList>

namespace {

struct NumberedTest
{
    int num;
    const char* code;
};

// In table order; 460 and 470 stand twice.
constexpr NumberedTest ElecsysTests[] = {
    {10, "tsh"},       {20, "T4"},        {30, "FT4"},       {40, "T-UP"},      {50, "T3"},
    {61, "FT3"},       {70, "CPEPTID"},   {101, "E2"},       {112, "TESTO"},    {121, "PROG"},
    {130, "PRL"},      {140, "LH"},       {150, "FSH"},      {160, "CORT"},     {171, "HCGSTAT"},
    {180, "HCG"},      {200, "TNTSTAT"},  {210, "CKMBSTAT"}, {220, "TN-T"},     {230, "CK-MB"},
    {300, "MYO"},      {310, "MYO-STAT"}, {320, "CEA"},      {332, "AFP"},      {341, "PSA"},
    {350, "CA 15-3"},  {360, "CA 125"},   {370, "CA 19-9"},  {380, "CA 72-4"},  {390, "CYFRA"},
    {400, "FERR"},     {410, "FPSA"},     {420, "HBSAG"},    {430, "A-HBS"},    {440, "A-HCV"},
    {450, "A-HBE"},    {460, "HBEAG"},    {470, "A-HBC"},    {460, "A-HBCIGM"}, {470, "A-HAV"},
    {480, "A-HAVIGM"}, {490, "A-HIV"},    {500, "HIVAG"},    {510, "APS4"},     {520, "A-TOXIGG"},
    {530, "A-TOXIGM"}, {540, "A-RUBIGG"}, {550, "A-RUBIGM"}, {560, "HIVCOM"},   {570, "A-HGVENV"},
    {580, "A-HELICO"}, {600, "B12"},      {610, "FOL"},      {620, "DIG"},      {630, "IGE"},
    {640, "HBA1C"},    {650, "INSULIN"},  {660, "OSTEOC"},   {670, "CROSSL"},   {680, "PTH"},
    {690, "CYCLO-A"},  {700, "TG"},       {710, "A-TG"},     {720, "A-TPO"},    {730, "A-TSHR"},
    {740, "DHEA-S"},   {750, "SHBG"},     {760, "HCG-BETA"}, {770, "NSE"},
};
static_assert(std::size(ElecsysTests) == 69, "69 Elecsys tests");

constexpr NumberedTest AccessTests[] = {
    {2, "AFP"},       {3, "AgHBs"},   {6, "CEA"},       {10, "CMV-IgG"}, {11, "CMV-IgM"},
    {12, "Cortisol"}, {16, "ESTRDL"}, {17, "Ferritin"}, {18, "Folate"},  {19, "FreePSA"},
    {20, "FreeT3"},   {22, "FT4"},    {25, "HAV-IgM"},
};
static_assert(std::size(AccessTests) == 13, "13 Access tests");

// In table order. The C and H of "СOНb" are Cyrillic letters.
const char* const PhoxTests[] = {
    "Na+",     "Na+_SM",   "Na+_M1",  "Na+_M2",  "Na+_M4", "Na+_SL",  "Na+_V2",  "Hct",
    "Hct_SM",  "Hct_M1",   "Hct_M2",  "Hct_M4",  "Hct_SL", "pH",      "pH_SM",   "pHTC",
    "pH_M1",   "pH_M2",    "pH_M3",   "pH_M4",   "pH_SL",  "pH_Dl",   "pH_D2",   "pH_Vl",
    "pH_V2",   "PO2",      "PO2TC",   "PO2_SM",  "PO2_M1", "PO2_M2",  "PO2_M3",  "PO2_SL",
    "PO2_D1",  "PO2_V1",   "PCO2",    "PCO2_SM", "PCO2TC", "PCO2_M1", "PCO2_M2", "PCO2_SL",
    "PCO2_D1", "PCO2_D2",  "PCO2_V1", "PCO2_V2", "SO2%",   "S1_SL",   "S2_SL",   "S1_SM",
    "S2_SM",   "S1_M1",    "S1_M2",   "S1_M3",   "S1_M4",  "S2_M1",   "S2_M2",   "S2_M3",
    "S2_M4",   "FIO2",     "BP",      "TempM",   "TempP",  "Hb",      "Hb_SL",   "BE-ecf",
    "BE-b",    "SBC",      "HCO3-",   "TCO2",    "O2Ct",   "A",       "a/A",     "AaDO2",
    "P50",     "O2CAP",    "RI",      "THb",     "O2Hb",   "СOНb",    "MetHb",   "HHb",
    "FO2Hb",   "PO2/FIO2", "CcO2",    "CvO2",    "CaO2",   "AvDO2",   "Qsp/Qt",  "MTHB",
    "TTHB",    "DTHB",
};
static_assert(std::size(PhoxTests) == 90, "90 pHOx tests");

const char* const ActTests[] = {"WBC", "RBC", "HGB", "HCT", "MCV", "MCH", "MCHC", "PLT",
                                "LY%", "LY#", "MO%", "GR%", "MO#", "GR#", "RDW",  "MPV"};
static_assert(std::size(ActTests) == 16, "16 ACT 10 tests");

const char* const ImmuliteTests[] = {"TSH", "LH",  "FSH", "DIG", "T4",  "hCG",
                                     "TU",  "RTH", "TT3", "FER", "PSA", "PAP"};
static_assert(std::size(ImmuliteTests) == 12, "12 Immulite tests");

template <size_t N> void numbered(const NumberedTest (&table)[N], int index, TTestInfo& info)
{
    if (index < 0 || size_t(index) >= N)
        throw Exception(QStringLiteral("ASTM: no test %1").arg(index));
    info = TTestInfo{table[index].num, QString::fromUtf8(table[index].code), {}, {}};
}

template <size_t N> void coded(const char* const (&table)[N], int index, TTestInfo& info)
{
    if (index < 0 || size_t(index) >= N)
        throw Exception(QStringLiteral("ASTM: no test %1").arg(index));
    info = TTestInfo{0, QString::fromUtf8(table[index]), {}, {}};
}

// The unit of a pHOx entry: millivolts for the electrode readings, "None" for slopes, drifts and
// calibration values, the clinical unit where it is known.
QString phoxUnit(const QString& code)
{
    for (const char* suffix : {"_SM", "_M1", "_M2", "_M3", "_M4"})
        if (code.endsWith(QLatin1String(suffix)))
            return QStringLiteral("mV");
    for (const char* suffix : {"_SL", "_D1", "_D2", "_Dl", "_V1", "_V2", "_Vl"})
        if (code.endsWith(QLatin1String(suffix)))
            return QStringLiteral("None");
    if (code == QLatin1String("Na+"))
        return QStringLiteral("mmol/L");
    if (code == QLatin1String("PO2") || code == QLatin1String("PCO2"))
        return QStringLiteral("mmHg, kPa");
    return {};
}

} // namespace

// ---- Elecsys

int TElecsys::GetTestCount() const
{
    return int(std::size(ElecsysTests));
}

void TElecsys::GetTestInfo(int Index, TTestInfo& Info) const
{
    numbered(ElecsysTests, Index, Info);
}

int TElecsys::GetDeviceFieldCount() const
{
    return 1;
}

void TElecsys::GetDeviceFieldInfo(int Index, TFldInfo& Info) const
{
    if (Index != 0)
        throw Exception(QStringLiteral("ASTM: no device field %1").arg(Index));
    Info =
        TFldInfo{1484, scTestNumber, 3, QStringLiteral("Manufacturer defined test code"), 4, 0, {}};
}

int TElecsys::GetMode()
{
    return 0;
}

bool TElecsys::StartPolling()
{
    if (State != 0)
        return false;
    auto poll = std::make_unique<TElecsysMessage>(this);
    const struct
    {
        char type;
        const char* text;
    } records[] = {{'H', "|\\^&|||ASTM-Host"}, {'M', "|1|TCQ^BM^E1^1||||||||||||"}, {'L', "|1|N"}};
    for (const auto& r : records) {
        auto record = std::make_unique<TASTMRecord>();
        record->RecType = r.type;
        record->Text = r.text;
        poll->Records.push_back(std::move(record));
    }
    SendMessage(std::move(poll));
    return true;
}

// ---- pHOx

int TpHOx::GetTestCount() const
{
    return int(std::size(PhoxTests));
}

void TpHOx::GetTestInfo(int Index, TTestInfo& Info) const
{
    coded(PhoxTests, Index, Info);
    Info.NUM = 0;
    Info.UNIT_ = phoxUnit(Info.CODE);
    if (Info.CODE == QLatin1String("Na+"))
        Info.NAME = QStringLiteral("Sodium Concentration");
}

void TpHOx::FillTests()
{
    MemDataSet& tests = *Tests();
    for (int i = 0; i < GetTestCount(); ++i) {
        TTestInfo info;
        GetTestInfo(i, info);
        const int id = tests.recordCount() + 1;
        tests.append();
        tests.fieldByName(QStringLiteral("ID"))->setAsInteger(id);
        tests.fieldByName(QStringLiteral("CODE"))->setAsString(info.CODE);
        tests.fieldByName(QStringLiteral("UNIT_"))->setAsString(info.UNIT_);
        tests.fieldByName(QStringLiteral("NAME"))->setAsString(info.NAME);
        tests.fieldByName(QStringLiteral("INST"))->setAsBoolean(true);
        tests.post();
    }
}

// ---- ACT 10

int TACT10Driver::GetTestCount() const
{
    return int(std::size(ActTests));
}

void TACT10Driver::GetTestInfo(int Index, TTestInfo& Info) const
{
    coded(ActTests, Index, Info);
}

int TACT10Driver::GetDeviceFieldCount() const
{
    return 1;
}

void TACT10Driver::GetDeviceFieldInfo(int Index, TFldInfo& Info) const
{
    if (Index != 0 || !FindFieldInfo(135, Info))
        throw Exception(QStringLiteral("ASTM: no device field %1").arg(Index));
    Info.FLDCONT.clear();
}

// ---- Immulite

int TImmuliteDriver::GetTestCount() const
{
    return int(std::size(ImmuliteTests));
}

void TImmuliteDriver::GetTestInfo(int Index, TTestInfo& Info) const
{
    coded(ImmuliteTests, Index, Info);
}

// ---- Access

int TAccessDriver::GetTestCount() const
{
    return int(std::size(AccessTests));
}

void TAccessDriver::GetTestInfo(int Index, TTestInfo& Info) const
{
    numbered(AccessTests, Index, Info);
}
