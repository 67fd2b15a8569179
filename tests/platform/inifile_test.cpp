// IniFile against files written byte by byte: what the profile format reads, what a write changes
// and keeps on disk, the code page of names and values, and bad names and failed writes that must
// leave the file as it was.
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/inifile.h>

#include <support/qt_printers.h>
#include <support/workspace.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using codepage::Cp1251;
using codepage::Cp1252;

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        fileops::resetFaults();
        codepage::setCurrent(m_savedCodePage);
    }

    QString path(const QString& name = "QUORVANE.INI") const { return m_dir.filePath(name); }

    void put(const QByteArray& bytes) const { writeFileBytes(path(), bytes); }
    QByteArray get() const { return readFileBytes(path()); }

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
    // Section, key, and what readString gives with the default "def". Comments and lines without
    // "=" are no keys: the section's key list below shows it.
    // clang-format off
    const char* const reads[][3] = {
        {"APPLICATION", "path", "C:\\Quorvane\\BIN"},  {"Application", "Missing", "def"},
        {" Application ", " Path ", "C:\\Quorvane\\BIN"}, {"Application", "Empty", ""},
        {"Application", "User", "Dupont, Jean"},       {"Application", "Quoted", "single"},
        {"Application", "Half", "\"open"},             {"Application", "Inner", "\"twice\""},
        {"Application", "Note", "a;b ; not a comment"}, {"Application", "Formula", "x=1"},
        {"Application", "Extra", "def"},               {"", "stray", "def"},
        {"PARAMÈTRES", "CLÉ", "valeur"}};
    // clang-format on

    for (const QByteArray eol : {"\n", "\r\n"}) {
        SCOPED_TRACE(eol == "\n" ? "LF" : "CR LF");
        QByteArray file;
        for (const QByteArray& line : lines)
            file += line + eol;
        file.chop(eol.size()); // the last line has no line end
        put(file);

        const IniFile ini(path(), Cp1252);
        for (const auto& [section, key, value] : reads)
            EXPECT_EQ(ini.readString(section, key, "def"), value) << section << "/" << key;
        EXPECT_EQ(ini.readInteger("troubles", "checksession", 0), 1);

        EXPECT_EQ(ini.readSections(), QStringList({"Application", "Paramètres", "Troubles"}));
        EXPECT_EQ(
            ini.readSection("application"),
            QStringList({"Path", "User", "Quoted", "Half", "Inner", "Empty", "Note", "Formula"}));
        EXPECT_EQ(ini.readSectionValues("paramètres"), QStringList({"Clé=valeur"}));
        EXPECT_TRUE(ini.sectionExists("TROUBLES"));
        EXPECT_FALSE(ini.sectionExists("Info"));
        EXPECT_TRUE(ini.valueExists("Application", "EMPTY"));
        EXPECT_FALSE(ini.valueExists("Application", "Hidden"));
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
    put(file + "[B]\r\nt=1\r\nf=0\r\ntwo=2\r\nword=true\r\n");

    const IniFile ini(path());
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini.readInteger("N", "k" + QString::number(i), 77), cases[i].second)
            << cases[i].first.constData();
    EXPECT_EQ(ini.readInteger("N", "missing", 77), 77);

    EXPECT_TRUE(ini.readBool("B", "t", false));
    EXPECT_FALSE(ini.readBool("B", "f", true));
    EXPECT_TRUE(ini.readBool("B", "two", false));
    EXPECT_FALSE(ini.readBool("B", "word", false)); // not a number: the default
    EXPECT_TRUE(ini.readBool("B", "word", true));
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
    ini.writeString("application", "PATH", "D:\\New, with comma");
    ini.writeInteger("Application", "DelInterval", 30);
    ini.writeBool("Troubles", "Debug", true);
    ini.writeString("Info", "OrgName1", "Cabinet");
    ini.writeString("Info", "OrgName1", "Cabinet médical"); // the same key again

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
    EXPECT_EQ(ini.readString("Application", "Path"), "D:\\New, with comma");

    // A new key of a section with no keys goes right under its header.
    put("[Empty]\n[Next]\nx=1\n");
    ini.writeString("Empty", "k", "v");
    EXPECT_EQ(get(), QByteArray("[Empty]\r\nk=v\r\n[Next]\r\nx=1\r\n"));

    // Bytes that are undefined in the code page, accented letters and a lone CR inside a line.
    for (const auto cp : {Cp1252, Cp1251}) {
        put("[X]\r\nraw=\x81\x8D\xE9\x98\xFF\r\nodd\rline\r\n[Y]\r\nk=1\r\n");
        IniFile(path(), cp).writeString("Y", "k", "2");
        EXPECT_EQ(get(),
                  QByteArray("[X]\r\nraw=\x81\x8D\xE9\x98\xFF\r\nodd\rline\r\n[Y]\r\nk=2\r\n"))
            << int(cp);
    }

    // Reading takes the first key of the first section of a name; writing changes that one.
    put("[A]\nk=1\nk=2\n[a]\nk=3\nz=4\n");
    ini.writeString("a", "K", "9");
    EXPECT_EQ(get(), QByteArray("[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\nz=4\r\n"));

    // Deleting a key removes its copies too, so an older value cannot come back.
    ini.deleteKey("A", "k");
    EXPECT_EQ(get(), QByteArray("[A]\r\n[a]\r\nk=3\r\nz=4\r\n"));
    EXPECT_FALSE(ini.valueExists("A", "k"));

    // Erasing a section erases every section of that name, with its comments.
    put("[Keep]\nx=1\n[Gone]\ny=2\n; about Gone\n[KEEP2]\n[gone]\ny=3\n");
    ini.eraseSection("GONE");
    EXPECT_EQ(get(), QByteArray("[Keep]\r\nx=1\r\n[KEEP2]\r\n"));
}

