#include "store/result_list_reader.h"

#include <sqlite3.h>

namespace tav {

namespace {

std::string_view TextAt(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    if (!text) return {};
    return std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
}

// Texts end at their first NUL, as the record set reads them.
std::string_view UpToNul(std::string_view text) {
    const size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

ResultListReader::ResultListReader(const ResultTable& table) {
    sqlite3* db = table.Handle();
    if (!table.IsOpen() || !db) return;
    std::string sql =
        "SELECT ROWID, [DATE], [TIME], [HbA1c_VALUE], [PID], [OPID], [EQ_TYPE], [p_NAME], "
        "[p_DOB], [P_DIAGNOSE], [Remark] FROM [" +
        table.GetTableName() + "]";
    if (!table.filter.IsEmptyText()) sql += " WHERE " + table.filter.str();
    if (!table.orderBy.IsEmptyText()) sql += " ORDER BY " + table.orderBy.str();
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) Close();
}

ResultListReader::~ResultListReader() {
    Close();
}

void ResultListReader::Close() {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
}

bool ResultListReader::Next(ListRowView& row) {
    if (!stmt_) return false;
    if (sqlite3_step(stmt_) != SQLITE_ROW) {
        Close();
        return false;
    }
    row.RowId = sqlite3_column_int64(stmt_, 0);
    row.DATE = UpToNul(TextAt(stmt_, 1));
    row.TIME = UpToNul(TextAt(stmt_, 2));
    row.HbA1c_VALUE = UpToNul(TextAt(stmt_, 3));
    row.PID = UpToNul(TextAt(stmt_, 4));
    row.OPID = UpToNul(TextAt(stmt_, 5));
    row.EQ_TYPE = UpToNul(TextAt(stmt_, 6));
    row.p_NAME = UpToNul(TextAt(stmt_, 7));
    row.p_DOB = UpToNul(TextAt(stmt_, 8));
    row.P_DIAGNOSE = sqlite3_column_int(stmt_, 9);
    row.Remark = UpToNul(TextAt(stmt_, 10));
    return true;
}

void ResultRowArray::Append(const ListRowView& row) {
    starts_.push_back(text_.size());
    rowIds_.push_back(row.RowId);
    diagnoses_.push_back(row.P_DIAGNOSE);
    for (std::string_view text : {row.DATE, row.TIME, row.HbA1c_VALUE, row.PID, row.OPID,
                                  row.EQ_TYPE, row.p_NAME, row.p_DOB, row.Remark}) {
        text_ += text;
        text_ += '\0';
    }
}

void ResultRowArray::Clear() {
    text_.clear();
    text_.shrink_to_fit();
    starts_.clear();
    starts_.shrink_to_fit();
    rowIds_.clear();
    rowIds_.shrink_to_fit();
    diagnoses_.clear();
    diagnoses_.shrink_to_fit();
}

ListRowView ResultRowArray::At(size_t i) const {
    ListRowView row;
    if (i >= Size()) return row;
    row.RowId = rowIds_[i];
    row.P_DIAGNOSE = diagnoses_[i];
    std::string_view rest = std::string_view(text_).substr(starts_[i]);
    std::string_view* texts[kTexts] = {&row.DATE,   &row.TIME,  &row.HbA1c_VALUE,
                                       &row.PID,    &row.OPID,  &row.EQ_TYPE,
                                       &row.p_NAME, &row.p_DOB, &row.Remark};
    for (std::string_view* text : texts) {
        const size_t end = rest.find('\0');
        *text = rest.substr(0, end);
        rest.remove_prefix(end + 1);
    }
    return row;
}

bool EnsureResultListIndexes(ResultTable& table) {
    if (!table.IsOpen()) return false;
    const std::string name = table.GetTableName();
    bool ok = true;
    for (const ListIndex& index : kResultListIndexes)
        ok = table.Execute("CREATE INDEX IF NOT EXISTS [" + name + "_" + index.Suffix + "] ON [" +
                           name + "] (" + index.Columns + ")") &&
             ok;
    return ok;
}

}  // namespace tav
