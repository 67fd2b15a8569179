// Fuzz target: messages cut by the table-driven parser, through the ACL 2000's tables and through
// a layout of delimited fields, a switch and a repeated group. The input is a series of messages
// (a length byte before each), parsed in turn so that moved rows carry over. Every field stored
// has a name of the layout or the code table and at least one value. Each message is also framed
// as an ACL 2000 answer arriving in pieces: the look at the new bytes of each piece agrees with a
// look at all of them.
#include <analysers/acl2000util.h>
#include <platform/support/globals.h>
#include <support/fuzz_support.h>

#include <QDir>
#include <QSet>

namespace {

class Parser : public TParser
{
public:
    using TParser::TParser;

protected:
    void AppendChecksum(protocol::TResult&) override {}
    void CalcSpecialFields(protocol::TActionsList&, protocol::TFieldsList&) override {}
};

const std::vector<TMsgFldInfo>& groupLayout()
{
    static const std::vector<TMsgFldInfo> rows{
        {"first", {}, 0, "Head", "", 1, 0, 2}, {{}, {}, 0, "Name", "|", 3, 2, 0},
        {{}, {}, 0, "Kind", "Name", 5, 0, 0},  {{}, {}, 0, "Item", "[HT]", 4, 0, 0},
        {{}, {}, 0, "End", ";", 6, 0, 1},      {{}, {}, 0, "Code", "", 7, 0, 1},
        {"a;b", "b", 0, "Aa", ",", 3, 0, 0},   {{}, {}, 0, "Group", ".", 6, 0, 1},
        {"25", "a;b", 0, "Tail", "", 1, 0, 3},
    };
    return rows;
}

const std::vector<TRepFldInfo>& groupCodes()
{
    static const std::vector<TRepFldInfo> rows{{7, "A", "letter a", "Letter"},
                                               {7, "[CR]", "carriage return", "Letter"}};
    return rows;
}

class Framing : public TACL2000Util
{
public:
    using TACL2000Util::IsAnswerComplete;
};

void checkFraming(Framing& pieces, Framing& whole, const QByteArray& message)
{
    const qsizetype step = message.isEmpty() ? 1 : 1 + quint8(message.front()) % 7;
    QByteArray arrived;
    while (arrived.size() < message.size()) {
        const qsizetype from = arrived.size();
        arrived += message.mid(from, step);
        const bool complete = pieces.IsAnswerComplete(arrived, from);
        if (complete != whole.IsAnswerComplete(arrived, 0))
            fuzz::fail("msgparser", QStringLiteral("the answer framed in pieces of %1 bytes is "
                                                   "%2 at %3 bytes, whole it is not")
                                        .arg(step)
                                        .arg(complete ? QStringLiteral("complete")
                                                      : QStringLiteral("incomplete"))
                                        .arg(arrived.size()));
        if (complete)
            break;
    }
}

QSet<QByteArray> namesOf(const std::vector<TMsgFldInfo>& rows,
                         const std::vector<TRepFldInfo>& codes)
{
    QSet<QByteArray> names;
    for (const TMsgFldInfo& row : rows)
        names.insert(row.Name);
    for (const TRepFldInfo& code : codes)
        names.insert(code.FieldName);
    return names;
}

void check(const Parser& parser, const QSet<QByteArray>& names)
{
    for (const protocol::TFldInfo& field : parser.Fields) {
        if (!names.contains(field.Name) || field.Values.IsEmpty())
            fuzz::fail("msgparser", QStringLiteral("field ") + QString::fromLatin1(field.Name));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    static const QString file = [] {
        const QString name = scratch.path(QStringLiteral("empty.prt"));
        fuzz::writeFile(name, "0\n0\n");
        QDir().mkpath(scratch.path(QStringLiteral("Protocols")));
        fuzz::writeFile(scratch.path(QStringLiteral("Protocols/acl2000.prt")), "0\n0\n");
        IniFileName = scratch.path(QStringLiteral("QUORVANE.INI"));
        return name;
    }();
    static const QSet<QByteArray> aclNames = namesOf(ACL2000MsgFields(), ACL2000RepFields());
    static const QSet<QByteArray> groupNames = namesOf(groupLayout(), groupCodes());
    const auto acl = TDriver::New<Parser>(file, ACL2000MsgFields(), ACL2000RepFields());
    const auto group = TDriver::New<Parser>(file, groupLayout(), groupCodes());
    const auto pieces = TDriver::New<Framing>();
    const auto whole = TDriver::New<Framing>();
    fuzz::forEachChunk(data, std::min<std::size_t>(size, 16 * 1024),
                       [&](const QByteArray& message) {
                           acl->ParseMessage(message);
                           check(*acl, aclNames);
                           group->ParseMessage(message);
                           check(*group, groupNames);
                           checkFraming(*pieces, *whole, message);
                       });
    return 0;
}
