// A patient's names and file number as the documents that leave the workstation name them (the
// descriptors of direct send, the records of a package), read from the patients of the mode in
// use.
#pragma once

#include <QString>

#include <memory>

struct PatientRecord
{
    bool found = false;
    QString nom, prenom, naissance; // the date of birth as text
    bool hasFileNumber = false;     // N_OMON or N_Dossier is not null
    qint32 fileNumber = 0;
};

// Reads patients by key: with the practice database in use, the row of PATIENTS loaded through
// the patient cache Patients_Global (NOM, PRENOM, NE_LE, N_OMON); otherwise the local
// Patients.db through a cursor of the reader's own (Nom, Prenom, "Date de naissance",
// N_Dossier), open for as long as the reader lives. A patient that does not exist gives an empty
// record (never another patient's); errors of the database go to the caller.
class PatientReader
{
public:
    PatientReader();
    ~PatientReader();
    PatientReader(const PatientReader&) = delete;
    PatientReader& operator=(const PatientReader&) = delete;

    PatientRecord read(int id);

private:
    struct Local;
    std::unique_ptr<Local> m_local;
};
