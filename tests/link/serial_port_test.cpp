#include "link/serial_port.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <thread>
#include <vector>

#include "tests/support/pty_pair.h"
#include "tests/support/sim_process.h"

namespace tav {
namespace {

using testing::PtyPair;
using State = SerialPort::WatcherState;

constexpr int kWaitMs = 5000;  // upper bound for anything to happen; never reached when green
const uint8_t kByte = 'x';

// Waits (real time, bounded) until `done` holds, running `step` meanwhile.
bool WaitFor(const std::function<bool()>& done, const std::function<void()>& step) {
    for (const test::Deadline deadline(kWaitMs); !done(); step())
        if (deadline.Left() == 0) return false;
    return true;
}

// The test thread is the window thread: the fixture is its hand-off, a queue
// that counts the calls handed to it, and the port's receiver.
struct PortFixture : ::testing::Test, Handoff, SerialReceiver {
    PortFixture() { queue.BindToCurrentThread(); }
    void Invoke(const std::function<void()>& fn) override {
        ++entered;
        queue.Invoke(fn);
    }
    void OnSerialByte(uint8_t byte) override {
        bytes.push_back(static_cast<char>(byte));
        if (onByte) onByte();
    }

    bool OpenOn(const std::string& path, SerialPort* on = nullptr) {
        SerialPort& p = on ? *on : port;
        p.SetPortDeviceName(path);
        p.SetLineSettings(LineSettings{});
        p.Prepare(this, 1'000'000);
        return p.Open();
    }
    // Runs the test thread as the window thread until `n` bytes came.
    bool Received(size_t n) {
        return WaitFor([&] { return bytes.size() >= n; }, [&] { queue.PumpOne(20); });
    }

    VirtualClock clock{0};
    QueueHandoff queue;
    std::atomic<int> entered{0};
    std::atomic<int> linkRunning{1};
    std::string bytes;             // received so far
    std::function<void()> onByte;  // called after each
    SerialPort port{clock, *this, linkRunning};
    PtyPair pty;
};

TEST_F(PortFixture, BytesArriveInOrderWithNulAsBlankAndWritesGoOut) {
    ASSERT_TRUE(OpenOn(pty.SlavePath())) << port.LastOpenError();
    EXPECT_EQ(clock.NowMs(), SerialPort::kSettleMs);

    ASSERT_TRUE(pty.Send(std::string("S\0U\r\n\xff", 6)));
    ASSERT_TRUE(Received(6));
    EXPECT_EQ(bytes, std::string("S U\r\n\xff"));

    const uint8_t hc[] = {'H', 'C', 0x03, 0x00};
    EXPECT_EQ(port.Write(hc, sizeof hc), sizeof hc);
    EXPECT_EQ(pty.Receive(4), std::string("HC\x03\0", 4));
    EXPECT_TRUE(port.Purge());

    // A long silence gives one blank, then nothing until the next byte.
    clock.Advance(SerialPort::kSilenceMs);
    ASSERT_TRUE(Received(7));
    clock.Advance(SerialPort::kSilenceMs * 3);
    pty.Send("B");
    ASSERT_TRUE(Received(8));
    EXPECT_EQ(bytes.substr(6), " B");
}

TEST_F(PortFixture, CloseReleasesTheWaitingWatcherAndTheLineCanBeOpenedAgain) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    const int64_t opened = clock.NowMs();
    port.Close();
    EXPECT_EQ(clock.NowMs() - opened, 200) << "closing an open line pauses";
    port.Close();
    EXPECT_EQ(clock.NowMs() - opened, 200) << "closing a closed one does not";
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Watcher(), State::NotStarted);  // nothing left of that open
    EXPECT_EQ(port.Write(&kByte, 1), 0u);

    ASSERT_TRUE(port.Open()) << port.LastOpenError();  // lock and exclusive use were dropped
    pty.Send("Z");
    ASSERT_TRUE(Received(1));
    EXPECT_EQ(bytes, "Z");
}

TEST_F(PortFixture, PulledCableClosesThePortAndClearedLinkRunningOnlyEndsTheWatcher) {
    for (bool pulled : {true, false}) {
        SCOPED_TRACE(pulled ? "pulled cable" : "cleared LinkRunning");
        PtyPair line;  // the next open cleans up after the lost line
        ASSERT_TRUE(OpenOn(line.SlavePath())) << port.LastOpenError();
        pulled ? line.Hangup() : void(linkRunning = 0);
        ASSERT_TRUE(port.WaitWatcherEnded(kWaitMs));
        EXPECT_EQ(port.Watcher(), pulled ? State::DeviceGone : State::LinkStopped);
        EXPECT_EQ(port.IsOpen(), !pulled);
        EXPECT_EQ(port.Write(&kByte, 1), pulled ? 0u : 1u);
        EXPECT_EQ(line.Receive(pulled ? 0 : 1), pulled ? "" : "x");
    }
}

TEST_F(PortFixture, CloseFromInsideTheReceiverDropsTheRestAndAllowsAReopen) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    bool reopened = false;
    onByte = [&] {
        onByte = nullptr;
        port.Close();  // the watcher is waiting for this very call to return
        reopened = port.Open();
    };
    pty.Send("1");
    ASSERT_TRUE(Received(1));
    ASSERT_TRUE(reopened) << port.LastOpenError();
    pty.Send("2");
    ASSERT_TRUE(Received(2));
    EXPECT_EQ(bytes, "12");
}

TEST_F(PortFixture, CloseWhileAByteWaitsForTheWindowThreadDoesNotHang) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    pty.Send("Q");
    ASSERT_TRUE(WaitFor([&] { return entered == 1; }, [] { std::this_thread::yield(); }));
    port.Close();  // the watcher is blocked until this thread pumps
    queue.Pump();
    EXPECT_EQ(bytes, "") << "a byte still queued at Close is dropped";
    EXPECT_TRUE(port.Open()) << port.LastOpenError();
}

TEST_F(PortFixture, OpenFailuresKeepTheSystemsReason) {
    SerialPort holder(clock, *this, linkRunning);  // holds the line
    ASSERT_TRUE(OpenOn(pty.SlavePath(), &holder));
    PtyPair locked;
    ASSERT_EQ(chmod(locked.SlavePath().c_str(), 0), 0);

    std::vector<std::tuple<const char*, std::string, std::string>> rows = {
        {"a name no device has", "/dev/tav-no-such-port", "No such file or directory"},
        {"a port number with no device", "", "No such file or directory"},
        {"a device that is not a terminal", "/dev/null", "Inappropriate ioctl for device"},
        {"a line another port holds", pty.SlavePath(), "Device or resource busy"},
    };
    if (geteuid() != 0)
        rows.emplace_back("a locked device", locked.SlavePath(), "Permission denied");
    for (const auto& [what, path, reason] : rows) {
        EXPECT_TRUE(!OpenOn(path) && !port.IsOpen()) << what;
        EXPECT_EQ(port.LastOpenError(), reason) << what;
    }

    holder.Close();
    EXPECT_TRUE(OpenOn(pty.SlavePath())) << "a later open on a valid name works";
    EXPECT_EQ(port.LastOpenError(), "");
}

}  // namespace
}  // namespace tav
