// The SMTP session on libcurl: each step of the session is one transfer of the library on the
// connection it keeps (a step after a refused one connects again, unseen).
#include "smtpsession.h"

#include "netsession_p.h"

#include <platform/codepage.h>
#include <platform/uitexts.h>

#include <QFile>

namespace {

size_t discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

// The address of a header value: what stands between "<" and ">", else the whole value.
QByteArray addressOf(const QString& value)
{
    QString text = value.trimmed();
    const qsizetype open = text.lastIndexOf(u'<');
    const qsizetype close = text.lastIndexOf(u'>');
    if (open >= 0 && close > open)
        text = text.mid(open + 1, close - open - 1).trimmed();
    return codepage::toAnsi(text);
}

} // namespace

// A command without a body: NOOP to connect, VRFY, QUIT.
class SmtpSession::Command : public NetSession::Transfer
{
public:
    enum Kind { Connect, Verify, Quit };
    Command(SmtpSession* session, Kind kind, const QString& argument = {})
        : m_session(session), m_kind(kind), m_argument(argument)
    {
    }
    ~Command() override
    {
        if (m_recipients)
            curl_slist_free_all(m_recipients);
    }

    void configure(CURL* curl) override
    {
        m_url = m_session->urlBase("smtp").toUtf8();
        curl_easy_setopt(curl, CURLOPT_URL, m_url.constData());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
        if (m_kind == Verify) {
            m_address = addressOf(m_argument);
            m_recipients = curl_slist_append(nullptr, m_address.constData());
            curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, m_recipients);
        } else {
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, m_kind == Quit ? "QUIT" : "NOOP");
        }
    }

    NetError ended(CURLcode code, long reply, QString&) override
    {
        if (m_kind == Quit)
            return NetError::None; // gone either way
        if (m_kind == Verify) {
            // Judged on the reply alone: the library counts some refusals as failures and
            // one ambiguous answer (553) as success.
            m_verified = reply / 100 == 2 || reply == 500 || reply == 502 || reply == 504;
            return reply >= 200 ? NetError::None : netErrorOf(code);
        }
        return netErrorOf(code);
    }

    void reported() override
    {
        if (m_kind == Verify && m_verified)
            emit m_session->verified();
        if (m_kind == Quit)
            m_session->abort(); // the connection the library keeps goes too
    }

private:
    SmtpSession* m_session;
    Kind m_kind;
    QString m_argument;
    QByteArray m_url, m_address;
    curl_slist* m_recipients = nullptr;
    bool m_verified = false;
};

// A message: the headers and the file, read by the library as the body.
class SmtpSession::Message : public NetSession::Transfer
{
public:
    Message(SmtpSession* session, const QList<QPair<QString, QString>>& headers,
            const QString& fileName)
        : m_session(session), m_file(fileName)
    {
        for (const auto& [name, value] : headers) {
            m_head += codepage::toAnsi(name) + ": " + codepage::toAnsi(value) + "\r\n";
            if (name.compare(QLatin1String("From"), Qt::CaseInsensitive) == 0)
                m_from = addressOf(value);
            else if ((name.compare(QLatin1String("To"), Qt::CaseInsensitive) == 0 ||
                      name.compare(QLatin1String("CC"), Qt::CaseInsensitive) == 0) &&
                     !value.trimmed().isEmpty())
                m_to.append(addressOf(value));
        }
        m_head += "\r\n";
    }
    ~Message() override
    {
        if (m_recipients)
            curl_slist_free_all(m_recipients);
    }

    bool prepare(QString& error) override
    {
        return openLocalFile(m_file, QIODevice::ReadOnly, error);
    }

    void configure(CURL* curl) override
    {
        m_url = m_session->urlBase("smtp").toUtf8();
        curl_easy_setopt(curl, CURLOPT_URL, m_url.constData());
        m_fromAngle = '<' + m_from + '>';
        curl_easy_setopt(curl, CURLOPT_MAIL_FROM, m_fromAngle.constData());
        for (const QByteArray& to : std::as_const(m_to))
            m_recipients = curl_slist_append(m_recipients, ('<' + to + '>').constData());
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, m_recipients);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(total()));
        curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
        const auto onRead = +[](char* buffer, size_t size, size_t count, void* user) -> size_t {
            return static_cast<Message*>(user)->read(buffer, size * count);
        };
        curl_easy_setopt(curl, CURLOPT_READDATA, this);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, onRead);
        emit m_session->documentProgress(sdStarting, 0, total());
    }

    void progress(qint64, qint64, qint64 upNow, qint64) override
    {
        if (m_sent == upNow || !m_headersGone)
            return;
        m_sent = upNow;
        emit m_session->documentProgress(sdSending, upNow, total());
    }

    NetError ended(CURLcode code, long reply, QString& description) override
    {
        if (code == CURLE_ABORTED_BY_CALLBACK || code == CURLE_READ_ERROR) {
            description =
                uiText(UiText::NetFileNotRead).arg(m_file.fileName(), m_file.errorString());
            return NetError::LocalFile;
        }
        // A refusal (of the sender, a recipient or the message) is the server's answer, whatever
        // the library makes of it.
        if (code != CURLE_OK && reply >= 400)
            return NetError::CommandRefused;
        return netErrorOf(code);
    }

    void reported() override { emit m_session->documentProgress(sdDone, total(), total()); }

private:
    qint64 total() const { return m_head.size() + m_file.size(); }

    size_t read(char* buffer, size_t room)
    {
        size_t given = 0;
        if (m_headAt < m_head.size()) {
            if (!m_headersGone) {
                m_headersGone = true;
                emit m_session->documentProgress(sdHeaders, 0, total());
            }
            const size_t n = qMin(room, size_t(m_head.size() - m_headAt));
            memcpy(buffer, m_head.constData() + m_headAt, n);
            m_headAt += qsizetype(n);
            given += n;
        }
        if (given < room && !m_file.atEnd()) {
            const qint64 n = m_file.read(buffer + given, qint64(room - given));
            if (n < 0)
                return CURL_READFUNC_ABORT;
            given += size_t(n);
        }
        return given;
    }

    SmtpSession* m_session;
    QFile m_file;
    QByteArray m_head, m_from, m_fromAngle, m_url;
    QList<QByteArray> m_to;
    qsizetype m_headAt = 0;
    bool m_headersGone = false;
    qint64 m_sent = -1;
    curl_slist* m_recipients = nullptr;
};

SmtpSession::SmtpSession(QObject* parent) : NetSession(25, parent)
{
}

void SmtpSession::connectToServer()
{
    if (isBusy())
        return;
    setState(nsConnecting);
    start(std::make_unique<Command>(this, Command::Connect));
}

void SmtpSession::verify(const QString& address)
{
    if (isBusy())
        return;
    start(std::make_unique<Command>(this, Command::Verify, address));
}

void SmtpSession::sendDocument(const QList<QPair<QString, QString>>& headers,
                               const QString& fileName)
{
    if (isBusy())
        return;
    start(std::make_unique<Message>(this, headers, fileName));
}

void SmtpSession::quit()
{
    if (state() == nsDisconnected)
        return;
    if (isBusy())
        abort();
    setState(nsDisconnecting);
    start(std::make_unique<Command>(this, Command::Quit));
}
