// A stand-in for the kernel's patient caches, for tests of the practice-database mode.
#pragma once

#include <app/patients/practicepatients.h>
#include <platform/data/memdataset.h>
#include <platform/support/globals.h>

#include <QStringList>

// A stand-in for the kernel's patient caches: every load shows all rows and is recorded.
class FakeCache : public PatientCache
{
public:
    FakeCache()
    {
        data.fieldDefs().add("PATIENTS_ID", FieldType::Integer);
        data.fieldDefs().add("NOM", FieldType::String, 40);
        data.fieldDefs().add("PRENOM", FieldType::String, 40);
        data.fieldDefs().add("NE_LE", FieldType::String, 20);
        data.fieldDefs().add("N_OMON", FieldType::Integer);
        data.createDataSet();
    }
    DataSet& dataSet() override { return data; }
    void LoadRange(const QString& table, const QString& key, const VariantList& low,
                   const VariantList& high, const QString&) override
    {
        QStringList parts{table, key};
        for (const Variant& v : low + high)
            parts << v.toString().replace(QChar(0), QLatin1String("#0"));
        loads << parts.join('|');
        data.first();
    }
    // Stands on the row with the key, when there is one (the kernel's cache would hold only
    // that row, or none).
    void LoadKey(const QString& table, const QString& key, const Variant& value) override
    {
        loads << table + '|' + key + '|' + value.toString();
        data.locate(key, value);
    }

    MemDataSet data;
    QStringList loads;
};

class FakePractice : public PracticePatients
{
public:
    PatientCache& IdPatients_Global() override { return id; }
    PatientCache& Patients_Global() override { return names; }
    int GetID(const QString& table, const QString& field, int count) override
    {
        ids << QStringLiteral("%1|%2|%3").arg(table, field).arg(count);
        return 500;
    }
    FakeCache id, names;
    QStringList ids;
};

// The practice database in use, with the stand-in's patients, for the length of a scope.
struct PracticeModeScope
{
    explicit PracticeModeScope(FakePractice& practice)
    {
        SetPracticePatients(&practice);
        PracticeDBInUse = true;
    }
    ~PracticeModeScope()
    {
        PracticeDBInUse = false;
        SetPracticePatients(nullptr);
    }
    PracticeModeScope(const PracticeModeScope&) = delete;
    PracticeModeScope& operator=(const PracticeModeScope&) = delete;
};
