#include "protocol/message_framing.h"

#include <algorithm>
#include <cstdlib>

#include "protocol/link_commands.h"

namespace tav {

namespace {

constexpr size_t kHeaderLength = 8;  // "S", one byte, four count digits, two separators

bool StartsWith(const std::string& text, const char* prefix) {
    return text.size() >= 2 && text[0] == prefix[0] && text[1] == prefix[1];
}

// The announced count: the four characters after the first two, read as atoi
// reads them (leading blanks, a sign, digits up to the first non-digit).
int HeaderCount(const std::string& text) {
    std::string digits = text.substr(2, 4);
    return std::atoi(digits.c_str());
}

// Records are handed over as text that ends at a NUL byte, so a record holding
// one loses its terminators and the record test refuses the download.
std::string UpToNul(const std::string& bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

}  // namespace

MessageFraming::MessageFraming(LinkState& state, SerialLink& link, Clock& clock,
                               ControllerHost& host)
    : state_(state), link_(link), clock_(clock), host_(host) {}

void MessageFraming::ResetReceive(bool payloadToo) {
    state_.RxText.clear();
    std::fill(state_.RxBuffer.begin(), state_.RxBuffer.end(), 0);
    state_.RxCount = 0;
    overflowed_ = false;
    if (payloadToo) state_.RxPayload.clear();
}

void MessageFraming::Write(const char* letters, size_t count, int pauseMs, bool pauseAfterLast) {
    for (size_t i = 0; i < count; ++i) {
        if (state_.LinkRunning == 0) return;
        auto byte = static_cast<uint8_t>(letters[i]);
        link_.Write(&byte, 1);
        if (i + 1 < count || pauseAfterLast) clock_.SleepMs(pauseMs);
    }
}

void MessageFraming::SendGreeting() {
    if (state_.LinkRunning == 0) return;
    ResetReceive(true);
    state_.LetterFilter = 10;
    state_.HandshakeSeen = -1;
    Write("HC\x03", 3, 800, false);
}

void MessageFraming::SendMeasurementRequest() {
    if (state_.LinkRunning == 0) return;
    ResetReceive(true);
    state_.Receiving = 1;
    state_.LetterFilter = 12;
    Write("SC\x03", 3, 800, false);
}

void MessageFraming::SendEnd() {
    if (state_.LinkRunning == 0) return;
    // The records of the last frame stay for the download processing.
    ResetReceive(false);
    state_.LetterFilter = 10;
    Write("SE\x03SE\x03", 6, 500, false);
}

void MessageFraming::SendLinkCheck() {
    if (state_.LinkRunning == 0) return;
    ResetReceive(true);
    state_.LetterFilter = 10;
    state_.HandshakeSeen = -1;
    Write("ST\x03ST\x03", 6, 500, false);
}

void MessageFraming::SendResultRequest() {
    if (state_.LinkRunning == 0) return;
    ResetReceive(true);
    state_.Receiving = 1;
    state_.LetterFilter = 10;
    timeouts_ = kNormalTimeouts;
    Write("SH", 2, 500, true);
}

void MessageFraming::LetterFilter(uint8_t byte) {
    const char c = static_cast<char>(byte);
    bool keep = false;
    switch (state_.LetterFilter) {
        case 10:
            keep = c == 'H' || c == 'C' || c == 'U';
            break;
        case 11:
            keep = c == 'S' || c == 'F';
            break;
        default:
            break;
    }
    if (keep) state_.ReplyLetters.push_back(c);
}

void MessageFraming::OnSerialByte(uint8_t byte) {
    if (state_.LinkRunning == 0) return;

    if (static_cast<size_t>(state_.RxCount) >= state_.RxBuffer.size()) {
        // Nothing is stored past the buffer; a frame that runs beyond it can
        // never be taken, so an expected download has failed.
        if (!overflowed_) {
            overflowed_ = true;
            if (state_.LinkPhase == 0 && state_.Receiving == 1) {
                state_.Receiving = 0;
                if (onOverflow_) onOverflow_();
            }
        }
        return;
    }
    state_.RxText.push_back(static_cast<char>(byte));
    state_.RxBuffer[state_.RxCount++] = byte;
    if (state_.LinkPhase == 1) LetterFilter(byte);

    if (state_.RxText.empty()) return;
    switch (state_.LinkPhase) {
        case 1:
            if (StartsWith(state_.RxText, "HC")) state_.HandshakeSeen = 1;
            break;
        case 2:
            HandleAutoData();
            break;
        case 0:
            HandleManual();
            break;
        default:
            break;
    }
}

void MessageFraming::HandleAutoData() {
    // Once the one record has been taken, later bytes belong to no request.
    if (state_.Receiving == 0) return;
    host_.ShowProgress(text::kReceiving);
    const std::string& rx = state_.RxText;
    if (StartsWith(rx, "SF") || StartsWith(rx, "FS")) {
        // No measurement to send: back to waiting.
        state_.LinkPhase = 1;
        state_.AutoStep = 27;
        state_.AutoStepStamp = clock_.TickCount();
        return;
    }
    const size_t length = static_cast<size_t>(state_.RecordLength);
    if (StartsWith(rx, "SC") && rx.size() >= length + 2) {
        // A record cut short by a NUL is handed over too, as in a download
        // frame: the processing refuses it and ends the exchange, where
        // waiting for a whole record would hold automatic mode for good.
        state_.Receiving = 0;
        HandOver(UpToNul(rx.substr(2, length)), 1);
        clock_.SleepMs(50);
        SendEnd();
    }
}

void MessageFraming::HandleManual() {
    const std::string& rx = state_.RxText;
    if (state_.Receiving == 0) {
        // Only the link check's answer says how ids are read. Bytes after a
        // handed-over frame (trailing noise, records past a short count)
        // must not change it while the records are being stored, or the
        // same results would be stored again with other ids.
        if (state_.DownloadState != 3) state_.HandshakeSeen = StartsWith(rx, "SU") ? 1 : 0;
        return;
    }
    host_.ShowProgress(state_.RxCount % 4 == 0 ? text::kReceivingEven : text::kReceivingOdd);
    if (rx[0] != 'S' || rx.size() <= 5) return;

    const int count = HeaderCount(rx);
    const size_t bodyLength = rx.size() > kHeaderLength ? rx.size() - kHeaderLength : 0;
    if (count > kLargeDownload) timeouts_ = kLargeTimeouts;

    if (count == 0) {
        state_.Receiving = 0;
        host_.KillTimer(timer::kLinkCheck);
        host_.KillTimer(timer::kReceive);
        host_.KillTimer(timer::kAuto);
        host_.ShowMessage(text::kBlankBox);
        host_.ShowProgress(text::kBlankProgress);
        state_.DownloadState = -1;
        clock_.SleepMs(50);
        SendEnd();
        return;
    }
    const size_t length = static_cast<size_t>(state_.RecordLength);
    // The header announced the count: show how many records are in so far.
    if (count > 0)
        host_.ShowProgressCount(
            static_cast<int>(std::min(bodyLength / length, static_cast<size_t>(count))), count);
    if (count > 0 && static_cast<size_t>(count) == bodyLength / length &&
        static_cast<size_t>(count) * length == bodyLength) {
        state_.Receiving = 0;
        host_.KillTimer(timer::kReceive);
        host_.KillTimer(timer::kAuto);
        HandOver(UpToNul(rx.substr(kHeaderLength)), count);
    }
}

void MessageFraming::HandOver(std::string records, int count) {
    state_.RecordCount = count;
    state_.RxPayload = std::move(records);
    clock_.SleepMs(50);
    host_.SignalWorker(ev::kDecode);
}

}  // namespace tav
