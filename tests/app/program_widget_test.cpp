// The built program, started as a clinic would start it, in an empty home folder.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTest>

#include "tests/support/temp_dir.h"

namespace tav {
namespace {

QProcessEnvironment ProgramEnvironment(const std::string& home, const std::string& runtime) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVRINA1C_HOME", QString::fromStdString(home));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

QStringList Entries(const std::string& dir) {
    return QDir(QString::fromStdString(dir))
        .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// Without a display the program says so and makes nothing; with one, its
// first start lays out the home folder and a second copy is refused.
TEST(Program, WithoutADisplayItEndsThenAFirstStartLaysOutTheHomeAndASecondCopyIsRefused) {
    test::TempDir home, runtime, start;
    const std::string homeDir = home.path() + "/TAVRINA1c Expert";
    QProcessEnvironment env = ProgramEnvironment(homeDir, runtime.path());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(TAV_PROGRAM, {});
    ASSERT_TRUE(program.waitForFinished(20'000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(program.readAllStandardError().startsWith(
        "TAVRINA1c Expert needs a desktop session: no display was found"));
    EXPECT_TRUE(Entries(home.path()).isEmpty()) << "nothing is made";

    QProcess first;
    first.setProcessEnvironment(ProgramEnvironment(homeDir, runtime.path()));
    first.setWorkingDirectory(QString::fromStdString(start.path()));
    first.start(TAV_PROGRAM, {});
    // The settings file is the last file of the start-up.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFile::exists(QString::fromStdString(homeDir + "/set_info.ini")); }, 20'000));

    QProcess second;
    second.setProcessEnvironment(ProgramEnvironment(homeDir, runtime.path()));
    second.start(TAV_PROGRAM, {});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return second.readAllStandardError().contains("HbA1c is already running.."); },
        20'000));
    second.kill();
    second.waitForFinished(10'000);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(20'000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);

    EXPECT_EQ(Entries(homeDir),
              (QStringList{"TAVRINA1cExpert.ini", "TAVRINA1cExpert.sqlite",
                           "TAVRINA1cExpertDown.sqlite", "set_info.ini", "user_info.ini"}));
    EXPECT_EQ(Entries(start.path()), QStringList{"DATA"});
}

}  // namespace
}  // namespace tav
