// Exception routing of the application object; it also installs the Qt dialogs.
#include "application.h"
#include "qtdialogs.h"
#include "windowplace.h"

#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/process.h>
#include <platform/uitexts.h>

#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

#ifdef Q_OS_UNIX
#include <clocale>
#include <langinfo.h>
#endif

namespace {
Application::ExceptionHandler& handlerSlot()
{
    static Application::ExceptionHandler handler;
    return handler;
}

class UnknownException : public Exception
{
public:
    UnknownException() : Exception(uiText(UiText::UnknownException)) {}
};

// Qt's translations, where the file chooser's kinds of files ("Folder", "Drive") are still filed
// under the chooser itself while the widgets ask for them under the icon provider: they are found
// under either.
class QtTranslations final : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override
    {
        QString text = QTranslator::translate(context, sourceText, disambiguation, n);
        if (text.isEmpty() && qstrcmp(context, "QAbstractFileIconProvider") == 0)
            text = QTranslator::translate("QFileDialog", sourceText, nullptr, n);
        return text;
    }
};
// Qt takes the system's 8-bit text to be UTF-8, and so passes window titles to the X library
// for the window lists and tools that read the older title property: the C library's character
// type must be UTF-8 too, also where the environment names no locale (the "C" locale) or a
// locale the system lacks.
void useUtf8Characters()
{
#ifdef Q_OS_UNIX
    const char* codeset = nl_langinfo(CODESET);
    if (qstricmp(codeset, "UTF-8") == 0 || qstricmp(codeset, "utf8") == 0)
        return;
    // The same language's UTF-8 form where the system has it ("de_DE.ISO-8859-1@euro" ->
    // "de_DE.UTF-8").
    QByteArray same = std::setlocale(LC_CTYPE, nullptr);
    for (const char end : {'@', '.'}) {
        if (const qsizetype at = same.indexOf(end); at >= 0)
            same.truncate(at);
    }
    same += ".UTF-8";
    for (const char* name : {same.constData(), "C.UTF-8", "C.utf8"}) {
        if (std::setlocale(LC_CTYPE, name))
            return;
    }
#endif
}

} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    useUtf8Characters();
#ifdef Q_OS_UNIX
    // The libraries print numbers into files with the C library (libxlsxwriter its sizes and
    // margins): a user's locale that writes a decimal comma would make files no reader takes.
    std::setlocale(LC_NUMERIC, "C");
#endif
    useQtDialogs();
    centreDialogsWhenShown();
}

void useLanguageDates(int language)
{
    const char* locale = language == 1 ? "fr_FR.UTF-8" : language == 2 ? "ru_RU.UTF-8" : nullptr;
    if (!locale || !qEnvironmentVariableIsEmpty("LC_ALL"))
        return;
    // Qt reads the locale variables once, when the system locale is first asked for; the C
    // library reads them when the application object is made. The time variable names the
    // language's locale only in between, so the C library never sees a locale the system may
    // lack (which would leave the whole process in the "C" locale).
    const bool wasSet = qEnvironmentVariableIsSet("LC_TIME");
    const QByteArray saved = qgetenv("LC_TIME");
    qputenv("LC_TIME", locale);
    QLocale::system();
    if (wasSet)
        qputenv("LC_TIME", saved);
    else
        qunsetenv("LC_TIME");
}

void Application::setExceptionHandler(ExceptionHandler handler)
{
    handlerSlot() = std::move(handler);
}

void Application::handleException(QObject* sender, const std::exception& e)
{
    if (dynamic_cast<const EAbort*>(&e))
        return; // the silent exception ends an operation without a word
    if (handlerSlot()) {
        handlerSlot()(sender, e);
        return;
    }
    dialogService().showException(exceptionMessage(e));
}

void Application::terminate()
{
    requestTermination();
}

bool Application::terminated()
{
    return terminationRequested();
}

void Application::resetTerminated()
{
    clearTerminationRequest();
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        handleException(receiver, e);
    } catch (...) {
        handleException(receiver, UnknownException());
    }
    return false;
}

bool installQtTranslations(int language)
{
    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    const QLocale locale = language == 1   ? QLocale(QLocale::French, QLocale::France)
                           : language == 2 ? QLocale(QLocale::Russian, QLocale::Russia)
                                           : QLocale(QLocale::English);
    QLocale::setDefault(locale);
    if (locale.language() == QLocale::English)
        return true;
    auto* translator = new QtTranslations(QCoreApplication::instance());
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}
