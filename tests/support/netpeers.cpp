// The SMTP and FTP servers of the tests, as Python scripts.
#include "netpeers.h"

#include <QDeadlineTimer>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

const char* const SmtpScript = R"(
import asyncio, os, socket, sys
mode, out = sys.argv[1], sys.argv[2]
if mode == 'silent':
    s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen()
    print(s.getsockname()[1], flush=True); held = []
    while True:
        held.append(s.accept())
        print('accepted', flush=True)
from aiosmtpd.smtp import SMTP
class Handler:
    async def handle_RCPT(self, server, session, envelope, address, options):
        if mode == 'rcpt550':
            return '550 5.1.1 no such user'
        envelope.rcpt_tos.append(address)
        return '250 OK'
    async def handle_DATA(self, server, session, envelope):
        name = os.path.join(out, 'msg%d' % len(os.listdir(out)))
        open(name, 'wb').write(envelope.original_content)
        return '250 OK'
class Server(SMTP):
    async def smtp_VRFY(self, arg):
        if mode == 'vrfysilent':
            print('VRFY', flush=True)
            await asyncio.sleep(3600)
        elif mode.startswith('vrfy'):
            await self.push('%s reply of the test' % mode[4:])
        else:
            await self.push('250 <%s>' % arg)
loop = asyncio.new_event_loop()
asyncio.set_event_loop(loop)
server = loop.run_until_complete(
    loop.create_server(lambda: Server(Handler()), '127.0.0.1', 0))
print(server.sockets[0].getsockname()[1], flush=True)
loop.run_forever()
)";

const char* const FtpScript = R"(
import sys, logging
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
logging.basicConfig(level=logging.ERROR)
home, mode = sys.argv[1], sys.argv[2]
a = DummyAuthorizer()
a.add_user('u', 'pw', home, perm='elr' if mode == 'ro' else 'elradfmw')
FTPHandler.authorizer = a
FTPHandler.auth_failed_timeout = 0
s = FTPServer(('127.0.0.1', 0), FTPHandler)
print(s.address[1], flush=True)
s.serve_forever()
)";

} // namespace

PythonPeer::PythonPeer(const QString& script, const QStringList& arguments)
{
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    QStringList{QStringLiteral("-c"), script} + arguments);
    const QDeadlineTimer deadline(30000);
    while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        m_process.waitForReadyRead(int(deadline.remainingTime()));
    port = m_process.readLine().trimmed().toInt();
    m_said = m_process.readAllStandardOutput();
    EXPECT_GT(port, 0) << "the server did not start: "
                       << m_process.readAllStandardError().toStdString();
}

bool PythonPeer::said(const QByteArray& word)
{
    m_said += m_process.readAllStandardOutput();
    return m_said.contains(word);
}

PythonPeer::~PythonPeer()
{
    m_process.kill();
    m_process.waitForFinished(10000);
}

SmtpPeer::SmtpPeer(const QString& mode, const QString& folder)
    : PythonPeer(QString::fromUtf8(SmtpScript), {mode, folder})
{
}

FtpPeer::FtpPeer(const QString& home, const QString& mode)
    : PythonPeer(QString::fromUtf8(FtpScript), {home, mode})
{
}

int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}
