#include "tools/analyzer-sim/model/analyzer_model.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/analyzer-sim/model/sim_options.h"

namespace tav::sim {
namespace {

const std::string kLinkCheck = "ST\x03ST\x03";

std::string Rec(int minute, int tenths = 65) {
    return MakeRecord({{2024, 3, 15}, 9, minute, tenths, ResultFlag::Plain, "1234", "OP1"});
}

void Send(AnalyzerModel& m, const std::string& bytes, int64_t atMs) {
    for (char c : bytes) m.OnHostByte(static_cast<uint8_t>(c), atMs);
}

// Steps through every output event up to `untilMs`, as a driver in virtual
// time would, recording in `at` when each byte comes out.
std::string Drain(AnalyzerModel& m, int64_t untilMs, std::vector<int64_t>* at = nullptr) {
    std::string out;
    for (auto next = m.NextOutputTime(); next && *next <= untilMs && !m.LineClosed();
         next = m.NextOutputTime()) {
        out += m.TakeOutputDue(*next);
        if (at) at->resize(out.size(), *next);
    }
    return out;
}

std::string Exchange(AnalyzerModel& m, const std::string& host, int64_t atMs) {
    Send(m, host, atMs);
    return Drain(m, atMs + 600'000);
}

// Options as the simulator's command line gives them, fast and with no think time.
ModelOptions Fast(std::vector<std::string> records = {}, const std::string& line = "") {
    std::vector<std::string> args = {"--fast", "--answer-delay", "0"};
    std::istringstream words(line);
    for (std::string w; words >> w;) args.push_back(w);
    SimConfig c;
    std::string error;
    EXPECT_TRUE(ParseArgs(args, &c, &error)) << error;
    return MakeModelOptions(c, std::move(records));
}

TEST(AnalyzerModel, AnswersEachCommandAsTheAnalyzerDoes) {
    const std::string frame2 = "SH0002\r\n" + Rec(30) + Rec(31);
    const std::tuple<const char*, std::string, std::string> rows[] = {
        {"each link check gets SU", kLinkCheck, "SUSU"},
        {"the download request has no ETX", "SH", frame2},
        {"greeting", "HC\x03", "HC"},
        {"a result request with nothing measured says SF", "SC\x03", "SF"},
        {"the end letters get no answer", "SE\x03SE\x03", ""},
        {"noise before a command is skipped", "xx\x03QS" + kLinkCheck.substr(1, 2), "SU"},
        {"a broken command is not answered", "SX\x03S\x03HT\x03", ""},
        {"a command restarts on S", "SS" + kLinkCheck.substr(1, 2), "SU"},
    };
    for (const auto& [name, host, answer] : rows) {
        AnalyzerModel m(Fast({Rec(30), Rec(31)}));
        EXPECT_EQ(Exchange(m, host, 1000), answer) << name;
    }
}

TEST(AnalyzerModel, PacesBytesAt9600BaudAfterTheThinkTime) {
    EXPECT_EQ(WireTimeMs(96), 100);  // ten bits a byte

    AnalyzerModel m(MakeModelOptions(SimConfig{}, {Rec(1), Rec(2), Rec(3)}));  // 20 ms think time
    std::vector<int64_t> at;
    Send(m, kLinkCheck.substr(0, 3), 1000);
    ASSERT_EQ(Drain(m, 2000, &at), "SU");
    EXPECT_EQ(at, (std::vector<int64_t>{1021, 1022}));

    at.clear();
    Send(m, "SH", 5000);
    ASSERT_EQ(Drain(m, 60'000, &at).size(), 137u);
    for (size_t i = 0; i < at.size(); ++i) ASSERT_EQ(at[i], 5020 + WireTimeMs(i + 1));
}

TEST(AnalyzerModel, FaultsChangeTheFrameAsAsked) {
    const std::vector<std::string> records = {Rec(1), Rec(2), Rec(3)};
    std::string clean = "SH0003\r\n" + records[0] + records[1] + records[2];
    auto put = [&](size_t at, char c) { return clean.substr(0, at) + c + clean.substr(at + 1); };
    const std::tuple<const char*, std::string, bool> rows[] = {
        {"--stall-after 10", clean.substr(0, 10), false},  // the bytes before the stall
        {"--drop-byte 8", clean.substr(0, 8) + clean.substr(9), false},
        {"--extra-bytes 3", clean + "***", false},
        {"--bad-terminator 1", put(8 + 43 + 42, '\x03'), false},  // record 1 ends with ETX
        {"--nul-in 2:5", put(8 + 86 + 5, '\0'), false},
        {"--count-delta 2", put(5, '5'), false},
        {"--count-delta -9", put(5, '0'), false},  // the count stops at 0000
        {"--close-after 50", clean.substr(0, 50), true},
        {"--close-after 100000", clean, true},  // beyond the frame
        {"--no-answer", "", false},
    };
    for (const auto& [options, frame, closed] : rows) {
        AnalyzerModel m(Fast(records, options));
        EXPECT_EQ(Exchange(m, "SH", 0), frame) << options;
        EXPECT_EQ(m.LineClosed(), closed) << options;
    }
}

TEST(AnalyzerModel, FaultsCanHitOnlyTheFirstFrames) {
    AnalyzerModel m(Fast({Rec(1)}, "--stall-after 5 --count-delta 1 --fault-frames 1"));
    EXPECT_EQ(Exchange(m, "SH", 0), "SH000");
    EXPECT_EQ(Exchange(m, kLinkCheck + "SH", 100), "SUSUSH0001\r\n" + Rec(1));
}

TEST(AnalyzerModel, GreetingStartsAMeasurementThatIsAnnouncedAndFetchedOnce) {
    ModelOptions o = Fast({Rec(1)}, "--measure-after 5000");
    o.measurementRecord = Rec(40, 71);
    AnalyzerModel m(o);
    Send(m, "HC\x03", 1000);
    EXPECT_EQ(m.TakeOutputDue(1000), "HC");
    Send(m, "HC\x03", 3000);  // a second greeting while measuring starts no other one
    EXPECT_EQ(m.TakeOutputDue(3000), "HC");
    EXPECT_EQ(m.TakeOutputDue(5999), "");
    EXPECT_EQ(m.TakeOutputDue(6000), "SF");
    EXPECT_EQ(m.MeasurementsReady(), 1);

    EXPECT_EQ(Exchange(m, "SC\x03", 9000), "SC" + Rec(40, 71));
    EXPECT_EQ(Exchange(m, "SC\x03", 9500), "SF");
    EXPECT_EQ(Exchange(m, "SH", 9600), "SH0002\r\n" + Rec(1) + Rec(40, 71));
}

TEST(AnalyzerModel, CopiesShareOneAnalyzer) {
    AnalyzerModel a(Fast());
    AnalyzerModel b = a;
    Send(a, "HC\x03", 0);
    EXPECT_EQ(b.TakeOutputDue(0), "HC");
    EXPECT_EQ(a.GreetingsAnswered(), 1);
}

}  // namespace
}  // namespace tav::sim
