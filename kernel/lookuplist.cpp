// The lookup cache list and the lookup glyph.
#include "lookuplist.h"

#include <kernel/dbaccess.h>
#include <kernel/dbcache.h>
#include <kernel/request.h>

#include <QCoreApplication>
#include <QImage>

namespace {

void freeEntries(QList<TLookupListEntry>& list)
{
    const QList<TLookupListEntry> entries = std::exchange(list, {});
    for (const TLookupListEntry& e : entries) {
        if (e.Cache)
            e.Cache->SetRequest(nullptr);
        delete e.Cache.data();
        delete e.Request.data();
    }
}

struct LookupListState
{
    QList<TLookupListEntry> entries;
    ~LookupListState() { freeEntries(entries); }
};

LookupListState& state()
{
    static LookupListState s = [] {
        // Emptied while the application object is still there for the caches' and requests'
        // destructors; the static's own destructor is the fall-back of a program without one.
        if (QCoreApplication::instance())
            qAddPostRoutine(FreeLookupList);
        return LookupListState();
    }();
    return s;
}

} // namespace

QList<TLookupListEntry>& LookupList()
{
    return state().entries;
}

void FreeLookupList()
{
    freeEntries(state().entries);
}

static void initKernelResources()
{
    Q_INIT_RESOURCE(kernel_images);
}

const QImage& LookGlyph()
{
    static const QImage glyph = [] {
        initKernelResources();
        return QImage(QStringLiteral(":/LOOK_GLYPH"), "XPM");
    }();
    return glyph;
}
