// IniFile against files written byte by byte: what the profile format reads, what a write changes
// and keeps on disk, the code page of names and values, and bad names and failed writes that must
// leave the file as it was.
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/inifile.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

using namespace Qt::StringLiterals;
using codepage::Cp1251;
using codepage::Cp1252;

static void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override
    {
        fileops::resetFaults();
        codepage::setCurrent(m_savedCodePage);
    }

    QString path(const QString& name = u"QUORVANE.INI"_s) const { return m_dir.filePath(name); }

    void put(const QByteArray& bytes, const QString& name = u"QUORVANE.INI"_s) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray get(const QString& name = u"QUORVANE.INI"_s) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private:
    QTemporaryDir m_dir;
    codepage::CodePage m_savedCodePage = codepage::current();
};

} // namespace

TEST_F(IniFileTest, ReadsLikeTheProfileApiWithEitherLineEnd)
{
    const QByteArray lines[] = {"; settings written by hand",
                                "stray=before any section",
                                "[Application]",
                                "Path = C:\\Quorvane\\BIN  ",
                                "  User=  \"Dupont, Jean\"  ",
                                "Quoted='single'",
                                "Half=\"open",
                                "Inner=\"\"twice\"\"",
                                "Empty=",
                                "Note=a;b ; not a comment",
                                "Formula=x=1",
                                "no equals sign here",
                                ";Hidden=comment",
                                "=orphan value",
                                "path=second Path is ignored",
                                "[application]",
                                "Path=second section is ignored",
                                "Extra=not seen either",
                                "[ Param\xE8tres ]",
                                "Cl\xE9=valeur",
                                "\t[Troubles]\t",
                                "CheckSession=\t1"};

    for (const QByteArray eol : {"\n", "\r\n"}) {
        SCOPED_TRACE(eol == "\n" ? "LF" : "CR LF");
        QByteArray file;
        for (const QByteArray& line : lines)
            file += line + eol;
        file.chop(eol.size()); // the last line has no line end
        put(file);

        const IniFile ini(path(), Cp1252);
        EXPECT_EQ(ini.readString(u"APPLICATION"_s, u"path"_s), u"C:\\Quorvane\\BIN"_s);
        EXPECT_EQ(ini.readString(u" Application "_s, u" Path "_s), u"C:\\Quorvane\\BIN"_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"User"_s), u"Dupont, Jean"_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"Quoted"_s), u"single"_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"Half"_s), u"\"open"_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"Inner"_s), u"\"twice\""_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"Empty"_s, u"def"_s), QString());
        EXPECT_EQ(ini.readString(u"Application"_s, u"Missing"_s, u"def"_s), u"def"_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"Note"_s), u"a;b ; not a comment"_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"Formula"_s), u"x=1"_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"Extra"_s, u"def"_s), u"def"_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"Hidden"_s, u"def"_s), u"def"_s);
        EXPECT_EQ(ini.readString(u"Application"_s, u"no equals sign here"_s, u"def"_s), u"def"_s);
        EXPECT_EQ(ini.readString(QString(), u"stray"_s, u"def"_s), u"def"_s);
        EXPECT_EQ(ini.readString(u"PARAMÈTRES"_s, u"CLÉ"_s), u"valeur"_s);
        EXPECT_EQ(ini.readInteger(u"troubles"_s, u"checksession"_s, 0), 1);

        EXPECT_EQ(ini.readSections(),
                  (QStringList{u"Application"_s, u"Paramètres"_s, u"Troubles"_s}));
        EXPECT_EQ(ini.readSection(u"application"_s),
                  (QStringList{u"Path"_s, u"User"_s, u"Quoted"_s, u"Half"_s, u"Inner"_s, u"Empty"_s,
                               u"Note"_s, u"Formula"_s}));
        EXPECT_EQ(ini.readSectionValues(u"paramètres"_s), QStringList{u"Clé=valeur"_s});
        EXPECT_TRUE(ini.sectionExists(u"TROUBLES"_s));
        EXPECT_FALSE(ini.sectionExists(u"Info"_s));
        EXPECT_TRUE(ini.valueExists(u"Application"_s, u"EMPTY"_s));
        EXPECT_FALSE(ini.valueExists(u"Application"_s, u"Hidden"_s));
        EXPECT_FALSE(ini.valueExists(u"Info"_s, u"Path"_s));
    }
}

