// The exchange with an application server through a shared folder, on the local kind (SQLite)
// against the Python test peer (appserver_peer.py): selects filling caches, the write-back's
// update batch, the server's error files, time-outs, and what the folder holds afterwards.
#include "kernel_helpers.h"

#include <kernel/appserver.h>
#include <kernel/dbcache.h>
#include <platform/clock.h>
#include <platform/fileops.h>

#include <support/workspace.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace krntest;

namespace {

const QString PeerScript = QStringLiteral(QUORVANE_TEST_DATA "/../kernel/appserver_peer.py");

// Every entry of a folder, hidden ones too.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// The test peer on a folder, with a role; stopped (by its own process) when the test ends.
class Peer
{
public:
    Peer(const QString& folder, const QStringList& options)
        : m_record(m_dir.filePath("record.jsonl"))
    {
        m_process.start("/usr/bin/python3",
                        QStringList{PeerScript, folder, "--record", m_record} + options);
        QByteArray heard;
        while (!heard.contains("ready\n") && m_process.waitForReadyRead(30000))
            heard += m_process.readAllStandardOutput();
        EXPECT_TRUE(heard.contains("ready\n")) << m_process.readAllStandardError().constData();
    }
    ~Peer()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

    // What the peer read, one object per request it took.
    QList<QJsonObject> records() const
    {
        QList<QJsonObject> out;
        for (const QByteArray& line : readFileBytes(m_record).split('\n')) {
            if (!line.isEmpty())
                out.append(QJsonDocument::fromJson(line).object());
        }
        return out;
    }

private:
    QTemporaryDir m_dir;
    QString m_record;
    QProcess m_process;
};

// The write-back practice with a shared folder for the server, the kernel's program folder
// holding BATCHES.
struct SharedPractice : WritePractice
{
    SharedPractice()
    {
        access.SetAppServerPath(share.path());
        access.SetRemoteTimeout(10);
    }
    QStringList shared() const { return entries(share.path()); }
    QStringList batches() const { return entries(TAppServerExchange::ResultFolder()); }

    QTemporaryDir share;
};

// A cache on a request of its own, not yet opened.
struct Select
{
    Select(Practice& p, const QString& table, const QString& where = QString())
        : request(p.request(table))
    {
        request->From().Add()->SetTableName(table);
        request->Select().Add()->SetText("*");
        if (!where.isEmpty()) {
            condition = request->Where().Add();
            condition->SetText(where);
        }
        cache.SetRequest(request.get());
    }
    std::unique_ptr<TDBRequest> request;
    TWhereItem* condition = nullptr;
    TDBCache cache;
};

QStringList column(TDBCache& cache, const char* field)
{
    QStringList values;
    for (cache.first(); !cache.eof(); cache.next())
        values.append(cache.FieldByName(field)->asString());
    return values;
}

QByteArray blobValue(const QJsonValue& value)
{
    return QByteArray::fromBase64(value["base64"].toString().toLatin1());
}

dev_t deviceOf(const QString& path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_dev;
}

} // namespace

// A select through the server fills the cache with the peer's rows, its parameter travelling with
// it; the result leaves nothing behind, also when BATCHES lies on another file system, and when
// the server names its files in upper case (Q<n>.DB beside Q<n>.IDX).
enum class Answer { BatchesBesideTheShare, BatchesOnAnotherFileSystem, UpperCaseResult };

class RemoteSelect : public ::testing::TestWithParam<Answer>
{
};

