// The CUPS backend of printer-queue control: Pause-Printer and Resume-Printer requests to the CUPS
// server of the user's client settings. Purging is never done: the jobs of a CUPS queue are
// real print jobs that this program did not capture.
#include "printqueue.h"

#include <cups/cups.h>

#include <QByteArray>

#include <cerrno>

namespace printqueue {

namespace {

// How long the server is given to answer the connection and each request.
constexpr int ConnectTimeoutMs = 5000;
constexpr double RequestTimeoutS = 10.0;

// No password is ever asked for: a server that wants one refuses the request, which is shown as
// a refusal, rather than wait for an answer from a terminal nobody watches.
const char* noPassword(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}

// CUPS's answer in our vocabulary: a queue the server does not know counts as one that could not
// be opened, as it does on Windows.
Outcome fromStatus(ipp_status_t status, const QString& queue)
{
    if (status <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return {Outcome::Done, 0, QString()};
    const QString reason = QStringLiteral("CUPS queue \"%1\": %2")
                               .arg(queue, QString::fromUtf8(cupsLastErrorString()));
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
        return {Outcome::NotOpened, int(status), reason};
    return {Outcome::Refused, int(status), reason};
}

class CupsBackend final : public Backend
{
public:
    QString name() const override { return QStringLiteral("CUPS"); }

    Outcome control(const QString& queue, Command command) override
    {
        if (command == Command::Purge) {
            logOncePerQueue(name(), queue,
                            QStringLiteral("CUPS queue \"%1\" is never purged: its jobs are "
                                           "left to CUPS")
                                .arg(queue));
            return {Outcome::Skipped, 0, QString()};
        }
        if (command != Command::Pause && command != Command::Resume)
            return {Outcome::Skipped, 0, QString()};

        cupsSetPasswordCB2(noPassword, nullptr);
        // The server is looked up afresh from the client settings each time.
        cupsSetServer(nullptr);
        http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                                    1, ConnectTimeoutMs, nullptr);
        if (!http) {
            const int error = errno;
            return {Outcome::NotOpened, error,
                    QStringLiteral("CUPS server %1 cannot be reached for queue \"%2\": %3")
                        .arg(QString::fromUtf8(cupsServer()), queue,
                             QString::fromLocal8Bit(strerror(error)))};
        }
        httpSetTimeout(http, RequestTimeoutS, nullptr, nullptr);

        const QByteArray name = queue.toUtf8();
        char uri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost",
                         ippPort(), "/printers/%s", name.constData());
        ipp_t* request =
            ippNewRequest(command == Command::Pause ? IPP_OP_PAUSE_PRINTER : IPP_OP_RESUME_PRINTER);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     cupsUser());
        ippDelete(cupsDoRequest(http, request, "/admin/"));
        const ipp_status_t status = cupsLastError();
        httpClose(http);
        return fromStatus(status, queue);
    }
};

} // namespace

std::unique_ptr<Backend> makeCups()
{
    return std::make_unique<CupsBackend>();
}

} // namespace printqueue
