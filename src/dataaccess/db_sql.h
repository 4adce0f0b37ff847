#pragma once
// Reading SQL text the way the datasets need it: the :Name parameters outside string
// literals, quoted names and comments, and the items of the select list.
#include <string>
#include <string_view>
#include <vector>

namespace db {

struct ParsedSql {
    // The text handed to SQLite: each :Name replaced by ?N, N the 1-based index of the name
    // in `names`, so one name used twice is one parameter. "::" stands for a literal ':'.
    std::string text;
    std::vector<std::string> names; // in order of first use; compared without case
};

// Raises EDatabaseError for a '?' placeholder outside literals (only :Name is supported).
ParsedSql parseSql(std::string_view sql);

// For each item of the first select list: "A.LockID" when the item is a plain qualified
// column without an alias, else "". Empty when there is no select list or it holds '*'.
std::vector<std::string> selectListNames(std::string_view sql);

// True when the rest of a statement text holds only blanks, ';' and comments.
bool onlyTrivia(std::string_view sql);

bool iequals(std::string_view a, std::string_view b);
std::string upper(std::string_view s);
std::string quoteIdent(std::string_view name);

} // namespace db
