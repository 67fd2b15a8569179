// Main of every test executable: a QApplication on the offscreen platform, dialogs that meet no
// script entry reported as test failures, then GoogleTest.
#include <platform/testing/dialogs_scripted.h>
#include <platform/ui/qtdialogs.h>

#include <QApplication>
#include <gtest/gtest.h>

// Under the thread sanitizer: Qt is not built with it, so a queued call made on one thread and run
// on the thread of its receiver (a worker opening or closing a port, or leaving a line for the
// operations log) is handed over through locks the sanitizer does not see. The call objects Qt
// passes that way are not reported; the code they call still is, unless its own stack is Qt's.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QtPrivate::QSlotObject\n"
           "race:QtPrivate::QCallableObject\n"
           "race:QtPrivate::QFunctorSlotObject\n"
           "race:QMetaObject::invokeMethodImpl\n";
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    useQtDialogs();
    ::testing::InitGoogleTest(&argc, argv);
    ScriptedDialogs::failureHook = [](const QString& failure) {
        ADD_FAILURE() << "dialogs: " << failure.toStdString();
    };
    return RUN_ALL_TESTS();
}
