#include "core/csv_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tav {
namespace {

struct Cells : CsvCellSource {
    std::vector<std::vector<std::string>> rows;
    size_t Rows() const override { return rows.size(); }
    int Columns() const override { return 7; }
    std::string_view Cell(size_t row, int column) const override {
        return column < static_cast<int>(rows[row].size()) ? rows[row][column] : std::string_view();
    }
};

TEST(CsvField, OnlyCellsThatWouldShiftColumnsAreQuoted) {
    const std::pair<std::string, std::string> cases[] = {
        {"  > 130 O'NEIL ", "  > 130 O'NEIL "},
        {"\xC3\xA9t\xE9", "\xC3\xA9t\xE9"},  // bytes go through as they are
        {"SMITH, J", "\"SMITH, J\""},
        {"5\" tall", "\"5\"\" tall\""},
        {"\"", "\"\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
    };
    for (const auto& [cell, written] : cases) {
        std::string out;
        AppendCsvField(out, cell);
        EXPECT_EQ(out, written) << cell;
    }
}

class CsvFile : public ::testing::Test {
  protected:
    test::TempDir dir_;
    std::string path_ = dir_.File("list.csv");
    Cells cells_;
};

// Short rows are filled with empty cells; an older, longer file is replaced whole.
TEST_F(CsvFile, EveryCellIsFollowedByACommaWithProgressUpToTheEnd) {
    const size_t rows = 3 * kCsvProgressRows + 5;
    for (size_t i = 0; i < rows; ++i) cells_.rows.push_back({std::to_string(i + 1), "a,b"});
    test::WriteWholeFile(path_, std::string(50 * rows, 'x'));
    std::vector<size_t> reported;
    ASSERT_EQ(WriteCsvFile(path_, cells_,
                           [&](size_t written, size_t total) {
                               EXPECT_EQ(total, rows);
                               reported.push_back(written);
                               return true;
                           }),
              CsvWriteStatus::Written);
    EXPECT_EQ(reported, (std::vector<size_t>{kCsvProgressRows, 2 * kCsvProgressRows,
                                             3 * kCsvProgressRows, rows}));
    std::string expected = "No,Date,Time,Result,PID,OPID,Note\n";
    for (size_t i = 0; i < rows; ++i) expected += std::to_string(i + 1) + ",\"a,b\",,,,,,\n";
    EXPECT_EQ(test::ReadWholeFile(path_), expected);
}

TEST_F(CsvFile, StoppingOrAFolderThatIsGoneLeavesNoFile) {
    for (size_t i = 0; i < kCsvProgressRows * 2; ++i) cells_.rows.push_back({"1"});
    EXPECT_EQ(WriteCsvFile(path_, cells_, [](size_t, size_t) { return false; }),
              CsvWriteStatus::Stopped);
    EXPECT_FALSE(std::filesystem::exists(path_));

    EXPECT_EQ(WriteCsvFile(dir_.File("gone/list.csv"), cells_), CsvWriteStatus::OpenFailed);
    EXPECT_TRUE(dir_.List().empty());
}

}  // namespace
}  // namespace tav
