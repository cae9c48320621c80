// The program's sources for the download view: the staging table of the
// result database and the cell rules of the user's settings.
#pragma once

#include "core/settings.h"
#include "store/result_database.h"
#include "views/download_source.h"

namespace tav {

class StagingRowSource final : public ResultRowSource {
  public:
    explicit StagingRowSource(ResultDatabase& database) : database_(database) {}
    // Orders the staging table newest first, clears its filter and walks it.
    bool VisitRows(const std::function<bool(const ResultRowTexts&)>& visit) override;

  private:
    ResultDatabase& database_;
};

// Reads the settings at every call, so a changed unit or date order shows at
// the next fill.
class SettingsCellFormatter final : public ResultCellFormatter {
  public:
    explicit SettingsCellFormatter(const AppSettings& settings) : settings_(settings) {}
    std::string Result(const std::string& storedValue) const override;
    std::string ListDate(const std::string& date, const std::string& time) const override;
    std::string ListTime(const std::string& date, const std::string& time) const override;
    int DateKey(const std::string& cell) const override;

  private:
    const AppSettings& settings_;
};

}  // namespace tav
