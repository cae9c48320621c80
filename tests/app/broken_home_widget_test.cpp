// Start-up on a home folder that a crash, a disk, another program or a hand
// edit left broken: the window starts and tells the user plainly which file
// cannot be used and why, or works when it can, and no file in the home
// folder is written over.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>

#include "app/application.h"
#include "app/message_presenter.h"
#include "platform/paths.h"
#include "store/result_database.h"
#include "tests/support/temp_dir.h"

namespace tav {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// Every file of the home folder with its mode, size and a hash of its bytes.
std::map<std::string, std::string> Snapshot(const std::string& home) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(home)) {
        struct stat st {};
        stat(e.path().c_str(), &st);
        std::string bytes;
        if (e.is_regular_file() && (st.st_mode & 0444)) {
            chmod(e.path().c_str(), st.st_mode | 0400);
            bytes = test::ReadWholeFile(e.path().string());
            chmod(e.path().c_str(), st.st_mode);
        }
        out[e.path().filename().string()] = std::to_string(st.st_mode & 0777) + " " +
                                            std::to_string(bytes.size()) + " " +
                                            std::to_string(std::hash<std::string>{}(bytes));
    }
    return out;
}

// Runs `fn`, when `unprivileged` with the file rights of an unprivileged user
// if the test runs as root (root reads and writes files whatever their modes say).
void AsUser(bool unprivileged, const std::function<void()>& fn) {
    if (!unprivileged || geteuid() != 0) return fn();
    ASSERT_EQ(setegid(kNobody), 0);
    ASSERT_EQ(seteuid(kNobody), 0);
    fn();
    ASSERT_EQ(seteuid(0), 0);
    ASSERT_EQ(setegid(0), 0);
}

void ChownTree(const std::string& path) {
    if (geteuid() != 0) return;
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
    for (const auto& e : fs::recursive_directory_iterator(path))
        ASSERT_EQ(chown(e.path().c_str(), kNobody, kNobody), 0);
}

ApplicationOptions Options(const test::TempDir& root, MessagePresenter* boxes) {
    return {.HomeDir = root.File("home"),
            .Presenter = boxes,
            .ProfileFile = QString::fromStdString(root.File("profile.ini"))};
}

// A home folder after a normal first start of the program.
void FirstStart(const test::TempDir& root) {
    ASSERT_EQ(PrepareHomeDir(root.File("home")), root.File("home"));
    ScriptedMessagePresenter boxes;
    Application app(Options(root, &boxes));
    ASSERT_TRUE(app.Start());
    app.Shutdown();
}

const std::string kHead = "TAVRINA1c Expert cannot open its results and will close.\r\n\r\nFile: ";
const std::string kTail =
    "\r\n\r\nNothing in the file was changed. Close any other program that uses it, or have the "
    "file repaired or restored from a backup, then start TAVRINA1c Expert again.";

// Breaks the home folder by writing `bytes` over its file `name`.
std::function<void(const std::string&)> Overwrite(const std::string& name, std::string bytes) {
    return [=](const std::string& home) { test::WriteWholeFile(home + "/" + name, bytes); };
}

struct BrokenHome {
    const char* name;
    // Breaks the home folder after a normal first start.
    std::function<void(const std::string& home)> breakIt;
    // The file named and how the reason begins; no file: the program starts.
    std::string file;
    std::string reason;
    bool unprivileged = false;  // run with an ordinary user's file rights
};

std::vector<BrokenHome> Cases() {
    const std::string users = "[User Count]\r\ncurrent_user=";
    return {
        {"UnreadableMainDatabase",
         [](const std::string& h) { chmod((h + "/" + kMainDbFile).c_str(), 0); }, kMainDbFile,
         "unable to open database file", true},
        {"ReadOnlyHomeStarts", [](const std::string& h) { chmod(h.c_str(), 0555); }, "", "", true},
        // A user list without current_user opens the default file and its table set.
        {"GarbageUserList", Overwrite(kUserInfoIni, std::string(3000, '\x9c')), "", ""},
        // Without current_table the table set names no table to open.
        {"GarbageTableSet",
         Overwrite("TAVRINA1cExpert.ini", "\x01\x02[[[=\r\n=]\r\ncurrent_table\r\n"), kMainDbFile,
         "it has no table \"-1\", the table "},
        {"HugeUserList",
         [=](const std::string& h) {
             std::string big = users + kMainDbFile + "\r\n[Noise]\r\n";
             while (big.size() < (24u << 20)) big += "key" + std::to_string(big.size()) + "=x\r\n";
             Overwrite(kUserInfoIni, big)(h);
         },
         "", ""},
        {"CurrentUserIsAPath", Overwrite(kUserInfoIni, users + "/etc/passwd\r\n"), kUserInfoIni,
         "its current_user \"/etc/passwd\" is not the name of a file"},
    };
}

class BrokenHomeStart : public ::testing::TestWithParam<BrokenHome> {};

TEST_P(BrokenHomeStart, SaysWhichFileAndWhyOrStartsAndOverwritesNothing) {
    const BrokenHome& c = GetParam();
    test::TempDir root;
    const std::string home = root.File("home");
    FirstStart(root);
    if (c.unprivileged) {
        ChownTree(root.path());
        chmod(root.path().c_str(), 0777);
    }
    c.breakIt(home);
    const auto before = Snapshot(home);

    ScriptedMessagePresenter boxes;
    const ApplicationOptions options = Options(root, &boxes);
    bool started = false;
    AsUser(c.unprivileged, [&] {
        Application app(options);
        started = app.Start();
        app.Shutdown();
    });

    if (c.file.empty()) {
        EXPECT_TRUE(started);
        EXPECT_TRUE(boxes.Boxes().empty()) << boxes.Boxes()[0].Text.toStdString();
    } else {
        EXPECT_FALSE(started);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_FALSE(boxes.Boxes()[0].Question);
        EXPECT_EQ(boxes.Boxes()[0].Caption, "TAVRINA1c Expert");
        const std::string text = boxes.Boxes()[0].Text.toStdString();
        EXPECT_TRUE(text.starts_with(kHead + home + "/" + c.file + "\r\nReason: " + c.reason))
            << text;
        EXPECT_TRUE(text.ends_with(kTail)) << text;
    }
    chmod(home.c_str(), 0755);
    EXPECT_EQ(Snapshot(home), before) << "a file in the home folder was written";
}

INSTANTIATE_TEST_SUITE_P(Table, BrokenHomeStart, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tav
