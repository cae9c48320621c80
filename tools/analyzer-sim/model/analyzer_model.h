// The analyzer's side of the serial protocol, as a pure state machine in
// virtual time: bytes from the PC go in with a time stamp, bytes to the PC
// come out with the time at which they go on the wire. The analyzer-sim
// program runs it on a pseudo-terminal; tests drive it in-process.
//
// What it answers (ETX is 0x03):
//   "S" "T" ETX   link check         -> "SU" (each one; the PC sends two)
//   "S" "H"       download request   -> "S" "H" NNNN CR LF + N records
//   "H" "C" ETX   greeting           -> "HC"; starts a measurement when
//                                       measurementDelayMs >= 0
//   "S" "C" ETX   new result request -> "SC" + the oldest finished, unsent
//                                       measurement; "SF" when none is ready
//                                       (the PC takes that as "nothing to
//                                       send yet" and asks again later)
//   "S" "E" ETX   end of transfer    -> nothing
// A finished measurement is announced with "SF" and is kept in the memory,
// so a later download holds it too. Bytes that make no command are ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/analyzer-sim/model/records.h"

namespace tav::sim {

constexpr uint8_t kEtx = 0x03;

// Time on the wire of `bytes` bytes at 9600 baud, 8N1 (10 bits a byte, so
// 1.0417 ms each), rounded to the nearest millisecond.
int64_t WireTimeMs(int64_t bytes);

// Faults hit frames: the download frame and the single-result frame. Record
// indexes count from 0 within a frame (the single-result frame holds record 0).
struct Faults {
    bool noAnswer = false;         // never sends anything
    long stallAfterBytes = -1;     // send only this many bytes of a frame
    long dropByteAt = -1;          // leave out the frame byte at this offset
    int extraBytes = 0;            // append this many '*' bytes after a frame
    int badTerminatorRecord = -1;  // record k ends with CR ETX instead of CR LF
    int nulRecord = -1;            // record k carries a NUL byte at nulOffset
    int nulOffset = 20;            // 0..42
    int countDelta = 0;            // header count = records + delta (0..9999)
    long closeAfterBytes = -1;     // the line goes away after this many frame bytes
    int faultFrames = -1;          // frames the faults hit, from the first; -1 all
};

struct ModelOptions {
    std::vector<std::string> records;  // the memory: 43-byte records, CR LF included
    bool fast = false;                 // no 9600-baud pacing
    int answerDelayMs = 20;            // think time before an answer
    int measurementDelayMs = -1;       // after a greeting: a measurement finishes after
                                       // this delay and "SF" goes out (-1: never)
    // Record of a measurement that a greeting starts; when empty, the
    // built-in one. nextMeasurement, when set, is asked instead.
    std::string measurementRecord;
    std::function<std::string()> nextMeasurement;
    Faults faults;
    // Told about every command seen and every answer queued (for --verbose).
    std::function<void(int64_t atMs, const std::string& what)> log;
};

enum class HostCommand { LinkCheck, DownloadRequest, Greeting, ResultRequest, End };
const char* HostCommandName(HostCommand command);

struct SeenCommand {
    HostCommand command;
    int64_t atMs;  // time of its last byte
};

// Copies share one analyzer (a fake serial link and a test can both hold it).
class AnalyzerModel {
  public:
    explicit AnalyzerModel(ModelOptions options);

    // One byte written by the PC, at virtual time `nowMs`. Times never go
    // backwards: an earlier time counts as the latest one seen.
    void OnHostByte(uint8_t byte, int64_t nowMs);
    // Time of the next byte the analyzer sends, or of the line closing, if
    // anything is queued or scheduled. After TakeOutputDue(t) it is > t.
    std::optional<int64_t> NextOutputTime() const;
    // Removes and returns every byte due by `nowMs`, in order.
    std::string TakeOutputDue(int64_t nowMs);
    // True once a "line closed" fault has fired: the cable is gone, nothing
    // more is sent and bytes from the PC are ignored.
    bool LineClosed() const;

    // A measurement finishes at `atMs`: "SF" goes out then (after anything
    // already queued) and the record joins the memory.
    void FinishMeasurement(std::string record, int64_t atMs);
    // Finished measurements not yet sent in a single-result frame.
    int MeasurementsReady() const;
    // A measurement started by a greeting or FinishMeasurement, not yet finished.
    bool MeasurementRunning() const;
    // The records a download request would send now.
    std::vector<std::string> Memory() const;

    // What the analyzer has seen and done, for tests.
    const std::vector<SeenCommand>& Commands() const;
    int LinkChecksAnswered() const;  // "SU" answers
    int GreetingsAnswered() const;   // "HC" answers
    int FramesSent() const;          // download frames queued
    int ResultFramesSent() const;    // single-result frames queued
    int NotReadyAnswers() const;     // "SF" answers to "S" "C" ETX
    int EndLettersTaken() const;     // "S" "E" ETX commands

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace tav::sim

// Short name the controller tests use.
namespace sim = tav::sim;
