// Records decoded and stored the way a download stores them, in a result
// table in memory: the download's duplicate test refuses a record exactly
// when an equal one is stored, and the duplicate condition of each record
// selects exactly the one stored row that holds it, whatever bytes its ids
// and result carry (quotes, flag bits, blanks, bytes that are not UTF-8).
// The input is a settings byte (handshake, id digits) and then up to eight
// records, cut at the first NUL as a download's payload is; those that fail
// the terminator test are left out, as a download refuses them.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "protocol/process_download.h"
#include "protocol/record_decoder.h"
#include "store/result_table.h"
#include "tests/fuzz/fuzz_check.h"

namespace tav::fuzz {

constexpr size_t kLength = 43;
constexpr size_t kMaxRecords = 8;

bool StoredRowIs(const ResultTable& t, const DecodedRecord& r) {
    return t.DATE.view() == r.DATE && t.TIME.view() == r.TIME &&
           t.HbA1c_VALUE.view() == r.HbA1c_VALUE && t.PID.view() == r.PID &&
           t.OPID.view() == r.OPID && t.EQ_TYPE.view() == r.EQ_TYPE && t.DATE_YEAR == r.DATE_YEAR;
}

bool SameKey(const DecodedRecord& a, const DecodedRecord& b) {
    return a.DATE == b.DATE && a.TIME == b.TIME && a.HbA1c_VALUE == b.HbA1c_VALUE &&
           a.PID == b.PID && a.OPID == b.OPID;
}

// Stores the record as a download does: only when no row has its five texts.
bool StoreUnlessDuplicate(ResultTable& t, const DecodedRecord& r) {
    if (t.HasRowWhere(kDuplicateTest, {r.DATE, r.TIME, r.HbA1c_VALUE, r.PID, r.OPID})) return false;
    FUZZ_CHECK(InsertDecodedRecord(t, r, true));
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t settings = data[0];
    const int handshake = settings & 1;
    const IdDigits digits{(settings >> 1) % 14, (settings >> 4) % 14};
    const std::string payload =
        std::string(reinterpret_cast<const char*>(data + 1), size - 1).c_str();

    std::vector<DecodedRecord> records;
    for (size_t at = 0; at < payload.size() && records.size() < kMaxRecords; at += kLength) {
        std::string raw = payload.substr(at, kLength);
        const DecodedRecord r = DecodeRecord(raw, handshake, digits);
        // Decoding is a pure function of the record's 43 bytes.
        raw.resize(kLength, '\0');
        const DecodedRecord again = DecodeRecord(raw, handshake, digits);
        FUZZ_CHECK(SameKey(r, again) && r.EQ_TYPE == again.EQ_TYPE);
        FUZZ_CHECK(r.DATE.size() == 8 && r.TIME.size() == 4 && r.HbA1c_VALUE.size() >= 3);
        FUZZ_CHECK(std::max(r.PID.size(), r.OPID.size()) <= static_cast<size_t>(kIdFieldLength));
        // A download stores only records that pass the terminator test (a
        // short one reads as NUL there and fails it).
        if (RecordTerminatorOk(raw)) records.push_back(r);
    }

    // One table for the whole run, emptied for each input.
    static VirtualClock clock;
    static ResultTable t(clock);
    static const bool created = t.SetTableName("HospitalTlb") && t.Create(":memory:");
    FUZZ_CHECK(created && t.Execute("DELETE FROM [HospitalTlb]"));
    std::vector<DecodedRecord> stored;
    for (const DecodedRecord& r : records) {
        bool known = false;
        for (const DecodedRecord& s : stored) known = known || SameKey(s, r);
        // A record is refused as a duplicate exactly when an equal one is stored.
        FUZZ_CHECK(StoreUnlessDuplicate(t, r) == !known);
        if (!known) stored.push_back(r);
    }
    // Each stored record's condition selects its own row and no other.
    for (const DecodedRecord& r : stored) {
        t.filter = DuplicateCondition(r);
        FUZZ_CHECK(t.RequeryNonEmpty() && t.RowCount() == 1 && t.MoveFirst() && StoredRowIs(t, r));
    }
    t.filter = "";
    FUZZ_CHECK(t.Requery() && t.RowCount() == static_cast<int32_t>(stored.size()));
    return 0;
}

}  // namespace tav::fuzz
