#include "store/byte_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace tav {
namespace {

TEST(ByteBuffer, TextLengthCountsTheNulAndNeverAssignedHasNone) {
    ByteBuffer b;
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Data(), nullptr);
    EXPECT_FALSE(b.EqualsText(""));
    b.AppendText("lost");
    EXPECT_EQ(b.Length(), 0) << "appending needs held data";

    b.AssignText("");
    EXPECT_EQ(b.Length(), 1);
    EXPECT_TRUE(b.EqualsText(""));
    b.AppendText("ab");
    b.AppendText("c");
    EXPECT_EQ(b.Length(), 4);
    EXPECT_STREQ(b.c_str(), "abc");
    EXPECT_TRUE(b.EqualsText("abc"));
    EXPECT_FALSE(b.EqualsText("ab"));

    b.AssignText(static_cast<const char*>(nullptr));
    EXPECT_EQ(b.Length(), 0);
    b.AssignBytes("xyz", 0);
    EXPECT_EQ(b.Length(), 0);
    b.AssignBytes("x\0z", 3);
    EXPECT_EQ(b.Length(), 3);

    ByteBuffer copy = b;
    EXPECT_EQ(std::string(copy.Data(), 3), std::string("x\0z", 3));
}

TEST(ByteBuffer, FormatRefusesPiecesThatDoNotFitTheScratch) {
    ByteBuffer b;
    ASSERT_TRUE(b.Format("%s=%d", "n", 5));
    EXPECT_STREQ(b.c_str(), "n=5");

    const std::string fits(ByteBuffer::kFormatLimit - 1, 'x');
    ASSERT_TRUE(b.Format("%s", fits.c_str()));
    EXPECT_EQ(b.Length(), ByteBuffer::kFormatLimit);

    const std::string tooLong(ByteBuffer::kFormatLimit, 'x');
    EXPECT_FALSE(b.Format("%s", tooLong.c_str()));
    EXPECT_EQ(b.Length(), 0) << "no truncated text is left behind";
}

}  // namespace
}  // namespace tav
