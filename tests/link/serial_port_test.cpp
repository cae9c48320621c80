#include "link/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "tests/support/pty_pair.h"

namespace tav {
namespace {

using testing::PtyPair;
using State = SerialPort::WatcherState;

constexpr int kWaitMs = 5000;  // upper bound for anything to happen; never reached when green

struct Recorder : SerialReceiver {
    std::string bytes;
    std::function<void(uint8_t)> onByte;
    void OnSerialByte(uint8_t byte) override {
        bytes.push_back(static_cast<char>(byte));
        if (onByte) onByte(byte);
    }
};

// A queue hand-off that counts the calls handed to it.
struct CountingHandoff final : Handoff {
    void BindToCurrentThread() { queue.BindToCurrentThread(); }
    void Invoke(const std::function<void()>& fn) override {
        ++entered;
        queue.Invoke(fn);
    }
    bool PumpOne(int ms) { return queue.PumpOne(ms); }
    QueueHandoff queue;
    std::atomic<int> entered{0};
};

// Waits (real time, bounded) until `done` holds, running `step` meanwhile.
bool WaitFor(const std::function<bool()>& done, const std::function<void()>& step) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        step();
    }
    return true;
}

// Runs the test thread as the window thread until `done` holds.
template <typename H>
bool PumpUntil(H& handoff, const std::function<bool()>& done) {
    return WaitFor(done, [&] { handoff.PumpOne(20); });
}

struct PortFixture : ::testing::Test {
    PortFixture() { handoff.BindToCurrentThread(); }

    bool OpenOn(const std::string& path) {
        port.SetPortDeviceName(path);
        port.SetLineSettings(LineSettings{});
        port.Prepare(&rx, 1'000'000);
        return port.Open();
    }
    bool Received(size_t n) {
        return PumpUntil(handoff, [&] { return rx.bytes.size() >= n; });
    }

    VirtualClock clock{0};
    CountingHandoff handoff;
    std::atomic<int> linkRunning{1};
    Recorder rx;
    SerialPort port{clock, handoff, linkRunning};
    PtyPair pty;
};

TEST_F(PortFixture, BytesArriveInOrderWithNulAsBlankAndWritesGoOut) {
    ASSERT_TRUE(OpenOn(pty.SlavePath())) << port.LastOpenError();
    EXPECT_EQ(clock.NowMs(), SerialPort::kSettleMs);
    EXPECT_EQ(port.Watcher(), State::Running);

    ASSERT_TRUE(pty.Send(std::string("S\0U\r\n\xff", 6)));
    ASSERT_TRUE(Received(6));
    EXPECT_EQ(rx.bytes, std::string("S U\r\n\xff"));

    const uint8_t hc[] = {'H', 'C', 0x03, 0x00};
    EXPECT_EQ(port.Write(hc, sizeof hc), sizeof hc);
    EXPECT_EQ(pty.Receive(4, kWaitMs), std::string("HC\x03\0", 4));
    EXPECT_TRUE(port.Purge());
}

TEST_F(PortFixture, CloseReleasesTheWaitingWatcherAndTheLineCanBeOpenedAgain) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Watcher(), State::NotStarted);  // nothing left of that open
    const uint8_t b = 'x';
    EXPECT_EQ(port.Write(&b, 1), 0u);
    EXPECT_FALSE(port.Purge());

    ASSERT_TRUE(port.Open()) << port.LastOpenError();  // lock and exclusive use were dropped
    pty.Send("Z");
    ASSERT_TRUE(Received(1));
    EXPECT_EQ(rx.bytes, "Z");
}

TEST_F(PortFixture, PulledCableEndsTheWatcherAndThePortReadsClosed) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    pty.Send("A");
    ASSERT_TRUE(Received(1));
    pty.Hangup();
    ASSERT_TRUE(port.WaitWatcherEnded(kWaitMs));
    EXPECT_EQ(port.Watcher(), State::DeviceGone);
    EXPECT_FALSE(port.IsOpen());
    const uint8_t b = 'x';
    EXPECT_EQ(port.Write(&b, 1), 0u);

    PtyPair other;  // the next open cleans up after the lost line
    port.SetPortDeviceName(other.SlavePath());
    EXPECT_TRUE(port.Open()) << port.LastOpenError();
}

TEST_F(PortFixture, ClearedLinkRunningEndsTheWatcherButLeavesThePortOpen) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    linkRunning = 0;
    ASSERT_TRUE(port.WaitWatcherEnded(kWaitMs));
    EXPECT_EQ(port.Watcher(), State::LinkStopped);
    EXPECT_TRUE(port.IsOpen());
    const uint8_t b = 'W';
    EXPECT_EQ(port.Write(&b, 1), 1u);
    EXPECT_EQ(pty.Receive(1, kWaitMs), "W");
    port.Close();
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(PortFixture, OneBlankAfterALongSilenceThenWaitsForTheNextByte) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    pty.Send("A");
    ASSERT_TRUE(Received(1));
    clock.Advance(SerialPort::kSilenceMs);
    ASSERT_TRUE(Received(2));
    EXPECT_EQ(rx.bytes, "A ");
    clock.Advance(SerialPort::kSilenceMs * 3);  // no further blanks without a byte
    pty.Send("B");
    ASSERT_TRUE(Received(3));
    EXPECT_EQ(rx.bytes, "A B");
}

