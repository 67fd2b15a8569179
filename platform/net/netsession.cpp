// The sessions' common part on libcurl: one easy handle in a multi handle, driven by a timer of
// the main thread, the watch over the connection and stall bounds, the waits that process events,
// and the mapping of the library's results to our errors.
//
//   connection states:   6 ──connect──> 1 ──transfer starts──> 2 ──name found──> 3 ──server
//                        answered──> 4 ──quit──> 5 ──> 6;  any failure ──> 6 (error event)
#include "netsession_p.h"

#include <platform/uitexts.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include <mutex>

namespace {

NetBounds g_defaultBounds;

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0);
}

} // namespace

// What the library's debug callback updates: when something last moved, and the server's reply
// lines during the running transfer.
struct NetSessionBackendWatch
{
    QElapsedTimer sinceTraffic;
    QStringList replies;
};

NetBounds defaultNetBounds()
{
    return g_defaultBounds;
}

void setDefaultNetBounds(const NetBounds& bounds)
{
    g_defaultBounds = bounds;
}

NetError netErrorOf(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return NetError::None;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_URL_MALFORMAT:
        return NetError::HostNotFound;
    case CURLE_COULDNT_CONNECT:
        return NetError::ConnectionRefused;
    case CURLE_OPERATION_TIMEDOUT:
        return NetError::TimedOut;
    case CURLE_LOGIN_DENIED:
        return NetError::LoginRefused;
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_QUOTE_ERROR:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_COULDNT_USE_REST:
        return NetError::CommandRefused;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return NetError::ConnectionLost;
    case CURLE_READ_ERROR:
    case CURLE_WRITE_ERROR:
    case CURLE_FILE_COULDNT_READ_FILE:
        return NetError::LocalFile;
    default:
        return NetError::Other;
    }
}

struct NetSession::Backend : NetSessionBackendWatch
{
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    QTimer timer;
    std::unique_ptr<Transfer> current;
    bool connecting = false; // the running transfer makes the connection
    QElapsedTimer sinceStart;
    curl_off_t counts[4] = {-1, -1, -1, -1};
    char errors[CURL_ERROR_SIZE] = {};

    void open()
    {
        if (multi)
            return;
        initialiseLibrary();
        multi = curl_multi_init();
        easy = curl_easy_init();
    }
    // Drops the transfer that runs (the library closes its connection without a farewell) and
    // every connection kept for later.
    void close()
    {
        if (!multi)
            return;
        if (current)
            curl_multi_remove_handle(multi, easy);
        current.reset();
        curl_easy_cleanup(easy);
        curl_multi_cleanup(multi);
        easy = nullptr;
        multi = nullptr;
        timer.stop();
    }
};

namespace {

// What moves on the connection: any of it shows the transfer is alive. The server's reply lines
// are kept for messages.
int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    auto* backend = static_cast<NetSessionBackendWatch*>(user);
    switch (type) {
    case CURLINFO_HEADER_IN: {
        const QString line = QString::fromLatin1(data, qsizetype(size)).trimmed();
        if (!line.isEmpty())
            backend->replies.append(line);
        backend->sinceTraffic.restart();
        break;
    }
    case CURLINFO_HEADER_OUT:
    case CURLINFO_DATA_IN:
    case CURLINFO_DATA_OUT:
        backend->sinceTraffic.restart();
        break;
    default:
        break;
    }
    return 0;
}

} // namespace

NetSession::NetSession(int defaultPort, QObject* parent)
    : QObject(parent), d(std::make_unique<Backend>()), m_port(defaultPort),
      m_bounds(defaultNetBounds())
{
    d->timer.setInterval(0);
    connect(&d->timer, &QTimer::timeout, this, &NetSession::poll);
}

NetSession::~NetSession()
{
    d->close();
}

bool NetSession::isBusy() const
{
    return m_busy;
}

QString NetSession::urlBase(const char* scheme) const
{
    QString host = m_host.trimmed();
    if (host.contains(u':') && !host.startsWith(u'['))
        host = u'[' + host + u']'; // an IPv6 address
    return QLatin1String(scheme) + QStringLiteral("://") + host + u':' + QString::number(m_port);
}

