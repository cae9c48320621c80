// The receive handler fed an analyzer's answer byte by byte, after a manual
// result request or an automatic measurement request. Whatever arrives, the
// receive text and buffer agree, and a payload is handed over only when it is
// exactly what the header announced: the count of a manual frame matches the
// body's length, an automatic record is one whole record, and the payload is
// the body up to its first NUL. The first input byte picks the state and the
// buffer size (a small one makes the overflow path reachable).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/link_state.h"
#include "platform/clock.h"
#include "protocol/link_commands.h"
#include "protocol/message_framing.h"
#include "tests/fuzz/fuzz_check.h"

namespace tav::fuzz {
namespace {

class NullLink final : public SerialLink {
  public:
    std::string written;
    void SetPortDeviceName(const std::string&) override {}
    std::string PortDeviceName() const override { return {}; }
    void SetLineSettings(const LineSettings&) override {}
    bool Prepare(SerialReceiver*, uint32_t) override { return true; }
    bool Open() override { return true; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    size_t Write(const uint8_t* data, size_t count) override {
        written.append(reinterpret_cast<const char*>(data), count);
        return count;
    }
    bool Purge() override { return true; }
    std::string LastOpenError() const override { return {}; }
};

// What the receive handler handed over, taken when it signals the worker.
struct HandOver {
    std::string rxText;
    std::string payload;
    int count = 0;
};

class RecordingHost final : public ControllerHost {
  public:
    explicit RecordingHost(const LinkState& state) : state_(state) {}
    std::vector<HandOver> handOvers;
    int otherSignals = 0;

    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return true; }
    void ShowProgress(const std::string&) override {}
    void HideProgress() override {}
    void SetProgressButtonText(const std::string&) override {}
    bool ProgressVisible() const override { return false; }
    void ShowChecking(const std::string&) override {}
    void HideChecking() override {}
    bool CheckingVisible() const override { return false; }
    void StartTimer(int, int) override {}
    void KillTimer(int) override {}
    void ShowView(int) override {}
    int CurrentView() const override { return 1; }
    void RefreshDownloadView() override {}
    void ClearDownloadList() override {}
    void SetStatusPane(int, const std::string&) override {}
    bool RunPortSelect(std::string&) override { return false; }
    bool PortSelectOpen() const override { return false; }
    void RefreshPortSelect() override {}
    void SignalWorker(int event) override {
        if (event != ev::kDecode) {
            ++otherSignals;
            return;
        }
        handOvers.push_back({state_.RxText, state_.RxPayload, state_.RecordCount});
    }

  private:
    const LinkState& state_;
};

// The state one download starts from; reused, as its buffer is large.
void ResetState(LinkState& s, size_t bufferSize) {
    s.LinkRunning = 1;
    s.AutoMode = 0;
    s.LinkPhase = -1;
    s.AutoStep = -1;
    s.AutoStepStamp = 0;
    s.DownloadState = -1;
    s.HandshakeSeen = -1;
    s.LetterFilter = 0;
    s.ReplyLetters.clear();
    s.Receiving = 0;
    s.RxText.clear();
    if (s.RxBuffer.size() != bufferSize) s.RxBuffer.assign(bufferSize, 0);
    s.RxCount = 0;
    s.RxPayload.clear();
    s.RecordCount = 0;
    s.RecordLength = kRecordLength;
}

std::string UpToNul(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

void CheckManualHandOver(const HandOver& h) {
    constexpr size_t kHeader = 8;
    FUZZ_CHECK(h.rxText.size() > kHeader && h.rxText[0] == 'S');
    FUZZ_CHECK(h.count > 0);
    FUZZ_CHECK(h.count == std::atoi(h.rxText.substr(2, 4).c_str()));
    const std::string body = h.rxText.substr(kHeader);
    FUZZ_CHECK(body.size() == static_cast<size_t>(h.count) * kRecordLength);
    FUZZ_CHECK(h.payload == UpToNul(body));
}

void CheckAutoHandOver(const HandOver& h) {
    FUZZ_CHECK(h.count == 1);
    FUZZ_CHECK(h.rxText.size() >= 2 + static_cast<size_t>(kRecordLength));
    FUZZ_CHECK(h.rxText[0] == 'S' && h.rxText[1] == 'C');
    // The record after "SC", cut at a NUL as a download frame's records are
    // (the processing then refuses it).
    FUZZ_CHECK(h.payload == UpToNul(h.rxText.substr(2, kRecordLength)));
}

}  // namespace
}  // namespace tav::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tav;
    using namespace tav::fuzz;
    static LinkState state;
    if (size == 0) return 0;
    const uint8_t config = data[0];
    const bool automatic = config & 1;
    // Mostly a buffer larger than any input; sometimes one that fills up.
    const size_t bufferSize = (config & 2) ? 16 + (config >> 2) * 4 : 1 << 16;
    ResetState(state, bufferSize);

    NullLink link;
    VirtualClock clock;
    RecordingHost host(state);
    MessageFraming framing(state, link, clock, host);
    int overflows = 0;
    framing.SetOverflowHandler([&] { ++overflows; });

    if (automatic) {
        state.AutoMode = 1;
        state.LinkPhase = 2;
        state.AutoStep = 100;
        framing.SendMeasurementRequest();
    } else {
        state.LinkPhase = 0;
        framing.SendResultRequest();
    }
    link.written.clear();

    for (size_t i = 1; i < size; ++i) {
        const size_t before = host.handOvers.size();
        const int phaseBefore = state.LinkPhase;
        framing.OnSerialByte(data[i]);

        // The receive text and buffer hold the same bytes, within the buffer.
        FUZZ_CHECK(state.RxCount >= 0 && static_cast<size_t>(state.RxCount) <= bufferSize);
        FUZZ_CHECK(state.RxText.size() == static_cast<size_t>(state.RxCount));
        if (state.RxCount > 0) {
            const size_t last = static_cast<size_t>(state.RxCount) - 1;
            FUZZ_CHECK(static_cast<uint8_t>(state.RxText[last]) == state.RxBuffer[last]);
        }

        // One request hands over at most once, and only what was announced.
        FUZZ_CHECK(host.handOvers.size() <= 1);
        if (host.handOvers.size() > before) {
            FUZZ_CHECK(state.Receiving == 0);
            if (phaseBefore == 2) {
                CheckAutoHandOver(host.handOvers.back());
                // The record is acknowledged and the buffers emptied.
                FUZZ_CHECK(link.written == "SE\x03SE\x03");
                FUZZ_CHECK(state.RxText.empty() &&
                           state.RxPayload == host.handOvers.back().payload);
            } else {
                FUZZ_CHECK(!automatic);
                CheckManualHandOver(host.handOvers.back());
                FUZZ_CHECK(state.RxPayload == host.handOvers.back().payload);
                FUZZ_CHECK(state.RecordCount == host.handOvers.back().count);
                if (state.RecordCount > kLargeDownload) {
                    FUZZ_CHECK(framing.Timeouts() == kLargeTimeouts);
                }
            }
        }
        // A full buffer ends an expected manual frame once, and never one
        // already handed over.
        FUZZ_CHECK(overflows <= 1);
        if (overflows) {
            FUZZ_CHECK(!automatic && framing.Overflowed() && state.Receiving == 0);
        }
    }
    FUZZ_CHECK(std::equal(state.RxText.begin(), state.RxText.end(), state.RxBuffer.begin(),
                          [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; }));
    FUZZ_CHECK(!(overflows && !host.handOvers.empty()));
    FUZZ_CHECK(host.otherSignals == 0);
    return 0;
}
