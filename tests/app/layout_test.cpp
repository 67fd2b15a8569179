// Every window of the program as a user meets it (the tour of its windows, its file and folder
// choosers among them), at the default font and at 12 pt, shows nothing a user would find wrong
// (WindowTour::faults: a text cut, an edit or a column narrower than what it shows, a control
// outside its window or over another, a menu separator with a text, Tab out of the layout's
// order, a notebook's tab highlighted over another page, a title the window is too narrow for);
// the caption and the about box show the subtitle of the program's language; and every viewer
// and dialog closes on Escape.
#include <platform/support/globals.h>
#include <platform/ui/application.h>
#include <platform/ui/forms.h>
#include <translation/langrus.h>

#include <support/font_scope.h>
#include <support/translator_scope.h>
#include <support/workspace.h>
#include <windowtour/windowtour.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

class Layout : public ::testing::TestWithParam<int>
{
protected:
private:
    const FontSizeScope m_size{GetParam()};
};

TEST_P(Layout, EveryWindowShowsItsTextsWholeAndApart)
{
    TestWorkspace ws; // the clock stands still, the French settings are in force
    // The windows in the language of the build, as the program translates them without a
    // statement file (in Russian: the compiled-in captions).
    const TranslatorScope translator({}, ProgLanguage);
    ExtTranslateProc = ProgLanguage == 2 ? &TranslateCaptionRUS : nullptr;
    // Qt's own texts too, as the program has them (its choosers' titles of columns).
    ASSERT_TRUE(installQtTranslations(ProgLanguage)) << "qt6-translations-l10n";
    const auto english = qScopeGuard([] { installQtTranslations(0); });
    QStringList visited;
    QString error;
    ASSERT_TRUE(WindowTour::run(
        [&visited](QWidget* window, const QString& name) {
            for (const QString& fault : WindowTour::faults(window))
                ADD_FAILURE() << qPrintable(name) << ": " << qPrintable(fault);
            visited << QLatin1String(window->metaObject()->className()) << name;
        },
        &error))
        << error.toStdString();
    // The tour met the program's windows, those named here filled as the program fills them, and
    // the choosers of a file to open, of a folder and of a file to save.
    for (const char* form :
         {"TMainForm", "TIdDlg", "TPatientDlg", "TConfigForm", "TCOMOptionsDlg", "TLOGForm",
          "TfError", "TMemoForm", "TTitul", "TTableStrEditDlg", "TfCustomEdit", "TfNewLink",
          "TfF1Processor", "TCompForm-chooser", "TPackDlg-chooser", "TfF1Processor-chooser"})
        EXPECT_TRUE(visited.contains(QLatin1String(form))) << form;
    // The pages of the structure editor a user opens on a local database: all but the triggers'.
    for (int page = 0; page < 7; ++page)
        EXPECT_EQ(visited.contains(QStringLiteral("TTableStrEditDlg-page%1").arg(page)), page < 4)
            << page;
}

// The main window's caption and the about box name the program with the subtitle start-up gives
// it in its language.
TEST(WindowTourLanguage, CaptionAndAboutBoxShowTheLanguagesSubtitle)
{
    TestWorkspace ws;
    const TranslatorScope translator({}, ProgLanguage);
    ExtTranslateProc = ProgLanguage == 2 ? &TranslateCaptionRUS : nullptr;
    const QString subtitle = ProgLanguage == 2
                                 ? QStringLiteral("Система обмена медицинской информацией")
                                 : QStringLiteral("Logiciel de transferts des données médicales");
    QString caption;
    QString about;
    QString error;
    ASSERT_TRUE(WindowTour::run(
        [&](QWidget* window, const QString& name) {
            if (name == QLatin1String("TMainForm-documents"))
                caption = window->windowTitle();
            if (auto* label = window->findChild<QLabel*>(QStringLiteral("Label3"));
                label && name == QLatin1String("TfAbout"))
                about = label->text();
        },
        &error))
        << error.toStdString();
    EXPECT_EQ(caption, QStringLiteral("QUORVANE 2.07 - ") + subtitle);
    EXPECT_EQ(about, subtitle);
}

// Escape, pressed where the focus is, closes every viewer and dialog as its close box would (or
// presses its cancel button); the main window and the splash are not dialogs, and the port test
// window sends what is typed into it, Escape included, to the analyser.
TEST(WindowsOnEscape, EveryViewerAndDialogCloses)
{
    TestWorkspace ws;
    QStringList tried;
    QStringList stayed;
    QString error;
    ASSERT_TRUE(WindowTour::run(
        [&](QWidget* window, const QString&) {
            auto* form = qobject_cast<TForm*>(window);
            const QString name = QLatin1String(window->metaObject()->className());
            if (!form || tried.contains(name) || name == "TMainForm" || name == "TTitul" ||
                name == "TTestForm")
                return;
            tried << name;
            // The program shows each of them modally; the tour shows some as plain windows.
            const bool modal = form->isShownModal();
            if (!modal)
                form->beginModal();
            QWidget* focus = window->focusWidget() ? window->focusWidget() : window;
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(focus, &escape);
            if (form->ModalResult() == mrNone && form->isVisible())
                stayed << name;
            form->setModalResult(mrNone);
            if (!modal)
                form->endModal();
        },
        &error))
        << error.toStdString();
    EXPECT_TRUE(stayed.isEmpty()) << stayed.join(u' ').toStdString();
    for (const char* form : {"TMemoForm", "TImageForm", "TLangManager", "TCOMOptionsDlg",
                             "TfNewLink", "TPackDlg", "TfAbout", "TCompForm"})
        EXPECT_TRUE(tried.contains(QLatin1String(form))) << form;
}

INSTANTIATE_TEST_SUITE_P(Fonts, Layout, ::testing::Values(0, 12), [](const auto& info) {
    return info.param ? "Points" + std::to_string(info.param) : std::string("DefaultFont");
});

} // namespace
