// The form classes the translation editor is offered: the program's nineteen in the editor's
// order, each form that is built carrying its class. The forms register themselves from their
// own files, so a file the link left out shows here as a name without its class.
#include <app/translatableforms.h>

#include <QMetaObject>

#include <gtest/gtest.h>

namespace {

TEST(TranslatableForms, TheNineteenProgramFormsInOrderEachBuiltOneWithItsClass)
{
    struct Expected
    {
        const char* name;
        bool built;
    };
    const Expected expected[] = {
        {"TMainForm", true},   {"TConfigForm", true},      {"TIdDlg", true},
        {"TPatientDlg", true}, {"TPackDlg", false},        {"TfError", true},
        {"TfAbout", false},    {"TCompForm", false},       {"TMemoForm", true},
        {"TImageForm", true},  {"TfEmfView", true},        {"TeMailDlg", false},
        {"TFTPDlg", false},    {"TFTPPasswordDlg", false}, {"TFTPClient", false},
        {"TSMTPTForm", false}, {"TCOMOptionsDlg", true},   {"TDelDlg", false},
        {"TLoginDlg", true}};

    const QList<TFormClass> classes = ProgramFormClasses();
    ASSERT_EQ(classes.size(), qsizetype(std::size(expected)));
    for (qsizetype i = 0; i < classes.size(); ++i) {
        const Expected& want = expected[i];
        const TFormClass& got = classes.at(i);
        SCOPED_TRACE(want.name);
        EXPECT_EQ(got.ClassName, QLatin1String(want.name));
        if (want.built) {
            ASSERT_NE(got.MetaObject, nullptr);
            EXPECT_STREQ(got.MetaObject->className(), want.name);
            EXPECT_TRUE(bool(got.Create));
        } else {
            EXPECT_EQ(got.MetaObject, nullptr);
            EXPECT_FALSE(bool(got.Create));
        }
    }
}

} // namespace
