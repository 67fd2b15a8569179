// The transfer dialog offscreen with scripted dialogs: its buttons, the copy into a folder,
// re-sends from the history; e-mail through a real SMTP server (aiosmtpd) and FTP through a real
// FTP server (pyftpdlib), both on 127.0.0.1 and read back with Python's own modules; the Base64
// buffer file; the purge, compression and about dialogs.
#include "localtables_fixture.h"

#include <app/appglobals.h>
#include <app/documents/docregistry.h>
#include <app/mainwindow/about.h>
#include <app/packages/compform.h>
#include <app/packages/deldlg.h>
#include <app/packages/emaildlg.h>
#include <app/packages/ftpclient.h>
#include <app/packages/ftpdlg.h>
#include <app/packages/mime64.h>
#include <app/packages/packages.h>
#include <app/packages/packdlg.h>
#include <app/packages/smtpform.h>
#include <app/packages/transferglobals.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/inifile.h>
#include <platform/net/ftpsession.h>
#include <platform/net/netsession.h>
#include <platform/net/smtpsession.h>
#include <platform/support/docfiles.h>
#include <platform/support/globals.h>
#include <platform/uitexts.h>

#include <support/netpeers.h>
#include <support/python.h>
#include <support/scoped_dialogs.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// ---- peers

// Shows a self-driving form and processes events until it has set its modal result.
int runUntilClosed(TForm& form)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (form.ModalResult() != mrNone)
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    form.show();
    loop.exec();
    EXPECT_NE(form.ModalResult(), mrNone) << "the form did not close";
    return form.ModalResult() == mrNone ? int(mrCancel) : form.ModalResult();
}

// ---- the workstation

struct TransferFixture : LocalTablesFixture
{
    TransferFixture()
    {
        QDir().mkpath(ExchangeDir);
        IniFileName = ws.path("QUORVANE.INI");
        appendSource(*tables->cfg, 1, 1, 1, "Fichiers ECG", "JAE");
        SetPackageNumbersForTesting({0x1A2B, 0x2B3C, 0x3C4D, 0xD5E});
        InitCurrentPackage();
    }
    ~TransferFixture()
    {
        SetPackageNumbersForTesting({});
        setDefaultNetBounds(NetBounds());
        IniFileName.clear();
        CurrentPack = 0;
        FTPPassword.clear();
        SavePassword = false;
        fileops::resetFaults();
    }

    int document(const QByteArray& data)
    {
        const int n = AddImportedFile(CurrentPack, "doc", 1, 0, "X");
        writeFileBytes(DocumentFileName(n, 1), data);
        return n;
    }
    void ini(const QString& section, const QString& key, const QString& value)
    {
        IniFile(IniFileName).writeString(section, key, value);
    }
    QString state(const QString& hex) const
    {
        return cli(
            QStringLiteral("SELECT \"Transfer state\" FROM \"PACKAGE.DB\" WHERE printf('%X', "
                           "Number & 0xFFFFFFFF) = '%1';")
                .arg(hex));
    }
    // Opens the dialog; `act` works it. `inner` scripts the forms it opens; then come the message
    // boxes expected meanwhile.
    void dialog(const std::function<void(TPackDlg&)>& act, const std::function<void()>& inner = {})
    {
        dialogs.answerModal("TPackDlg", [act](TForm& form) {
            auto& dlg = static_cast<TPackDlg&>(form);
            dlg.show();
            act(dlg);
            return dlg.ModalResult() == mrNone ? int(mrCancel) : dlg.ModalResult();
        });
        if (inner)
            inner();
        for (const auto& add : std::as_const(m_later))
            add();
        m_later.clear();
        ShowPackDlg();
    }
    // A message box the next dialog shows.
    void expectMessage(int result, const QString& text, std::optional<TMsgDlgType> type = {},
                       std::optional<TMsgDlgButtons> buttons = {})
    {
        m_later.append([=, this] { dialogs.answerMessage(result, text, type, buttons); });
    }
    // The request texts of the message boxes shown so far.
    QStringList messages() const
    {
        QStringList out;
        for (const auto& r : dialogs.requests())
            if (r.kind == ScriptedDialogs::Kind::Message)
                out << r.text;
        return out;
    }

