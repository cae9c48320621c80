#include "tests/support/sim_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tav::test {

namespace {
bool PollOne(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ms > 0 && poll(&p, 1, ms) > 0;
}
}  // namespace

int Deadline::Left() const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

SimProcess::SimProcess(const std::string& program, std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
}

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
}

std::string SimProcess::ReadLine(int timeoutMs) {
    std::string line;
    Deadline d(timeoutMs);
    char c;
    while (PollOne(stdout_, d.Left()) && read(stdout_, &c, 1) == 1) {
        if (c == '\n') return line;
        line += c;
    }
    return line;
}

int SimProcess::Wait(int timeoutMs) {
    Deadline d(timeoutMs);
    char buf[256];
    while (PollOne(stdout_, d.Left()) && read(stdout_, buf, sizeof buf) > 0) {
    }
    if (d.Left() == 0) return -1;
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace tav::test