TEST_P(RemoteSelect, FillsTheCacheWithThePeersRows)
{
    SharedPractice p;
    QTemporaryDir other(QStringLiteral("/dev/shm/qv-batches-XXXXXX"));
    if (GetParam() == Answer::BatchesOnAnotherFileSystem) {
        if (!other.isValid() || deviceOf(other.path()) == deviceOf(p.share.path()))
            GTEST_SKIP() << "needs /dev/shm on another file system than the temporary folder";
        SetKernelProgramDirForTesting(other.path());
    }
    const QStringList upper =
        GetParam() == Answer::UpperCaseResult ? QStringList{"--upper"} : QStringList();
    p.access.SetRemoteSelect(true);
    Peer peer(p.share.path(), QStringList{"--role", "serve", "--source", p.kernel.file()} + upper);
    Select s(p, "MALADES", "MALADES_ID >= :FIRST");
    s.condition->ItemParams().paramByName("FIRST").setAsInteger(2);
    s.cache.Open();
    EXPECT_EQ(column(s.cache, "NOM"), QStringList({"Bernard", "Claude"}));
    EXPECT_EQ(column(s.cache, "MALADES_ID"), QStringList({"2", "3"}));
    EXPECT_TRUE(p.batches().isEmpty()) << p.batches().join(' ').toStdString();
    EXPECT_TRUE(p.shared().isEmpty()) << p.shared().join(' ').toStdString();

    const QList<QJsonObject> records = peer.records();
    ASSERT_EQ(records.size(), 1);
    const QString file = records[0]["file"].toString();
    EXPECT_EQ(file, QStringLiteral("q%1.bin").arg(p.access.AppServer().LastRequestNumber()));
    const QJsonObject q = records[0]["components"][0].toObject();
    EXPECT_EQ(q["class"], "TQuery");
    EXPECT_EQ(q["database"], "Main");
    EXPECT_EQ(q["sql"].toVariant().toStringList().join('\n'), s.request->CompiledText());
    EXPECT_EQ(q["params"], QJsonArray({QJsonObject{{"name", "FIRST"},
                                                   {"datatype", "ftInteger"},
                                                   {"paramtype", "ptInput"},
                                                   {"value", 2}}}));
}

