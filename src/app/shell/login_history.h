#pragma once
// The operator log: one LoginHistory row per run, its logout time written at close.
#include "dataaccess/db_connection.h"

#include <string>

// Closes the rows a previous run left without a logout time (they get their login time as
// logout time, the best that is known), then inserts the row of this run. Returns its id.
int startLoginHistory(TDbConnection& db, const std::string& operatorName, int operatorLevel);
// Writes the logout time into the row of this run.
void endLoginHistory(TDbConnection& db, int historyId);

// The main window's title from TitleName ("iOstrivane" when the table holds none).
std::string mainWindowTitle(TDbConnection& db);

// True when a user's iButton in KeyManagement has this ROM id.
bool isUserKeySerial(TDbConnection& db, const std::string& romId);
