// The drivers' host query: the three requests on the practice database, the orders table that is
// left of them, the warm-up at binding time and the short names of the patient and the doctor.
#include "hostquery.h"

#include <analysers/drvmain.h>
#include <analysers/workstation.h>
#include <kernel/dbaccess.h>
#include <kernel/krnproc.h>
#include <kernel/request.h>
#include <platform/codepage.h>

namespace {

// The case of one character by the program's code page, or by windows-1251 when the code page
// does not hold it (a Cyrillic name in a Western program).
QString caseOf(QChar c, bool upper)
{
    const codepage::CodePage cp = codepage::canEncode(QString(c), codepage::current())
                                      ? codepage::current()
                                      : codepage::Cp1251;
    return upper ? codepage::upper(QString(c), cp) : codepage::lower(QString(c), cp);
}

QString upperCased(const QString& text)
{
    QString out;
    for (const QChar c : text)
        out += caseOf(c, true);
    return out;
}

// The first character upper-cased, the rest lower-cased.
QString capitalised(const QString& text)
{
    if (text.isEmpty())
        return text;
    QString out = caseOf(text.front(), true);
    for (const QChar c : QStringView(text).sliced(1))
        out += caseOf(c, false);
    return out;
}

THostQuery& hostQueryOf(TDriver& driver)
{
    if (!driver.HostQuery)
        driver.HostQuery = std::make_shared<THostQuery>();
    return *driver.HostQuery;
}

// Runs one query into the cache (made when missing, closed when open) through a request of its
// own, which is freed in every case: the cache keeps the rows.
void load(std::unique_ptr<TDBCache>& cache, const QStringList& lines, TDBAccess* access,
          const std::function<void(TDBRequest&)>& setParams)
{
    if (!cache)
        cache = std::make_unique<TDBCache>();
    else if (cache->Active())
        cache->Close();
    const auto request = std::make_unique<TDBRequest>();
    request->SetDBAccess(access);
    cache->SetRequest(request.get());
    request->SetSQL(lines);
    setParams(*request);
    cache->Open();
}

QString text(const DataSet& data, const char* field)
{
    return data.fieldByName(QLatin1String(field))->asString();
}

[[noreturn]] void notConnected(const QString& what)
{
    DBKernelError(
        QStringLiteral("The practice database is not connected: %1 cannot be read").arg(what));
}

} // namespace

THostQuery::THostQuery() = default;
THostQuery::~THostQuery() = default;

const QStringList& PatientQueryLines()
{
    static const QStringList lines{
        QStringLiteral("select"),
        QStringLiteral("  PATDIREC.PATDIREC_ID, PATDIREC.PATIENTS_ID, MEDECINS_CREATOR_ID,"),
        QStringLiteral("  PATIENTS.N_OMON, PATIENTS.NOM, PATIENTS.PRENOM, PATIENTS.PATRONYME, "
                       "PATIENTS.NE_LE, PATIENTS.POL,"),
        QStringLiteral("  MEDECINS.NOM MEDNOM, MEDECINS.PRENOM MEDPRENOM"),
        QStringLiteral("from"),
        QStringLiteral("  PATDIREC"),
        QStringLiteral("  left outer join PATIENTS on PATIENTS.PATIENTS_ID = PATDIREC.PATIENTS_ID"),
        QStringLiteral("  left outer join MEDECINS on MEDECINS.MEDECINS_ID = "
                       "PATDIREC.MEDECINS_CREATOR_ID"),
        QStringLiteral("where"),
        QStringLiteral("  BIO_CODE = :Bio_Code"),
    };
    return lines;
}

const QStringList& OrderedTestsQueryLines()
{
    static const QStringList lines{
        QStringLiteral("select"),
        QStringLiteral("  LAB_TESTS.TEST_INDEX, LAB_TESTS.CODE"),
        QStringLiteral("from"),
        QStringLiteral("  PATDIREC"),
        QStringLiteral("  join DIR_SERV on PATDIREC.PATDIREC_ID = DIR_SERV.PATDIREC_ID"),
        QStringLiteral("  left outer join LAB_TESTSERV on DIR_SERV.FM_SERV_ID    = "
                       "LAB_TESTSERV.FM_SERV_ID"),
        QStringLiteral("  left outer join LAB_TESTS    on LAB_TESTS.LAB_TESTS_ID = "
                       "LAB_TESTSERV.LAB_TESTS_ID"),
        QStringLiteral("where"),
        QStringLiteral("  PATDIREC.BIO_CODE = :Bio_Code and"),
        QStringLiteral("  LAB_TESTS.LAB_DEV_ID = :DevCode"),
        QStringLiteral("group by"),
        QStringLiteral("  LAB_TESTS.TEST_INDEX, LAB_TESTS.CODE"),
    };
    return lines;
}

const QStringList& ImportedTestsQueryLines()
{
    static const QStringList lines{
        QStringLiteral("select"),
        QStringLiteral("  DS_TESTS.NUM, DS_TESTS.CODE"),
        QStringLiteral("from"),
        QStringLiteral("  IMPDATA"),
        QStringLiteral("  join DS_RESTESTS on DS_RESTESTS.IMPDATA_ID = IMPDATA.IMPDATA_ID"),
        QStringLiteral("  join DS_TESTS on DS_TESTS.DS_TESTS_ID = DS_RESTESTS.DS_TESTS_ID"),
        QStringLiteral("where"),
        QStringLiteral("  ( IMPDATA.KEYCODE = :BioCode ) and"),
        QStringLiteral("  DS_RESTESTS.STATE = 0"),
        QStringLiteral("group by"),
        QStringLiteral("  DS_TESTS.NUM, DS_TESTS.CODE"),
    };
    return lines;
}

