// A stand-in for the practice database's patients, as far as identification and direct send reach
// them today: the table PATIENTS kept in memory, and the two patient caches, each filled by a load
// with the rows a server would send back (the row of a key, or the names within a range, in name
// order). Every load is noted, so that a test sees what the program asked for. Rows posted to a
// cache stay in that cache: the kernel writes nothing back yet.
#pragma once

#include <app/patients/practicepatients.h>
#include <platform/data/memdataset.h>

#include <QStringList>

#include <algorithm>

class PracticeStandIn : public PracticePatients
{
public:
    struct Patient
    {
        int id;
        QString nom;
        QString prenom;
        QString neLe;
        Variant nOmon = Variant::null();
    };

    class Cache : public PatientCache
    {
    public:
        explicit Cache(const PracticeStandIn& owner) : m_owner(owner)
        {
            data.fieldDefs().add("PATIENTS_ID", FieldType::Integer);
            for (const char* name : {"NOM", "PRENOM", "NE_LE"})
                data.fieldDefs().add(name, FieldType::String, 40);
            data.fieldDefs().add("N_OMON", FieldType::Integer);
            data.createDataSet();
        }
        DataSet& dataSet() override { return data; }
        void LoadRange(const QString& table, const QString& key, const VariantList& low,
                       const VariantList& high, const QString& text) override
        {
            loads << QStringLiteral("range %1 %2 %3 %4 %5")
                         .arg(table, key, shown(low), shown(high), text);
            QList<Patient> rows;
            for (const Patient& p : m_owner.patients) {
                if (!before(p, low) && !after(p, high))
                    rows << p;
            }
            std::sort(rows.begin(), rows.end(), [](const Patient& a, const Patient& b) {
                return std::pair(a.nom, a.prenom) < std::pair(b.nom, b.prenom);
            });
            fill(rows);
        }
        void LoadKey(const QString& table, const QString& key, const Variant& value) override
        {
            loads << QStringLiteral("key %1 %2 %3").arg(table, key, value.toString());
            QList<Patient> rows;
            for (const Patient& p : m_owner.patients) {
                if (p.id == value.toInt64())
                    rows << p;
            }
            fill(rows);
        }

        MemDataSet data;
        QStringList loads;

    private:
        // Character 0 shows as "^@", so that the noted ranges can be read.
        static QString shown(const VariantList& values)
        {
            QStringList texts;
            for (const Variant& v : values)
                texts << v.toString().replace(QChar(0), QStringLiteral("^@"));
            return texts.join(QLatin1Char(';'));
        }
        // The name pair compared with the first one or two values of a range end. A key value
        // ends at its first character 0, as it does for the database engine.
        static int compare(const Patient& p, const VariantList& end)
        {
            const QString names[] = {p.nom, p.prenom};
            for (int i = 0; i < 2 && i < end.size(); ++i) {
                QString bound = end.at(i).toString();
                if (const qsizetype nul = bound.indexOf(QChar(0)); nul >= 0)
                    bound.truncate(nul);
                if (const int c = names[i].compare(bound); c != 0)
                    return c;
            }
            return 0;
        }
        static bool before(const Patient& p, const VariantList& low) { return compare(p, low) < 0; }
        static bool after(const Patient& p, const VariantList& high)
        {
            return compare(p, high) > 0;
        }
        void fill(const QList<Patient>& rows)
        {
            data.emptyDataSet();
            for (const Patient& p : rows)
                data.appendRecord({p.id, p.nom, p.prenom, p.neLe, p.nOmon});
            data.first();
        }

        const PracticeStandIn& m_owner;
    };

    explicit PracticeStandIn(const QList<Patient>& rows = {}) : patients(rows)
    {
        SetPracticePatients(this);
    }
    ~PracticeStandIn() override { SetPracticePatients(nullptr); }

    PatientCache& IdPatients_Global() override { return idPatients; }
    PatientCache& Patients_Global() override { return namedPatients; }
    int GetID(const QString& table, const QString& field, int count) override
    {
        ids << QStringLiteral("%1 %2 %3").arg(table, field).arg(count);
        const int first = nextId;
        nextId += count;
        return first;
    }

    QList<Patient> patients;
    Cache idPatients{*this};
    Cache namedPatients{*this};
    int nextId = 500;
    QStringList ids; // the GetID calls
};
