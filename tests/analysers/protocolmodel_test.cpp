// The protocol file and the lists it fills: the three sections, line ends, the messages of a
// damaged file, and the field list's rules for values.
#include <analysers/protocolmodel.h>
#include <support/workspace.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace protocol;

namespace {

struct Loaded
{
    TActionsList actions;
    TFieldsList fields;
    TCommandsList commands;
};

// The file's lines joined with the line end.
Loaded load(const TestWorkspace& ws, const QByteArray& text)
{
    const QString file = ws.path(u"proto.prt"_s);
    writeFileBytes(file, text);
    Loaded l;
    LoadProtocolFile(file, l.actions, l.fields, l.commands);
    return l;
}

QString loadError(const TestWorkspace& ws, const QByteArray& text)
{
    return messageOf<EConvertError>([&] { load(ws, text); });
}

QStringList values(const TResultList& list)
{
    QStringList out;
    for (const TResult& r : list)
        out << u"%1:%2"_s.arg(r.Kind).arg(QString::fromLatin1(r.Data));
    return out;
}

QStringList parts(const TCommandPartList& list)
{
    QStringList out;
    for (const TCommandPart& p : list)
        out << u"%1 %2"_s.arg(p.Kind).arg(QString::fromLatin1(p.Text));
    return out;
}

const QByteArray Sample = "3\n"
                          "3 Id:12:34\n"
                          "1 SC:\n"
                          "5 Id:[STX]\n"
                          "3\n"
                          "SC:0:0000\n"
                          "N:2:7\n"
                          "SC:0:FFFF\n"
                          "0 0 2 2000\n"
                          "0\n"
                          "0 first answer\n"
                          "0  two blanks\n"
                          "-1 1 0 500\n"
                          "-1\n"
                          "0 [STX]X\n"
                          "2 -1 0 100\n";

class ProtocolFileTest : public ::testing::TestWithParam<const char*>
{
protected:
    TestWorkspace ws;
};

} // namespace