    ScopedScriptedDialogs dialogs;
    QList<std::function<void()>> m_later;
};

// A package of every byte value and line ends.
QByteArray allBytes()
{
    QByteArray out("\r\n");
    for (int i = 0; i < 256; ++i)
        out += char(i);
    return out + "\r\n";
}

} // namespace

TEST(PackDlg, ButtonsHistoryAndFolderCopies)
{
    TransferFixture f;
    f.ini("Packages", "e-mail", "doc@example.org");
    const QString out = f.ws.path("out/");
    QDir().mkpath(out);
    f.ini("Packages", "GetDir", out);

    // No documents: nothing to send until an older package is chosen.
    f.dialog([&](TPackDlg& d) {
        EXPECT_EQ(d.Caption(), "Transférer les données");
        EXPECT_FALSE(d.bFile->isEnabled() || d.bEMAIL->isEnabled() || d.bFTP->isEnabled());
        EXPECT_TRUE(d.bFTP->isHidden() && d.FTP->isHidden() && d.BitBtn2->isHidden());
    });
    f.document("abc");
    f.dialog([&](TPackDlg& d) {
        EXPECT_TRUE(d.bFile->isEnabled() && d.bEMAIL->isEnabled());
        d.EMAIL->clear();
        EXPECT_FALSE(d.bEMAIL->isEnabled());
        d.EMAIL->setText("x@y");
        EXPECT_TRUE(d.bEMAIL->isEnabled());
        d.bFile->click();
    });
    EXPECT_EQ(readFileBytes(out + "1A2B.mpk"), readFileBytes(ExchangeDir + "1A2B.mpk"));
    EXPECT_EQ(readFileBytes(out + "1A2B.mpk").size(), 65);
    EXPECT_EQ(f.state("1A2B"), "2");
    EXPECT_EQ(IniFile(IniFileName).readString("Packages", "e-mail"), "x@y");

    // A copy that fails: no room (text 1), another fault (text 3); the package stays to send.
    f.document("def");
    fileops::failNth(fileops::Op::Copy, 1, ENOSPC);
    f.expectMessage(mrOk, "Erreur! Espace disque insuffisant!", mtError);
    f.dialog([](TPackDlg& d) { d.bFile->click(); });
    EXPECT_EQ(f.state("2B3C"), "1");
    f.document("ghi");
    fileops::failNth(fileops::Op::Copy, 1, EIO);
    f.expectMessage(mrOk, "Erreur d'accès à " + out + " !", mtError);
    f.dialog([](TPackDlg& d) { d.bFile->click(); });
    EXPECT_EQ(f.state("3C4D"), "1");
    EXPECT_FALSE(QFileInfo::exists(out + "2B3C.mpk") || QFileInfo::exists(out + "3C4D.mpk"));

    // The history, newest first; choosing 2B3C re-sends its .mpk, then 3C4D by an .mrk beside
    // it; a package with neither file names the .mrk it looked for.
    writeFileBytes(ExchangeDir + "3C4D.mrk", "archive");
    QFile::remove(ExchangeDir + "1A2B.mpk");
    const auto choose = [](TPackDlg& d, int row) {
        d.PackagesGrid->clicked(d.PackagesGrid->model()->index(row, 0));
    };
    f.dialog([&](TPackDlg& d) {
        EXPECT_FALSE(d.bFile->isEnabled());
        // The window grows with the history, about its centre.
        d.show();
        const QPoint centre = d.frameGeometry().center();
        const int width = d.width();
        d.PackagesBtn->click();
        ASSERT_TRUE(d.PackagesGrid->isVisible());
        EXPECT_GT(d.width(), width);
        EXPECT_LE((d.frameGeometry().center() - centre).manhattanLength(), 2);
        const QAbstractItemModel* m = d.PackagesGrid->model();
        QStringList rows;
        for (int r = 0; r < m->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < m->columnCount(); ++c)
                if (!d.PackagesGrid->isColumnHidden(c))
                    cells << m->data(m->index(r, c)).toString();
            rows << cells.join('|');
        }
        EXPECT_EQ(rows, QStringList({"D5E|06/12/2026|22:10:46|||En cours...",
                                     "3C4D|06/12/2026|22:10:46|06/12/2026|22:10:46|A transférer !",
                                     "2B3C|06/12/2026|22:10:46|06/12/2026|22:10:46|A transférer !",
                                     "1A2B|06/12/2026|22:10:46|06/12/2026|22:10:46|Ok"}))
            << rows.join('\n').toStdString();
        choose(d, 2);
        EXPECT_EQ(d.Caption(), "Transférer les données - [Package 2B3C]");
        EXPECT_TRUE(d.bFile->isEnabled());
        d.bFile->click();
    });
    EXPECT_EQ(f.state("2B3C"), "2");
    EXPECT_TRUE(QFileInfo::exists(out + "2B3C.mpk"));
    f.dialog([&](TPackDlg& d) {
        d.PackagesBtn->click();
        choose(d, 1);
        d.bFile->click();
    });
    EXPECT_EQ(readFileBytes(out + "3C4D.mrk"), "archive");
    EXPECT_EQ(f.state("3C4D"), "2");
    f.expectMessage(mrOk, "Erreur d'accès à " + ExchangeDir + "1A2B.mrk !", mtError);
    f.dialog([&](TPackDlg& d) {
        d.PackagesBtn->click();
        choose(d, 3);
        d.bFile->click();
    });
    EXPECT_EQ(f.dialogs.remaining(), QStringList());
}

