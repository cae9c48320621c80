// The letters the PC sends to the analyzer and the assembly of the
// analyzer's answers, byte by byte, on the window thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/link_state.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "protocol/controller_host.h"

namespace tav {

inline constexpr uint8_t kEtx = 0x03;

// Limits of a manual result request, in milliseconds from the request: no
// progress after t1, nothing at all by t2, not complete by t3.
struct DataTimeouts {
    double t1 = 8000;
    double t2 = 15000;
    double t3 = 90000;
    bool operator==(const DataTimeouts&) const = default;
};
inline constexpr DataTimeouts kNormalTimeouts{8000, 15000, 90000};
inline constexpr DataTimeouts kLargeTimeouts{90000, 150000, 200000};
// Announced result counts above this get the large time-outs.
inline constexpr int kLargeDownload = 400;

class MessageFraming final : public SerialReceiver {
  public:
    MessageFraming(LinkState& state, SerialLink& link, Clock& clock, ControllerHost& host);

    // One byte from the analyzer.
    void OnSerialByte(uint8_t byte) override;

    // The commands. Each empties the receive text, buffer and count (all but
    // SendEnd also the payload), sets its part of the state and writes its
    // letters one byte at a time with the pauses between them. Nothing is
    // sent while the link is not running.
    void SendGreeting();            // "H" "C" ETX
    void SendMeasurementRequest();  // "S" "C" ETX
    void SendEnd();                 // "S" "E" ETX, twice
    void SendLinkCheck();           // "S" "T" ETX, twice
    void SendResultRequest();       // "S" "H"

    void ResetReceive(bool payloadToo);

    const DataTimeouts& Timeouts() const { return timeouts_; }
    // True once the receive buffer filled up since the last reset; further
    // bytes are dropped until the next command.
    bool Overflowed() const { return overflowed_; }
    // Called when the buffer fills while a download frame is expected: the
    // frame can no longer be taken, so the transfer has failed.
    void SetOverflowHandler(std::function<void()> handler) { onOverflow_ = std::move(handler); }

  private:
    void Write(const char* letters, size_t count, int pauseMs, bool pauseAfterLast);
    void LetterFilter(uint8_t byte);
    void HandleManual();
    void HandleAutoData();
    void HandOver(std::string records, int count);

    LinkState& state_;
    SerialLink& link_;
    Clock& clock_;
    ControllerHost& host_;
    DataTimeouts timeouts_ = kNormalTimeouts;
    bool overflowed_ = false;
    std::function<void()> onOverflow_;
};

}  // namespace tav
