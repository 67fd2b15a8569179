// Main of every test executable: a QApplication on the offscreen platform, dialogs that meet no
// script entry reported as test failures, then GoogleTest.
#include <platform/testing/dialogs_scripted.h>
#include <platform/ui/qtdialogs.h>

#include <QApplication>
#include <gtest/gtest.h>

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