std::string answerName(const ::testing::TestParamInfo<Answer>& info)
{
    static const char* const names[] = {"BatchesBesideTheShare", "BatchesOnAnotherFileSystem",
                                        "UpperCaseResult"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(AppServer, RemoteSelect,
                         ::testing::Values(Answer::BatchesBesideTheShare,
                                           Answer::BatchesOnAnotherFileSystem,
                                           Answer::UpperCaseResult),
                         answerName);

// The server's error text, its silence and a stalled request: each raises, and the folder is
// left empty.
TEST(AppServer, ErrorsAndTimeOutsOfASelectLeaveTheFolderEmpty)
{
    const QString timeOut = "Time out for application server response elapsied.";
    const struct
    {
        QStringList peer; // empty: no peer at all
        QString message;
    } cases[] = {
        {{"--role", "fail", "--error", "A", "B"}, "A\nB"},
        {{"--role", "fail", "--lf", "--error", "Table inconnue", "", "fin"},
         "Table inconnue\n\nfin"},
        {{}, timeOut},
        {{"--role", "absent"}, timeOut},
        {{"--role", "stall"}, timeOut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.peer.join(' ').toStdString());
        SharedPractice p;
        p.access.SetRemoteSelect(true);
        std::unique_ptr<Peer> peer;
        if (!c.peer.isEmpty())
            peer = std::make_unique<Peer>(p.share.path(), c.peer);
        const bool fails = c.peer.contains("fail");
        const bool stalls = c.peer.contains("stall");
        // A failing peer answers well within the practice's 10 s. The others wait out one
        // second: on the real clock, or for the stalling peer on a clock that starts once the
        // peer has taken the request, so that the time-out finds r<n>.bin however slow it was.
        if (!fails)
            p.access.SetRemoteTimeout(1);
        qint64 now = 0;
        int waits = 0;
        if (stalls) {
            TAppServerExchange& exchange = p.access.AppServer();
            exchange.SetMonotonicClock([&] { return now; });
            exchange.SetWait([&](int ms) {
                QThread::msleep(ulong(ms));
                // A peer that never takes it still ends the wait, after 30 s.
                if (++waits > 600 || !peer->records().isEmpty())
                    now += ms;
            });
        }
        Select s(p, "MALADES");
        EXPECT_EQ(kernelErrorOf([&] { s.cache.Open(); }), c.message);
        EXPECT_FALSE(s.cache.isActive());
        EXPECT_TRUE(p.shared().isEmpty()) << p.shared().join(' ').toStdString();
        EXPECT_TRUE(p.batches().isEmpty());
        // The failing and the stalling peer took the request (q<n>.bin became r<n>.bin, and the
        // time-out removed r<n>.bin); the absent one never did.
        if (peer) {
            EXPECT_EQ(peer->records().size(), c.peer.contains("absent") ? 0 : 1);
        }
    }
}

// The result's second file cannot be moved until the time-out: the select fails, and the file
// already moved does not stay in BATCHES.
TEST(AppServer, ASelectThatFailsWhileMovingItsResultLeavesNothingInBatches)
{
    SharedPractice p;
    p.access.SetRemoteTimeout(1);
    p.access.SetRemoteSelect(true);
    Peer peer(p.share.path(), {"--role", "serve", "--upper"});
    TAppServerExchange& exchange = p.access.AppServer();
    // The clock runs only once the server is done with the request: while the result is moved.
    // (A peer that never answers still ends the wait: after 30 s it runs regardless.)
    qint64 now = 0;
    int waits = 0;
    exchange.SetMonotonicClock([&] { return now; });
    exchange.SetWait([&](int ms) {
        QThread::msleep(ulong(ms));
        const int n = exchange.LastRequestNumber();
        if (++waits > 600 || (!QFile::exists(p.share.filePath(QStringLiteral("q%1.bin").arg(n))) &&
                              !QFile::exists(p.share.filePath(QStringLiteral("r%1.bin").arg(n)))))
            now += ms;
    });
    // Moving is all the select does with the seam's move: the first succeeds, then none.
    for (int call = 2; call <= 40; ++call)
        fileops::failNth(fileops::Op::Move, call, EIO);
    Select s(p, "MALADES");
    EXPECT_EQ(kernelErrorOf([&] { s.cache.Open(); }),
              "Time out for application server response elapsied.");
    fileops::resetFaults();
    EXPECT_TRUE(p.batches().isEmpty()) << p.batches().join(' ').toStdString();
    EXPECT_EQ(p.shared().size(), 1) << "the file that could not be moved stays with the server";
}

// One outermost transaction with an edit of a key and an insert carrying a 100 000-byte blob
// sends one batch, which the peer reads whole and applies to the database.
TEST(AppServer, TheWriteBackSendsOneBatchPerOutermostTransaction)
{
    SharedPractice p;
    p.access.SetRemoteUpdate(true);
    QByteArray photo(100000, Qt::Uninitialized);
    for (int i = 0; i < photo.size(); ++i)
        photo[i] = char((i * 13 + 5) % 256);
    CacheOn m(p, "MALADES");
    {
        Peer peer(p.share.path(), {"--role", "serve", "--apply", "--source", p.kernel.file()});
        p.access.StartTransaction(true);
        ASSERT_TRUE(m->locate("MALADES_ID", 2));
        m->edit();
        m->FieldByName("MALADES_ID")->setAsInteger(20);
        m->FieldByName("NOM")->setAsString("Bertrand");
        m->post();
        m->append();
        m->FieldByName("MALADES_ID")->setAsInteger(4);
        m->FieldByName("NOM")->setAsString("Denis");
        m->FieldByName("PHOTO")->setAsBytes(photo);
        m->post();
        EXPECT_TRUE(p.shared().isEmpty()) << "nothing is sent before the outermost commit";
        p.access.Commit();

        const QList<QJsonObject> records = peer.records();
        ASSERT_EQ(records.size(), 1);
        const QJsonArray statements = records[0]["components"].toArray();
        ASSERT_EQ(statements.size(), 2);
        EXPECT_EQ(statements[0]["resource"], "TBIGQUERY");
        EXPECT_EQ(statements[0]["database"], "Main");
        EXPECT_EQ(statements[0]["sql"],
                  QJsonArray({"update MALADES set ", "MALADES_ID=:MALADES_ID", ",NOM=:NOM",
                              "where MALADES_ID=:WHERE_MALADES_ID"}));
        auto param = [](const QJsonValue& statement, int i) {
            const QJsonObject p = statement["bigdata"][i].toObject();
            return p["name"].toString() + "=" + p["value"].toVariant().toString() + " (" +
                   QString::number(p["datatype"].toInt()) + ")";
        };
        EXPECT_EQ(param(statements[0], 0), "MALADES_ID=20 (3)");
        EXPECT_EQ(param(statements[0], 1), "NOM=Bertrand (1)");
        EXPECT_EQ(param(statements[0], 2), "WHERE_MALADES_ID=2 (3)");
        EXPECT_EQ(statements[1]["sql"],
                  QJsonArray({"insert into MALADES", "(MALADES_ID,NOM,ACTIF,PHOTO)",
                              "values(:MALADES_ID,:NOM,:ACTIF,:PHOTO)"}));
        EXPECT_EQ(param(statements[1], 0), "MALADES_ID=4 (3)");
        EXPECT_EQ(param(statements[1], 1), "NOM=Denis (1)");
        EXPECT_EQ(param(statements[1], 2), "ACTIF=false (5)");
        const QJsonObject blob = statements[1]["bigdata"][3].toObject();
        EXPECT_EQ(blob["datatype"], 15);
        EXPECT_EQ(blob["size"], 100000);
        EXPECT_TRUE(blobValue(blob["value"]) == photo);
        EXPECT_EQ(p.kernel.rows("select MALADES_ID, NOM, ACTIF, length(PHOTO), hex(substr(PHOTO, "
                                "99999)) from MALADES order by 1"),
                  QStringList({"1|Arnaud|1|NULL|", "3|Claude|NULL|NULL|", "4|Denis|0|100000|0B18",
                               "20|Bertrand|0|NULL|"}));
        EXPECT_TRUE(p.shared().isEmpty());

        // Rolled back, nothing goes; nested, it goes once.
        p.access.StartTransaction(true);
        ASSERT_TRUE(m->locate("MALADES_ID", 3));
        m->edit();
        m->FieldByName("NOM")->setAsString("Clément");
        m->post();
        p.access.Rollback();
        EXPECT_TRUE(p.shared().isEmpty());
        p.access.StartTransaction(true);
        p.access.StartTransaction(false);
        m->edit();
        m->FieldByName("NOM")->setAsString("Clémence");
        m->post();
        p.access.Commit();
        EXPECT_TRUE(p.shared().isEmpty());
        EXPECT_EQ(peer.records().size(), 1);
        p.access.Commit();
        EXPECT_EQ(peer.records().size(), 2);
        EXPECT_EQ(p.kernel.rows("select NOM from MALADES where MALADES_ID = 3"),
                  QStringList({"Clémence"}));
    }

    // A batch the server refuses raises the first line of its error; the post fails and the row
    // stays edited.
    Peer failing(p.share.path(), {"--role", "fail", "--error", "Violation de clé", "détails"});
    ASSERT_TRUE(m->locate("MALADES_ID", 1));
    m->edit();
    m->FieldByName("NOM")->setAsString("Arnould");
    EXPECT_EQ(kernelErrorOf([&] { m->post(); }), "Violation de clé");
    EXPECT_EQ(m->state(), DataSet::State::Edit);
    EXPECT_EQ(p.kernel.rows("select NOM from MALADES where MALADES_ID = 1"),
              QStringList({"Arnaud"}));
    EXPECT_TRUE(p.shared().isEmpty());
    EXPECT_EQ(failing.records().size(), 1);
}

// The wait is measured on the monotonic clock: a wait over midnight times out like any other,
// after RemoteTimeout seconds of 50 ms looks at the folder.
TEST(AppServer, AWaitOverMidnightStillTimesOut)
{
    SharedPractice p;
    p.access.SetRemoteTimeout(1);
    TAppServerExchange& exchange = p.access.AppServer();
    qint64 now = 86399500; // 23:59:59.5 in milliseconds of the day
    clock::setFixed(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 500)));
    int waits = 0;
    exchange.SetMonotonicClock([&] { return now; });
    exchange.SetWait([&](int ms) {
        ++waits;
        now += ms;
        clock::advance(ms);
    });
    SqlQuery statement;
    statement.setSql("delete from MALADES where MALADES_ID = :ID");
    statement.paramByName("ID").setAsInteger(3);
    exchange.OpenUpdateBatch();
    exchange.AddBatchStatement(statement);
    EXPECT_EQ(kernelErrorOf([&] { exchange.SendUpdateBatch(); }),
              "Time out for application server response elapsied.");
    EXPECT_EQ(waits, 21); // 21 x 50 ms is the first look past one second
    EXPECT_EQ(clock::now().time(), QTime(0, 0, 0, 550));
    EXPECT_TRUE(p.shared().isEmpty()) << "the request is withdrawn";
    clock::reset();
}