void NetSession::setState(int state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void NetSession::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

void NetSession::fail(NetError code, const QString& description)
{
    d->close();
    m_lastError = code;
    setBusy(false);
    setState(nsDisconnected);
    emit errorOccurred(int(code), description);
}

void NetSession::abort()
{
    ++m_aborts;
    d->close();
    setBusy(false);
    setState(nsDisconnected);
}

bool openLocalFile(QFileDevice& file, QIODevice::OpenMode mode, QString& error)
{
    if (file.open(mode))
        return true;
    error = uiText(mode & QIODevice::WriteOnly ? UiText::NetFileNotWritten : UiText::NetFileNotRead)
                .arg(file.fileName(), file.errorString());
    return false;
}

void NetSession::start(std::unique_ptr<Transfer> transfer)
{
    Q_ASSERT(!d->current);
    if (QString error; !transfer->prepare(error)) {
        fail(NetError::LocalFile, error);
        return;
    }
    d->open();
    CURL* curl = d->easy;
    curl_easy_reset(curl);
    d->errors[0] = 0;
    m_lastDetail.clear();
    d->connecting = m_state == nsConnecting || m_state == nsDisconnected;
    d->sinceStart.start();
    d->sinceTraffic.start();
    std::fill(std::begin(d->counts), std::end(d->counts), -1);

    d->replies.clear();
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, d->errors);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, static_cast<NetSessionBackendWatch*>(d.get()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(m_bounds.connectMs));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     long(qMax(1, (m_bounds.stallMs + 999) / 1000)));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    const auto onProgress = +[](void* user, curl_off_t dlTotal, curl_off_t dlNow,
                                curl_off_t ulTotal, curl_off_t ulNow) -> int {
        auto* self = static_cast<NetSession*>(user);
        Backend& b = *self->d;
        const curl_off_t now[4] = {dlNow, dlTotal, ulNow, ulTotal};
        if (std::equal(std::begin(now), std::end(now), std::begin(b.counts)))
            return 0;
        if (now[0] != b.counts[0] || now[2] != b.counts[2])
            b.sinceTraffic.restart();
        std::copy(std::begin(now), std::end(now), std::begin(b.counts));
        if (b.current)
            b.current->progress(dlNow, dlTotal, ulNow, ulTotal);
        return 0;
    };
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    transfer->configure(curl);
    d->current = std::move(transfer);
    setBusy(true);
    if (d->connecting)
        setState(nsResolving);
    curl_multi_add_handle(d->multi, curl);
    d->timer.start();
}

void NetSession::poll()
{
    if (!d->current) {
        d->timer.stop();
        return;
    }
    curl_multi_wait(d->multi, nullptr, 0, 2, nullptr);
    int running = 0;
    curl_multi_perform(d->multi, &running);
    if (d->connecting && m_state == nsResolving) {
        curl_off_t lookup = 0;
        if (curl_easy_getinfo(d->easy, CURLINFO_NAMELOOKUP_TIME_T, &lookup) == CURLE_OK &&
            lookup > 0)
            setState(nsResolved);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(d->multi, &left)) {
        if (message->msg == CURLMSG_DONE) {
            finish(message->data.result);
            return;
        }
    }
    QString late;
    if (d->connecting && d->sinceStart.elapsed() > m_bounds.connectMs)
        late = uiText(UiText::NetNoAnswer).arg(m_host, seconds(m_bounds.connectMs));
    else if (d->sinceTraffic.elapsed() > m_bounds.stallMs)
        late = uiText(UiText::NetStalled).arg(m_host, seconds(m_bounds.stallMs));
    if (late.isEmpty())
        return;
    // The transfer stops now; the error is told from the event loop (see finish).
    if (d->current)
        curl_multi_remove_handle(d->multi, d->easy);
    d->current.reset();
    d->timer.stop();
    QMetaObject::invokeMethod(
        this, [this, late] { fail(NetError::TimedOut, late); }, Qt::QueuedConnection);
}