TEST_F(IniFileTest, IntegersAndBooleans)
{
    // Value as written in the file, and what readInteger with the default 77 gives for it.
    // clang-format off
    const std::pair<QByteArray, int> cases[] = {
        {"42", 42}, {" -1 ", -1}, {"+7", 7}, {"\"5\"", 5}, {"0x1F", 31}, {"0X1f", 31},
        {"-0x10", -16}, {"0xFFFFFFFF", -1}, {"0x100000000", 77}, {"0xZ", 0}, {"12 days", 12},
        {"1.9", 1}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"2147483648", 77}, {"99999999999", 77}, {"abc", 77}, {"", 77}, {"-", 77}};
    // clang-format on
    QByteArray file = "[N]\r\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        file += "k" + QByteArray::number(qulonglong(i)) + "=" + cases[i].first + "\r\n";
    put(file + "[B]\r\nt=1\r\nf=0\r\ntwo=2\r\nword=true\r\nneg=-1\r\n");

    const IniFile ini(path());
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.readInteger(u"N"_s, u"k"_s + QString::number(i), 77), cases[i].second)
            << cases[i].first.constData();
    EXPECT_EQ(ini.readInteger(u"N"_s, u"missing"_s, 77), 77);

    EXPECT_TRUE(ini.readBool(u"B"_s, u"t"_s, false));
    EXPECT_FALSE(ini.readBool(u"B"_s, u"f"_s, true));
    EXPECT_TRUE(ini.readBool(u"B"_s, u"two"_s, false));
    EXPECT_TRUE(ini.readBool(u"B"_s, u"neg"_s, false));
    EXPECT_FALSE(ini.readBool(u"B"_s, u"word"_s, false)); // not a number: the default
    EXPECT_TRUE(ini.readBool(u"B"_s, u"word"_s, true));
    EXPECT_TRUE(ini.readBool(u"B"_s, u"missing"_s, true));
}

TEST_F(IniFileTest, WritesInPlaceAndKeepsEveryOtherLine)
{
    put("; Quorvane settings\n"
        "[Application]\n"
        "Path=C:\\Old\n"
        "; the user below\n"
        "User=old\n"
        "\n"
        "[Troubles]\n"
        "CheckSession=0\n"
        "garbage line\n"
        "; trailing comment");
    IniFile ini(path(), Cp1252);
    ini.writeString(u"application"_s, u"PATH"_s, u"D:\\New, with comma"_s);
    ini.writeInteger(u"Application"_s, u"DelInterval"_s, 30);
    ini.writeBool(u"Troubles"_s, u"Debug"_s, true);
    ini.writeString(u"Info"_s, u"OrgName1"_s, u"Cabinet"_s);
    ini.writeString(u"Info"_s, u"OrgName1"_s, u"Cabinet médical"_s); // the same key again

    EXPECT_EQ(get(), QByteArray("; Quorvane settings\r\n"
                                "[Application]\r\n"
                                "Path=D:\\New, with comma\r\n"
                                "; the user below\r\n"
                                "User=old\r\n"
                                "DelInterval=30\r\n"
                                "\r\n"
                                "[Troubles]\r\n"
                                "CheckSession=0\r\n"
                                "Debug=1\r\n"
                                "garbage line\r\n"
                                "; trailing comment\r\n"
                                "[Info]\r\n"
                                "OrgName1=Cabinet m\xE9"
                                "dical\r\n"));
    EXPECT_EQ(ini.readString(u"Application"_s, u"Path"_s), u"D:\\New, with comma"_s);
    EXPECT_EQ(ini.readInteger(u"Application"_s, u"DelInterval"_s, -1), 30);

    // A new key of a section with no keys goes right under its header.
    put("[Empty]\n[Next]\nx=1\n");
    ini.writeString(u"Empty"_s, u"k"_s, u"v"_s);
    EXPECT_EQ(get(), QByteArray("[Empty]\r\nk=v\r\n[Next]\r\nx=1\r\n"));
}

