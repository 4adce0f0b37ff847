// Reading parameters out of SQL text (select lists are read through the queries that use
// them); values, the date-time texts of the database, and display formats.
#include "db_fixture.h"
#include "dataaccess/db_sql.h"

using db::parseDateTime;
using db::parseSql;

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

TEST(DbValue, StorageTextsAreReadAndImpossibleOnesRefused)
{
    // The texts written are checked through the queries that store them.
    DateTime t = makeDateTime(2024, 2, 29, 13, 5, 9);
    EXPECT_EQ(parseDateTime("2024-02-29 13:05:09"), t);
    EXPECT_EQ(parseDateTime("2024-02-29T13:05:09.250"), t);
    EXPECT_EQ(parseDateTime("2024-02-29 13:05"), t - std::chrono::seconds(9));
    EXPECT_EQ(parseDateTime("2024-02-29"), makeDateTime(2024, 2, 29));
    EXPECT_EQ(parseDateTime("1999-12-31 23:59:59"), makeDateTime(1999, 12, 31, 23, 59, 59));
    EXPECT_EQ(parseDateTime("08:30:00"), db::makeTime(8, 30));
    EXPECT_TRUE(db::isTimeOnly(db::makeTime(23, 59, 59)));
    EXPECT_FALSE(db::isTimeOnly(makeDateTime(1899, 12, 31)));
    for (const char* s : {"2023-02-29", "2024-13-01", "2024-01-01 24:00:00", "2024-01-01 10:60", "10:00:60", "",
                          "2024-1-1", "2024-01-01 10:00:00x", "abc", "12:3"})
        EXPECT_FALSE(parseDateTime(s)) << s;
}

TEST(DbValue, ConversionsAndTheirErrors)
{
    EXPECT_TRUE(DbVariant().isNull());
    EXPECT_EQ(DbVariant().toString(), "");
    EXPECT_EQ(DbVariant().toInt(), 0);
    EXPECT_EQ(DbVariant(" 42 ").toInt(), 42);
    EXPECT_EQ(DbVariant(true).toString(), "True");
    EXPECT_TRUE(DbVariant("True").toBool());
    EXPECT_FALSE(DbVariant("0").toBool());
    EXPECT_EQ(DbVariant(2.5).toString(), "2.5");
    EXPECT_EQ(DbVariant("2024-05-06 07:08:09").toDateTime(), makeDateTime(2024, 5, 6, 7, 8, 9));
    EXPECT_EQ(DbVariant(makeDateTime(2024, 5, 6, 7, 8, 9)).toString(), "2024-05-06 07:08:09");
    EXPECT_NE(DbVariant(1), DbVariant("1")); // kinds differ
    EXPECT_EQ(DbVariant(int64_t(7)), DbVariant(7));

    EXPECT_EQ(dbError([] { (void)DbVariant("12a").toInt(); }), "'12a' is not a valid integer value");
    EXPECT_THROW((void)DbVariant("maybe").toBool(), EDatabaseError);
    EXPECT_THROW((void)DbVariant("2024-02-30").toDateTime(), EDatabaseError);
    EXPECT_THROW((void)DbVariant(makeDateTime(2024, 1, 1)).toInt(), EDatabaseError);
}

TEST(DbValue, DisplayFormats)
{
    const std::tuple<const char*, double, const char*> floats[] = {
        {"####.#", 109 * 4.8 / 109, "4.8"}, {"####.#", 5.0, "5"},        {"####.#", 0.44, ".4"},
        {"0.00", 3.14159, "3.14"},          {"0.00", -0.001, "0.00"},    {"#,##0", 1234567, "1,234,567"},
        {"000", 7, "007"},                  {"0.0 V", -2.26, "-2.3 V"},
    };
    for (const auto& [format, value, text] : floats)
        EXPECT_EQ(db::formatFloat(format, value), text) << format << " " << value;
    DateTime t = makeDateTime(2024, 3, 7, 14, 5, 9);
    EXPECT_EQ(db::formatDateTime("yyyy-mm-dd hh:nn:ss", t), "2024-03-07 14:05:09");
    EXPECT_EQ(db::formatDateTime("d/m/yy h:mm", t), "7/3/24 14:05");
    EXPECT_EQ(db::formatDateTime("hh:nn AM/PM", t), "02:05 PM");
    EXPECT_EQ(db::formatDateTime("dddd, mmmm d \"at\" hh", t), "Thursday, March 7 at 14");
}
