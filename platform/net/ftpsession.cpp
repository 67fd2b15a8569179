// The FTP session on libcurl: the log-in, each transfer and the farewell are transfers of the
// library on the connection it keeps.
#include "ftpsession.h"

#include "netsession_p.h"

#include <platform/codepage.h>
#include <platform/uitexts.h>

#include <QFile>
#include <QSaveFile>
#include <QUrl>

namespace {

size_t discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

void setLogin(CURL* curl, const QByteArray& user, const QByteArray& password)
{
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L); // binary
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
}

} // namespace

// The log-in (and the farewell): no file moves.
class FtpSession::Step : public NetSession::Transfer
{
public:
    Step(FtpSession* session, bool farewell) : m_session(session), m_farewell(farewell)
    {
        m_user = codepage::toAnsi(session->m_user);
        m_password = codepage::toAnsi(session->m_password);
    }
    ~Step() override
    {
        if (m_commands)
            curl_slist_free_all(m_commands);
    }

    void configure(CURL* curl) override
    {
        m_url = m_session->urlOf(QString());
        curl_easy_setopt(curl, CURLOPT_URL, m_url.constData());
        setLogin(curl, m_user, m_password);
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
        if (m_farewell) {
            m_commands = curl_slist_append(nullptr, "QUIT");
            curl_easy_setopt(curl, CURLOPT_QUOTE, m_commands);
        }
    }

    NetError ended(CURLcode code, long, QString&) override
    {
        return m_farewell ? NetError::None : netErrorOf(code);
    }

    void reported() override
    {
        if (m_farewell)
            m_session->abort(); // the connection the library keeps goes too
        else
            emit m_session->protocolStateChanged(fpTransaction);
    }

private:
    FtpSession* m_session;
    bool m_farewell;
    QByteArray m_url, m_user, m_password;
    curl_slist* m_commands = nullptr;
};

class FtpSession::Upload : public NetSession::Transfer
{
public:
    Upload(FtpSession* session, const QString& localFile, const QString& remoteName)
        : m_session(session), m_file(localFile), m_remote(remoteName)
    {
    }

    bool prepare(QString& error) override
    {
        return openLocalFile(m_file, QIODevice::ReadOnly, error);
    }

    void configure(CURL* curl) override
    {
        m_url = m_session->urlOf(m_remote);
        m_user = codepage::toAnsi(m_session->m_user);
        m_password = codepage::toAnsi(m_session->m_password);
        curl_easy_setopt(curl, CURLOPT_URL, m_url.constData());
        setLogin(curl, m_user, m_password);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_file.size()));
        curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
        const auto onRead = +[](char* buffer, size_t size, size_t count, void* user) -> size_t {
            const qint64 n = static_cast<QFile*>(user)->read(buffer, qint64(size * count));
            return n < 0 ? CURL_READFUNC_ABORT : size_t(n);
        };
        curl_easy_setopt(curl, CURLOPT_READDATA, &m_file);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, onRead);
    }

    void progress(qint64, qint64, qint64 upNow, qint64) override
    {
        if (upNow != m_sent)
            emit m_session->documentOutput(m_sent = upNow, m_file.size());
    }

    NetError ended(CURLcode code, long, QString& description) override
    {
        if (code == CURLE_ABORTED_BY_CALLBACK || code == CURLE_READ_ERROR) {
            description =
                uiText(UiText::NetFileNotRead).arg(m_file.fileName(), m_file.errorString());
            return NetError::LocalFile;
        }
        return netErrorOf(code);
    }

    void reported() override { emit m_session->documentOutput(m_file.size(), m_file.size()); }

private:
    FtpSession* m_session;
    QFile m_file;
    QString m_remote;
    QByteArray m_url, m_user, m_password;
    qint64 m_sent = -1;
};

class FtpSession::Download : public NetSession::Transfer
{
public:
    Download(FtpSession* session, const QString& remoteName, const QString& localFile)
        : m_session(session), m_file(localFile), m_remote(remoteName)
    {
    }

    bool prepare(QString& error) override
    {
        return openLocalFile(m_file, QIODevice::WriteOnly, error);
    }

    void configure(CURL* curl) override
    {
        m_url = m_session->urlOf(m_remote);
        m_user = codepage::toAnsi(m_session->m_user);
        m_password = codepage::toAnsi(m_session->m_password);
        curl_easy_setopt(curl, CURLOPT_URL, m_url.constData());
        setLogin(curl, m_user, m_password);
        const auto onWrite = +[](char* data, size_t size, size_t count, void* user) -> size_t {
            const qint64 n = static_cast<QSaveFile*>(user)->write(data, qint64(size * count));
            return n < 0 ? 0 : size_t(n);
        };
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &m_file);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onWrite);
    }

    void progress(qint64 downNow, qint64 downTotal, qint64, qint64) override
    {
        if (downNow != m_got)
            emit m_session->documentInput(m_got = downNow, downTotal);
    }

    NetError ended(CURLcode code, long, QString& description) override
    {
        if (code == CURLE_OK && !m_file.commit()) {
            description =
                uiText(UiText::NetFileNotWritten).arg(m_file.fileName(), m_file.errorString());
            return NetError::LocalFile;
        }
        if (code != CURLE_OK)
            m_file.cancelWriting();
        if (code == CURLE_WRITE_ERROR) {
            description =
                uiText(UiText::NetFileNotWritten).arg(m_file.fileName(), m_file.errorString());
            return NetError::LocalFile;
        }
        return netErrorOf(code);
    }

    void reported() override { emit m_session->documentInput(m_got, m_got); }

private:
    FtpSession* m_session;
    QSaveFile m_file;
    QString m_remote;
    QByteArray m_url, m_user, m_password;
    qint64 m_got = 0;
};

FtpSession::FtpSession(QObject* parent) : NetSession(21, parent)
{
}

QByteArray FtpSession::urlOf(const QString& remoteName) const
{
    // A path of the URL names a place below the folder the server logs the user into: the
    // account's root "/" is the URL's "/".
    QByteArray path = "/";
    for (const QString& part : m_folder.split(u'/', Qt::SkipEmptyParts))
        path += QUrl::toPercentEncoding(QString::fromLatin1(codepage::toAnsi(part))) + '/';
    if (!remoteName.isEmpty())
        path += QUrl::toPercentEncoding(QString::fromLatin1(codepage::toAnsi(remoteName)));
    return urlBase("ftp").toUtf8() + path;
}

void FtpSession::connectToServer()
{
    if (isBusy())
        return;
    setState(nsConnecting);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (state() == nsConnecting && !isBusy())
                emit protocolStateChanged(fpAuthentication);
        },
        Qt::QueuedConnection);
}

void FtpSession::authenticate(const QString& user, const QString& password)
{
    if (isBusy())
        return;
    m_user = user;
    m_password = password;
    start(std::make_unique<Step>(this, false));
}

void FtpSession::changeDirectory(const QString& folder)
{
    m_folder = folder;
}

void FtpSession::putFile(const QString& localFile, const QString& remoteName)
{
    if (isBusy())
        return;
    start(std::make_unique<Upload>(this, localFile, remoteName));
}

void FtpSession::getFile(const QString& remoteName, const QString& localFile)
{
    if (isBusy())
        return;
    start(std::make_unique<Download>(this, remoteName, localFile));
}

void FtpSession::quit()
{
    if (state() == nsDisconnected)
        return;
    if (isBusy())
        abort();
    setState(nsDisconnecting);
    start(std::make_unique<Step>(this, true));
}