// "A:\" of old settings: Retry repeats the question until Cancel; with a folder of that name (a
// disk in the drive) the copy goes. Any other missing folder is an access error.
TEST(PackDlg, FloppyPathRetriesAndMissingFolders)
{
    TransferFixture f;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(f.ws.root());
    const auto back = qScopeGuard([saved] { QDir::setCurrent(saved); });
    f.ini("Packages", "GetDir", "a:\\");
    f.document("abc");
    const QString insert =
        "Le lecteur A:\\ est vide. Veuillez insérer un disque et refaire le transfert.";
    f.expectMessage(mrRetry, insert, mtError, mbRetry | mbCancel);
    f.expectMessage(mrCancel, insert);
    f.dialog([](TPackDlg& d) { d.bFile->click(); });
    EXPECT_EQ(f.state("1A2B"), "1");
    QDir().mkpath(f.ws.path("a:\\"));
    f.dialog([](TPackDlg& d) {
        d.PackagesBtn->click();
        d.PackagesGrid->clicked(d.PackagesGrid->model()->index(1, 0));
        d.bFile->click();
    });
    EXPECT_EQ(f.state("1A2B"), "2");
    EXPECT_TRUE(QFileInfo::exists(f.ws.path("a:\\/1A2B.mpk")));

    f.ini("Packages", "GetDir", f.ws.path("missing"));
    f.document("def");
    f.expectMessage(mrOk, "Erreur d'accès à " + f.ws.path("missing") + " !");
    f.dialog([](TPackDlg& d) { d.bFile->click(); });
    EXPECT_EQ(f.state("2B3C"), "1");
}

