// Program entry of the workstation: the translatable form classes, the language, the data
// modules and the main window in their order, and the message loop.
#include <app/apperror.h>
#include <app/appglobals.h>
#include <app/documents/datatables.h>
#include <app/mainwindow/mainform.h>
#include <app/patients/practicedb.h>
#include <app/translatableforms.h>
#include <platform/codepage.h>
#include <platform/db/odbcdriver.h>
#include <platform/dialogs.h>
#include <platform/process.h>
#include <platform/regional.h>
#include <platform/support/globals.h>
#include <platform/support/logfile.h>
#include <platform/ui/application.h>
#include <platform/uitexts.h>
#include <schema/schematools.h>
#include <translation/langproc.h>
#include <translation/langrus.h>
#include <translation/language.h>

#include <QDir>
#include <QTimer>

#include <cstdio>

namespace {

void setUpLanguage()
{
    TranslateFormProc = &TranslateFormComponents;
    TranslateComponentProc = &TranslateComponent;
    CurrentLanguage = ProgLanguage;
    // The statement file is read in the language's code page.
    setRegionalLanguage(ProgLanguage);
    codepage::setCurrent(codepage::forLanguage(ProgLanguage));
    TranslationFileName = ProgramDir() + QStringLiteral("QUORVANE.LAN");
    if (CurrentLanguage != DefaultLanguage) {
        if (ProgLanguage == 1) {
            ExtTranslateProc = nullptr;
        } else if (ProgLanguage == 2) {
            ExtTranslateProc = &TranslateCaptionRUS;
            ProgSubtitle = SubtitleRUS();
        }
        LoadTranslations();
    }
    TranslateAllForms();
    setUiTextLanguage(ProgLanguage);
    // Before the first window: Qt's buttons and choosers speak the program's language too.
    if (!installQtTranslations(ProgLanguage))
        std::fprintf(stderr,
                     "Qt's own texts stay in English: their translation for language %d "
                     "is not installed.\n",
                     int(ProgLanguage));
}

} // namespace

int main(int argc, char* argv[])
{
    useLanguageDates(ProgLanguage);
    Application app(argc, argv);
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        std::fprintf(stderr, "QUORVANE runs offscreen: its windows are not visible.\n");
    // The program works on with every window hidden: only a confirmed quit ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    Application::setExceptionHandler(AppException);
    odbcdb::registerDrivers(); // MSSQL and ORACLE practice databases
    RegisterSchemaTools();     // the kernel builds its views through them

    for (TFormClass formClass : ProgramFormClasses())
        RegisterTranslatableForm(std::move(formClass));
    setUpLanguage();
    QApplication::setApplicationName(ProgName);

    // The system's request to end is heard from before the main window starts the sources. Once
    // the window runs, it ends the program as a confirmed quit does. Before, the dialog start-up
    // waits in (a failure box, a question) is cancelled, so is every one it would open after
    // it, and start-up stops before the sources start, or ends as a quit once they have.
    TerminationSignals termination;
    TMainForm* mainForm = nullptr;
    bool signalled = false;
    QObject::connect(&termination, &TerminationSignals::requested, &app, [&](int) {
        signalled = true;
        if (mainForm)
            mainForm->TerminateRequested();
        else
            Application::terminate();
    });

    // One copy of the program per program folder: a second one would take every file again and
    // draw document numbers from the same table.
    const FolderLock programFolder(ProgramDir());
    if (programFolder.state() == FolderLock::State::HeldElsewhere) {
        const QString text =
            QStringLiteral("%1 fonctionne déjà dans le dossier %2.\nCette seconde copie "
                           "s'arrête sans recevoir aucun document.")
                .arg(ProgName, QDir::toNativeSeparators(QDir::cleanPath(ProgramDir())));
        WriteToStandardError(text);
        if (!Application::terminated())
            dialogService().messageDlg(text, mtWarning, mbOK);
        return 1;
    }
    if (programFolder.state() == FolderLock::State::Unavailable)
        WriteToStandardError(
            QStringLiteral("The program folder %1 cannot be locked (%2): another copy of the "
                           "program started on it would not be kept out.")
                .arg(ProgramDir(), programFolder.error()));

    CreateServerModule();
    DataTables = CreateForm<TDataTables>();
    TMainForm* startingForm = CreateForm<TMainForm>();
    int exitCode = 1;
    if (!startingForm->StartupFailed()) {
        mainForm = startingForm;
        CreateLoginDlg();
        if (!mainForm->isVisible())
            mainForm->show();
        // Asked to end once the sources had started: ended as a confirmed quit, tables closed.
        if (Application::terminated())
            QTimer::singleShot(0, mainForm, [mainForm] { mainForm->TerminateRequested(); });
        exitCode = app.exec();
    } else if (signalled && startingForm->StartupStoppedOnRequest()) {
        exitCode = 0; // ended as asked, before anything went wrong
    }
    mainForm = nullptr;
    delete startingForm;
    DataTables->Free();
    DataTables = nullptr;
    FreePracticeModules();
    return exitCode;
}
