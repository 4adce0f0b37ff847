#pragma once
// The data-access components in one include.
#include "dataaccess/db_connection.h"
#include "dataaccess/db_dataset.h"
#include "dataaccess/db_datasource.h"
#include "dataaccess/db_error.h"
#include "dataaccess/db_update_sql.h"
#include "dataaccess/db_value.h"
