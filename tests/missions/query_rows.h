#pragma once
// The rows a statement selects, as the key-programming window tests compare them.
#include "dataaccess/dataaccess.h"

#include <string>
#include <vector>

namespace missions_test {
// Every row as text, "<null>" for a Null field.
inline std::vector<std::vector<std::string>> queryRows(TDbConnection& db, const std::string& sql)
{
    TDbQuery q(&db);
    q.SQL = sql;
    q.Open();
    std::vector<std::vector<std::string>> out;
    for (q.First(); !q.Eof(); q.Next()) {
        std::vector<std::string> r;
        for (int i = 0; i < q.FieldCount(); ++i)
            r.push_back(q.Fields[i].IsNull() ? "<null>" : q.Fields[i].AsString());
        out.push_back(r);
    }
    return out;
}
} // namespace missions_test