TEST(Mime64, LinesPaddingAndTheName)
{
    TestWorkspace ws;
    const QByteArray head = "Content-Type: text/plain; charset=US-ASCII; name=";
    // Worked out by hand from the alphabet: "Man" is TWFu, "Ma" TWE=, "M" TQ==.
    struct Case
    {
        QByteArray source, body;
    } cases[] = {
        {"", ""},
        {"M", "TQ=="},
        {"Ma", "TWE="},
        {"Man", "TWFu"},
        {QByteArray("Man").repeated(15), QByteArray("TWFu").repeated(15) + "\r\n"},
        {QByteArray("Man").repeated(15) + "M", QByteArray("TWFu").repeated(15) + "\r\nTQ=="},
    };
    for (const Case& c : cases) {
        writeFileBytes(ws.path("é.bin"), c.source);
        writeFileBytes(ws.path("buf"), "an older buffer, longer than the new one");
        EncodeFileBase64(ws.path("é.bin"), ws.path("buf"));
        const QByteArray got = readFileBytes(ws.path("buf"));
        EXPECT_EQ(got, head + "\xE9.bin\r\nContent-transfer-encoding: base64\r\n\r\n" + c.body)
            << c.source.size();
        // Python's base64 agrees.
        EXPECT_EQ(runPython("import base64,sys; b=open(sys.argv[1],'rb').read();"
                            "print(base64.b64decode(b.split(b'\\r\\n\\r\\n',1)[1]).hex())",
                            {ws.path("buf")})
                      .trimmed(),
                  QString::fromLatin1(c.source.toHex()));
    }
}

namespace {

// An e-mail sent from the dialog to the SMTP server in `mode`; the messages land in `out`.
struct Mailing
{
    Mailing(TransferFixture& f, const QString& mode) : f(f), server(mode, box())
    {
        f.ini("e-mail", "SMTPServer", "127.0.0.1");
        f.ini("e-mail", "HOMEAddr", "poste@cabinet.fr");
        f.ini("Packages", "e-mail", "medecin@cabinet.fr");
    }
    QString box()
    {
        QDir().mkpath(f.ws.path("mails"));
        return f.ws.path("mails");
    }
    // Sends, the sending form answered by running it. Once the server has said `sign`, `act`
    // is done to the form (once).
    void send(const QByteArray& sign = {}, const std::function<void(TSMTPTForm&)>& act = {})
    {
        const int port = server.port;
        TransferFixture& fx = f;
        PythonPeer& peer = server;
        f.dialog([](TPackDlg& d) { d.bEMAIL->click(); },
                 [&fx, &peer, port, sign, act] {
                     fx.dialogs.answerModal("TSMTPTForm", [&peer, port, sign, act](TForm& form) {
                         auto& smtp = static_cast<TSMTPTForm&>(form);
                         smtp.SMTP1->setRemotePort(port);
                         smtp.SMTPTimer->setInterval(5);
                         QTimer watch;
                         QObject::connect(&watch, &QTimer::timeout, [&] {
                             if (peer.said(sign)) {
                                 watch.stop();
                                 act(smtp);
                             }
                         });
                         if (act)
                             watch.start(5);
                         return runUntilClosed(smtp);
                     });
                 });
    }
    QStringList mails() const
    {
        return QDir(f.ws.path("mails")).entryList(QDir::Files, QDir::Name);
    }

    TransferFixture& f;
    SmtpPeer server;
};

} // namespace

TEST(PackDlgMail, AMessageReadByPythonsParser)
{
    TransferFixture f;
    Mailing m(f, "ok");
    f.document(allBytes());
    m.send();
    ASSERT_EQ(m.mails(), QStringList({"msg0"}));
    EXPECT_EQ(f.state("1A2B"), "2");
    EXPECT_FALSE(QFileInfo::exists(ExchangeDir + "~email.buf"));
    // The body is the buffer file as the dialog wrote it, with its last line ended.
    EncodeFileBase64(ExchangeDir + "1A2B.mpk", f.ws.path("expected.buf"));
    const QByteArray raw = readFileBytes(f.ws.path("mails/msg0"));
    EXPECT_EQ(raw.mid(raw.indexOf("\r\n\r\n") + 4),
              readFileBytes(f.ws.path("expected.buf")) + "\r\n");
    const QString reader = R"(
import email, sys
m = email.message_from_bytes(open(sys.argv[1], 'rb').read())
for k, v in m.items():
    print('%s=%s' % (k, v))
part = email.message_from_string(m.get_payload())
print(part.get_param('name'))
print(part.get_payload(decode=True) == open(sys.argv[2], 'rb').read())
)";
    EXPECT_EQ(runPython(reader, {f.ws.path("mails/msg0"), ExchangeDir + "1A2B.mpk"}),
              "To=medecin@cabinet.fr\nFrom=poste@cabinet.fr\nCC=\nSubject=~QUORVANE PACKAGE~\n"
              "Message-Id=QUORVANE_06/12/2026 22:10:46_poste@cabinet.fr\n"
              "Content-Type=TEXT/PLAIN charset=US-ASCII\n1A2B.mpk\nTrue\n");
}

