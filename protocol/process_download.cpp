#include "protocol/process_download.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/paths.h"

namespace tav {
namespace {

constexpr int kCommandEndExchange = 53;
constexpr int kCommandClosePort = 54;
constexpr int kCommandDownloadDone = 500;
constexpr int kCommandDownloadFailed = 501;
constexpr int kCommandBackToWaiting = 35;

void MakeDataFolder(const std::string& workDir) {
    const std::string data = JoinPath(workDir.empty() ? CurrentDir() : workDir, "DATA");
    if (!IsDirectory(data)) MakeDir(data);
}

// The raw copy of the last download; a read-only copy is left as it is.
void WriteRawCopy(const std::string& path, const std::string& payload) {
    if (PathExists(path) && !IsWritable(path)) return;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "w+b"),
                                                         &std::fclose);
    if (file && !payload.empty()) std::fwrite(payload.data(), 1, payload.size(), file.get());
}

// Records that failed their check: nothing is stored, and the analyzer and
// the window are released as after any other failed download (the exchange
// ended, the port closed, the controller idle; automatic mode goes on to
// the cartridge steps).
void RefuseDownload(LinkState& link, LinkChannel& channel, Clock& clock) {
    clock.SleepMs(300);
    channel.SendLinkCommand(kCommandEndExchange);
    clock.SleepMs(300);
    channel.SendLinkCommand(kCommandClosePort);
    channel.ShowMessage(std::string(kRecordCheckFailText) + "\r\n" + kDownloadAgainText);
    channel.SendLinkCommand(kCommandDownloadFailed);
    if (link.AutoMode.load() == 1) {
        clock.SleepMs(100);
        link.DownloadState = -1;
        channel.SendLinkCommand(kCommandBackToWaiting);
    }
}

}  // namespace

bool InsertDecodedRecord(ResultTable& t, const DecodedRecord& r, bool mainTable) {
    if (!t.AddNew()) return false;
    t.DATE = r.DATE;
    t.TIME = r.TIME;
    t.HbA1c_VALUE = r.HbA1c_VALUE;
    t.PID = r.PID;
    t.OPID = r.OPID;
    t.EQ_TYPE = r.EQ_TYPE;
    t.DATE_YEAR = r.DATE_YEAR;
    t.P_DIAGNOSE = 0;
    if (mainTable) {
        t.p_NAME = "";
        t.Remark = "";
        t.P_MEMO = "";
        t.p_DOB = "19000101";
    }
    t.month = r.month;
    t.day = r.day;
    t.hour = r.hour;
    t.minute = r.minute;
    return t.Commit();
}

DownloadSummary ProcessDownload(LinkState& link, ResultDatabase& db, LinkChannel& channel,
                                Clock& clock, const std::string& homeDir, IdDigits digits,
                                const std::string& workDir, const DownloadObserver& observer) {
    DownloadSummary summary;
    ResultTable& main = db.MainTable;
    ResultTable& staging = db.DownloadTable;

    // Work on a copy: the window thread resets the receive buffers when it
    // sends its next command, which may come while this run is storing.
    const std::string received = link.RxPayload;
    const int recordCount = link.RecordCount;

    MakeDataFolder(workDir);
    WriteRawCopy(JoinPath(homeDir, kRawDataFile), received);
    db.ResetStaging();

    // The records end at the first NUL; what is missing reads as NUL and so
    // fails the terminator test.
    const std::string_view payload(received.data(), std::min(received.size(), received.find('\0')));
    const size_t length = link.RecordLength > 0 ? static_cast<size_t>(link.RecordLength)
                                                : static_cast<size_t>(kRecordLength);
    std::vector<std::string> accepted;
    for (int r = 0; r < recordCount; ++r) {
        channel.ShowProgress(kRecordsCheckedText);
        const size_t start = static_cast<size_t>(r) * length;
        std::string record =
            start < payload.size() ? std::string(payload.substr(start, length)) : std::string();
        record.resize(length, '\0');
        if (!RecordTerminatorOk(record)) {
            RefuseDownload(link, channel, clock);
            summary.outcome = DownloadSummary::Outcome::RecordCheckFailed;
            return summary;
        }
        accepted.push_back(std::move(record));
    }
    summary.accepted = static_cast<int>(accepted.size());

    clock.SleepMs(300);
    channel.SendLinkCommand(kCommandEndExchange);
    clock.SleepMs(300);
    channel.SendLinkCommand(kCommandClosePort);

    // The main table's list is requeried at the end; until then inserts
    // append to an empty list instead of reading the ids of the last view.
    main.ClearRowIds();
    // All of this run's results go in, or none of them.
    const bool stagingOpen = staging.IsOpen();
    bool failed = !accepted.empty() && !main.BeginTransaction();
    if (!failed && stagingOpen && !accepted.empty()) failed = !staging.BeginTransaction();
    const int total = static_cast<int>(accepted.size());
    int lastPercent = -1;
    for (int n = 1; n <= total && !failed; ++n) {
        const std::string& record = accepted[static_cast<size_t>(n - 1)];
        channel.ShowProgress(kRecordsAcknowledgedText);
        const int percent = static_cast<int>(int64_t{n} * 100 / total);
        if (n == 1 || n == total || percent != lastPercent) {
            // Reports go through the hand-off: at most one per whole percent.
            channel.ShowProgressCount(n - 1, total);
            if (observer.storing) observer.storing(n, total);
        }
        lastPercent = percent;
        const DecodedRecord r = DecodeRecord(record, link.HandshakeSeen.load(), digits);
        if (main.HasRowWhere(kDuplicateTest, {r.DATE, r.TIME, r.HbA1c_VALUE, r.PID, r.OPID})) {
            ++summary.duplicates;
            continue;
        }
        if (!InsertDecodedRecord(main, r, true) ||
            (stagingOpen && !InsertDecodedRecord(staging, r, false))) {
            failed = true;
            break;
        }
        ++summary.stored;
    }
    // The main file is the record of every result: it commits first, so a
    // run cut short never leaves results only in the staging file.
    if (!failed && main.InTransaction()) failed = !main.CommitTransaction();
    if (failed) {
        main.RollbackTransaction();
        staging.RollbackTransaction();
        summary.stored = 0;
        summary.outcome = DownloadSummary::Outcome::StoreFailed;
    } else if (staging.InTransaction()) {
        staging.CommitTransaction();
    }

    LoadDefaultView(main);
    LoadDefaultView(staging);
    if (failed)
        channel.ShowMessage(kResultsNotSavedText);
    else if (total > 0)
        channel.ShowProgressCount(total, total);
    if (observer.finished) observer.finished(summary);

    channel.ShowProgress(kInspectionCompleteText);
    channel.SendLinkCommand(kCommandDownloadDone);
    if (link.AutoMode.load() == 1) {
        clock.SleepMs(100);
        link.DownloadState = -1;
        channel.SendLinkCommand(kCommandBackToWaiting);
    }
    return summary;
}

}  // namespace tav
