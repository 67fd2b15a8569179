// The schema tools registered with the kernel, and their translatable classes.
#include "schematools.h"

#include "customedit.h"
#include "lcc.h"
#include "tablestruct.h"

#include <translation/language.h>

namespace {

class SchemaToolsImpl : public TSchemaTools
{
public:
    // The kernel's own upgrade steps come with their own unit; until then the kernel lists its
    // module for the database setup utility.
    bool UpgradeKernelModule(TDBAccess&, int, int) override { return false; }

    void CreateView(TDBAccess& access, const TViewStruct& view, const QStringList& sql) override
    {
        TTableStruct structure;
        AssignViewStruct(structure, view);
        structure.CreateView(access, sql);
    }
};

} // namespace

void RegisterSchemaTools()
{
    static SchemaToolsImpl tools;
    SetSchemaTools(&tools);
    // The custom data editor and the kernel texts module are translated like the program's
    // forms; the translation editor creates them without their creation handlers.
    static const bool registered = [] {
        RegisterTranslatableForm({QStringLiteral("TfCustomEdit"), &TfCustomEdit::staticMetaObject,
                                  [] { return static_cast<QObject*>(new TfCustomEdit()); }});
        RegisterTranslatableForm({QStringLiteral("TLCC"), &TLCC::staticMetaObject,
                                  [] { return static_cast<QObject*>(new TLCC()); }});
        return true;
    }();
    Q_UNUSED(registered);
}

void AssignViewStruct(TTableStruct& target, const TViewStruct& view)
{
    target.SetTableName(view.TableName);
    target.SetSystem(view.System);
    target.SetCustom(view.Custom);
    target.SetUpgradeAction(uaCreate);
    target.BaseTable = view.BaseTable;
    for (const TViewFieldItem& f : view.Fields) {
        TFieldItem* item = target.Fields().Add();
        item->FieldName = f.FieldName;
        item->DataType = f.DataType;
        item->Size = f.Size;
        item->Precision = f.Precision;
        item->Options.setFlag(foRequired, f.Required);
        item->Options.setFlag(foHidden, f.Hidden);
        item->Custom = f.Custom;
        item->Origin = f.Origin;
        item->NativeName = f.NativeName;
    }
    if (!view.PrimaryIndexFields.isEmpty()) {
        TIndexItem* key = target.Indexes().Add();
        key->Name = QStringLiteral("PRIMARY KEY");
        key->IndexFields = view.PrimaryIndexFields;
        key->Options = idxPrimary;
    }
    for (const TViewLinkItem& l : view.Links) {
        TLinkItem* item = target.Links().Add();
        item->MasterTable = l.MasterTable;
        item->MasterFields = l.MasterFields;
        item->MasterKeyFields = l.KeyFields;
        item->ChildTable = l.Child;
        item->DeleteAction = l.DeleteAction;
        item->Custom = l.Custom;
    }
}
