#include "store/result_table.h"

namespace tav {

ResultRecord::ResultRecord() {
    for (ByteBuffer* text :
         {&DATE, &TIME, &HbA1c_VALUE, &PID, &OPID, &EQ_TYPE, &p_NAME, &p_DOB, &Remark, &P_MEMO})
        text->AssignText("");
}

ResultTable::ResultTable(Clock& clock) : SqlTable(clock) {
    int i = 0;
    SetColumn(i++, "DATE", ColumnType::Text, &DATE);
    SetColumn(i++, "TIME", ColumnType::Text, &TIME);
    SetColumn(i++, "HbA1c_VALUE", ColumnType::Text, &HbA1c_VALUE);
    SetColumn(i++, "PID", ColumnType::Text, &PID);
    SetColumn(i++, "OPID", ColumnType::Text, &OPID);
    SetColumn(i++, "EQ_TYPE", ColumnType::Text, &EQ_TYPE);
    SetColumn(i++, "p_NAME", ColumnType::Text, &p_NAME);
    SetColumn(i++, "p_DOB", ColumnType::Text, &p_DOB);
    SetColumn(i++, "P_AGE", ColumnType::Int, &P_AGE);
    SetColumn(i++, "P_DIAGNOSE", ColumnType::Int, &P_DIAGNOSE);
    SetColumn(i++, "DATE_YEAR", ColumnType::Int, &DATE_YEAR);
    SetColumn(i++, "Remark", ColumnType::Text, &Remark);
    SetColumn(i++, "P_MEMO", ColumnType::Text, &P_MEMO);
}

bool ResultTable::Open(const std::string& path) {
    if (!tableName_.empty() && SqlTable::Open(path) && Requery()) return true;
    Close();
    return false;
}

bool ResultTable::SetTableName(std::string_view name) {
    tableName_.clear();
    if (name.size() > kMaxTableName) return false;
    tableName_ = name;
    return true;
}

void LoadDefaultView(ResultTable& table) {
    table.orderBy = kDefaultResultOrder;
    table.Requery();
    table.filter = "";
    table.Requery();
}

}  // namespace tav