// The same file with LF and with CR LF line ends.
TEST_P(ProtocolFileTest, SectionsReadAsWritten)
{
    QByteArray text = Sample;
    text.replace("\n", GetParam());
    const Loaded l = load(ws, text);

    ASSERT_EQ(l.actions.Count(), 2);
    EXPECT_EQ(l.actions.GetItem(0).Name, "Id");
    // The second colon belongs to the value; a repeated name adds an alternative.
    EXPECT_EQ(values(l.actions.GetItem(0).Values), QStringList({u"3:12:34"_s, u"5:[STX]"_s}));
    EXPECT_EQ(l.actions.GetItem(1).Name, "SC");
    EXPECT_EQ(values(l.actions.GetItem(1).Values), QStringList({u"1:"_s}));

    // Preset fields are persistent; a repeated name adds a value, in file order.
    ASSERT_EQ(l.fields.Count(), 2);
    EXPECT_EQ(l.fields.GetItem(0).Name, "SC");
    EXPECT_TRUE(l.fields.GetItem(0).Persistent);
    EXPECT_EQ(values(l.fields.GetItem(0).Values), QStringList({u"0:0000"_s, u"0:FFFF"_s}));
    EXPECT_EQ(values(l.fields.GetItem(1).Values), QStringList({u"2:7"_s}));

    // SENDS 0 still reads the control part; a negative SENDS reads no send line.
    ASSERT_EQ(l.commands.Count(), 3);
    const TCommand& first = l.commands.GetItem(0);
    EXPECT_EQ(first.Block, 0);
    EXPECT_EQ(first.Timeout, 2000);
    EXPECT_EQ(parts(first.SendParts), QStringList({u"0 "_s}));
    EXPECT_EQ(parts(first.AnswerParts), QStringList({u"0 first answer"_s, u"0  two blanks"_s}));
    const TCommand& recovery = l.commands.GetItem(1);
    EXPECT_EQ(recovery.Block, -1);
    EXPECT_EQ(recovery.Timeout, 500);
    EXPECT_EQ(parts(recovery.SendParts), QStringList({u"-1 "_s, u"0 [STX]X"_s}))
        << "the values stay the file's bytes";
    EXPECT_TRUE(recovery.AnswerParts.IsEmpty());
    EXPECT_TRUE(l.commands.GetItem(2).SendParts.IsEmpty());
    EXPECT_TRUE(l.commands.GetItem(2).SendData.Data.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(LineEnds, ProtocolFileTest, ::testing::Values("\n", "\r\n"));

TEST(ProtocolFile, EndingAfterThePresetFieldsHasNoSteps)
{
    const TestWorkspace ws;
    for (const QByteArray text : {"0\n0\n", "0\n0", "0\r\n0\r\n\r\n  \r\n"}) {
        const Loaded l = load(ws, text);
        EXPECT_EQ(l.commands.Count(), 0) << text.toStdString();
    }
}

TEST(ProtocolFile, DamagedFilesNameThePlace)
{
    const TestWorkspace ws;
    const QString file = ws.path(u"proto.prt"_s);
    const auto at = [&](const QString& rest) {
        return u"Protocol file \"%1\", "_s.arg(file) + rest;
    };

    EXPECT_EQ(loadError(ws, "x\n0\n"),
              at(u"line 1, column 1: expected the number of actions, found \"x\""_s));
    EXPECT_EQ(loadError(ws, "1\n1 Id:1\n  2x\n"),
              at(u"line 3, column 3: expected the number of preset fields, found \"2x\""_s));
    EXPECT_EQ(loadError(ws, "0\n1\nSC0000\n"),
              at(u"line 3, column 1: expected preset field 1 of 1 as NAME:KIND:VALUE, found "
                 "\"SC0000\""_s));
    EXPECT_EQ(loadError(ws, "0\n1\nSC:A:0000\n"),
              at(u"line 3, column 4: expected preset field 1 of 1: its kind (0 to 255), found "
                 "\"A\""_s));
    EXPECT_EQ(loadError(ws, "0\n2\nSC:0:0000\n"),
              at(u"line 4, column 1: expected preset field 2 of 2, found the end of the file"_s));
    EXPECT_EQ(loadError(ws, "1\n3 Id\n0\n"),
              at(u"line 2, column 3: expected action 1 of 1: NAME:VALUE after its kind, found "
                 "\"Id\""_s));
    EXPECT_EQ(
        loadError(ws, "1\n300 Id:1\n0\n"),
        at(u"line 2, column 1: expected action 1 of 1: its kind (0 to 255), found \"300\""_s));
    EXPECT_EQ(loadError(ws, "2\n3 Id:1\n"),
              at(u"line 3, column 1: expected action 2 of 2: its kind (0 to 255), found the end "
                 "of the file"_s));
    // Inside a step: the header, then the parts.
    EXPECT_EQ(loadError(ws, "0\n0\n0 1 1\n"),
              at(u"line 4, column 1: expected the time-out of the step of line 3, found the end "
                 "of the file"_s));
    EXPECT_EQ(loadError(ws, "0\n0\n0 2 0 100\n0\n0 A\n"),
              at(u"line 6, column 1: expected send part 3 of 3 of the step of line 3, found the "
                 "end of the file"_s));
    EXPECT_EQ(loadError(ws, "0\n0\n0 0 2 100\n0\n0 A\nB x\n"),
              at(u"line 6, column 1: expected answer part 2 of 2 of the step of line 3, found "
                 "\"B\""_s));

    const QString missing = ws.path(u"none.prt"_s);
    Loaded l;
    const QString noFile =
        messageOf<EInOutError>([&] { LoadProtocolFile(missing, l.actions, l.fields, l.commands); });
    EXPECT_TRUE(noFile.startsWith(u"Protocol file \"%1\" cannot be read: "_s.arg(missing)))
        << noFile.toStdString();
    EXPECT_NE(messageOf<EInOutError>(
                  [&] { LoadProtocolFile(ws.root(), l.actions, l.fields, l.commands); }),
              u"<no error>"_s)
        << "a folder is no protocol file";
}

TEST(ProtocolFields, ValuesBySetMergeAndDelete)
{
    TFieldsList fields;
    fields.AddValue("SC", "0000", 0);
    // The other persistence makes a field of its own: collected values append, a persistent
    // field's first value is replaced.
    fields.SetValue("SC", "A", false);
    fields.SetValue("SC", "B", false);
    fields.SetValue("SC", "1234", true);
    ASSERT_EQ(fields.Count(), 2);
    EXPECT_EQ(values(fields.GetItem(0).Values), QStringList({u"0:1234"_s}));
    EXPECT_EQ(values(fields.GetItem(1).Values), QStringList({u"0:A"_s, u"0:B"_s}));

    // Deleting the last value removes the field.
    EXPECT_FALSE(fields.DeleteValue(1, 0));
    EXPECT_TRUE(fields.DeleteValue(1, 0));
    EXPECT_EQ(fields.Count(), 1);

    TInformation item;
    TFieldsList message;
    message.SetValue("Id", "25", false);
    message.AddValue("N", "3", 2);
    item.MergeFields(message);
    message.GetItem(0).Values.GetItem(0).Data = "26";
    message.GetItem(1).Values.GetItem(0) = TResult{2, "4"};
    item.MergeFields(message);
    ASSERT_EQ(item.Fields.Count(), 2);
    EXPECT_EQ(values(item.Fields.GetItem(0).Values), QStringList({u"0:25"_s, u"0:26"_s}));
    EXPECT_EQ(values(item.Fields.GetItem(1).Values), QStringList({u"2:4"_s}))
        << "a persistent field keeps one value, the latest";
    item.AddMessage({});
    item.AddMessage("raw");
    EXPECT_EQ(values(item.Messages), QStringList({u"0:raw"_s}));
}
