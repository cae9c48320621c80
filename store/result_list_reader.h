// Reading many stored results at once: the rows of a result table that match
// its `filter`, in its `orderBy` order, through one statement stepped row by
// row (the record-set cursor prepares a statement per row, far too slow for a
// list of a million results), and a compact array that keeps what the result
// list needs of each row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/result_table.h"

struct sqlite3_stmt;

namespace tav {

// One row as read: texts as stored, valid until the next read.
struct ListRowView {
    int64_t RowId = 0;
    std::string_view DATE;
    std::string_view TIME;
    std::string_view HbA1c_VALUE;
    std::string_view PID;
    std::string_view OPID;
    std::string_view EQ_TYPE;
    std::string_view p_NAME;
    std::string_view p_DOB;
    int32_t P_DIAGNOSE = 0;
    std::string_view Remark;
};

// Steps through the rows of `table` matching its filter in its order. Finished
// at the end, on a failure, or when the table is not open; a failure reads as
// the end of the rows.
class ResultListReader {
  public:
    explicit ResultListReader(const ResultTable& table);
    ~ResultListReader();
    ResultListReader(const ResultListReader&) = delete;
    ResultListReader& operator=(const ResultListReader&) = delete;

    // The next row into `row`; false at the end.
    bool Next(ListRowView& row);
    bool Finished() const { return stmt_ == nullptr; }
    // Ends the read early (the statement is released).
    void Close();

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

// The rows of one list fill, in list order, packed into one text buffer so a
// million rows cost well under 100 bytes each beyond their texts.
class ResultRowArray {
  public:
    void Append(const ListRowView& row);
    void Clear();
    size_t Size() const { return rowIds_.size(); }
    bool Empty() const { return rowIds_.empty(); }
    // Entry i (below Size()); its texts stay valid until the next Append or Clear.
    ListRowView At(size_t i) const;

  private:
    static constexpr int kTexts = 9;  // the texts of ListRowView, NUL-separated
    std::string text_;
    std::vector<uint64_t> starts_;
    std::vector<int64_t> rowIds_;
    std::vector<int32_t> diagnoses_;
};

// Indexes behind the result list's searches by patient and operator (PID or
// OPID, then DATE), named after the table plus the suffix. The default order
// and the period filter use the duplicate test's index, which leads with
// DATE, TIME, HbA1c_VALUE. Created when missing; the table is left as it is.
struct ListIndex {
    const char* Suffix;
    const char* Columns;
};
inline constexpr ListIndex kResultListIndexes[] = {
    {"ListPid", "[PID], [DATE]"},
    {"ListOpid", "[OPID], [DATE]"},
};
bool EnsureResultListIndexes(ResultTable& table);

}  // namespace tav
