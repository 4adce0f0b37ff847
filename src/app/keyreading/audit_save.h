#pragma once
// Copying decoded audit rows into the history (RecordInfor): new events only, in one
// transaction, all or nothing.
#include "dataaccess/dataaccess.h"

#include <array>
#include <functional>
#include <vector>

namespace keyreading {

// The ten columns copied, in this order.
inline constexpr std::array<const char*, 10> kSavedColumns { "SerialID", "FirstName", "LastName",
    "OpenLockType", "OpenLockTime", "Status", "Department", "LockName", "LockLocation", "CodeType" };
using SavedRow = std::array<DbVariant, 10>;

// The current rows of a TempRecord dataset, in its order.
std::vector<SavedRow> rowsOf(TMemoryDataSet& tempRecord);

struct SaveOutcome {
    int saved = 0;
    int alreadyStored = 0;
};

// Appends every row whose event (SerialID, LockName, OpenLockType, OpenLockTime) the history
// does not hold yet, a repeat within the rows included. One transaction with prepared
// statements; any failure rolls everything back and raises. beforeRow runs before each row.
SaveOutcome saveToHistory(TDbConnection& connection, const std::vector<SavedRow>& rows,
    const std::function<void()>& beforeRow = {});

} // namespace keyreading
