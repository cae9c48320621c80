#include "link/serial_port.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

namespace tav {

namespace {
constexpr uint8_t kBlank = 0x20;
}

// What one open shares with its watcher and with the hand-off calls still
// queued for the window thread. It outlives the port's interest in it when
// Close leaves a watcher that is inside a hand-off.
struct SerialPort::Session {
    std::unique_ptr<SerialDevice> device;
    SerialReceiver* receiver = nullptr;
    std::atomic<bool> open{true};  // the open flag

    mutable std::mutex mutex;
    mutable std::condition_variable cv;
    bool stop = false;     // Close began: deliver nothing more
    bool started = false;  // the watcher is in its loop
    // Where the watcher is with a hand-off: Queued until the window thread
    // has run the call, Ran while the watcher has yet to return from it.
    enum class Handoff { None, Queued, Ran } handoff = Handoff::None;
    int64_t readStart = 0;  // clock time the latest byte was handled
    WatcherState state = WatcherState::Running;

    void End(WatcherState why) {
        std::lock_guard lock(mutex);
        state = why;
        if (why == WatcherState::DeviceGone) open = false;
        cv.notify_all();
    }
};

SerialPort::SerialPort(Clock& clock, Handoff& handoff, const std::atomic<int>& linkRunning,
                       SerialDeviceFactory deviceFactory)
    : clock_(clock),
      handoff_(handoff),
      linkRunning_(linkRunning),
      deviceFactory_(std::move(deviceFactory)) {}

SerialPort::~SerialPort() {
    Close();
    JoinRetired(true);
}

void SerialPort::SetPortDeviceName(const std::string& name) {
    deviceName_ = name;
}
std::string SerialPort::PortDeviceName() const {
    return deviceName_;
}
void SerialPort::SetLineSettings(const LineSettings& settings) {
    settings_ = settings;
}

// Bytes reach the receiver by value, so there is no receive buffer to size.
bool SerialPort::Prepare(SerialReceiver* owner, uint32_t /*bufferSize*/) {
    Close();
    owner_ = owner;
    return true;
}

SerialLineConfig SerialPort::LineConfig() const {
    SerialLineConfig config;
    config.baudRate = settings_.baudRate;
    config.dataBits = settings_.byteSize;
    switch (settings_.parity) {
        case 1:
            config.parity = SerialLineConfig::Parity::Odd;
            break;
        case 2:
            config.parity = SerialLineConfig::Parity::Even;
            break;
        default:
            config.parity = SerialLineConfig::Parity::None;
            break;
    }
    config.stopBits = settings_.stopBits == 0 ? 1 : 2;
    config.xonXoffIn = settings_.flowWord & 1;
    config.xonXoffOut = settings_.flowWord & 2;
    config.discardNul = settings_.flowWord & 4;
    return config;
}

bool SerialPort::Open() {
    Close();
    lastOpenError_.clear();
    if (owner_ == nullptr) {
        lastOpenError_ = "No receiver for the port";
        return false;
    }
    auto session = std::make_shared<Session>();
    session->device = deviceFactory_ ? deviceFactory_() : nullptr;
    if (!session->device) {
        lastOpenError_ = "No serial device available";
        return false;
    }
    std::string error;
    if (!session->device->Open(deviceName_, LineConfig(), error)) {
        lastOpenError_ = error.empty() ? "The port could not be opened" : error;
        return false;
    }
    session->receiver = owner_;
    session_ = session;
    try {
        watcher_ = std::thread(RunWatcher, session, std::ref(clock_), std::ref(handoff_),
                               std::cref(linkRunning_));
    } catch (const std::system_error& e) {
        lastOpenError_ = e.what();
        session->device->Close();
        session_.reset();
        return false;
    }
    {
        std::unique_lock lock(session->mutex);
        session->cv.wait(lock, [&] { return session->started; });
    }
    clock_.SleepMs(kSettleMs);
    return true;
}

void SerialPort::Close() {
    std::shared_ptr<Session> session = std::move(session_);
    if (session) {
        bool queued;
        {
            std::lock_guard lock(session->mutex);
            session->stop = true;
            session->open = false;
            queued = session->handoff == Session::Handoff::Queued;
        }
        session->device->Release();
        if (watcher_.joinable()) {
            // A watcher whose hand-off has not yet run may be waiting for this
            // very thread; it checks `stop` before anything else once the
            // hand-off returns, so the line can be closed now.
            if (queued)
                retired_.push_back({session, std::move(watcher_)});
            else
                watcher_.join();
        }
        session->device->Close();
    }
    JoinRetired(false);
    if (session) clock_.SleepMs(kClosePauseMs);
}

void SerialPort::JoinRetired(bool last) {
    for (auto it = retired_.begin(); it != retired_.end();) {
        bool queued;
        {
            std::lock_guard lock(it->session->mutex);
            queued = it->session->handoff == Session::Handoff::Queued;
        }
        if (queued && !last) {
            ++it;
            continue;
        }
        if (queued)
            it->thread.detach();  // it touches only its session and the hand-off from now on
        else
            it->thread.join();
        it = retired_.erase(it);
    }
}

bool SerialPort::IsOpen() const {
    return session_ && session_->open;
}

size_t SerialPort::Write(const uint8_t* data, size_t count) {
    if (!IsOpen() || count == 0) return 0;
    return session_->device->Write(data, count);
}

bool SerialPort::Purge() {
    return IsOpen() && session_->device->Purge();
}

SerialPort::WatcherState SerialPort::Watcher() const {
    if (!session_) return WatcherState::NotStarted;
    std::lock_guard lock(session_->mutex);
    return session_->state;
}

bool SerialPort::WaitWatcherEnded(int timeoutMs) const {
    if (!session_) return true;
    std::unique_lock lock(session_->mutex);
    return session_->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return session_->state != WatcherState::Running; });
}

