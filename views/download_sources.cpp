#include "views/download_sources.h"

#include "core/result_format.h"

namespace tav {

bool StagingRowSource::VisitRows(const std::function<bool(const ResultRowTexts&)>& visit) {
    ResultTable& table = database_.DownloadTable;
    if (!database_.DatabaseReady || !table.IsOpen()) return false;
    table.MoveFirst();
    table.orderBy = kDefaultResultOrder;
    table.Requery();
    table.filter = "";
    table.Requery();
    const int32_t rows = table.RowCount();
    ResultRowTexts texts;
    for (int32_t i = 0; i < rows && !table.IsEOF(); ++i) {
        texts = {table.DATE.str(),
                 table.TIME.str(),
                 table.HbA1c_VALUE.str(),
                 table.PID.str(),
                 table.OPID.str(),
                 table.EQ_TYPE.str(),
                 table.p_NAME.str(),
                 table.p_DOB.str(),
                 std::to_string(table.P_AGE),
                 std::to_string(table.P_DIAGNOSE),
                 std::to_string(table.DATE_YEAR),
                 table.Remark.str(),
                 table.P_MEMO.str()};
        if (!visit(texts)) break;
        table.MoveNext();
    }
    return true;
}

std::string SettingsCellFormatter::Result(const std::string& storedValue) const {
    return FormatResult(storedValue, settings_);
}

std::string SettingsCellFormatter::ListDate(const std::string& date,
                                            const std::string& time) const {
    return FormatListDate(MakeResultDateTime(date, time), settings_);
}

std::string SettingsCellFormatter::ListTime(const std::string& date,
                                            const std::string& time) const {
    return FormatListTime(MakeResultDateTime(date, time), settings_);
}

int SettingsCellFormatter::DateKey(const std::string& cell) const {
    return ListDateKey(cell, settings_.Date);
}

}  // namespace tav
