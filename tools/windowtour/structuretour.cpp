// The structure editor's part of the tour: a new table described in code, shown in the editor
// with the dialogs it opens.
#include "structuretour.h"

#include <platform/db/database.h>
#include <schema/tablestreditdlg.h>

#include <QDir>
#include <QToolButton>

void ShowStructureEditor(const QString& folder,
                         std::map<QString, std::function<void(TForm&)>>& next)
{
    Database db;
    db.setDatabaseName(QStringLiteral("Structure"));
    db.setDriverName(QStringLiteral("STANDARD"));
    const QString path = folder + QStringLiteral("/structure");
    QDir().mkpath(path);
    db.params().setValue(DbParam::Path, path);
    db.params().setValue(QStringLiteral("CREATE"), QStringLiteral("TRUE"));
    TDBVersion version;
    version.setObjectName(QStringLiteral("Tour"));
    version.SetDataBase(&db);
    TTableStruct visit;
    visit.setObjectName(QStringLiteral("TS_VISITE"));
    visit.SetDBVersion(&version);
    visit.SetTableName(QStringLiteral("VISITE"));
    visit.SetCustom({QStringLiteral("Label=#fra#Visites#rus#Визиты#eng#Visits")});
    const struct
    {
        const char* name;
        TDataType type;
        int size;
        const char* custom;
    } fields[] = {{"VISITE_ID", dtAutoinc, 0, "Label=Numéro"},
                  {"PATIENTS_ID", dtInteger, 0, "Label=#fra#Patient#rus#Пациент#eng#Patient"},
                  {"MOTIF", dtString, 60, "Label=Motif de la visite"},
                  {"URGENCE", dtInteger, 0, "Label=Urgence"},
                  {"COMMENTAIRE", dtMemo, 0, ""}};
    for (const auto& f : fields) {
        TFieldItem* item = visit.Fields().Add();
        item->FieldName = QLatin1String(f.name);
        item->DataType = f.type;
        item->Size = f.size;
        item->Options = foRequired;
        item->Custom = QString::fromUtf8(f.custom).split(u'\n', Qt::SkipEmptyParts);
    }
    visit.Fields().Items(3)->Custom << QStringLiteral("LookupKeys=0,1")
                                    << QStringLiteral("LookupValues=Non,Oui");
    TIndexItem* key = visit.Indexes().Add();
    key->Name = QStringLiteral("PRIMARY KEY");
    key->IndexFields = QStringLiteral("VISITE_ID");
    key->Options = idxPrimary | idxUnique;
    TLinkItem* patient = visit.Links().Add();
    patient->MasterTable = QStringLiteral("PATIENTS");
    patient->MasterFields = QStringLiteral("PATIENTS_ID");
    patient->MasterKeyFields = QStringLiteral("PATIENTS_ID");
    patient->DeleteAction = daRestrict;

    next[QStringLiteral("TTableStrEditDlg")] = [](TForm& form) {
        auto& editor = static_cast<TTableStrEditDlg&>(form);
        editor.tbCustom->click();
        editor.tbNewLink->click();
    };
    auto* editor = CreateForm<TTableStrEditDlg>();
    editor->LoadStructure(visit);
    editor->ShowModal();
    editor->Free();
    db.close();
}