TEST(PackDlgMail, VerifyReplies)
{
    {
        // A server without VRFY takes the message.
        TransferFixture f;
        Mailing m(f, "vrfy502");
        f.document("abc");
        m.send();
        EXPECT_EQ(m.mails(), QStringList({"msg0"}));
        EXPECT_EQ(f.state("1A2B"), "2");
    }
    {
        // An address it refuses: the address box, then text 4 with the address and the server's
        // answer; nothing sent.
        TransferFixture f;
        Mailing m(f, "vrfy550");
        f.document("abc");
        f.expectMessage(mrOk, "Le format de l'adresse est incorrect !");
        f.expectMessage(mrOk, "Erreur ! Vous devez recommencer le transfert.\n"
                              "medecin@cabinet.fr : 550 reply of the test");
        m.send();
        EXPECT_EQ(m.mails(), QStringList());
        EXPECT_EQ(f.state("1A2B"), "1");
        EXPECT_EQ(f.dialogs.remaining(), QStringList());
    }
}

// Text 4, and under it why, in French where the text is the program's own.
TEST(PackDlgMail, FailuresShowText4AndWhy)
{
    setUiTextLanguage(1);
    const auto english = qScopeGuard([] { setUiTextLanguage(0); });
    const struct
    {
        const char* mode;
        QString why; // %1: the port
    } cases[] = {
        {"rcpt550", "Le serveur 127.0.0.1 a refusé la demande (550 5.1.1 no such user)"},
        {"silent", "Pas de réponse du serveur 127.0.0.1 en 0.5 s"},
        {"closed", "Le serveur 127.0.0.1 refuse les connexions sur le port %1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        TransferFixture f;
        setDefaultNetBounds({500, 500, 500});
        const QString mode = c.mode;
        Mailing m(f, mode == "closed" ? QStringLiteral("ok") : mode);
        if (mode == "closed")
            m.server.port = closedPort();
        f.document("abc");
        f.expectMessage(mrOk, "Erreur ! Vous devez recommencer le transfert.\n" +
                                  (mode == "closed" ? c.why.arg(m.server.port) : c.why));
        m.send();
        EXPECT_EQ(m.mails(), QStringList());
        EXPECT_EQ(f.state("1A2B"), "1");
        EXPECT_EQ(f.dialogs.remaining(), QStringList());
    }
}

// Whatever the form waits for (the server's greeting, its answer to VRFY), Escape or the close
// box ends the mailing at once as a failure: text 4 and "Transfert annulé !", nothing sent. The
// bounds are the program's own, far longer than the test: one reached instead would give its own
// reason.
TEST(PackDlgMail, TheUserEndsAnyWait)
{
    const auto escape = [](TSMTPTForm& form) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &press);
    };
    const auto closeBox = [](TSMTPTForm& form) { form.close(); };
    const struct
    {
        const char* mode;
        QByteArray sign;
        std::function<void(TSMTPTForm&)> act;
    } cases[] = {
        {"silent", "accepted", escape},
        {"silent", "accepted", closeBox},
        {"vrfysilent", "VRFY", escape},
        {"vrfysilent", "VRFY", closeBox},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        TransferFixture f;
        Mailing m(f, c.mode);
        f.document("abc");
        f.expectMessage(mrOk, "Erreur ! Vous devez recommencer le transfert.\nTransfert annulé !",
                        mtError);
        m.send(c.sign, c.act);
        EXPECT_EQ(m.mails(), QStringList());
        EXPECT_EQ(f.state("1A2B"), "1");
        EXPECT_EQ(f.dialogs.remaining(), QStringList());
    }
}

