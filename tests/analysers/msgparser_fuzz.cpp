// Fuzz target: messages cut by the table-driven parser, through the ACL 2000's tables and through
// a layout of delimited fields, a switch and a repeated group. The input is a series of messages
// (a length byte before each), parsed in turn so that moved rows carry over. Every field stored
// has a name of the layout or the code table and at least one value.
#include <analysers/acl2000util.h>
#include <support/fuzz_support.h>

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
        return name;
    }();
    static const QSet<QByteArray> aclNames = namesOf(ACL2000MsgFields(), ACL2000RepFields());
    static const QSet<QByteArray> groupNames = namesOf(groupLayout(), groupCodes());
    const auto acl = TDriver::New<Parser>(file, ACL2000MsgFields(), ACL2000RepFields());
    const auto group = TDriver::New<Parser>(file, groupLayout(), groupCodes());
    fuzz::forEachChunk(data, std::min<std::size_t>(size, 16 * 1024),
                       [&](const QByteArray& message) {
                           acl->ParseMessage(message);
                           check(*acl, aclNames);
                           group->ParseMessage(message);
                           check(*group, groupNames);
                       });
    return 0;
}
