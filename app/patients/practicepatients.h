// The practice database's patients as identification and direct send use them: the kernel's two
// patient caches over the table PATIENTS and its identifier reservation. The practice-database
// connection registers an implementation once it is connected; while there is none, the
// workstation works with its local patient tables only.
#pragma once

#include <platform/variant.h>

#include <QString>

class DataSet;

// One patient cache of the kernel (a TDBCache over PATIENTS, 500 records a packet).
class PatientCache
{
public:
    virtual ~PatientCache();

    // The cache as a dataset: its rows are what the last load brought, with the fields NOM,
    // PRENOM, NE_LE, N_OMON and PATIENTS_ID; rows are edited, appended and posted through it.
    virtual DataSet& dataSet() = 0;
    // Loads the rows of `table` whose key (fields separated by ";") lies between the two value
    // lists, both ends included, in key order. `text` is the optional text argument of the load.
    virtual void LoadRange(const QString& table, const QString& key, const VariantList& low,
                           const VariantList& high, const QString& text = QString()) = 0;
    // Loads the row of `table` whose key field equals `value` (no row when there is none).
    virtual void LoadKey(const QString& table, const QString& key, const Variant& value) = 0;

protected:
    PatientCache() = default;
    PatientCache(const PatientCache&) = default;
    PatientCache& operator=(const PatientCache&) = default;
};

class PracticePatients
{
public:
    virtual ~PracticePatients();

    // The cache the identification dialog lists and edits.
    virtual PatientCache& IdPatients_Global() = 0;
    // The cache that names patients in lists and descriptors.
    virtual PatientCache& Patients_Global() = 0;
    // Reserves `count` new identifiers of `field` in `table` and returns the first.
    virtual int GetID(const QString& table, const QString& field, int count) = 0;

protected:
    PracticePatients() = default;
    PracticePatients(const PracticePatients&) = default;
    PracticePatients& operator=(const PracticePatients&) = default;
};

// The registered implementation (not owned); nullptr clears it.
void SetPracticePatients(PracticePatients* patients);
// The registered implementation. Raises Exception when none is registered: the practice database
// is in use only once its connection has registered one.
PracticePatients& PracticePatientsInUse();
