#include "tools/analyzer-sim/model/analyzer_model.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <limits>

namespace tav::sim {

int64_t WireTimeMs(int64_t bytes) {
    return (bytes * 10'000 + 4'800) / 9'600;
}

const char* HostCommandName(HostCommand command) {
    switch (command) {
        case HostCommand::LinkCheck:
            return "link check S T ETX";
        case HostCommand::DownloadRequest:
            return "download request S H";
        case HostCommand::Greeting:
            return "greeting H C ETX";
        case HostCommand::ResultRequest:
            return "result request S C ETX";
        case HostCommand::End:
            return "end S E ETX";
    }
    return "?";
}

struct AnalyzerModel::Impl {
    struct Out {
        int64_t at;
        char byte;
        bool close;  // the line goes away here instead of a byte
    };
    struct Scheduled {
        int64_t at;
        std::string record;
        bool announceOnly;  // a repeated "SF" for a measurement already finished
    };

    ModelOptions o;
    std::deque<Out> queue;
    int64_t lastQueued = std::numeric_limits<int64_t>::min();
    int64_t now = std::numeric_limits<int64_t>::min();
    bool closed = false;
    std::string partial;               // letters of a command not yet complete
    std::vector<Scheduled> scheduled;  // in time order
    std::deque<std::string> ready;
    std::vector<std::string> memory;
    std::vector<SeenCommand> commands;
    int linkChecks = 0, greetings = 0, frames = 0, resultFrames = 0, notReady = 0, ends = 0;
    int framesBuilt = 0;  // frames the faults have seen, counted for faultFrames
    uint32_t measurementSerial = 0;

    explicit Impl(ModelOptions options) : o(std::move(options)) { memory = o.records; }

    void Log(const std::string& what) {
        if (o.log) o.log(now, what);
    }

    void Schedule(Scheduled s) {
        auto pos = std::upper_bound(scheduled.begin(), scheduled.end(), s.at,
                                    [](int64_t at, const Scheduled& x) { return at < x.at; });
        scheduled.insert(pos, std::move(s));
    }

    // Queues `bytes` to start after `earliest` and after anything already
    // queued; `closeAt` >= 0 ends the line after that many of them.
    void Enqueue(const std::string& bytes, int64_t earliest, long closeAt = -1) {
        if (o.faults.noAnswer || closed) return;
        int64_t start = std::max(earliest, lastQueued);
        size_t n = bytes.size();
        if (closeAt >= 0) n = std::min(n, static_cast<size_t>(closeAt));
        for (size_t i = 0; i < n; ++i) {
            int64_t at = start + (o.fast ? 0 : WireTimeMs(static_cast<int64_t>(i) + 1));
            queue.push_back({at, bytes[i], false});
            lastQueued = at;
        }
        if (closeAt >= 0) {
            int64_t at = n == 0 ? start : lastQueued;
            queue.push_back({at, 0, true});
            lastQueued = at;
        }
    }

    void Answer(const std::string& letters) { Enqueue(letters, now + o.answerDelayMs); }

    // Applies the faults to a frame and queues it.
    void SendFrame(std::string frame, size_t recordsAt, size_t recordCount) {
        const Faults& f = o.faults;
        bool faulty = f.faultFrames < 0 || framesBuilt < f.faultFrames;
        ++framesBuilt;
        long closeAt = -1;
        if (faulty) {
            for (size_t k = 0; k < recordCount; ++k) {
                size_t base = recordsAt + k * kRecordLength;
                if (static_cast<int>(k) == f.badTerminatorRecord) frame[base + 42] = kEtx;
                if (static_cast<int>(k) == f.nulRecord && f.nulOffset >= 0 &&
                    f.nulOffset < static_cast<int>(kRecordLength)) {
                    frame[base + f.nulOffset] = '\0';
                }
            }
            if (f.dropByteAt >= 0 && static_cast<size_t>(f.dropByteAt) < frame.size()) {
                frame.erase(static_cast<size_t>(f.dropByteAt), 1);
            }
            if (f.extraBytes > 0) frame.append(static_cast<size_t>(f.extraBytes), '*');
            if (f.stallAfterBytes >= 0 && static_cast<size_t>(f.stallAfterBytes) < frame.size()) {
                frame.resize(static_cast<size_t>(f.stallAfterBytes));
                Log("stalls after " + std::to_string(frame.size()) + " bytes");
            }
            if (f.closeAfterBytes >= 0) {
                closeAt = std::min<long>(f.closeAfterBytes, static_cast<long>(frame.size()));
                Log("line closes after " + std::to_string(closeAt) + " bytes");
            }
        }
        Enqueue(frame, now + o.answerDelayMs, closeAt);
    }

    void SendDownloadFrame() {
        long count = static_cast<long>(memory.size());
        if (o.faults.faultFrames < 0 || framesBuilt < o.faults.faultFrames) {
            count = std::clamp<long>(count + o.faults.countDelta, 0, 9999);
        }
        char head[32];
        std::snprintf(head, sizeof head, "SH%04ld\r\n", std::min(count, 9999L));
        std::string frame = head;
        for (const auto& r : memory) frame += r;
        Log("download frame: count " + std::to_string(count) + ", " +
            std::to_string(memory.size()) + " records, " + std::to_string(frame.size()) + " bytes");
        SendFrame(std::move(frame), 8, memory.size());
        ++frames;
    }

    std::string NewMeasurementRecord() {
        if (o.nextMeasurement) return o.nextMeasurement();
        if (!o.measurementRecord.empty()) return o.measurementRecord;
        return MakeMeasurementRecord({2024, 7, 1}, 10, 30, measurementSerial++);
    }