TEST_F(PortFixture, CloseFromInsideTheReceiverDropsTheRestAndAllowsAReopen) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    bool reopened = false;
    rx.onByte = [&](uint8_t) {
        rx.onByte = nullptr;
        port.Close();  // the watcher is waiting for this very call to return
        EXPECT_FALSE(port.IsOpen());
        reopened = port.Open();
    };
    pty.Send("1");
    ASSERT_TRUE(Received(1));
    ASSERT_TRUE(reopened) << port.LastOpenError();
    pty.Send("2");
    ASSERT_TRUE(Received(2));
    EXPECT_EQ(rx.bytes, "12");
}

TEST_F(PortFixture, CloseWhileAByteWaitsForTheWindowThreadDoesNotHang) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    pty.Send("Q");
    ASSERT_TRUE(WaitFor([&] { return handoff.entered == 1; }, [] { std::this_thread::yield(); }));
    port.Close();  // the watcher is blocked until this thread pumps
    EXPECT_FALSE(port.IsOpen());
    while (handoff.PumpOne(0)) {
    }
    EXPECT_EQ(rx.bytes, "") << "a byte still queued at Close is dropped";
    EXPECT_TRUE(port.Open()) << port.LastOpenError();
}

TEST_F(PortFixture, OpenFailuresKeepTheSystemsReason) {
    char regular[] = "/tmp/tav-serial-XXXXXX";
    int fd = mkstemp(regular);
    ASSERT_GE(fd, 0);
    close(fd);
    SerialPort holder(clock, handoff, linkRunning);  // holds the line
    Recorder other;
    holder.SetPortDeviceName(pty.SlavePath());
    holder.Prepare(&other, 1'000'000);
    ASSERT_TRUE(holder.Open());

    struct Row {
        const char* what;
        std::string path;
        std::string reason;
    } rows[] = {
        {"a name no device has", "/dev/tav-no-such-port", "No such file or directory"},
        {"a port number with no device", "", "No such file or directory"},
        {"a file that is not a terminal", regular, "Inappropriate ioctl for device"},
        {"a line another port holds", pty.SlavePath(), "Device or resource busy"},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(OpenOn(row.path)) << row.what;
        EXPECT_EQ(port.LastOpenError(), row.reason) << row.what;
        EXPECT_FALSE(port.IsOpen()) << row.what;
    }
    unlink(regular);

    holder.Close();
    EXPECT_TRUE(OpenOn(pty.SlavePath())) << "a later open on a valid name works";
    EXPECT_EQ(port.LastOpenError(), "");
}

TEST_F(PortFixture, PermissionDeniedIsReported) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens any device; see the scripted device test";
    ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0), 0);
    EXPECT_FALSE(OpenOn(pty.SlavePath()));
    EXPECT_EQ(port.LastOpenError(), "Permission denied");
}

// A device scripted by the test: it hands out its bytes, then either waits
// or reports the device gone.
class ScriptedDevice final : public SerialDevice {
  public:
    struct Script {
        std::string openError;  // "" opens
        std::string bytes;
        bool goneAfterBytes = false;
        int opens = 0;
    };
    explicit ScriptedDevice(Script& script) : script_(script) {}

    bool Open(const std::string&, const SerialLineConfig&, std::string& error) override {
        ++script_.opens;
        error = script_.openError;
        return error.empty();
    }
    SerialRead ReadByte(uint8_t& byte, int timeoutMs) override {
        std::unique_lock lock(mutex_);
        if (released_) return SerialRead::Released;
        if (next_ < script_.bytes.size()) {
            byte = static_cast<uint8_t>(script_.bytes[next_++]);
            return SerialRead::Byte;
        }
        if (script_.goneAfterBytes) return SerialRead::Gone;
        cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return released_; });
        return released_ ? SerialRead::Released : SerialRead::Timeout;
    }
    void Release() override {
        std::lock_guard lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }
    size_t Write(const uint8_t*, size_t count) override { return count; }
    bool Purge() override { return true; }
    void Close() override {}

  private:
    Script& script_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool released_ = false;
    size_t next_ = 0;
};

struct ScriptedFixture : ::testing::Test {
    ScriptedFixture() { handoff.BindToCurrentThread(); }

    VirtualClock clock{0};
    QueueHandoff handoff;
    std::atomic<int> linkRunning{1};
    Recorder rx;
    ScriptedDevice::Script script;
    SerialPort port{clock, handoff, linkRunning,
                    [this] { return std::make_unique<ScriptedDevice>(script); }};
};

TEST_F(ScriptedFixture, DeviceFailingAfterSomeBytesDeliversThemThenReadsClosed) {
    script.bytes = std::string("SC\0", 3);
    script.goneAfterBytes = true;
    port.Prepare(&rx, 1'000'000);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(PumpUntil(handoff, [&] { return port.Watcher() == State::DeviceGone; }));
    EXPECT_EQ(rx.bytes, "SC ");
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ScriptedFixture, OpenRefusalsAndTheirReasons) {
    EXPECT_FALSE(port.Open()) << "no receiver prepared";
    EXPECT_EQ(script.opens, 0) << "no device is touched without a receiver";

    script.openError = "Permission denied";
    port.Prepare(&rx, 1'000'000);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenError(), "Permission denied");
    EXPECT_FALSE(port.IsOpen());

    script.openError.clear();
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.LastOpenError(), "");
}

}  // namespace
}  // namespace tav
