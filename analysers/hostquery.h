// The host query of the analyser drivers: for a sample code, the request and patient row, the
// tests ordered for the device and the tests already imported, read from the practice database
// through the kernel, and the tests still to run left in an orders table; and the short patient
// and doctor names the analysers print. The operations are TDriver's (QueryHost, OpenHostQuery,
// GetPatientName, GetDoctorName); the state they keep is a driver's THostQuery.
#pragma once

#include <kernel/dbcache.h>
#include <platform/data/memdataset.h>

#include <QString>
#include <QStringList>

#include <memory>

// What the host query of one driver keeps between queries. Each query reloads all of it; nothing
// exists before the first.
class THostQuery
{
public:
    THostQuery();
    ~THostQuery();
    THostQuery(const THostQuery&) = delete;
    THostQuery& operator=(const THostQuery&) = delete;

    // The request row of the sample with its patient and prescribing doctor: PATDIREC_ID,
    // PATIENTS_ID, MEDECINS_CREATOR_ID, N_OMON, NOM, PRENOM, PATRONYME, NE_LE, POL, MEDNOM,
    // MEDPRENOM. Empty when no request carries the sample code.
    std::unique_ptr<TDBCache> PatientCache;
    // The laboratory tests ordered for the sample on the driver's device: TEST_INDEX, CODE.
    std::unique_ptr<TDBCache> OrderedTests;
    // The tests with an imported result of state 0 for the sample code: NUM, CODE; indexed by
    // NUM after each query.
    std::unique_ptr<TDBCache> ImportedTests;
    // The ordered tests not imported yet: "NUM" (integer, index "idxNUM", primary), "CODE"
    // (50 characters, index "idxCODE"); in "NUM" order, on its first row after each query.
    std::unique_ptr<MemDataSet> Orders;
};

// The three queries as the request's SQL lines: the patient row (parameter "Bio_Code"), the
// ordered tests ("Bio_Code", "DevCode") and the imported tests ("BioCode").
const QStringList& PatientQueryLines();
const QStringList& OrderedTestsQueryLines();
const QStringList& ImportedTestsQueryLines();

// The short names of the host query, with upper and lower case of the program's code page (of
// windows-1251 for letters the code page does not hold, so Cyrillic names are cased everywhere):
// the surname capitalised, then the initial of the first name after a blank and followed by ".",
// then the initial of the patronymic followed by "." ("ABCDEF", "ghi", "jkl" give
// "Abcdef G.J."). A first name without a surname gives its initial alone, without ".".
QString PatientShortName(const QString& Nom, const QString& Prenom, const QString& Patronyme);
// The doctor's surname, trimmed and capitalised, then the initials of the words of the trimmed
// first names, each followed by "." (" XYZ ", "uv wx" give "Xyz U.W."). An empty surname or first
// name adds nothing: no blank, no lone ".".
QString DoctorShortName(const QString& MedNom, const QString& MedPrenom);
