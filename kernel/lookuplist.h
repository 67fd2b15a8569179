// The process-wide list of lookup caches and the glyph that marks lookup fields. Nothing in the
// program adds to the list; whatever it holds is freed at exit.
#pragma once

#include <QList>
#include <QPointer>
#include <QString>

class QImage;
class TDBCache;
class TDBRequest;

// One named lookup cache with the request it loads from, both owned by the list.
struct TLookupListEntry
{
    QString Name;
    QPointer<TDBCache> Cache;
    QPointer<TDBRequest> Request;
};

QList<TLookupListEntry>& LookupList();
// Detaches each entry's cache from its request, frees the cache, then the request, and empties
// the list. Runs at exit; safe to call earlier and more than once, and with entries whose cache
// or request is gone already.
void FreeLookupList();

// The glyph of lookup fields (the resource "LOOK_GLYPH"), loaded on first use.
const QImage& LookGlyph();
