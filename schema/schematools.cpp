// The schema tools registered with the kernel.
#include "schematools.h"

#include "tablestruct.h"

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
