// The 13-column result table and the record it binds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/sql_table.h"

namespace tav {

// Newest first: the order both result tables are left in.
inline constexpr const char* kDefaultResultOrder = "[DATE] DESC, [TIME] DESC, [HbA1c_VALUE] DESC";

// One stored result, the columns in table order. DATE is yyyymmdd, TIME hhmm
// (24-hour), HbA1c_VALUE three digits in tenths of a percent.
struct ResultRecord {
    ResultRecord();

    ByteBuffer DATE;
    ByteBuffer TIME;
    ByteBuffer HbA1c_VALUE;
    ByteBuffer PID;
    ByteBuffer OPID;
    ByteBuffer EQ_TYPE;
    ByteBuffer p_NAME;
    ByteBuffer p_DOB;
    int32_t P_AGE = 0;
    int32_t P_DIAGNOSE = 0;
    int32_t DATE_YEAR = 0;
    ByteBuffer Remark;
    ByteBuffer P_MEMO;
};

class ResultTable : public SqlTable, public ResultRecord {
  public:
    static constexpr int kColumnCount = 13;
    static constexpr size_t kMaxTableName = 29;

    explicit ResultTable(Clock& clock);

    std::string GetTableName() const override { return tableName_; }
    int GetColumnCount() const override { return kColumnCount; }
    // Opens an existing file and requeries; closes again when either fails.
    bool Open(const std::string& path) override;
    // A name longer than kMaxTableName is refused: the name becomes empty
    // and the table cannot be opened.
    bool SetTableName(std::string_view name);

    // Parts of the record last filled by a download; not stored.
    int32_t month = 0;
    int32_t day = 0;
    int32_t hour = 0;
    int32_t minute = 0;

  private:
    std::string tableName_;
};

// Restores the default order and an empty filter, requerying after each.
void LoadDefaultView(ResultTable& table);

}  // namespace tav
