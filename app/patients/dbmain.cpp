// The server data module: its components as the module describes them, and its two handlers.
#include "dbmain.h"

#include <app/appglobals.h>
#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <kernel/request.h>
#include <platform/db/database.h>
#include <platform/ui/imagelist.h>
#include <reports/repproc.h>

namespace {

// The key of the report settings below HKEY_CURRENT_USER\Software.
const QString ReportRegPath = QStringLiteral("Quorvane");

TDBRequest* makeMetaRequest(TServer* module, const char* name, TDBAccess* access, const char* sql,
                            const char* alias)
{
    auto* request = module->makeComponent<TDBRequest>(name, "TDBRequest");
    request->SetSQLText(QLatin1String(sql));
    request->SetCacheAlias(QLatin1String(alias));
    request->SetDBAccess(access);
    request->SetAutoJoin(true);
    request->SetSelectMode(smDefault);
    request->SetUpdateMode(umDefault);
    request->SetParentPacketRecords(false);
    request->SetPacketRecords(-1);
    request->SetCached(true);
    return request;
}

TDBCache* makeMetaCache(TServer* module, const char* name, TDBRequest* request)
{
    auto* cache = module->makeComponent<TDBCache>(name, "TDBCache");
    cache->SetRequest(request);
    cache->SetParentPacketRecords(true);
    return cache;
}

} // namespace

TServer::TServer(QObject* parent) : TDataModule(parent)
{
    OnCreate = [this](QObject*) { ServerCreate(); };

    Database1 = makeComponent<Database>("Database1", "TDatabase");
    Database1->setDatabaseName(QStringLiteral("Main"));
    Database1->params().setValue(DbParam::UserName, QStringLiteral("sa"));
    // No password is built in: the connection step brings the one configured.
    Database1->params().setValue(DbParam::Password, QString());
    Database1->onLogin = [this](Database& database, ConnectionParams& params) {
        Database1Login(database, params);
    };

    DBAccess1 = makeComponent<TDBAccess>("DBAccess1", "TDBAccess");
    DBAccess1->SetAutoLookups(true);
    DBAccess1->SetDataBase(Database1);
    DBAccess1->SetSysLogin(QStringLiteral("sa"));
    DBAccess1->SetSysPassword(QString());
    DBAccess1->SetRemoteUpdate(false);
    DBAccess1->SetRemoteSelect(false);
    DBAccess1->SetRemoteTimeout(15);
    DBAccess1->SetPacketRecords(-1);

    RTables = makeMetaRequest(this, "RTables", DBAccess1,
                              "select * from METATABLE order by TABLE_NAME", "meta_tables");
    RFields = makeMetaRequest(this, "RFields", DBAccess1,
                              "select * from METAFIELD order by TABLE_NAME,ORD", "meta_fields");
    RLinks = makeMetaRequest(this, "RLinks", DBAccess1, "select * from TABLELINK", "meta_links");
    Tables = makeMetaCache(this, "Tables", RTables);
    Tables->setFiltered(true);
    Fields = makeMetaCache(this, "Fields", RFields);
    Links = makeMetaCache(this, "Links", RLinks);
    DBAccess1->SetTables(Tables);
    DBAccess1->SetFields(Fields);
    DBAccess1->SetLinks(Links);

    ReportServer = makeComponent<TReportServer>("ReportServer", "TReportServer");
    ReportServer->SetRegPath(ReportRegPath);
    ReportServer->DoTranslate = false;

    auto imageList = [this](const char* name, int side) {
        auto* list = makeComponent<ImageList>(name, "TImageList");
        list->setImageSize(QSize(side, side));
        return list;
    };
    imTree = imageList("imTree", 16);
    imMap = imageList("imMap", 16);
    imMenu = imageList("imMenu", 16);
    imToolE = imageList("imToolE", 24);
    imTooltD = imageList("imTooltD", 24);
    imToolH = imageList("imToolH", 24);
    imToolH->setDrawingStyle(ImageList::DrawingStyle::Transparent);
}

TServer::~TServer()
{
    if (Server == this)
        Server = nullptr;
}

void TServer::ServerCreate()
{
    DBAccess1->SetSysPassword(DBPassword);
    DBAccess1->SetCachePath(DBCachePath);
    ReportServer->SetTemplateDir(ReportTemplatePath);
    ReportServer->SetTempDir(ReportTempPath);
    ImagesDir = ReportTemplatePath + QStringLiteral("Images/");
}

void TServer::Database1Login(Database& database, ConnectionParams& params)
{
    params.setValue(DbParam::UserName, DBAccess1->SysLogin());
    params.setValue(DbParam::Password, DBAccess1->SysPassword());
    database.setConnected(true);
}
