// The analyzer's side of the serial protocol, as a pure state machine in
// virtual time: bytes from the PC go in with a time stamp, bytes to the PC
// come out with the time at which they go on the wire. The analyzer-sim
// program runs it on a pseudo-terminal; tests drive it in-process.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Faults {
    bool noAnswer = false;         // never answers anything
    long stallAfterBytes = -1;     // stop sending after this many bytes of a frame
    long dropByteAt = -1;          // leave out the frame byte at this offset
    int extraBytes = 0;            // append this many extra bytes after a frame
    int badTerminatorRecord = -1;  // record k ends with ETX instead of LF
    int nulRecord = -1;            // record k carries a NUL byte
    int countDelta = 0;            // header count differs from the records sent
    long closeAfterBytes = -1;     // the line goes away after this many frame bytes
};

struct ModelOptions {
    std::vector<std::string> records;  // 43-byte records, CR LF included
    bool fast = false;                 // no 9600-baud pacing
    int answerDelayMs = 20;            // think time before an answer
    int measurementDelayMs = -1;       // after a greeting: report "SF" after this delay (-1 never)
    Faults faults;
};

class AnalyzerModel {
  public:
    explicit AnalyzerModel(ModelOptions options);

    // One byte written by the PC, at virtual time `nowMs`.
    void OnHostByte(uint8_t byte, int64_t nowMs);
    // Time of the next byte the analyzer sends, if any is queued.
    std::optional<int64_t> NextOutputTime() const;
    // Removes and returns every byte due by `nowMs`, in order.
    std::string TakeOutputDue(int64_t nowMs);
    // True once a "line closed" fault has fired: the cable is gone.
    bool LineClosed() const;
    // What the analyzer has seen, for tests: "SU" answers, frames sent, end letters taken.
    int FramesSent() const;
    int EndLettersTaken() const;

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace sim
