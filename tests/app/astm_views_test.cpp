// Stored ASTM documents shown through the document viewer as their drivers' reports, against
// lines written by hand: an Elecsys (ELX) result with a test number the table has twice and one
// that is no number, the same file under the code AST, and an Access (ACS) result by test code.
#include "localtables_fixture.h"

#include <app/documents/memoform.h>
#include <app/documents/viewer.h>
#include <platform/support/globals.h>
#include <support/scoped_dialogs.h>

#include <QPlainTextEdit>
#include <QScopeGuard>

#include <utility>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString blanks(int n)
{
    return QString(n, u' ');
}

QString header(const QString& name, const QString& value)
{
    return name + u':' + blanks(36 - int(name.size())) + value;
}

// A result line: columns of 2, 12, 53 and 14 characters two blanks apart, trailing blanks gone.
QString row(int n, const QString& code, const QString& label, const QString& value,
            const QString& state = {})
{
    QString line = u"  "_s + QString::number(n) + blanks(2 - int(QString::number(n).size())) +
                   u"  "_s + code + blanks(12 - int(code.size())) + u"  "_s + label +
                   blanks(53 - int(label.size())) + u"  "_s + value +
                   blanks(14 - int(value.size())) + u"  "_s + state;
    while (line.endsWith(u' '))
        line.chop(1);
    return line;
}

QStringList report(QStringList lines, const QStringList& rows)
{
    lines << QString() << QString()
          << u"  #   Code          Parameter                                              Value"_s
          << QString(89, u'-');
    return lines + rows;
}

const QByteArray Elecsys = "\x02H|\\^&|||cobas\x03\x02P|1||S1||DUPONT^JEAN\x03"
                           "\x02R|1|^^^10|1.52|mIU/l|0.27^4.2|H\x03"
                           "\x02R|2|^^^460|0.1|COI||N\x03\x02R|3|^^^10/1|7|u\x03\x02L|1|N\x03";
const QByteArray Access = "\x02H|\\^&\x03\x02R|1|^^^AFP|12.5|ng/ml||N\x03"
                          "\x02R|2|^^^cea| 3 |ng/ml\x03\x02L|1|N\x03";

} // namespace

// The reports in English, as the French program shows them (the Russian program's are the
// analysers suite's).
TEST(AstmViews, StoredAstmDocumentsShowTheirDriversReports)
{
    const unsigned char language = std::exchange(ProgLanguage, 1);
    const auto back = qScopeGuard([language] { ProgLanguage = language; });
    LocalTablesFixture f;
    ScopedScriptedDialogs dialogs;
    const QStringList elecsys =
        report({header(u"Sender name or ID"_s, u"cobas"_s),
                header(u"Laboratory Assigned Patient ID"_s, u"S1"_s),
                header(u"last name"_s, u"DUPONT"_s), header(u"first name"_s, u"JEAN"_s)},
               {row(1, u"tsh"_s, u"tsh"_s, u"1.52 mIU/l"_s, u"H"_s),
                row(2, u"HBEAG"_s, u"HBEAG"_s, u"0.1 COI"_s, u"N"_s), row(3, {}, {}, u"7 u"_s)});
    const struct
    {
        const char* code;
        QByteArray file;
        QStringList lines;
    } documents[] = {
        {"ELX", Elecsys, elecsys},
        {"AST", Elecsys, elecsys},
        {"ACS", Access,
         report({}, {row(1, u"AFP"_s, u"AFP"_s, u"12.5 ng/ml"_s, u"N"_s),
                     row(2, u"CEA"_s, u"CEA"_s, u"3 ng/ml"_s)})},
    };
    int number = 0;
    for (const auto& d : documents) {
        ++number;
        SCOPED_TRACE(d.code);
        f.addSource(number, 4, false, false, 0, QLatin1String(d.code));
        f.tables->files->appendRecord({number, 0, QString(), number, {}, {}, 0, 1, 0});
        writeFileBytes(BufDir + QString::number(number, 16) + u".4"_s, d.file);
        QStringList shown;
        dialogs.answerModal(u"TMemoForm"_s, [&shown](TForm& form) {
            shown = static_cast<TMemoForm&>(form).Text->toPlainText().split(u'\n');
            return int(mrCancel);
        });
        EXPECT_NO_THROW(ViewDocument(number));
        EXPECT_EQ(shown.join(u'\n').toStdString(), d.lines.join(u'\n').toStdString());
    }
}
