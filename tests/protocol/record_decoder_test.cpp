#include "protocol/record_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/sim_link_frames.h"

namespace tav {
namespace {

using test::MakeRecord;
using test::Pad;
using Fields = std::pair<std::string, std::string>;

const std::string kZeros(14, '0');

// The stored fields are checked with the download processing; here the
// time parts and the digit setting of each id.
TEST(RecordDecoder, DecodesTheTimePartsAndEachIdByItsOwnDigitSetting) {
    const DecodedRecord r =
        DecodeRecord(MakeRecord("2403150930", "065", "123456789", "123456789"), 0, IdDigits{5, 2});
    EXPECT_EQ((std::vector<int>{r.DATE_YEAR, r.month, r.day, r.hour, r.minute}),
              (std::vector<int>{2024, 3, 15, 9, 30}));
    EXPECT_EQ(Fields(r.PID, r.OPID), Fields("123456", "123"));
}

TEST(RecordDecoder, FirstResultByteCarriesTheFlagBits) {
    struct Case {
        const char* name;
        std::string result;
        const char* value;
        const char* eqType;
    };
    // Octal escapes: \260 is 0xB0 ("0" with 0x80), \160 is 0x70, \360 is 0xF0.
    const Case cases[] = {
        {"plain digits are unmarked", "065", "065", " "},
        {"0x80 marks a tilted result", "\26065", "065", kTiltedText},
        {"0x40 leaves an empty condition", "\16065", "065", ""},
        {"0x80 and 0x40 together drop only 0x80", "\36065", "000", kTiltedText},
        {"a non-digit ends the number", "6.5", "006", " "},
    };
    for (const Case& c : cases) {
        const DecodedRecord r = DecodeRecord(MakeRecord("2403150930", c.result, "P", "O"), 1, {});
        EXPECT_EQ(Fields(r.HbA1c_VALUE, r.EQ_TYPE), Fields(c.value, c.eqType)) << c.name;
    }
}

TEST(RecordDecoder, IdsAreTrimmedByHandshakeAndDigits) {
    struct Case {
        const char* name;
        int handshake;
        int digit;
        std::string field;
        std::string kept;
    };
    const Case cases[] = {
        {"no handshake keeps digit + 1 characters", 0, 5, "123456789ABCDE", "123456"},
        {"no handshake turns kept zeros into blanks", 0, 5, "000000789ABCDE", "      "},
        {"no handshake with 13 keeps the whole field", 0, 13, Pad("12345"), Pad("12345")},
        {"no handshake with only some zeros keeps them", 0, 5, "000010", "000010"},
        {"an overlarge digit keeps the field only", 0, 40, "123456789ABCDE", "123456789ABCDE"},
        {"a negative digit keeps nothing", 0, -1, "123456789ABCDE", ""},
        {"the largest digit does not overflow", 0, 2147483647, "123456789ABCDE", "123456789ABCDE"},
        {"handshake keeps up to and with the first blank", 1, 13, "1234 ABCDEFGHI", "1234 "},
        {"handshake ignores the digit setting", 1, 2, "1234 ABCDEFGHI", "1234 "},
        {"handshake keeps a field without blanks", 1, 13, "123456789ABCDE", "123456789ABCDE"},
        {"handshake keeps a field with a leading blank", 1, 13, " 23456789ABCDE", " 23456789ABCDE"},
        {"handshake turns fourteen zeros into blanks", 1, 13, kZeros, std::string(14, ' ')},
        {"handshake keeps zeros before a blank", 1, 13, Pad("000000"), "000000 "},
        {"reset handshake trims as after a handshake", -1, 5, "1234 ABCDEFGHI", "1234 "},
        {"reset handshake turns zeros into blanks", -1, 5, kZeros, std::string(14, ' ')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrimId(c.field, c.handshake, c.digit), c.kept) << c.name;
        const DecodedRecord r = DecodeRecord(MakeRecord("2403150930", "065", c.field, c.field),
                                             c.handshake, IdDigits{c.digit, c.digit});
        EXPECT_EQ(Fields(r.PID, r.OPID), Fields(c.kept, c.kept)) << c.name;
    }
}

TEST(RecordDecoder, TerminatorMustBeCrOrLfInBothLastBytes) {
    std::string record = MakeRecord("2403150930", "065", "P", "O");
    struct Case {
        const char* end;
        bool ok;
    };
    for (const Case& c :
         {Case{"\r\n", true}, Case{"\n\r", true}, Case{"\r\r", true}, Case{"\n\n", true},
          Case{"\r\x03", false}, Case{"x\n", false}, Case{"\r", false}}) {
        std::string r = record.substr(0, 41) + c.end;
        EXPECT_EQ(RecordTerminatorOk(r), c.ok) << "ending " << testing::PrintToString(c.end);
    }
    EXPECT_FALSE(RecordTerminatorOk(std::string(record.data(), 41) + std::string(2, '\0')));
}

TEST(RecordDecoder, DuplicateConditionDoublesQuotes) {
    DecodedRecord r = DecodeRecord(MakeRecord("2403150930", "065", "O'NEIL", "O"), 1, {});
    EXPECT_NE(DuplicateCondition(r).find("[PID]='O''NEIL 'and "), std::string::npos);
}

}  // namespace
}  // namespace tav
