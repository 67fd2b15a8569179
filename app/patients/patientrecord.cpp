// Reading a patient of either mode by key.
#include "patientrecord.h"

#include "practicepatients.h"

#include <app/documents/datatables.h>
#include <app/documents/localtabledefs.h>
#include <app/documents/tablehelpers.h>
#include <platform/data/dataset.h>
#include <platform/db/localtable.h>
#include <platform/support/globals.h>

namespace {

void takeNumber(const Field* field, PatientRecord& p)
{
    p.hasFileNumber = !field->isNull();
    p.fileNumber = p.hasFileNumber ? qint32(field->asInteger()) : 0;
}

} // namespace

struct PatientReader::Local
{
    LocalTable table;
};

PatientReader::PatientReader() = default;

PatientReader::~PatientReader()
{
    if (!m_local)
        return;
    try {
        m_local->table.close();
    } catch (const std::exception&) {
        // Closing releases the lock whatever else fails.
    }
}

PatientRecord PatientReader::read(int id)
{
    PatientRecord p;
    if (PracticeDBInUse) {
        PatientCache& cache = PracticePatientsInUse().Patients_Global();
        cache.LoadKey(QStringLiteral("PATIENTS"), QStringLiteral("PATIENTS_ID"), id);
        const DataSet& row = cache.dataSet();
        if (!row.isEmpty() && FieldInt(row, "PATIENTS_ID") == id) {
            p.found = true;
            p.nom = FieldText(row, "NOM");
            p.prenom = FieldText(row, "PRENOM");
            p.naissance = FieldText(row, "NE_LE");
            takeNumber(row.fieldByName(QStringLiteral("N_OMON")), p);
        }
        return p;
    }
    if (!m_local) {
        auto local = std::make_unique<Local>();
        local->table.setDatabase(CheckedDataTables().LocalDB);
        local->table.setTableName(LocalTableName::Patients);
        local->table.open();
        m_local = std::move(local);
    }
    LocalTable& patients = m_local->table;
    if (patients.findKey({id})) {
        p.found = true;
        p.nom = FieldText(patients, "Nom");
        p.prenom = FieldText(patients, "Prenom");
        p.naissance = FieldText(patients, "Date de naissance");
        takeNumber(patients.fieldByName(QStringLiteral("N_Dossier")), p);
    }
    return p;
}
