// Every window of the program as a user meets it (the tour of its windows), at the default font
// and at 12 pt, shows nothing a user would find wrong (WindowTour::faults: a text cut, an edit or
// a column narrower than what it shows, a control outside its window or over another, a menu
// separator with a text).
#include <platform/support/globals.h>
#include <translation/langrus.h>

#include <support/translator_scope.h>
#include <support/workspace.h>
#include <windowtour/windowtour.h>

#include <QApplication>

#include <gtest/gtest.h>

namespace {

class Layout : public ::testing::TestWithParam<int>
{
protected:
    void SetUp() override
    {
        if (GetParam() > 0) {
            QFont larger = m_font;
            larger.setPointSize(GetParam());
            QApplication::setFont(larger);
        }
    }
    void TearDown() override { QApplication::setFont(m_font); }

private:
    const QFont m_font = QApplication::font();
};

TEST_P(Layout, EveryWindowShowsItsTextsWholeAndApart)
{
    TestWorkspace ws; // the clock stands still, the French settings are in force
    // The windows in the language of the build, as the program translates them without a
    // statement file (in Russian: the compiled-in captions).
    const TranslatorScope translator({}, ProgLanguage);
    ExtTranslateProc = ProgLanguage == 2 ? &TranslateCaptionRUS : nullptr;
    QStringList visited;
    QString error;
    ASSERT_TRUE(WindowTour::run(
        [&visited](QWidget* window, const QString& name) {
            for (const QString& fault : WindowTour::faults(window))
                ADD_FAILURE() << qPrintable(name) << ": " << qPrintable(fault);
            visited << QLatin1String(window->metaObject()->className());
        },
        &error))
        << error.toStdString();
    // The tour met the program's windows, those named here filled as the program fills them.
    for (const char* form : {"TMainForm", "TIdDlg", "TPatientDlg", "TConfigForm", "TCOMOptionsDlg",
                             "TLOGForm", "TfError", "TMemoForm", "TTitul", "TTableStrEditDlg",
                             "TfCustomEdit", "TfNewLink", "TfF1Processor"})
        EXPECT_TRUE(visited.contains(QLatin1String(form))) << form;
}

INSTANTIATE_TEST_SUITE_P(Fonts, Layout, ::testing::Values(0, 12), [](const auto& info) {
    return info.param ? "Points" + std::to_string(info.param) : std::string("DefaultFont");
});

} // namespace