    void OnCommand(HostCommand c) {
        commands.push_back({c, now});
        Log(HostCommandName(c));
        if (o.faults.noAnswer) return;
        switch (c) {
            case HostCommand::LinkCheck:
                Answer("SU");
                ++linkChecks;
                break;
            case HostCommand::DownloadRequest:
                SendDownloadFrame();
                break;
            case HostCommand::Greeting: {
                Answer("HC");
                ++greetings;
                if (o.measurementDelayMs < 0) break;
                bool running = std::any_of(scheduled.begin(), scheduled.end(),
                                           [](const Scheduled& s) { return !s.announceOnly; });
                if (running) break;
                int64_t at = now + o.measurementDelayMs;
                if (ready.empty()) {
                    Schedule({at, NewMeasurementRecord(), false});
                } else if (scheduled.empty()) {
                    Schedule({at, {}, true});
                }
                break;
            }
            case HostCommand::ResultRequest:
                if (ready.empty()) {
                    Answer("SF");
                    ++notReady;
                    Log("no measurement ready: SF");
                } else {
                    std::string record = ready.front();
                    ready.pop_front();
                    Log("single-result frame");
                    SendFrame("SC" + record, 2, 1);
                    ++resultFrames;
                }
                break;
            case HostCommand::End:
                ++ends;
                break;
        }
    }

    void OnByte(uint8_t b) {
        const char c = static_cast<char>(b);
        if (partial == "S" && c == 'H') {  // the download request has no ETX
            partial.clear();
            OnCommand(HostCommand::DownloadRequest);
            return;
        }
        if (partial.size() == 2 && b == kEtx) {
            std::string letters;
            letters.swap(partial);
            if (letters == "ST") OnCommand(HostCommand::LinkCheck);
            if (letters == "HC") OnCommand(HostCommand::Greeting);
            if (letters == "SC") OnCommand(HostCommand::ResultRequest);
            if (letters == "SE") OnCommand(HostCommand::End);
            return;
        }
        if ((partial == "S" && (c == 'T' || c == 'C' || c == 'E')) ||
            (partial == "H" && c == 'C')) {
            partial += c;
            return;
        }
        // Anything else: a new command may start here.
        partial = (c == 'S' || c == 'H') ? std::string(1, c) : std::string();
    }

    // Runs whatever was scheduled up to `t`.
    void AdvanceTo(int64_t t) {
        now = std::max(now, t);
        while (!scheduled.empty() && scheduled.front().at <= now) {
            Scheduled s = std::move(scheduled.front());
            scheduled.erase(scheduled.begin());
            if (!s.announceOnly) {
                memory.push_back(s.record);
                ready.push_back(s.record);
            }
            if (closed) continue;
            int64_t saved = now;
            now = s.at;
            Log(s.announceOnly ? "measurement still ready: SF" : "measurement finished: SF");
            Enqueue("SF", s.at);
            now = saved;
        }
    }
};

AnalyzerModel::AnalyzerModel(ModelOptions options)
    : impl_(std::make_shared<Impl>(std::move(options))) {}

void AnalyzerModel::OnHostByte(uint8_t byte, int64_t nowMs) {
    impl_->AdvanceTo(nowMs);
    if (impl_->closed) return;
    impl_->OnByte(byte);
}

std::optional<int64_t> AnalyzerModel::NextOutputTime() const {
    const Impl& m = *impl_;
    if (m.closed) return std::nullopt;
    if (!m.queue.empty()) return m.queue.front().at;
    if (!m.scheduled.empty()) {
        return m.scheduled.front().at + (m.o.fast || m.o.faults.noAnswer ? 0 : WireTimeMs(1));
    }
    return std::nullopt;
}

std::string AnalyzerModel::TakeOutputDue(int64_t nowMs) {
    Impl& m = *impl_;
    // Scheduled events only ever append to the queue, so running them all
    // first keeps the bytes in wire order.
    m.AdvanceTo(nowMs);
    std::string out;
    while (!m.closed && !m.queue.empty() && m.queue.front().at <= m.now) {
        Impl::Out o = m.queue.front();
        m.queue.pop_front();
        if (o.close) {
            m.closed = true;
            m.queue.clear();
            m.Log("line closed");
            break;
        }
        out += o.byte;
    }
    return out;
}

bool AnalyzerModel::LineClosed() const {
    return impl_->closed;
}

void AnalyzerModel::FinishMeasurement(std::string record, int64_t atMs) {
    impl_->Schedule({std::max(atMs, impl_->now), std::move(record), false});
}

int AnalyzerModel::MeasurementsReady() const {
    return static_cast<int>(impl_->ready.size());
}

bool AnalyzerModel::MeasurementRunning() const {
    const auto& s = impl_->scheduled;
    return std::any_of(s.begin(), s.end(),
                       [](const Impl::Scheduled& x) { return !x.announceOnly; });
}

std::vector<std::string> AnalyzerModel::Memory() const {
    return impl_->memory;
}
const std::vector<SeenCommand>& AnalyzerModel::Commands() const {
    return impl_->commands;
}
int AnalyzerModel::LinkChecksAnswered() const {
    return impl_->linkChecks;
}
int AnalyzerModel::GreetingsAnswered() const {
    return impl_->greetings;
}
int AnalyzerModel::FramesSent() const {
    return impl_->frames;
}
int AnalyzerModel::ResultFramesSent() const {
    return impl_->resultFrames;
}
int AnalyzerModel::NotReadyAnswers() const {
    return impl_->notReady;
}
int AnalyzerModel::EndLettersTaken() const {
    return impl_->ends;
}

}  // namespace tav::sim
