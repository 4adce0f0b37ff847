#pragma once
// What the multi-lock and copy-settings windows read from the database to compose a key:
// the time table rows of a lock's schedule and the key-list columns of a user row; and the
// program-key check and page writing the key-programming windows share.
#include "dataaccess/dataaccess.h"
#include "keyformats/key_list_entry.h"
#include "keyformats/time_table_image.h"

#include <string>

// TimeShift groups 1..16, the lock schedule lockStatusId's two schedules, and every
// ActExpDateST and ExceptionDateST row, each in the order the key wants them.
TimeTableRows readTimeTableRows(TDbConnection* db, int64_t lockStatusId);

// UserType, SerialID, KeyCode, TimeShiftID, ActExpDateID and ExpDate of the current row.
KeyListUser keyListUserFrom(const TMemoryDataSet& row);

// A text column as the windows copy it: empty text for Null.
std::string textOrEmpty(const TMemoryDataSet& row, const char* field);

// Inserts, through q, the LockKeyManagement row of lockId that a key list row (of TempKey1, or
// of another lock's LockKeyManagement) stands for: ids, type, names, status and holiday flag
// as they are, the other text columns empty for Null, ExpDateID 1 for Null, set up now.
void insertLockKeyRow(TDbQuery& q, int64_t lockId, const TMemoryDataSet& from);

#include "keyaccess/key_io.h"
#include "keyformats/multi_lock_key.h"

#include <functional>

// Whether the program key is in the reader; when not, the window says to plug it in.
bool programKeyReady(KeyIo& io);

// Puts the image in the window's page buffer and writes it with the page retry rule.
bool writePageImage(KeyIo& io, int page, const MissionKeyPage& image);

// Writes each page through the window's page buffer with the page retry rule, in order;
// false at the first page that is still not written. afterEach runs after every page written.
bool writePagesWithTries(KeyIo& io, const std::vector<PageWrite>& writes, const std::function<void()>& afterEach = {});

// A mission key is written with page 0 last; before its other pages, page 0 is blanked, so
// that a key whose writing stops half way is no valid mission key for any lock.
bool blankHeaderPage(KeyIo& io);

// A key whose rows in the database must hold exactly when the key does. The write transaction
// is taken before the key is touched, so a database held by another program writes nothing;
// page 0 is blanked, pagesAndRows writes the other pages and stages the rows, page 0 goes on
// last, then the commit. Any failure rolls the rows back and leaves page 0 blank (blanked
// again when the commit fails after it was written); a database error is shown. True only
// for a complete key whose rows are committed.
bool writeKeyWithRows(KeyIo& io, TDbConnection& db, const std::function<bool()>& pagesAndRows,
                      const std::function<MissionKeyPage()>& header);
