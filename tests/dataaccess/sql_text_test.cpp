// Reading parameters and select lists out of SQL text.
#include <gtest/gtest.h>

#include "dataaccess/db_error.h"
#include "dataaccess/db_sql.h"

using db::parseSql;
using db::selectListNames;

TEST(SqlText, ParametersOutsideLiteralsAndComments)
{
    struct Row {
        std::string sql;
        std::vector<std::string> names;
        std::string text; // as given to SQLite
    } rows[] = {
        {"SELECT * FROM T WHERE A = ':NotOne' AND B = :B -- :Comment\nAND C = \"x:y\" /* :Block */ AND D = [a:b] AND E = :E",
         {"B", "E"},
         "SELECT * FROM T WHERE A = ':NotOne' AND B = ?1 -- :Comment\nAND C = \"x:y\" /* :Block */ AND D = [a:b] AND E = ?2"},
        // A doubled quote stays inside the literal.
        {"SELECT 'it''s :x' AS T, :Y", {"Y"}, "SELECT 'it''s :x' AS T, ?1"},
        // One name used twice is one parameter, whatever its case.
        {"WHERE A = :Serial OR B = :SERIAL OR C = :Other OR D = :serial", {"Serial", "Other"},
         "WHERE A = ?1 OR B = ?1 OR C = ?2 OR D = ?1"},
        // A double colon is a literal colon; a lone colon stays.
        {"SELECT '10' || '::' , 5 :: 2, a : b", {}, "SELECT '10' || '::' , 5 : 2, a : b"},
        // An unterminated literal or comment hides the rest.
        {"SELECT 'abc :x", {}, "SELECT 'abc :x"},
        {"SELECT 1 /* :x", {}, "SELECT 1 /* :x"},
    };
    for (const Row& r : rows) {
        const auto p = parseSql(r.sql);
        EXPECT_EQ(p.names, r.names) << r.sql;
        EXPECT_EQ(p.text, r.text) << r.sql;
    }
    EXPECT_THROW(parseSql("SELECT * FROM T WHERE A = ?"), EDatabaseError); // a question mark is refused
    EXPECT_NO_THROW(parseSql("SELECT * FROM T WHERE A = '?'"));
    EXPECT_TRUE(db::onlyTrivia("  ;\n -- done\n /* c */ ;"));
    EXPECT_FALSE(db::onlyTrivia("; SELECT 1"));
}

TEST(SqlText, SelectListNamesQualifiedColumns)
{
    EXPECT_EQ(selectListNames("SELECT A.LockID,A.KeyID,B.LockID,B.SerialID,count(*) AS N, B.LockName X, "
                              "coalesce(A.x, B.y) FROM LockKeyManagement AS A,LockManagement AS B WHERE A.LockID = B.LockID"),
              (std::vector<std::string>{"A.LockID", "A.KeyID", "B.LockID", "B.SerialID", "", "", ""}));
    EXPECT_TRUE(selectListNames("SELECT * FROM T").empty());
    EXPECT_TRUE(selectListNames("SELECT A.*, B.X FROM A, B").empty());
    EXPECT_TRUE(selectListNames("DELETE FROM T").empty());
}
