#include "tools/analyzer-sim/model/records.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tools/analyzer-sim/model/sim_options.h"
#include "tools/analyzer-sim/model/virtual_ports.h"

namespace tav::sim {
namespace {

TEST(Records, DatesAreChecked) {
    EXPECT_EQ(ParseDate("2024-02-29"), (Date{2024, 2, 29}));  // the compact form: SimOptions
    for (const char* bad : {"2023-02-29", "1999-12-31", "2100-01-01", "2024-13-01", "2024-1-1"})
        EXPECT_FALSE(ParseDate(bad).has_value()) << bad;
}

TEST(Records, GeneratorIsReproducibleOrderedInRangeAndFlagsAsAsked) {
    GenerateOptions o{.count = 300, .seed = 42, .from = {2024, 2, 1}, .to = {2024, 2, 29}};
    auto a = GenerateRecords(o);
    ASSERT_EQ(a.size(), 300u);
    EXPECT_EQ(a, GenerateRecords(o));
    o.seed = 43;
    EXPECT_NE(a, GenerateRecords(o));

    for (size_t i = 0; i < a.size(); ++i) {
        const std::string& r = a[i];
        ASSERT_EQ(r.substr(41), "\r\n");  // and 43 bytes long
        // Day, hour and value in range; strictly ascending stamps (no two in one minute).
        EXPECT_TRUE(r.substr(0, 6) >= "240201" && r.substr(0, 6) <= "240229") << r;
        EXPECT_TRUE(r.substr(6, 2) >= "08" && r.substr(6, 2) <= "17") << r;
        EXPECT_TRUE(r.substr(10, 3) >= "040" && r.substr(10, 3) <= "140") << r;
        EXPECT_TRUE(i == 0 || a[i - 1].substr(0, 10) < r.substr(0, 10)) << r;
    }

    int tilted = 0, flagged = 0;
    for (const auto& r : GenerateRecords({.count = 50, .tilted = 7, .flagged = 5})) {
        tilted += (r[10] & 0x80) != 0;
        flagged += (r[10] & 0xC0) == 0x40;
    }
    EXPECT_EQ(std::pair(tilted, flagged), std::pair(7, 5));
}

TEST(Records, MemoryFileTakesRawAndTextLines) {
    const std::string raw = "2403150930065" + std::string(14, '0') + "12345" + std::string(9, ' ');
    const std::string text = "# memory\n" + raw + "\r\n" +
                             "\n"
                             "2024-03-16 10:05 6.6\n"
                             "20240317 1106 072 4711 OP2 tilted\n"
                             "  2024-03-18\t11:07\t12.3\tzeros\t-\tflagged\n";
    std::vector<std::string> records;
    std::string error;
    ASSERT_TRUE(ParseMemoryText(text, &records, &error)) << error;
    // An id field; a flag sets a bit of the first value digit: \260 tilted, \161 flagged.
    auto id = [](std::string s) { return s.append(14 - s.size(), ' '); };
    EXPECT_EQ(records, (std::vector<std::string>{
                           raw + "\r\n",
                           "2403161005066" + id("") + id("") + "\r\n",
                           "2403171106\26072" + id("4711") + id("OP2") + "\r\n",
                           "2403181107\16123" + std::string(14, '0') + id("") + "\r\n",
                       }));
}

TEST(Records, MemoryFileErrorsNameTheLine) {
    const std::pair<std::string, std::string> rows[] = {
        {"240316100506\n", "line 1: a raw record has 41 bytes before the line end, not 12"},
        {"2024-03-16 10:05\n", "line 1: expected DATE TIME VALUE [PID [OPID [FLAG]]]"},
        {"#\n2024-02-30 10:05 6.5\n", "line 2: bad date \"2024-02-30\""},
        {"2024-03-16 10:00 6.5 123456789012345\n",
         "line 1: id longer than 14 characters \"123456789012345\""},
    };
    for (const auto& [text, expected] : rows) {
        std::vector<std::string> records;
        std::string error;
        EXPECT_FALSE(ParseMemoryText(text, &records, &error)) << text;
        EXPECT_EQ(error, expected);
    }
}

// Registering is checked end to end in analyzer_sim_program_test.
TEST(VirtualPorts, RemovingLeavesAnotherRunsLineForTheSameNumber) {
    const VirtualPort mine{7, "/dev/pts/9", true, CableFriendlyName(7), 4321};
    EXPECT_EQ(ParsePortLine(FormatPortLine(mine)), mine);
    const std::string others = "# ports\n8\t/dev/pts/3\t0\tOther\n";
    const std::string file = others + FormatPortLine(mine) + "\n";
    bool removed = false;
    EXPECT_EQ(WithoutPortLine(file, mine, &removed), others);
    EXPECT_TRUE(removed);
    VirtualPort newer = mine;  // a newer run's line for COM7 stays
    newer.device = "/dev/pts/10";
    EXPECT_EQ(WithoutPortLine(file, newer, &removed), file);
    EXPECT_FALSE(removed);
}

TEST(SimOptions, ParsesEveryOptionAndRejectsBadValues) {
    SimConfig c;
    std::string error;
    std::vector<std::string> args;
    std::istringstream words(
        "--home /h --com=9 --count 5 --seed 4000000000 --from 2023-01-02 --to=20230105 "
        "--tilted 1 --flagged 2 --ids mixed --fast --answer-delay 0 --measure-after 3000 "
        "--stall-after 11 --drop-byte 12 --extra-bytes 13 --bad-terminator 2 --nul-in 3:41 "
        "--count-delta -1 --close-after 99 --fault-frames 1 --no-answer --print-path --verbose");
    for (std::string w; words >> w;) args.push_back(w);
    // The help names every option the parser takes; the faults reach the model
    // (analyzer_model_test).
    std::vector<std::string> options = {"--load", "--empty", "--help"};
    for (const std::string& w : args)
        if (w.rfind("--", 0) == 0) options.push_back(w.substr(0, w.find('=')));
    for (const std::string& option : options)
        EXPECT_NE(UsageText().find("  " + option + " "), std::string::npos) << option;
    ASSERT_TRUE(ParseArgs(args, &c, &error)) << error;
    EXPECT_EQ(c.home, "/h");
    EXPECT_EQ((std::vector<long>{c.com, c.generate.count, c.generate.seed, c.generate.tilted,
                                 c.generate.flagged, c.answerDelayMs, c.measureAfterMs}),
              (std::vector<long>{9, 5, 4000000000, 1, 2, 0, 3000}));
    EXPECT_EQ(std::pair(c.generate.from, c.generate.to),
              std::pair(Date{2023, 1, 2}, Date{2023, 1, 5}));
    EXPECT_EQ(c.generate.ids, IdStyle::Mixed);
    EXPECT_TRUE(c.fast && c.printPath && c.verbose);

    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--bogus"}, "unknown option --bogus (see --help)"},
        {{"--com", "0"}, "--com expects a number from 1 to 100, not \"0\""},
        {{"--count", "10000"}, "--count expects a number from 0 to 9999, not \"10000\""},
        {{"--nul-in", "1:43"},
         "--nul-in expects K or K:OFFSET (record 0 to 9999, offset 0 to 42), not \"1:43\""},
        {{"--from", "2024-05-01", "--to", "2024-04-30"}, "--to is before --from"},
        {{"--empty", "--load", "f"}, "--empty and --load exclude each other"},
    };
    for (const auto& [badArgs, expected] : rows) {
        SimConfig d;
        EXPECT_FALSE(ParseArgs(badArgs, &d, &error)) << badArgs[0];
        EXPECT_EQ(error, expected);
    }
}

}  // namespace
}  // namespace tav::sim