QString PatientShortName(const QString& Nom, const QString& Prenom, const QString& Patronyme)
{
    QString name = capitalised(Nom);
    if (!Prenom.isEmpty()) {
        if (name.isEmpty())
            name = caseOf(Prenom.front(), true);
        else
            name += QLatin1Char(' ') + caseOf(Prenom.front(), true) + QLatin1Char('.');
    }
    if (!Patronyme.isEmpty())
        name += caseOf(Patronyme.front(), true) + QLatin1Char('.');
    return name;
}

QString DoctorShortName(const QString& MedNom, const QString& MedPrenom)
{
    QString name = capitalised(MedNom.trimmed());
    const QString prenom = MedPrenom.trimmed();
    if (prenom.isEmpty())
        return name;
    if (!name.isEmpty())
        name += QLatin1Char(' ');
    name += caseOf(prenom.front(), true) + QLatin1Char('.');
    for (qsizetype i = 1; i < prenom.size(); ++i) {
        if (prenom.at(i) != QLatin1Char(' ') && prenom.at(i - 1) == QLatin1Char(' '))
            name += upperCased(prenom.at(i)) + QLatin1Char('.');
    }
    return name;
}

// ---------------------------------------------------------------------------------------------
// TDriver's host query

void TDriver::QueryHost(const QString& SampleCode)
{
    THostQuery& q = hostQueryOf(*this);
    TDBAccess* access = Workstation().DBAccess();
    if (!access)
        notConnected(QStringLiteral("the orders of sample \"%1\"").arg(SampleCode));

    load(q.PatientCache, PatientQueryLines(), access,
         [&](TDBRequest& r) { r.ParamByName(QStringLiteral("Bio_Code")).setAsString(SampleCode); });
    load(q.OrderedTests, OrderedTestsQueryLines(), access, [&](TDBRequest& r) {
        r.ParamByName(QStringLiteral("Bio_Code")).setAsString(SampleCode);
        r.ParamByName(QStringLiteral("DevCode")).setAsInteger(DevCode);
    });
    load(q.ImportedTests, ImportedTestsQueryLines(), access,
         [&](TDBRequest& r) { r.ParamByName(QStringLiteral("BioCode")).setAsString(SampleCode); });

    if (!q.Orders) {
        q.Orders = std::make_unique<MemDataSet>();
        q.Orders->setObjectName(QStringLiteral("Orders"));
        q.Orders->fieldDefs().add(FieldDef{QStringLiteral("NUM"), FieldType::Integer, 0, true});
        q.Orders->fieldDefs().add(
            FieldDef{QStringLiteral("CODE"), FieldType::String, 50, true, true});
        q.Orders->indexDefs().add(QStringLiteral("idxNUM"), QStringLiteral("NUM"),
                                  IndexDef::Primary);
        q.Orders->indexDefs().add(QStringLiteral("idxCODE"), QStringLiteral("CODE"));
        q.Orders->createDataSet();
    } else {
        q.Orders->setIndexName(QString());
        q.Orders->emptyDataSet();
    }

    TDBCache& imported = *q.ImportedTests;
    imported.SetIndexFieldNames(QStringLiteral("NUM"));
    TDBCache& ordered = *q.OrderedTests;
    for (ordered.first(); !ordered.eof(); ordered.next()) {
        const Field* number = ordered.FieldByName(QStringLiteral("TEST_INDEX"));
        if (number->isNull())
            continue; // a test without a number cannot be asked of the analyser
        if (imported.FindKey({number->asInteger()}))
            continue;
        q.Orders->appendRecord({number->asInteger(), text(ordered, "CODE")});
    }
    q.Orders->setIndexName(QStringLiteral("idxNUM"));
    q.Orders->first();
}

void TDriver::OpenHostQuery()
{
    TDBRequest* request = Workstation().DBRequestCommon();
    if (!request)
        notConnected(QStringLiteral("the requests"));
    TDBCache cache;
    cache.SetRequest(request);
    cache.LoadRange(QStringLiteral("PATDIREC"), QStringLiteral("PATDIREC_ID"), {0}, {500},
                    QStringLiteral("PATDIREC_ID,PATIENTS_ID,MEDECINS_CREATOR_ID"));
}

void TDriver::GetPatientName(QString& Name) const
{
    const TDBCache* patient = HostQuery ? HostQuery->PatientCache.get() : nullptr;
    if (!patient || !patient->Active() || patient->isEmpty()) {
        Name.clear();
        return;
    }
    Name = PatientShortName(text(*patient, "NOM"), text(*patient, "PRENOM"),
                            text(*patient, "PATRONYME"));
}

void TDriver::GetDoctorName(QString& Name) const
{
    const TDBCache* patient = HostQuery ? HostQuery->PatientCache.get() : nullptr;
    if (!patient || !patient->Active() || patient->isEmpty()) {
        Name.clear();
        return;
    }
    Name = DoctorShortName(text(*patient, "MEDNOM"), text(*patient, "MEDPRENOM"));
}
