// The library side of a session, for the protocol sessions only: one transfer of libcurl.
#pragma once

#include "netsession.h"

#include <curl/curl.h>

#include <QFileDevice>

#include <functional>

struct NetSession::Transfer
{
    virtual ~Transfer() = default;

    // Takes what the transfer needs before it starts (a local file); false with the reason when
    // it cannot, and the session reports a local-file error instead of starting it.
    virtual bool prepare(QString& /*error*/) { return true; }

    // Sets the handle's options for this transfer (the handle was reset; the session has set
    // what every transfer shares: the callbacks it watches progress with, the time-outs).
    virtual void configure(CURL* curl) = 0;
    // The transfer ended: `code` is the library's result, `reply` the last reply code of the
    // server (0 when none came). The session is still busy; what the transfer reports is up to
    // it. Returns the error to report, or NetError::None when it ended well.
    virtual NetError ended(CURLcode code, long reply, QString& description) = 0;
    // After a transfer that ended well, once the session is idle again: its own events.
    virtual void reported() {}
    // Called with the byte counts whenever they change.
    virtual void progress(qint64 /*downNow*/, qint64 /*downTotal*/, qint64 /*upNow*/,
                          qint64 /*upTotal*/)
    {
    }
};

// Our vocabulary for a library result.
NetError netErrorOf(CURLcode code);

// Opens a transfer's local file; false with a reason that names it when it cannot.
bool openLocalFile(QFileDevice& file, QIODevice::OpenMode mode, QString& error);