namespace {

struct FtpUpload
{
    FtpUpload(TransferFixture& f, const QString& mode) : f(f), server(home(), mode)
    {
        f.ini("FTP", "UserName", "u");
        f.ini("FTP", "Port", QString::number(server.port));
    }
    QString home()
    {
        QDir().mkpath(f.ws.path("ftp"));
        return f.ws.path("ftp");
    }
    // The password typed (and kept when `save`), then the upload run.
    void send(const QString& password, bool save = false)
    {
        TransferFixture& fx = f;
        f.dialog(
            [](TPackDlg& d) {
                d.FTP->setText("127.0.0.1");
                d.bFTP->click();
            },
            [&fx, password, save] {
                fx.dialogs.answerModal("TFTPPasswordDlg", [password, save](TForm& form) {
                    auto& p = static_cast<TFTPPasswordDlg&>(form);
                    p.show();
                    p.Edit1->setText(password);
                    p.CheckBox1->setChecked(save);
                    p.OKBtn->click();
                    return p.ModalResult();
                });
                fx.dialogs.answerModal("TFTPClient", [](TForm& form) {
                    auto& c = static_cast<TFTPClient&>(form);
                    c.FTPTimer->setInterval(5);
                    return runUntilClosed(c);
                });
            });
    }

    TransferFixture& f;
    FtpPeer server;
};

} // namespace

TEST(PackDlgFtp, UploadListedAndFetchedBack)
{
    TransferFixture f;
    FtpUpload u(f, "rw");
    f.document(allBytes());
    u.send("pw", true);
    EXPECT_EQ(f.state("1A2B"), "2");
    const QString fetch = R"(
import ftplib, sys
c = ftplib.FTP(); c.connect('127.0.0.1', int(sys.argv[1])); c.login('u', 'pw')
print(c.nlst())
data = bytearray(); c.retrbinary('RETR 1A2B.mpk', data.extend)
print(bytes(data) == open(sys.argv[2], 'rb').read()); c.quit()
)";
    EXPECT_EQ(runPython(fetch, {QString::number(u.server.port), ExchangeDir + "1A2B.mpk"}),
              "['1A2B.mpk']\nTrue\n");
    // The saved password is offered at the next prompt of the run.
    f.document("more");
    f.dialog(
        [](TPackDlg& d) {
            d.FTP->setText("127.0.0.1");
            d.bFTP->click();
        },
        [&f] {
            f.dialogs.answerModal("TFTPPasswordDlg", [](TForm& form) {
                auto& p = static_cast<TFTPPasswordDlg&>(form);
                p.show();
                EXPECT_EQ(p.Edit1->text(), "pw");
                EXPECT_TRUE(p.CheckBox1->isChecked());
                EXPECT_EQ(p.Edit1->echoMode(), QLineEdit::Password);
                return int(mrCancel);
            });
        });
    EXPECT_EQ(f.state("2B3C"), "0"); // cancelled at the prompt: no package made
}

TEST(PackDlgFtp, RefusalsShowText4)
{
    struct Case
    {
        const char* mode;
        const char* password;
        bool nobody;
    } cases[] = {{"ro", "pw", false}, {"rw", "wrong", false}, {"rw", "pw", true}};
    for (const Case& c : cases) {
        TransferFixture f;
        FtpUpload u(f, c.mode);
        if (c.nobody)
            f.ini("FTP", "Port", QString::number(closedPort()));
        f.document("abc");
        f.expectMessage(mrOk, "Erreur ! Vous devez recommencer le transfert.");
        u.send(c.password);
        EXPECT_EQ(f.state("1A2B"), "1") << c.mode << c.password;
        EXPECT_EQ(QDir(f.ws.path("ftp")).entryList(QDir::Files), QStringList()) << c.mode;
        EXPECT_EQ(f.dialogs.remaining(), QStringList()) << c.mode << c.password;
    }
}