// The end of a transfer is told from the event loop, not from the poll: a handler that waits
// for the session there would wait for a timer that cannot fire while its own call runs.
void NetSession::finish(int curlCode)
{
    const auto code = CURLcode(curlCode);
    long reply = 0;
    curl_easy_getinfo(d->easy, CURLINFO_RESPONSE_CODE, &reply);
    curl_multi_remove_handle(d->multi, d->easy);
    d->timer.stop();
    std::shared_ptr<Transfer> transfer(d->current.release());
    const bool connecting = d->connecting;
    d->connecting = false;
    // The reply to the transfer's command, not a later one (the library says goodbye after a
    // refusal): the last line with the code the transfer ended on.
    const QString code3 = QString::number(reply);
    m_lastReply = d->replies.isEmpty() ? QString() : d->replies.last();
    for (qsizetype i = d->replies.size() - 1; reply > 0 && i >= 0; --i) {
        if (d->replies.at(i).startsWith(code3)) {
            m_lastReply = d->replies.at(i);
            break;
        }
    }
    QString libraryText = QString::fromUtf8(d->errors).trimmed();
    if (libraryText.isEmpty())
        libraryText = QString::fromUtf8(curl_easy_strerror(code));

    QMetaObject::invokeMethod(
        this,
        [this, transfer, code, reply, connecting, libraryText] {
            QString description;
            const NetError error = transfer->ended(code, reply, description);
            if (error != NetError::None) {
                m_lastDetail = libraryText;
                if (description.isEmpty()) {
                    description = errorText(error, connecting);
                    if (description.isEmpty())
                        description = libraryText;
                    // What the server said is its own: it is quoted as it came.
                    if (!m_lastReply.isEmpty() && reply >= 400)
                        description += QStringLiteral(" (") + m_lastReply + u')';
                }
                fail(error, description);
                return;
            }
            if (connecting) {
                setState(nsResolved);
                setState(nsConnected);
            }
            setBusy(false);
            transfer->reported();
        },
        Qt::QueuedConnection);
}

QString NetSession::errorText(NetError error, bool connecting) const
{
    switch (error) {
    case NetError::HostNotFound:
        return uiText(UiText::NetHostNotFound).arg(m_host);
    case NetError::ConnectionRefused:
        return uiText(UiText::NetConnectionRefused).arg(m_host).arg(m_port);
    case NetError::TimedOut:
        // The library's bounds are the session's own: on the connection, and on each answer.
        return connecting ? uiText(UiText::NetNoAnswer).arg(m_host, seconds(m_bounds.connectMs))
                          : uiText(UiText::NetStalled).arg(m_host, seconds(m_bounds.stallMs));
    case NetError::LoginRefused:
        return uiText(UiText::NetLoginRefused).arg(m_host);
    case NetError::CommandRefused:
        return uiText(UiText::NetCommandRefused).arg(m_host);
    case NetError::ConnectionLost:
        return uiText(UiText::NetConnectionLost).arg(m_host);
    case NetError::None:
    case NetError::LocalFile:
    case NetError::Other:
        break;
    }
    return QString();
}

bool NetSession::waitWhileBusy()
{
    const quint64 aborts = m_aborts;
    QElapsedTimer quiet;
    quiet.start();
    while (m_busy) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (m_aborts != aborts)
            return false;
        if (d->sinceTraffic.isValid() && d->sinceTraffic.elapsed() < quiet.elapsed())
            quiet.restart();
        if (m_busy && quiet.elapsed() > m_bounds.waitMs) {
            fail(NetError::TimedOut,
                 uiText(UiText::NetNotFinished).arg(m_host, seconds(m_bounds.waitMs)));
            return false;
        }
    }
    return true;
}

bool NetSession::waitForState(int state)
{
    const QDeadlineTimer deadline(m_bounds.waitMs);
    while (m_state != state) {
        if (deadline.hasExpired()) {
            fail(NetError::TimedOut,
                 uiText(UiText::NetNotDisconnected).arg(m_host, seconds(m_bounds.waitMs)));
            return m_state == state;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
