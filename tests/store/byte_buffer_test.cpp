#include "store/byte_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace tav {
namespace {

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