TEST(TransferSettings, FtpAndMailOptions)
{
    TransferFixture f;
    f.dialog(
        [](TPackDlg& d) {
            d.BitBtn2Click(&d);
            d.BitBtn1Click(&d);
        },
        [&f] {
            // A port that is not a number raises after the user name was written.
            f.dialogs.answerModal("TFTPDlg", [](TForm& form) {
                auto& d = static_cast<TFTPDlg&>(form);
                d.show();
                EXPECT_EQ(d.UserNameEdit->text(), "");
                EXPECT_EQ(d.RemotePortEdit->text(), "21");
                d.UserNameEdit->setText("jean");
                d.RemotePortEdit->setText("abc");
                EXPECT_THROW(d.OKBtnClick(&d), EConvertError);
                return int(mrCancel);
            });
            f.dialogs.answerModal("TeMailDlg", [](TForm& form) {
                auto& d = static_cast<TeMailDlg&>(form);
                d.show();
                d.eSMTPServer->setText("smtp.cabinet.fr");
                d.eHomeAddr->setText("poste@cabinet.fr");
                d.OKBtnClick(&d);
                return d.ModalResult();
            });
        });
    const IniFile ini(IniFileName);
    EXPECT_EQ(ini.readString("FTP", "UserName"), "jean");
    EXPECT_EQ(ini.readString("FTP", "Port", "none"), "none");
    EXPECT_EQ(ini.readString("e-mail", "SMTPServer"), "smtp.cabinet.fr");
    EXPECT_EQ(ini.readString("e-mail", "HOMEAddr"), "poste@cabinet.fr");
}