// A publish that fails draws a new number within the limit; failing past it, the error comes
// and no file of ours is left. The wait plays the server: it takes whatever request is there.
TEST(AppServer, AFailedPublishDrawsANewNumberUntilTheLimit)
{
    SharedPractice p;
    p.access.SetRemoteTimeout(1);
    TAppServerExchange& exchange = p.access.AppServer();
    exchange.SeedRandom(42);
    QRandomGenerator same(42);
    const int first = int(same.bounded(9000000));
    const int second = int(same.bounded(9000000));
    const int third = int(same.bounded(9000000));
    // Another workstation's request holds the number drawn first: it is not drawn again, and
    // stays as it is.
    const QString theirs = p.share.filePath(QStringLiteral("B%1.BIN").arg(first));
    writeFileBytes(theirs, "theirs");
    qint64 now = 0;
    QStringList taken;
    exchange.SetMonotonicClock([&] { return now; });
    exchange.SetWait([&](int ms) {
        now += ms;
        for (const QString& name : p.shared()) {
            if (QRegularExpression("^b\\d+\\.bin$").match(name).hasMatch()) {
                taken.append(name);
                QFile::remove(p.share.filePath(name));
            }
        }
    });
    SqlQuery statement;
    statement.setSql("delete from MALADES where MALADES_ID = :ID");
    statement.paramByName("ID").setAsInteger(3);

    fileops::failNth(fileops::Op::Publish, 1, EIO);
    exchange.OpenUpdateBatch();
    exchange.AddBatchStatement(statement);
    exchange.SendUpdateBatch();
    exchange.DiscardUpdateBatch();
    EXPECT_EQ(taken, QStringList({QStringLiteral("b%1.bin").arg(third)}))
        << "b" << second << ".bin failed to publish";
    EXPECT_EQ(p.shared(), QStringList({QFileInfo(theirs).fileName()}));
    EXPECT_EQ(readFileBytes(theirs), "theirs");

    // Every publish fails: after one second of 50 ms pauses the seam's error is raised.
    for (int call = 1; call <= 30; ++call)
        fileops::failNth(fileops::Op::Publish, call, EIO);
    now = 0;
    exchange.OpenUpdateBatch();
    exchange.AddBatchStatement(statement);
    const QString error = kernelErrorOf([&] { exchange.SendUpdateBatch(); });
    exchange.DiscardUpdateBatch();
    fileops::resetFaults();
    EXPECT_TRUE(error.startsWith("cannot rename") &&
                error.endsWith("an input/output error occurred"))
        << error.toStdString();
    EXPECT_EQ(now, 1050);
    EXPECT_EQ(p.shared(), QStringList({QFileInfo(theirs).fileName()}));
}

