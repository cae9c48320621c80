// Download processing: turns the records of a complete download frame (or
// the one record of a finished measurement) into stored results. Runs on the
// link worker; reports to the window thread only through the LinkChannel.
#pragma once

#include <functional>
#include <string>

#include "link/link_channel.h"
#include "link/link_state.h"
#include "platform/clock.h"
#include "protocol/record_decoder.h"
#include "store/result_database.h"

namespace tav {

inline constexpr const char* kRawDataFile = "hr_lowdata.dat";
inline constexpr const char* kRecordCheckFailText = "Error. cyclic redundancy check : Fail.";
// What the user is told to do after a refused download.
inline constexpr const char* kDownloadAgainText = "Please download again.";
inline constexpr const char* kRecordsCheckedText = "Received data is checked.";
inline constexpr const char* kRecordsAcknowledgedText = "Received data is acknowledged.";
inline constexpr const char* kInspectionCompleteText =
    "Complete the Data Inspection \r\n(Close the message box)";
inline constexpr const char* kResultsNotSavedText =
    "Error. The received data could not be saved.\r\nPlease download again.";

// A stored copy of a record: the same five texts (DATE, TIME, HbA1c_VALUE,
// PID, OPID as ?1 to ?5), trailing blanks included. The main table's
// duplicate index covers these fields.
inline constexpr const char* kDuplicateTest =
    "[DATE]=?1 AND [TIME]=?2 AND [HbA1c_VALUE]=?3 AND [PID]=?4 AND [OPID]=?5";

struct DownloadSummary {
    enum class Outcome {
        Stored,             // every new record stored (possibly none)
        RecordCheckFailed,  // a terminator was wrong: nothing stored, the download ended
        StoreFailed,        // storing failed: nothing of this run stored
    };
    Outcome outcome = Outcome::Stored;
    int accepted = 0;    // records that passed the terminator test
    int stored = 0;      // new records inserted into both tables
    int duplicates = 0;  // records already in the main table
};

// What a run tells its caller besides the channel; both are called on the
// thread that runs ProcessDownload and either may be empty.
struct DownloadObserver {
    // Storing has reached record n of total (1-based): called for the first
    // and the last record and whenever the whole percentage changes.
    std::function<void(int n, int total)> storing;
    // The run's outcome, just before command 500 is sent.
    std::function<void(const DownloadSummary&)> finished;
};

// Adds one decoded record to `t` as a download stores it; a main-table row
// also gets its blank patient fields. False when the row was not stored.
bool InsertDecodedRecord(ResultTable& t, const DecodedRecord& r, bool mainTable);

// Processes link.RxPayload / link.RecordCount:
//  1. makes the folder DATA in `workDir` (the current folder when empty);
//  2. writes the records whole to homeDir/hr_lowdata.dat unless that file is read-only;
//  3. empties the staging table when it holds rows;
//  4. tests every record's CR/LF ending; on a failure it stores nothing, sends
//     53 and 54 as in step 5, shows kRecordCheckFailText with kDownloadAgainText
//     on the next line and sends 501 (and, in automatic mode, the end of step 7);
//  5. sends commands 53 and 54, 300 ms before each;
//  6. decodes each record (ids trimmed by link.HandshakeSeen and `digits`), skips
//     those already in MainTable and inserts the others into MainTable and
//     DownloadTable, all in one transaction per database file;
//  7. restores both tables' default view, tells observer.finished, sends 500
//     and, in automatic mode, after 100 ms sets DownloadState -1 and sends 35.
DownloadSummary ProcessDownload(LinkState& link, ResultDatabase& db, LinkChannel& channel,
                                Clock& clock, const std::string& homeDir, IdDigits digits,
                                const std::string& workDir = std::string(),
                                const DownloadObserver& observer = {});

}  // namespace tav
