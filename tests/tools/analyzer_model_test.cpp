#include "tools/analyzer-sim/model/analyzer_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tav::sim {
namespace {

const std::string kEtxS(1, '\x03');
const std::string kLinkCheck = "ST" + kEtxS + "ST" + kEtxS;
const std::string kGreeting = "HC" + kEtxS;
const std::string kResultRequest = "SC" + kEtxS;
const std::string kEnd = "SE" + kEtxS;

std::string Rec(int minute, int tenths = 65) {
    ResultFields f;
    f.date = {2024, 3, 15};
    f.hour = 9;
    f.minute = minute;
    f.tenths = tenths;
    f.pid = "1234";
    f.opid = "OP1";
    return MakeRecord(f);
}

struct Byte {
    int64_t at;
    char byte;
};

// Writes `bytes` one by one starting at `atMs`, `gapMs` apart.
int64_t Send(AnalyzerModel& m, const std::string& bytes, int64_t atMs, int64_t gapMs = 0) {
    for (char c : bytes) {
        m.OnHostByte(static_cast<uint8_t>(c), atMs);
        atMs += gapMs;
    }
    return atMs;
}

// Steps through every output event up to `untilMs`, as a driver in virtual
// time would, recording when each byte comes out.
std::vector<Byte> Drain(AnalyzerModel& m, int64_t untilMs) {
    std::vector<Byte> out;
    while (auto next = m.NextOutputTime()) {
        if (*next > untilMs) break;
        for (char c : m.TakeOutputDue(*next)) out.push_back({*next, c});
        if (m.LineClosed()) break;
    }
    return out;
}

std::string Text(const std::vector<Byte>& bytes) {
    std::string s;
    for (const auto& b : bytes) s += b.byte;
    return s;
}

std::string Exchange(AnalyzerModel& m, const std::string& host, int64_t atMs) {
    Send(m, host, atMs);
    return Text(Drain(m, atMs + 600'000));
}

ModelOptions Fast(std::vector<std::string> records = {}) {
    ModelOptions o;
    o.records = std::move(records);
    o.fast = true;
    o.answerDelayMs = 0;
    return o;
}

TEST(AnalyzerModel, AnswersEachCommandAsTheAnalyzerDoes) {
    const std::string frame2 = "SH0002\r\n" + Rec(30) + Rec(31);
    struct Row {
        const char* name;
        std::string host;
        std::string answer;
    } rows[] = {
        {"each link check gets SU", kLinkCheck, "SUSU"},
        {"the download request has no ETX", "SH", frame2},
        {"greeting", kGreeting, "HC"},
        {"a result request with nothing measured says SF", kResultRequest, "SF"},
        {"the end letters get no answer", kEnd + kEnd, ""},
        {"noise before a command is skipped", "xx\x03QS" + kLinkCheck.substr(1, 2), "SU"},
        {"a broken command is not answered", "SX" + kEtxS + "S" + kEtxS + "HT" + kEtxS, ""},
        {"a command restarts on S", "SS" + kLinkCheck.substr(1, 2), "SU"},
    };
    for (const auto& row : rows) {
        AnalyzerModel m(Fast({Rec(30), Rec(31)}));
        EXPECT_EQ(Exchange(m, row.host, 1000), row.answer) << row.name;
    }
}

TEST(AnalyzerModel, DownloadFrameIsByteExactAndEmptyMemorySaysZero) {
    std::vector<std::string> records;
    for (int i = 0; i < 12; ++i) records.push_back(Rec(i, 50 + i));
    AnalyzerModel full(Fast(records));
    std::string frame = Exchange(full, "SH", 0);
    ASSERT_EQ(frame.size(), 8u + 12u * 43u);
    EXPECT_EQ(frame.substr(0, 8), "SH0012\r\n");
    for (int i = 0; i < 12; ++i) EXPECT_EQ(frame.substr(8 + i * 43, 43), records[i]);
    EXPECT_EQ(full.FramesSent(), 1);

    AnalyzerModel empty(Fast());
    EXPECT_EQ(Exchange(empty, "SH", 0), "SH0000\r\n");
}

TEST(AnalyzerModel, PacesBytesAt9600BaudAfterTheThinkTime) {
    EXPECT_EQ(WireTimeMs(1), 1);
    EXPECT_EQ(WireTimeMs(96), 100);
    EXPECT_EQ(WireTimeMs(8 + 400 * 43), 17'925);

    ModelOptions o;
    o.records = {Rec(1), Rec(2), Rec(3)};
    o.answerDelayMs = 20;
    AnalyzerModel m(o);
    Send(m, kLinkCheck.substr(0, 3), 1000);
    auto su = Drain(m, 2000);
    ASSERT_EQ(Text(su), "SU");
    EXPECT_EQ(su[0].at, 1021);
    EXPECT_EQ(su[1].at, 1022);

    Send(m, "SH", 5000);
    auto frame = Drain(m, 60'000);
    ASSERT_EQ(frame.size(), 137u);
    EXPECT_EQ(frame.front().at, 5021);
    EXPECT_EQ(frame.back().at, 5020 + WireTimeMs(137));
    for (size_t i = 0; i < frame.size(); ++i) ASSERT_EQ(frame[i].at, 5020 + WireTimeMs(i + 1));
}

TEST(AnalyzerModel, TakesOnlyWhatIsDueAndAnswersQueueBehindAFrame) {
    ModelOptions o;
    o.records = {Rec(1), Rec(2)};
    o.answerDelayMs = 0;
    AnalyzerModel m(o);
    Send(m, "SH", 0);
    EXPECT_EQ(m.TakeOutputDue(10).size(), 10u);  // WireTimeMs(10) is 10 ms
    EXPECT_EQ(*m.NextOutputTime(), WireTimeMs(11));
    // A link check sent in the middle of the frame is answered after it.
    Send(m, kLinkCheck.substr(0, 3), 20);
    std::string rest = m.TakeOutputDue(1000);
    EXPECT_EQ(rest.size(), 94u - 10u + 2u);
    EXPECT_EQ(rest.substr(rest.size() - 2), "SU");
    EXPECT_FALSE(m.NextOutputTime().has_value());
}

TEST(AnalyzerModel, FaultsChangeTheFrameAsAsked) {
    const std::vector<std::string> records = {Rec(1), Rec(2), Rec(3)};
    std::string clean = "SH0003\r\n" + records[0] + records[1] + records[2];
    auto with = [&](auto change) {
        std::string s = clean;
        change(s);
        return s;
    };
    struct Row {
        const char* name;
        Faults faults;
        std::string frame;
        bool closed;
    } rows[] = {
        {"stall after 10 bytes sends only those",
         {.stallAfterBytes = 10},
         clean.substr(0, 10),
         false},
        {"a dropped byte shortens the frame",
         {.dropByteAt = 8},
         with([](std::string& s) { s.erase(8, 1); }),
         false},
        {"extra bytes follow the last record", {.extraBytes = 3}, clean + "***", false},
        {"a bad terminator ends record 1 with ETX",
         {.badTerminatorRecord = 1},
         with([](std::string& s) { s[8 + 43 + 42] = '\x03'; }),
         false},
        {"a NUL sits in record 2 at the chosen offset",
         {.nulRecord = 2, .nulOffset = 5},
         with([](std::string& s) { s[8 + 86 + 5] = '\0'; }),
         false},
        {"the count can claim more records",
         {.countDelta = 2},
         with([](std::string& s) { s[5] = '5'; }),
         false},
        {"the count never goes below 0000",
         {.countDelta = -9},
         with([](std::string& s) { s[5] = '0'; }),
         false},
        {"the line closes after 50 bytes", {.closeAfterBytes = 50}, clean.substr(0, 50), true},
        {"a close beyond the frame comes after all of it",
         {.closeAfterBytes = 100000},
         clean,
         true},
        {"no answer sends nothing", {.noAnswer = true}, "", false},
    };
    for (const auto& row : rows) {
        ModelOptions o = Fast(records);
        o.faults = row.faults;
        AnalyzerModel m(o);
        EXPECT_EQ(Exchange(m, "SH", 0), row.frame) << row.name;
        EXPECT_EQ(m.LineClosed(), row.closed) << row.name;
    }
}

TEST(AnalyzerModel, ClosedLineIgnoresTheHostAndSendsNothingMore) {
    ModelOptions o = Fast({Rec(1)});
    o.faults.closeAfterBytes = 20;
    o.measurementDelayMs = 0;
    AnalyzerModel m(o);
    Send(m, "SH", 0);
    EXPECT_EQ(m.TakeOutputDue(0).size(), 20u);
    ASSERT_TRUE(m.LineClosed());
    EXPECT_EQ(Exchange(m, kLinkCheck + kGreeting, 10), "");
    EXPECT_TRUE(m.Commands().size() == 1u);
    EXPECT_FALSE(m.NextOutputTime().has_value());
}

TEST(AnalyzerModel, ClosingIsPacedLikeTheBytesBeforeIt) {
    ModelOptions o;
    o.records = {Rec(1)};
    o.answerDelayMs = 0;
    o.faults.closeAfterBytes = 30;
    AnalyzerModel m(o);
    Send(m, "SH", 0);
    EXPECT_EQ(m.TakeOutputDue(WireTimeMs(30) - 1).size(), 29u);
    EXPECT_FALSE(m.LineClosed());
    EXPECT_EQ(m.TakeOutputDue(WireTimeMs(30)).size(), 1u);
    EXPECT_TRUE(m.LineClosed());
}

TEST(AnalyzerModel, FaultsCanHitOnlyTheFirstFrames) {
    ModelOptions o = Fast({Rec(1)});
    o.faults.stallAfterBytes = 5;
    o.faults.countDelta = 1;
    o.faults.faultFrames = 1;
    AnalyzerModel m(o);
    EXPECT_EQ(Exchange(m, "SH", 0), "SH000");
    EXPECT_EQ(Exchange(m, kLinkCheck + "SH", 100), "SUSUSH0001\r\n" + Rec(1));
}

TEST(AnalyzerModel, SingleResultFrameCarriesRecordFaults) {
    ModelOptions o = Fast();
    o.faults.badTerminatorRecord = 0;
    o.faults.extraBytes = 2;
    AnalyzerModel m(o);
    m.FinishMeasurement(Rec(5), 0);
    std::string bad = Rec(5);
    bad[42] = '\x03';
    EXPECT_EQ(Exchange(m, kResultRequest, 10), "SF" + ("SC" + bad + "**"));
}

TEST(AnalyzerModel, GreetingStartsAMeasurementThatIsAnnouncedAndFetchedOnce) {
    ModelOptions o = Fast({Rec(1)});
    o.measurementDelayMs = 5000;
    o.measurementRecord = Rec(40, 71);
    AnalyzerModel m(o);
    Send(m, kGreeting, 1000);
    EXPECT_EQ(m.TakeOutputDue(1000), "HC");
    EXPECT_TRUE(m.MeasurementRunning());
    EXPECT_EQ(*m.NextOutputTime(), 6000);
    // A second greeting while measuring does not start another one.
    Send(m, kGreeting, 3000);
    EXPECT_EQ(m.TakeOutputDue(3000), "HC");
    EXPECT_EQ(m.TakeOutputDue(5999), "");
    EXPECT_EQ(m.TakeOutputDue(6000), "SF");
    EXPECT_FALSE(m.NextOutputTime().has_value());
    EXPECT_EQ(m.MeasurementsReady(), 1);
    EXPECT_EQ(m.Memory().size(), 2u);

    EXPECT_EQ(Exchange(m, kResultRequest, 9000), "SC" + Rec(40, 71));
    EXPECT_EQ(m.MeasurementsReady(), 0);
    EXPECT_EQ(Exchange(m, kResultRequest, 9500), "SF");
    EXPECT_EQ(m.NotReadyAnswers(), 1);
    EXPECT_EQ(Exchange(m, "SH", 9600), "SH0002\r\n" + Rec(1) + Rec(40, 71));
}

TEST(AnalyzerModel, MeasurementLettersWaitForTheirTime) {
    ModelOptions o = Fast();
    o.measurementDelayMs = 5000;
    AnalyzerModel m(o);
    Send(m, kGreeting, 0);
    auto out = Drain(m, 100'000);
    ASSERT_EQ(Text(out), "HCSF");
    EXPECT_EQ(out[0].at, 0);
    EXPECT_EQ(out[2].at, 5000);
}

TEST(AnalyzerModel, NewGreetingRepeatsTheAnnouncementOfAnUnfetchedMeasurement) {
    ModelOptions o = Fast();
    o.measurementDelayMs = 3000;
    AnalyzerModel m(o);
    EXPECT_EQ(Exchange(m, kGreeting, 0), "HCSF");
    EXPECT_EQ(Exchange(m, kGreeting, 10'000), "HCSF");
    EXPECT_EQ(m.MeasurementsReady(), 1);  // announced twice, measured once
    EXPECT_EQ(m.Memory().size(), 1u);
}

TEST(AnalyzerModel, FinishMeasurementOnDemandQueuesInOrder) {
    ModelOptions o = Fast();
    AnalyzerModel m(o);
    m.FinishMeasurement(Rec(1), 2000);
    m.FinishMeasurement(Rec(2), 1000);
    EXPECT_EQ(*m.NextOutputTime(), 1000);
    EXPECT_EQ(Text(Drain(m, 5000)), "SFSF");
    EXPECT_EQ(Exchange(m, kResultRequest, 6000), "SC" + Rec(2));
    EXPECT_EQ(Exchange(m, kResultRequest, 7000), "SC" + Rec(1));
}

TEST(AnalyzerModel, NoAnswerStillMeasuresButStaysSilent) {
    ModelOptions o = Fast();
    o.faults.noAnswer = true;
    o.measurementDelayMs = 10;
    AnalyzerModel m(o);
    m.FinishMeasurement(Rec(3), 50);
    EXPECT_EQ(Exchange(m, kLinkCheck + kGreeting + kResultRequest + "SH", 0), "");
    EXPECT_EQ(m.MeasurementsReady(), 1);
    EXPECT_EQ(m.Commands().size(), 5u);
    EXPECT_EQ(m.LinkChecksAnswered(), 0);
}

TEST(AnalyzerModel, RecordsTheCommandsItSaw) {
    AnalyzerModel m(Fast({Rec(1)}));
    int64_t t = Send(m, kLinkCheck, 0, 500);
    t = Send(m, "SH", t + 300, 500);
    Send(m, kEnd + kEnd, t + 1000, 500);
    Drain(m, 100'000);
    const auto& seen = m.Commands();
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].command, HostCommand::LinkCheck);
    EXPECT_EQ(seen[0].atMs, 1000);
    EXPECT_EQ(seen[2].command, HostCommand::DownloadRequest);
    EXPECT_EQ(seen[2].atMs, 3800);
    EXPECT_EQ(seen[4].command, HostCommand::End);
    EXPECT_EQ(m.LinkChecksAnswered(), 2);
    EXPECT_EQ(m.FramesSent(), 1);
    EXPECT_EQ(m.EndLettersTaken(), 2);
}

TEST(AnalyzerModel, CopiesShareOneAnalyzer) {
    AnalyzerModel a(Fast());
    AnalyzerModel b = a;
    Send(a, kGreeting, 0);
    EXPECT_EQ(b.TakeOutputDue(0), "HC");
    EXPECT_EQ(a.GreetingsAnswered(), 1);
}

}  // namespace
}  // namespace tav::sim
