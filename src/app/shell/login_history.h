#pragma once
#include "app/shell/login_form.h"
#include <string>
inline int startLoginHistory(TDbConnection&, const std::string&) { return 0; }
inline void endLoginHistory(TDbConnection&, int) {}
