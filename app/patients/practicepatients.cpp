// The registration point of the practice database's patient caches.
#include "practicepatients.h"

#include <platform/exception.h>

namespace {
PracticePatients* registered = nullptr;
}

PatientCache::~PatientCache() = default;
PracticePatients::~PracticePatients() = default;

void SetPracticePatients(PracticePatients* patients)
{
    registered = patients;
}

PracticePatients& PracticePatientsInUse()
{
    if (!registered)
        throw Exception(QStringLiteral("The patients of the practice database are not available"));
    return *registered;
}