void SerialPort::RunWatcher(std::shared_ptr<Session> s, Clock& clock, Handoff& handoff,
                            const std::atomic<int>& linkRunning) {
    {
        std::lock_guard lock(s->mutex);
        s->started = true;
        s->cv.notify_all();
    }

    // Hands one byte to the receiver; false once Close has begun, and then
    // the watcher must touch nothing but `s` (the port may be gone).
    auto deliver = [&](uint8_t byte) {
        {
            std::lock_guard lock(s->mutex);
            if (s->stop) return false;
            s->handoff = Session::Handoff::Queued;
        }
        handoff.Invoke([s, byte, &clock] {
            SerialReceiver* receiver;
            {
                std::lock_guard lock(s->mutex);
                receiver = s->stop ? nullptr : s->receiver;
            }
            if (receiver) receiver->OnSerialByte(byte);
            std::lock_guard lock(s->mutex);
            // The next read starts when the receiver is done with this byte.
            if (!s->stop) s->readStart = clock.NowMs();
            s->handoff = Session::Handoff::Ran;
        });
        std::lock_guard lock(s->mutex);
        s->handoff = Session::Handoff::None;
        return !s->stop;
    };

    // After a byte, a read that waits kSilenceMs without another one ends in
    // a blank; then the watcher waits without limit for the next byte.
    bool afterByte = false;
    for (;;) {
        {
            std::lock_guard lock(s->mutex);
            if (s->stop) break;
        }
        if (linkRunning.load() == 0) {
            s->End(WatcherState::LinkStopped);
            return;
        }
        int slice = kReadSliceMs;
        if (afterByte) {
            int64_t readStart;
            {
                std::lock_guard lock(s->mutex);
                readStart = s->readStart;
            }
            int64_t left = kSilenceMs - (clock.NowMs() - readStart);
            if (left <= 0) {
                afterByte = false;
                if (!deliver(kBlank)) break;
                continue;
            }
            slice = static_cast<int>(std::min<int64_t>(slice, left));
        }
        uint8_t byte = 0;
        SerialRead got = s->device->ReadByte(byte, slice);
        if (got == SerialRead::Gone) {
            s->End(WatcherState::DeviceGone);
            return;
        }
        if (got == SerialRead::Byte) {
            if (!deliver(byte == 0 ? kBlank : byte)) break;
            afterByte = true;
        }
    }
    s->End(WatcherState::PortClosed);
}

}  // namespace tav