// Two workstations whose numbers come from generators seeded alike, each sending 200 batches into
// one folder: the peer takes 400 requests and reads each whole.
TEST(AppServer, TwoWorkstationsSeededAlikeNeverMixTheirRequests)
{
    QTemporaryDir share;
    QTemporaryDir programs;
    Peer peer(share.path(), {"--role", "serve"});
    const QString child = QStringLiteral(QUORVANE_BINARY_DIR "/tests/appserver_child");
    QProcess a, b;
    a.start(child, {share.path(), programs.filePath("a"), "7", "200", "A"});
    b.start(child, {share.path(), programs.filePath("b"), "7", "200", "B"});
    for (QProcess* c : {&a, &b}) {
        ASSERT_TRUE(c->waitForFinished(110000));
        EXPECT_EQ(c->exitCode(), 0) << c->readAllStandardError().constData();
    }
    QSet<QString> seen;
    for (const QJsonObject& r : peer.records()) {
        ASSERT_FALSE(r.contains("error")) << r["error"].toString().toStdString();
        const QJsonArray statements = r["components"].toArray();
        ASSERT_EQ(statements.size(), 1);
        EXPECT_EQ(statements[0]["sql"], QJsonArray({"insert into SENT values(:TAG,:I)"}));
        const QJsonArray params = statements[0]["bigdata"].toArray();
        ASSERT_EQ(params.size(), 2);
        seen.insert(params[0]["value"].toString() + QString::number(params[1]["value"].toInt()));
    }
    EXPECT_EQ(seen.size(), 400);
    EXPECT_TRUE(seen.contains("A0") && seen.contains("A199") && seen.contains("B199"));
    EXPECT_TRUE(entries(share.path()).isEmpty());
}
