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
#include "tests/support/controller_host_script.h"
#include "tests/support/sim_link_fake.h"

namespace tav::fuzz {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Reused, as its buffer is large: a request resets the receive fields,
    // and the framing changes no other field that it reads.
    static LinkState state;
    if (size == 0) return 0;
    const uint8_t config = data[0];
    const bool automatic = config & 1;
    // Mostly a buffer larger than any input; sometimes one that fills up.
    const size_t bufferSize = (config & 2) ? 16 + (config >> 2) * 4 : 1 << 16;
    if (state.RxBuffer.size() != bufferSize) state.RxBuffer.assign(bufferSize, 0);
    state.AutoMode = automatic;
    state.LinkPhase = automatic ? 2 : 0;
    state.ReplyLetters.clear();

    VirtualClock clock;
    test::SimLink link(clock);  // an open line with nothing on it
    link.Attach("", nullptr);
    link.Open();
    test::ScriptedHost host(clock);
    MessageFraming framing(state, link, clock, host);
    int overflows = 0;
    framing.SetOverflowHandler([&] { ++overflows; });

    automatic ? framing.SendMeasurementRequest() : framing.SendResultRequest();
    link.written.clear();

    std::string received;  // every byte since the request
    size_t handOvers = 0;
    for (size_t i = 1; i < size; ++i) {
        const size_t signals = host.signals.size();
        const int phaseBefore = state.LinkPhase;
        received.push_back(static_cast<char>(data[i]));
        framing.OnSerialByte(data[i]);

        // The receive text and buffer hold the same bytes, within the buffer.
        const size_t count = static_cast<size_t>(state.RxCount);
        FUZZ_CHECK(state.RxCount >= 0 && count <= bufferSize && state.RxText.size() == count);
        FUZZ_CHECK(count == 0 ||
                   static_cast<uint8_t>(state.RxText[count - 1]) == state.RxBuffer[count - 1]);

        // One request hands over at most once, and only what was announced
        // in the bytes received so far (those the buffer holds).
        if (host.signals.size() > signals) {
            const std::string rx = received.substr(0, bufferSize);
            FUZZ_CHECK(++handOvers == 1 && host.signals.back() == ev::kDecode &&
                       state.Receiving == 0);
            if (phaseBefore == 2) {
                // The record after "SC", cut at a NUL as a download frame's records are (the
                // processing then refuses it), is acknowledged and the buffers emptied.
                FUZZ_CHECK(state.RecordCount == 1 && rx.size() >= 2 + size_t(kRecordLength) &&
                           rx.compare(0, 2, "SC") == 0);
                FUZZ_CHECK(state.RxPayload == rx.substr(2, kRecordLength).c_str());
                FUZZ_CHECK(link.written == "SE\x03SE\x03" && state.RxText.empty());
            } else {
                // The count of the 8-byte header matches the body's length; the payload is
                // the body up to a NUL.
                FUZZ_CHECK(!automatic && state.RxText == rx && rx.size() > 8 && rx[0] == 'S');
                const std::string body = rx.substr(8);
                FUZZ_CHECK(state.RecordCount > 0 &&
                           state.RecordCount == std::atoi(rx.substr(2, 4).c_str()) &&
                           body.size() == size_t(state.RecordCount) * kRecordLength);
                FUZZ_CHECK(state.RxPayload == body.c_str());
                if (state.RecordCount > kLargeDownload)
                    FUZZ_CHECK(framing.Timeouts() == kLargeTimeouts);
            }
        }
        // A full buffer ends an expected manual frame once, and never one
        // already handed over.
        FUZZ_CHECK(overflows == 0 ||
                   (overflows == 1 && !automatic && framing.Overflowed() && state.Receiving == 0));
    }
    FUZZ_CHECK(std::equal(state.RxText.begin(), state.RxText.end(), state.RxBuffer.begin(),
                          [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; }));
    FUZZ_CHECK(!(overflows && handOvers));
    FUZZ_CHECK(host.signals.size() == handOvers);
    return 0;
}

}  // namespace tav::fuzz
