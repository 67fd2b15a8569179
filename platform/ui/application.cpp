// Exception routing of the application object; it also installs the Qt dialogs.
#include "application.h"
#include "qtdialogs.h"

#include <platform/dialogs.h>
#include <platform/exception.h>
#include <platform/process.h>
#include <platform/uitexts.h>

#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

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
} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    useQtDialogs();
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