TEST_F(IniFileTest, DuplicatesFirstMatchWins)
{
    put("[A]\nk=1\nk=2\n[a]\nk=3\nz=4\n");
    IniFile ini(path());
    EXPECT_EQ(ini.readString(u"A"_s, u"K"_s), u"1"_s);
    EXPECT_EQ(ini.readString(u"a"_s, u"z"_s, u"def"_s), u"def"_s); // only the first section counts
    EXPECT_EQ(ini.readSection(u"a"_s), QStringList{u"k"_s});

    ini.writeString(u"a"_s, u"K"_s, u"9"_s);
    EXPECT_EQ(get(), QByteArray("[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\nz=4\r\n"));

    // Deleting a key removes its copies too, so an older value cannot come back.
    ini.deleteKey(u"A"_s, u"k"_s);
    EXPECT_EQ(get(), QByteArray("[A]\r\n[a]\r\nk=3\r\nz=4\r\n"));
    EXPECT_FALSE(ini.valueExists(u"A"_s, u"k"_s));
    EXPECT_EQ(ini.readString(u"A"_s, u"k"_s, u"none"_s), u"none"_s);

    // Erasing a section erases every section of that name, with its comments.
    put("[Keep]\nx=1\n[Gone]\ny=2\n; about Gone\n[KEEP2]\n[gone]\ny=3\n");
    ini.eraseSection(u"GONE"_s);
    EXPECT_EQ(get(), QByteArray("[Keep]\r\nx=1\r\n[KEEP2]\r\n"));
    EXPECT_FALSE(ini.sectionExists(u"Gone"_s));
}

TEST_F(IniFileTest, RussianNamesAndValuesInCodePage1251)
{
    IniFile ini(path(), Cp1251);
    ini.writeString(u"Пациент"_s, u"Имя"_s, u"Иванов"_s);
    EXPECT_EQ(get(), QByteArray("[\xCF\xE0\xF6\xE8\xE5\xED\xF2]\r\n"
                                "\xC8\xEC\xFF=\xC8\xE2\xE0\xED\xEE\xE2\r\n"));
    EXPECT_EQ(ini.readString(u"ПАЦИЕНТ"_s, u"имя"_s), u"Иванов"_s);

    // Without a code page of its own an IniFile follows the program's.
    codepage::setCurrent(Cp1251);
    EXPECT_EQ(IniFile(path()).readString(u"пациент"_s, u"ИМЯ"_s), u"Иванов"_s);
    codepage::setCurrent(Cp1252);
    EXPECT_EQ(IniFile(path()).readString(u"пациент"_s, u"ИМЯ"_s, u"def"_s), u"def"_s);

    // A 1252 file cannot hold Cyrillic: a name is refused, a value is written as '?'.
    const QByteArray before = get();
    IniFile latin(path(), Cp1252);
    EXPECT_THROW(latin.writeString(u"Patient"_s, u"Имя"_s, u"x"_s), EConvertError);
    EXPECT_THROW(latin.writeString(u"Пациент"_s, u"Name"_s, u"x"_s), EConvertError);
    EXPECT_EQ(get(), before);
    latin.writeString(u"Patient"_s, u"Name"_s, u"Иванов Jean"_s);
    EXPECT_EQ(latin.readString(u"Patient"_s, u"Name"_s), u"?????? Jean"_s);
    EXPECT_TRUE(get().startsWith(before)); // the Cyrillic lines are left alone
}

TEST_F(IniFileTest, UnrelatedLinesKeepTheirExactBytes)
{
    // Bytes that are undefined in the code page, accented letters and a lone CR inside a line.
    for (const auto cp : {Cp1252, Cp1251}) {
        put("[X]\r\nraw=\x81\x8D\xE9\x98\xFF\r\nodd\rline\r\n[Y]\r\nk=1\r\n");
        IniFile(path(), cp).writeString(u"Y"_s, u"k"_s, u"2"_s);
        EXPECT_EQ(get(),
                  QByteArray("[X]\r\nraw=\x81\x8D\xE9\x98\xFF\r\nodd\rline\r\n[Y]\r\nk=2\r\n"))
            << int(cp);
    }
}

TEST_F(IniFileTest, MissingFileReadsEmptyAndIsCreatedByAWrite)
{
    IniFile ini(path());
    EXPECT_EQ(ini.readInteger(u"Application"_s, u"DelInterval"_s, -1), -1);
    EXPECT_FALSE(ini.sectionExists(u"Application"_s));
    EXPECT_TRUE(ini.readSections().isEmpty());

    ini.eraseSection(u"Application"_s);
    ini.deleteKey(u"Application"_s, u"Path"_s);
    EXPECT_FALSE(QFile::exists(path())); // nothing to change, nothing written

    ini.writeString(u"Application"_s, u"Path"_s, u"C:\\Quorvane\\BIN"_s);
    EXPECT_EQ(get(), QByteArray("[Application]\r\nPath=C:\\Quorvane\\BIN\r\n"));
    EXPECT_EQ(ini.fileName(), path());
}

