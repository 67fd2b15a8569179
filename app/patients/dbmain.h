// The server data module TServer: the practice database's connection, the program's one kernel
// access component, the three cached requests that deliver the kernel's metadata, and the report
// settings. The connection step at start-up binds its module to these components, sets the
// connection's parameters and calls DBAccess1->Init().
#pragma once

#include <platform/db/alias.h>
#include <platform/ui/forms.h>

class Database;
class ImageList;
class TDBAccess;
class TDBCache;
class TDBRequest;
class TReportServer;

class TServer : public TDataModule
{
    Q_OBJECT

public:
    explicit TServer(QObject* parent = nullptr);
    ~TServer() override;

    // Components, in their order.
    Database* Database1;
    TDBAccess* DBAccess1;
    TDBRequest* RTables; // METATABLE, kept in the local cache file "meta_tables"
    TDBRequest* RFields; // METAFIELD, "meta_fields"
    TDBRequest* RLinks;  // TABLELINK, "meta_links"
    TDBCache* Tables;
    TDBCache* Fields;
    TDBCache* Links;
    TReportServer* ReportServer;
    // The pictures the forms share: 16 x 16 for trees and maps, menus, 24 x 24 for tool buttons
    // (imToolH drawn without its background). Each form that shows them brings its pictures.
    ImageList* imTree;
    ImageList* imMap;
    ImageList* imMenu;
    ImageList* imToolE;
    ImageList* imTooltD;
    ImageList* imToolH;

    // OnCreate: the password, the cache folder, the report folders and the pictures folder from
    // the program's settings (all empty in this program).
    void ServerCreate();
    // Database1's login: the kernel's user and password into the parameters, then connects.
    void Database1Login(Database& database, ConnectionParams& params);
};
