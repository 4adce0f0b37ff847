#pragma once
// Routines every data window repeats: the boxes, sorting on a title click, applying cached
// updates in a transaction and the system's date-time text.
#include <string>

#include "dataaccess/db_dataset.h"

#include <QDate>
#include <QString>
#include <QTime>

// Confirmation box with OK and Cancel; true when OK.
bool MyConfirmation(const std::string& text);
// Error box with OK.
void MyError(const std::string& text);

// Re-sorts the query by a column: ORDER BY that column, ascending, then descending when the
// same column is clicked again; the parameter values are kept and the query is reopened.
void SortQuery(TCustomDbDataSet& query, const std::string& column);

// After a post or delete on a cached-update query: applies the cached changes in a
// transaction on the query's connection and commits; on a failure the changes are made
// pending again (the rows on screen keep their edits), the transaction is rolled back and
// the error is raised again. The normal cursor is back on every path.
void UpdateMasterData(TCustomDbDataSet& query);

// The OnUpdateError handler of the cached-update queries: leaves the action at fail, so the
// failing change's error reaches UpdateMasterData, which rolls back.
void OnUpdateErrorFail(TMemoryDataSet& dataSet, EDatabaseError& error, TUpdateKind kind, TUpdateAction& action);

namespace shell {
// The system's date-time text, for every date-time a window shows (labels and grids) or
// exports as text: the locale's short date and long time (without a time zone: key and
// database times are local and carry none); at exactly midnight the date alone.
QString dateTimeText(DateTime t);
// A day in the locale's short date format.
QString dateText(QDate date);
// A time of day in the locale's long time format, without a time zone.
QString timeText(QTime time);

// The statement with its top-level ORDER BY replaced by one on the column (quoted), and
// whether the new order is descending. Exposed for tests.
struct SortedText {
    std::string text;
    bool descending;
};
SortedText sortedStatement(const std::string& sql, const std::string& column);
} // namespace shell
