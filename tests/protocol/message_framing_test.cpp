#include "protocol/message_framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/link_commands.h"
#include "tests/support/controller_rig.h"
#include "tests/support/sim_link_frames.h"

namespace tav::test {
namespace {

class FramingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.Plug(5, nullptr);
        rig.link.SetPortDeviceName(FakeDevice(5));
        rig.link.Prepare(&rig.controller, 1'000'000);
        ASSERT_TRUE(rig.link.Open());
    }
    void Feed(const std::string& bytes) {
        for (char c : bytes) rig.controller.OnSerialByte(static_cast<uint8_t>(c));
    }
    // A manual result request has been sent and its answer is awaited.
    void AwaitFrame() {
        rig.state.LinkPhase = 0;
        rig.controller.Framing().SendResultRequest();
        rig.link.written.clear();
    }
    // The automatic data request has been sent.
    void AwaitMeasurement() {
        rig.state.AutoMode = 1;
        rig.state.LinkPhase = 2;
        rig.state.AutoStep = 100;
        rig.controller.Framing().SendMeasurementRequest();
        rig.link.written.clear();
    }

    ControllerRig rig;
    MessageFraming& framing = rig.controller.Framing();
    const std::string records3 = kThree[0] + kThree[1] + kThree[2];
};

TEST_F(FramingTest, CommandsWriteTheirLettersWithTheirPauses) {
    struct Row {
        const char* name;
        void (MessageFraming::*send)();
        std::string letters;
        std::vector<int64_t> offsets;  // of each byte from the first
    };
    const std::vector<int64_t> sixBytes = {0, 500, 1000, 1500, 2000, 2500};
    const std::vector<Row> rows = {
        {"greeting", &MessageFraming::SendGreeting, "HC\x03", {0, 800, 1600}},
        {"measurement request", &MessageFraming::SendMeasurementRequest, "SC\x03", {0, 800, 1600}},
        {"end", &MessageFraming::SendEnd, "SE\x03SE\x03", sixBytes},
        {"link check", &MessageFraming::SendLinkCheck, "ST\x03ST\x03", sixBytes},
        {"result request", &MessageFraming::SendResultRequest, "SH", {0, 500}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rig.link.written.clear();
        rig.link.writtenAt.clear();
        const int64_t start = rig.clock.NowMs();
        (framing.*row.send)();
        std::vector<int64_t> offsets;
        for (int64_t t : rig.link.writtenAt) offsets.push_back(t - start);
        EXPECT_EQ(rig.link.written, row.letters);
        EXPECT_EQ(offsets, row.offsets);
    }
    rig.state.LinkRunning = 0;  // shutting down: nothing more goes out
    rig.link.written.clear();
    framing.SendLinkCheck();
    EXPECT_TRUE(rig.link.written.empty());
}

TEST_F(FramingTest, DownloadFrameIsTakenExactlyWhenItsRecordsAreComplete) {
    const std::string frame = MakeFrame(3, records3);
    std::string duplicated = records3;
    duplicated.insert(50, 1, duplicated[50]);
    std::string withNul = records3;
    withNul[60] = '\0';
    struct Row {
        const char* name;
        std::string bytes;
        std::optional<std::string> payload;  // nullopt: still receiving
    };
    const std::vector<Row> rows = {
        {"128 record bytes wait for more", frame.substr(0, 8 + 128), std::nullopt},
        {"129 record bytes complete three records", frame, records3},
        {"a trailing byte after 129 is not part of the frame", frame + "X", records3},
        {"a frame split by a foreign first byte never starts", "X" + frame, std::nullopt},
        {"a count read up to its first non-digit", "S: 003,," + records3, records3},
        // The record test of the processing refuses the shifted records.
        {"a duplicated byte completes at 129 bytes", MakeFrame(3, duplicated),
         duplicated.substr(0, 129)},
        {"a NUL byte ends the handed-over records", MakeFrame(3, withNul), records3.substr(0, 60)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rig.host.signals.clear();
        AwaitFrame();
        Feed(row.bytes);
        EXPECT_EQ(rig.host.Signalled(ev::kDecode), row.payload ? 1 : 0);
        EXPECT_EQ(rig.state.Receiving, row.payload ? 0 : 1);
        if (row.payload) {
            EXPECT_EQ(rig.state.RecordCount, 3);
            EXPECT_EQ(rig.state.RxPayload, *row.payload);
        }
    }
}

TEST_F(FramingTest, SingleResultFrameTakesOneRecordAfterSC) {
    const std::string record = MakeRecord("2403150930", "065");
    std::string withNul = record;
    withNul[20] = '\0';
    // A NUL cuts the record short; the processing's record test refuses it.
    for (const auto& [sent, taken] : {std::pair{record, record}, {withNul, record.substr(0, 20)}}) {
        const std::string frame = "SC" + sent;
        rig.host.signals.clear();
        AwaitMeasurement();
        Feed(frame.substr(0, 44));
        EXPECT_EQ(rig.host.Signalled(ev::kDecode), 0);
        Feed(frame.substr(44) + "SC" + record);  // the 45th byte, then bytes of no request
        EXPECT_EQ(rig.host.Signalled(ev::kDecode), 1);
        EXPECT_EQ(rig.state.RecordCount, 1);
        EXPECT_EQ(rig.state.RxPayload, taken);
        EXPECT_EQ(rig.link.written, "SE\x03SE\x03");
        EXPECT_EQ(rig.state.AutoStep, 100);
    }
}

TEST_F(FramingTest, NoMeasurementAnswerReturnsToWaiting) {
    for (std::string answer : {"SF", "FS"}) {
        SCOPED_TRACE(answer);
        AwaitMeasurement();
        Feed(answer);
        EXPECT_EQ(rig.state.LinkPhase, 1);
        EXPECT_EQ(rig.state.AutoStep, 27);
        EXPECT_EQ(rig.host.progressText, text::kReceiving);
    }
}

TEST_F(FramingTest, FullReceiveBufferStoresNothingMoreAndFailsTheDownload) {
    rig.state.DownloadState = 3;
    AwaitFrame();
    // Noise that is no frame: a frame with a valid count always ends well
    // inside the buffer.
    Feed(std::string(kRxBufferSize, 'x'));
    EXPECT_EQ(static_cast<size_t>(rig.state.RxCount), kRxBufferSize);
    EXPECT_FALSE(framing.Overflowed());
    EXPECT_TRUE(rig.link.written.empty());
    Feed("y");
    // The attempt ended: a new link check started the exchange over.
    EXPECT_EQ(rig.link.written, "ST\x03ST\x03");
    EXPECT_EQ(rig.state.DownloadState, 2);

    // Outside a download the extra bytes are only dropped.
    rig.state.LinkPhase = 1;
    framing.SendGreeting();
    rig.link.written.clear();
    Feed(std::string(kRxBufferSize, 'H') + "CU");
    EXPECT_TRUE(framing.Overflowed());
    EXPECT_EQ(rig.state.RxText.size(), kRxBufferSize);
    EXPECT_TRUE(rig.link.written.empty());
}

}  // namespace
}  // namespace tav::test