TEST(SmallDialogs, PurgeCompressionAndAbout)
{
    TransferFixture f;
    const auto purge = [&](const std::function<int(TDelDlg&)>& act) {
        f.dialogs.answerModal("TDelDlg", [act](TForm& form) {
            auto& d = static_cast<TDelDlg&>(form);
            d.show();
            return act(d);
        });
        ShowDelDlg();
    };
    purge([](TDelDlg& d) {
        EXPECT_TRUE(d.NeedDelete->isChecked());
        EXPECT_EQ(d.DelInterval->value(), 30);
        d.NeedDelete->click();
        EXPECT_FALSE(d.DelInterval->isEnabled() || d.Label1->isEnabled() || d.Label2->isEnabled());
        d.OKBtn->click();
        return d.ModalResult();
    });
    EXPECT_EQ(IniFile(IniFileName).readInteger("Application", "DelInterval", 0), -1);
    purge([](TDelDlg& d) {
        EXPECT_FALSE(d.NeedDelete->isChecked() || d.DelInterval->isEnabled());
        d.NeedDelete->click();
        EXPECT_TRUE(d.DelInterval->isEnabled() && d.Label1->isEnabled());
        d.DelInterval->setValue(7);
        d.OKBtn->click();
        return d.ModalResult();
    });
    EXPECT_EQ(IniFile(IniFileName).readInteger("Application", "DelInterval", 0), 7);

    // Unchecked compression keeps the stored archiver path; the one in memory takes the edit's.
    f.ini("Application", "RAR_Path", "/usr/bin/7zz");
    NeedCompression = true;
    RarPath = "/usr/bin/7zz";
    const auto restore = qScopeGuard([] {
        NeedCompression = false;
        RarPath.clear();
    });
    f.dialogs.answerModal("TCompForm", [](TForm& form) {
        auto& c = static_cast<TCompForm&>(form);
        c.show();
        EXPECT_TRUE(c.CheckBox1->isChecked() && c.Edit1->isEnabled());
        c.Edit1->clear();
        c.Button1->click();
        EXPECT_EQ(c.Edit1->text(), "/usr/bin/rar");
        c.CheckBox1->click();
        EXPECT_FALSE(c.Edit1->isEnabled());
        c.OKBtn->click();
        return c.ModalResult();
    });
    f.dialogs.answerOpenFile("/usr/bin/rar");
    ShowCompForm();
    EXPECT_EQ(f.dialogs.requests().at(f.dialogs.requests().size() - 1).value, "/usr/bin");
    // The chooser has no title of its own: it shows the file dialog's, not the settings'.
    EXPECT_EQ(f.dialogs.requests().at(f.dialogs.requests().size() - 1).caption, "");
    EXPECT_FALSE(NeedCompression);
    EXPECT_EQ(RarPath, "/usr/bin/rar");
    EXPECT_EQ(IniFile(IniFileName).readString("Application", "RAR_Path"), "/usr/bin/7zz");
    EXPECT_EQ(IniFile(IniFileName).readString("Application", "NeedCompression"), "0");

    // The about box: five lines when the practice folder is the data folder, else six, made anew
    // at each showing.
    const QString savedTressoly = TressolyPath;
    const auto tressolyBack = qScopeGuard([savedTressoly] { TressolyPath = savedTressoly; });
    for (const bool same : {true, false}) {
        TressolyPath = same ? DataDir : f.ws.path("tressoly");
        f.dialogs.answerModal("TfAbout", [&](TForm& form) {
            auto& a = static_cast<TfAbout&>(form);
            a.show();
            EXPECT_EQ(a.Caption(), "A propos de " + ProgName);
            EXPECT_TRUE(a.SysInfo->isHidden());
            for (int round = 0; round < 2; ++round) {
                a.BitBtn2->click();
                const QStringList lines = a.SysInfo->toPlainText().split('\n');
                EXPECT_EQ(lines.size(), same ? 5 : 6);
                if (lines.size() < 5)
                    break;
                EXPECT_EQ(lines.mid(0, 2),
                          QStringList({"Network type: none", "Local share: FALSE"}));
                EXPECT_TRUE(lines[2].startsWith("Current user: "));
                EXPECT_EQ(lines[3], "Working directory: " + WorkPath);
                EXPECT_EQ(lines[4], "Database directory: " + DataDir);
                if (!same) {
                    EXPECT_EQ(lines.value(5), "Tressoly database directory: " + TressolyPath);
                }
                // Every line shows whole, or scrolls into view: none is cut off.
                a.layout()->activate();
                int widest = 0;
                for (const QString& line : lines)
                    widest = std::max(widest, a.SysInfo->fontMetrics().horizontalAdvance(line));
                EXPECT_GE(a.SysInfo->viewport()->width() +
                              a.SysInfo->horizontalScrollBar()->maximum(),
                          widest);
                a.BitBtn2->click();
                EXPECT_TRUE(a.SysInfo->isHidden());
            }
            return int(mrOk);
        });
        ShowAboutBox();
    }
}

// The download mode, which nothing calls: a bare name only, into the working folder's ftpfiles.
TEST(PackDlgFtp, DownloadTakesABareNameOnly)
{
    TransferFixture f;
    writeFileBytes(f.ws.path("ftp/pack.mrk"), "archive");
    FtpPeer server(f.ws.path("ftp"), QStringLiteral("ro"));
    for (const QString name : {"pack.mrk", "../pack.mrk", "sub/pack.mrk", ".."}) {
        TFTPClient* client = CreateForm<TFTPClient>();
        const auto freeForm = qScopeGuard([client] { client->Free(); });
        client->UserName = "u";
        client->Password = "pw";
        client->Host = "127.0.0.1";
        client->Port = server.port;
        client->FileName = name;
        client->Mode = 2;
        client->FTPTimer->setInterval(5);
        client->beginModal();
        runUntilClosed(*client);
        EXPECT_EQ(client->Completed, name == "pack.mrk") << name.toStdString();
    }
    EXPECT_EQ(QDir(WorkPath + "ftpfiles").entryList(QDir::Files | QDir::Hidden),
              QStringList({"pack.mrk"}));
    EXPECT_EQ(readFileBytes(WorkPath + "ftpfiles/pack.mrk"), "archive");
    EXPECT_FALSE(QFileInfo::exists(WorkPath + "pack.mrk"));
}
