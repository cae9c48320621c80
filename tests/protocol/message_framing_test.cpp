#include "protocol/message_framing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/link_commands.h"
#include "tests/support/controller_rig.h"
#include "tests/support/sim_link_frames.h"

namespace tav::test {
namespace {

// Records when each byte from the PC reaches the line.
class TimedPeer final : public AnalyzerPeer {
  public:
    std::vector<std::pair<char, int64_t>> bytes;
    void OnHostByte(uint8_t byte, int64_t nowMs) override {
        bytes.emplace_back(static_cast<char>(byte), nowMs);
    }
    std::optional<int64_t> NextOutputTime() const override { return std::nullopt; }
    std::string TakeOutputDue(int64_t) override { return {}; }
};

class FramingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.Plug(5, &peer);
        rig.link.SetPortDeviceName(FakeDevice(5));
        rig.link.Prepare(&rig.controller, 1'000'000);
        ASSERT_TRUE(rig.link.Open());
        peer.bytes.clear();
    }
    void Feed(const std::string& bytes) {
        for (char c : bytes) rig.controller.OnSerialByte(static_cast<uint8_t>(c));
    }
    int Decodes() const {
        int n = 0;
        for (int e : rig.host.signals) n += e == ev::kDecode;
        return n;
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
    TimedPeer peer;
    MessageFraming& framing = rig.controller.Framing();
    const std::string records3 = MakeRecord("2403150930", "065") + MakeRecord("2403151000", "071") +
                                 MakeRecord("2403151100", "102");
};

TEST_F(FramingTest, CommandsWriteTheirLettersWithTheirPausesAndSetTheirState) {
    struct Row {
        const char* name;
        void (MessageFraming::*send)();
        std::vector<int64_t> offsets;  // of each byte from the first
        std::string letters;
        int letterFilter, handshakeSeen, receiving;
        bool keepsPayload;
    };
    const std::vector<Row> rows = {
        {"greeting", &MessageFraming::SendGreeting, {0, 800, 1600}, "HC\x03", 10, -1, 0, false},
        {"measurement request",
         &MessageFraming::SendMeasurementRequest,
         {0, 800, 1600},
         "SC\x03",
         12,
         7,
         1,
         false},
        {"end",
         &MessageFraming::SendEnd,
         {0, 500, 1000, 1500, 2000, 2500},
         "SE\x03SE\x03",
         10,
         7,
         0,
         true},
        {"link check",
         &MessageFraming::SendLinkCheck,
         {0, 500, 1000, 1500, 2000, 2500},
         "ST\x03ST\x03",
         10,
         -1,
         0,
         false},
        {"result request", &MessageFraming::SendResultRequest, {0, 500}, "SH", 10, 7, 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        peer.bytes.clear();
        rig.state.LetterFilter = 0;
        rig.state.HandshakeSeen = 7;
        rig.state.Receiving = 0;
        rig.state.RxText = "old";
        rig.state.RxBuffer[0] = 'o';
        rig.state.RxCount = 3;
        rig.state.RxPayload = "records";
        const int64_t start = rig.clock.NowMs();
        (framing.*row.send)();
        std::string letters;
        std::vector<int64_t> offsets;
        for (auto [c, t] : peer.bytes) {
            letters.push_back(c);
            offsets.push_back(t - start);
        }
        EXPECT_EQ(letters, row.letters);
        EXPECT_EQ(offsets, row.offsets);
        EXPECT_EQ(rig.state.LetterFilter, row.letterFilter);
        EXPECT_EQ(rig.state.HandshakeSeen, row.handshakeSeen);
        EXPECT_EQ(rig.state.Receiving, row.receiving);
        EXPECT_TRUE(rig.state.RxText.empty());
        EXPECT_EQ(rig.state.RxCount, 0);
        EXPECT_EQ(rig.state.RxBuffer[0], 0);
        EXPECT_EQ(rig.state.RxPayload, row.keepsPayload ? "records" : "");
    }
    rig.state.LinkRunning = 0;
    peer.bytes.clear();
    framing.SendLinkCheck();
    EXPECT_TRUE(peer.bytes.empty());
}

TEST_F(FramingTest, DownloadFrameIsTakenExactlyWhenItsRecordsAreComplete) {
    const std::string frame = MakeFrame(3, records3);
    struct Row {
        const char* name;
        std::string bytes;
        int decodes;
    };
    const std::vector<Row> rows = {
        {"128 record bytes wait for more", frame.substr(0, 8 + 128), 0},
        {"129 record bytes complete three records", frame, 1},
        {"a trailing byte after 129 is not part of the frame", frame + "X", 1},
        {"a frame split by a foreign first byte never starts", "X" + frame, 0},
        {"a count read up to its first non-digit", "S: 003,," + records3, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rig.host.signals.clear();
        AwaitFrame();
        Feed(row.bytes);
        EXPECT_EQ(Decodes(), row.decodes);
        if (row.decodes == 1) {
            EXPECT_EQ(rig.state.RecordCount, 3);
            EXPECT_EQ(rig.state.RxPayload, records3);
            EXPECT_EQ(rig.state.Receiving, 0);
        } else {
            EXPECT_EQ(rig.state.Receiving, 1);
        }
    }
}

TEST_F(FramingTest, DuplicatedRecordByteCompletesAtTheAnnouncedLengthWithShiftedRecords) {
    AwaitFrame();
    std::string damaged = records3;
    damaged.insert(50, 1, damaged[50]);
    Feed(MakeFrame(3, damaged));
    EXPECT_EQ(Decodes(), 1);
    // The hand-over holds 129 bytes whose second record has lost its
    // terminators; the record test of the processing refuses it.
    EXPECT_EQ(rig.state.RxPayload, damaged.substr(0, 129));
    EXPECT_NE(rig.state.RxPayload.substr(84, 2), "\r\n");
}

TEST_F(FramingTest, NulByteEndsTheHandedOverRecords) {
    AwaitFrame();
    std::string records = records3;
    records[60] = '\0';
    Feed(MakeFrame(3, records));
    EXPECT_EQ(Decodes(), 1);
    EXPECT_EQ(rig.state.RxPayload, records3.substr(0, 60));
}

TEST_F(FramingTest, CountAboveFourHundredRaisesTheTimeLimits) {
    for (auto [count, limits] : {std::pair{400, kNormalTimeouts}, {401, kLargeTimeouts}}) {
        SCOPED_TRACE(count);
        AwaitFrame();
        EXPECT_EQ(framing.Timeouts(), kNormalTimeouts);
        Feed(MakeFrame(count, "").substr(0, 6));
        EXPECT_EQ(framing.Timeouts(), limits);
    }
}

TEST_F(FramingTest, EmptyMemoryIsReportedAndEndsTheExchange) {
    rig.host.StartTimer(timer::kReceive, 1000);
    rig.state.DownloadState = 3;
    AwaitFrame();
    Feed("S:0000,,");
    EXPECT_EQ(Decodes(), 0);
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{text::kBlankBox});
    EXPECT_EQ(rig.host.progressLog.back(), text::kBlankProgress);
    EXPECT_EQ(rig.state.DownloadState, -1);
    EXPECT_FALSE(rig.host.TimerRunning(timer::kReceive));
    EXPECT_EQ(rig.link.written, "SE\x03SE\x03");
}

TEST_F(FramingTest, LinkCheckAnswerIsReadFromTheStartOfTheText) {
    struct Row {
        std::string answer;
        int seen;
    };
    for (const Row& row : std::vector<Row>{{"SU", 1}, {"SUxx", 1}, {"S", 0}, {"US", 0}}) {
        SCOPED_TRACE(row.answer);
        rig.state.LinkPhase = 0;
        framing.SendLinkCheck();
        Feed(row.answer);
        EXPECT_EQ(rig.state.HandshakeSeen, row.seen);
    }
}

TEST_F(FramingTest, GreetingLettersAreCollectedByTheFilter) {
    struct Row {
        int filter;
        std::string bytes;
        std::string letters;
        int seen;
    };
    const std::vector<Row> rows = {
        {10, "HCU\x03SF", "HCU", 1},
        {10, "xHC", "HC", -1},
        {11, "HC..S..F", "SF", 1},
        {12, "SF", "", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        rig.state.LinkPhase = 1;
        framing.SendGreeting();
        rig.state.LetterFilter = row.filter;
        rig.state.ReplyLetters.clear();
        Feed(row.bytes);
        EXPECT_EQ(rig.state.ReplyLetters, row.letters);
        EXPECT_EQ(rig.state.HandshakeSeen, row.seen);
    }
}

TEST_F(FramingTest, SingleResultFrameTakesOneRecordAfterSC) {
    const std::string record = MakeRecord("2403150930", "065");
    const std::string frame = "SC" + record;
    AwaitMeasurement();
    Feed(frame.substr(0, 44));
    EXPECT_EQ(Decodes(), 0);
    Feed(frame.substr(44) + "SC" + record);  // the 45th byte, then bytes of no request
    EXPECT_EQ(Decodes(), 1);
    EXPECT_EQ(rig.state.RecordCount, 1);
    EXPECT_EQ(rig.state.RxPayload, record);
    EXPECT_EQ(rig.link.written, "SE\x03SE\x03");
    EXPECT_EQ(rig.state.AutoStep, 100);
}

TEST_F(FramingTest, NoMeasurementAnswerReturnsToWaiting) {
    for (std::string answer : {"SF", "FS"}) {
        SCOPED_TRACE(answer);
        AwaitMeasurement();
        Feed(answer);
        EXPECT_EQ(rig.state.LinkPhase, 1);
        EXPECT_EQ(rig.state.AutoStep, 27);
        EXPECT_EQ(rig.state.AutoStepStamp, rig.clock.TickCount());
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
    EXPECT_EQ(rig.state.RxCount, 0);
    EXPECT_EQ(rig.state.Receiving, 0);
    EXPECT_EQ(rig.state.DownloadState, 2);

    // Outside a download the extra bytes are only dropped.
    rig.state.LinkPhase = 1;
    framing.SendGreeting();
    rig.link.written.clear();
    Feed(std::string(kRxBufferSize, 'H') + "CU");
    EXPECT_TRUE(framing.Overflowed());
    EXPECT_EQ(rig.state.RxText.size(), kRxBufferSize);
    EXPECT_EQ(rig.state.RxBuffer.size(), kRxBufferSize);
    EXPECT_EQ(rig.state.ReplyLetters.find_first_not_of('H'), std::string::npos);
    EXPECT_TRUE(rig.link.written.empty());
}

}  // namespace
}  // namespace tav::test
