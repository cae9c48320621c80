// State shared by the receive handler, the download controller, the automatic
// sequence and the download processing. One instance lives as long as the
// main window. Values read by more than one thread are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tav {

inline constexpr int kRecordLength = 43;
inline constexpr size_t kRxBufferSize = 1'000'000;

struct LinkState {
    std::atomic<int> LinkRunning{1};
    std::atomic<int> AutoMode{0};
    // -1 nothing started, 0 manual exchange, 1 automatic greeting/waiting, 2 automatic data.
    std::atomic<int> LinkPhase{-1};
    std::atomic<int> AutoStep{-1};
    std::atomic<uint32_t> AutoStepStamp{0};
    // -1 idle, 0 manual nothing started, 1 port-select open, 2 link check, 3 results requested.
    std::atomic<int> DownloadState{-1};
    // -1 reset, 1 greeting or link check answered, 0 any other answer.
    std::atomic<int> HandshakeSeen{-1};

    // Window thread only.
    int LetterFilter = 0;
    std::string ReplyLetters;
    int Receiving = 0;
    std::string RxText;
    std::vector<uint8_t> RxBuffer = std::vector<uint8_t>(kRxBufferSize, 0);
    int RxCount = 0;

    // Handed to the download processing with EvDecode; untouched by the
    // window thread until the next command resets the buffers.
    std::string RxPayload;
    int RecordCount = 0;
    int RecordLength = kRecordLength;
};

}  // namespace tav
