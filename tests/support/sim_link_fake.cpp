#include "tests/support/sim_link_fake.h"

namespace tav::test {

AnalyzerPeer* SimLink::Peer() const {
    auto it = devices_.find(openDevice_);
    return it == devices_.end() ? nullptr : it->second;
}

bool SimLink::LineAlive() const {
    if (!open_ || devices_.count(openDevice_) == 0) return false;
    AnalyzerPeer* peer = Peer();
    return peer == nullptr || !peer->LineClosed();
}

bool SimLink::Prepare(SerialReceiver* owner, uint32_t) {
    Close();
    receiver_ = owner;
    return true;
}

bool SimLink::Open() {
    Close();
    if (devices_.count(device_) == 0) {
        lastError_ = "No such file or directory";
        return false;
    }
    openDevice_ = device_;
    open_ = true;
    opened.push_back(device_);
    clock_.SleepMs(800);  // the driver lets the line settle
    Schedule();
    return true;
}

void SimLink::Close() {
    open_ = false;
    if (task_) clock_.Cancel(*task_);
    task_.reset();
}

size_t SimLink::Write(const uint8_t* data, size_t count) {
    if (!LineAlive()) return 0;
    AnalyzerPeer* peer = Peer();
    for (size_t i = 0; i < count; ++i) {
        written.push_back(static_cast<char>(data[i]));
        writtenAt.push_back(clock_.NowMs());
        if (peer) peer->OnHostByte(data[i], clock_.NowMs());
    }
    Schedule();
    return count;
}

void SimLink::Schedule() {
    AnalyzerPeer* peer = Peer();
    if (!LineAlive() || !peer) return;
    auto next = peer->NextOutputTime();
    if (!next) return;
    if (task_ && taskAt_ <= *next) return;
    if (task_) clock_.Cancel(*task_);
    taskAt_ = *next;
    task_ = clock_.ScheduleAt(*next, [this] { Deliver(); });
}

void SimLink::Deliver() {
    task_.reset();
    AnalyzerPeer* peer = Peer();
    if (!LineAlive() || !peer) return;
    const std::string bytes = peer->TakeOutputDue(clock_.NowMs());
    for (char c : bytes) {
        if (!LineAlive()) return;
        // The driver hands a NUL byte on as a blank.
        const auto byte = static_cast<uint8_t>(c == '\0' ? ' ' : c);
        if (receiver_) receiver_->OnSerialByte(byte);
    }
    Schedule();
}

}  // namespace tav::test