TEST_F(IniFileTest, EveryCallSeesTheFileAsItIsNow)
{
    IniFile first(path());
    IniFile second(path());
    first.writeString(u"S"_s, u"a"_s, u"1"_s);
    EXPECT_EQ(second.readString(u"S"_s, u"a"_s), u"1"_s);
    second.writeString(u"S"_s, u"b"_s, u"2"_s);
    EXPECT_EQ(first.readSectionValues(u"S"_s), (QStringList{u"a=1"_s, u"b=2"_s}));
    put("[S]\na=edited by hand\n");
    EXPECT_EQ(first.readString(u"S"_s, u"a"_s), u"edited by hand"_s);
}

TEST_F(IniFileTest, NamesAndValuesThatWouldBreakTheFileAreRefused)
{
    const QByteArray before("[S]\r\nk=1\r\n");
    put(before);
    IniFile ini(path());
    const QString badSections[] = {QString(), u"  "_s, u"a]b"_s, u"a\nb"_s, u"a\rb"_s};
    for (const QString& s : badSections)
        EXPECT_THROW(ini.writeString(s, u"k"_s, u"v"_s), EConvertError) << s.toStdString();
    const QString badKeys[] = {QString(), u"a=b"_s, u"[x"_s, u";x"_s, u"a\nb"_s, u" \t"_s};
    for (const QString& k : badKeys)
        EXPECT_THROW(ini.writeString(u"S"_s, k, u"v"_s), EConvertError) << k.toStdString();
    EXPECT_THROW(ini.writeString(u"S"_s, u"k"_s, u"two\nlines"_s), EConvertError);
    EXPECT_THROW(ini.writeString(u"S"_s, u"k"_s, u"x\r[Other]"_s), EConvertError);
    EXPECT_EQ(get(), before);

    try {
        ini.writeString(u"S"_s, u"a=b"_s, u"v"_s);
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), u"The settings key name \"a=b\" holds \"=\""_s);
    }
}

TEST_F(IniFileTest, FailedWriteRaisesAndLeavesTheFile)
{
    // A folder that does not exist.
    IniFile nowhere(path(u"no-such-folder/QUORVANE.INI"_s));
    EXPECT_THROW(nowhere.writeString(u"S"_s, u"k"_s, u"v"_s), EInOutError);

    // A name taken by a folder: it cannot be read, so it must not be replaced.
    ASSERT_TRUE(QDir(path()).mkpath(u"."_s));
    IniFile folder(path());
    EXPECT_THROW(folder.writeString(u"S"_s, u"k"_s, u"v"_s), EInOutError);
    EXPECT_TRUE(QFileInfo(path()).isDir());
    EXPECT_EQ(folder.readString(u"S"_s, u"k"_s, u"def"_s), u"def"_s);
}

TEST_F(IniFileTest, UnreadableFileIsNotReplaced)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root from reading";
    const QByteArray before("[Application]\r\nPath=C:\\Quorvane\\BIN\r\n");
    put(before);
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::WriteOwner));
    IniFile ini(path());
    EXPECT_EQ(ini.readString(u"Application"_s, u"Path"_s, u"def"_s), u"def"_s);
    EXPECT_THROW(ini.writeString(u"Application"_s, u"User"_s, u"Jean"_s), EInOutError);
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(get(), before);
}

TEST_F(IniFileTest, WriteFailureThroughTheFileSeamKeepsTheOldFile)
{
    const QByteArray before("[Application]\r\nUser=old\r\n");
    put(before);
    IniFile ini(path());
    fileops::failNth(fileops::Op::Write, 1);
    EXPECT_THROW(ini.writeString(u"Application"_s, u"User"_s, u"new"_s), EInOutError);
    EXPECT_EQ(get(), before);
    EXPECT_EQ(QDir(QFileInfo(path()).path()).entryList(QDir::Files),
              QStringList{u"QUORVANE.INI"_s});
    ini.writeString(u"Application"_s, u"User"_s, u"new"_s); // only the first write was made to fail
    EXPECT_EQ(ini.readString(u"Application"_s, u"User"_s), u"new"_s);
}