TEST_F(IniFileTest, RussianNamesAndValuesInCodePage1251)
{
    IniFile ini(path(), Cp1251);
    ini.writeString("Пациент", "Имя", "Иванов");
    EXPECT_EQ(get(), QByteArray("[\xCF\xE0\xF6\xE8\xE5\xED\xF2]\r\n"
                                "\xC8\xEC\xFF=\xC8\xE2\xE0\xED\xEE\xE2\r\n"));
    EXPECT_EQ(ini.readString("ПАЦИЕНТ", "имя"), "Иванов");

    // Without a code page of its own an IniFile follows the program's.
    codepage::setCurrent(Cp1251);
    EXPECT_EQ(IniFile(path()).readString("пациент", "ИМЯ"), "Иванов");
    codepage::setCurrent(Cp1252);
    EXPECT_EQ(IniFile(path()).readString("пациент", "ИМЯ", "def"), "def");

    // A 1252 file cannot hold Cyrillic: a name is refused, a value is written as '?'.
    const QByteArray before = get();
    IniFile latin(path(), Cp1252);
    EXPECT_THROW(latin.writeString("Patient", "Имя", "x"), EConvertError);
    EXPECT_THROW(latin.writeString("Пациент", "Name", "x"), EConvertError);
    EXPECT_EQ(get(), before);
    latin.writeString("Patient", "Name", "Иванов Jean");
    EXPECT_EQ(latin.readString("Patient", "Name"), "?????? Jean");
    EXPECT_TRUE(get().startsWith(before)); // the Cyrillic lines are left alone
}

TEST_F(IniFileTest, MissingFileReadsEmptyAndEveryCallSeesTheFileAsItIsNow)
{
    IniFile ini(path());
    EXPECT_EQ(ini.readInteger("Application", "DelInterval", -1), -1);
    EXPECT_TRUE(ini.readSections().isEmpty());

    ini.eraseSection("Application");
    ini.deleteKey("Application", "Path");
    EXPECT_FALSE(QFile::exists(path())); // nothing to change, nothing written

    ini.writeString("Application", "Path", "C:\\Quorvane\\BIN");
    EXPECT_EQ(get(), QByteArray("[Application]\r\nPath=C:\\Quorvane\\BIN\r\n"));

    // Every call sees the file as it is now.
    put("[S]\na=edited by hand\n");
    EXPECT_EQ(ini.readString("S", "a"), "edited by hand");
}

TEST_F(IniFileTest, NamesAndValuesThatWouldBreakTheFileAreRefused)
{
    const QByteArray before("[S]\r\nk=1\r\n");
    put(before);
    IniFile ini(path());
    for (const QString& s :
         {QString(), QString("  "), QString("a]b"), QString("a\nb"), QString("a\rb")})
        EXPECT_THROW(ini.writeString(s, "k", "v"), EConvertError) << s.toStdString();
    for (const QString& k :
         {QString(), QString("a=b"), QString("[x"), QString(";x"), QString("a\nb"), QString(" \t")})
        EXPECT_THROW(ini.writeString("S", k, "v"), EConvertError) << k.toStdString();
    EXPECT_THROW(ini.writeString("S", "k", "two\nlines"), EConvertError);
    EXPECT_THROW(ini.writeString("S", "k", "x\r[Other]"), EConvertError);
    EXPECT_EQ(get(), before);

    EXPECT_EQ(messageOf<EConvertError>([&] { ini.writeString("S", "a=b", "v"); }),
              "The settings key name \"a=b\" holds \"=\"");
}

TEST_F(IniFileTest, FailedWriteRaisesAndLeavesTheFile)
{
    const QByteArray before("[Application]\r\nUser=old\r\n");
    put(before);
    IniFile ini(path());
    fileops::failNth(fileops::Op::Write, 1);
    EXPECT_THROW(ini.writeString("Application", "User", "new"), EInOutError);
    EXPECT_EQ(get(), before);
    EXPECT_EQ(QDir(QFileInfo(path()).path()).entryList(QDir::Files), QStringList({"QUORVANE.INI"}));
    ini.writeString("Application", "User", "new"); // only the first write was made to fail
    EXPECT_EQ(ini.readString("Application", "User"), "new");

    // A name taken by a folder: it cannot be read, so it must not be replaced.
    ASSERT_TRUE(QFile::remove(path()));
    ASSERT_TRUE(QDir(path()).mkpath("."));
    IniFile folder(path());
    EXPECT_THROW(folder.writeString("S", "k", "v"), EInOutError);
    EXPECT_TRUE(QFileInfo(path()).isDir());
    EXPECT_EQ(folder.readString("S", "k", "def"), "def");
}
