// Reading parameters and select lists out of SQL text.
#include <gtest/gtest.h>

#include "dataaccess/db_error.h"
#include "dataaccess/db_sql.h"

using db::parseSql;
using db::selectListNames;

TEST(SqlText, ParametersOutsideLiteralsAndComments)
{
    auto p = parseSql("SELECT * FROM T WHERE A = ':NotOne' AND B = :B -- :Comment\n"
                      "AND C = \"x:y\" /* :Block */ AND D = [a:b] AND E = :E");
    ASSERT_EQ(p.names.size(), 2u);
    EXPECT_EQ(p.names[0], "B");
    EXPECT_EQ(p.names[1], "E");
    EXPECT_EQ(p.text, "SELECT * FROM T WHERE A = ':NotOne' AND B = ?1 -- :Comment\n"
                      "AND C = \"x:y\" /* :Block */ AND D = [a:b] AND E = ?2");
}

TEST(SqlText, DoubledQuoteStaysInsideTheLiteral)
{
    auto p = parseSql("SELECT 'it''s :x' AS T, :Y");
    ASSERT_EQ(p.names.size(), 1u);
    EXPECT_EQ(p.names[0], "Y");
    EXPECT_EQ(p.text, "SELECT 'it''s :x' AS T, ?1");
}

TEST(SqlText, OneNameUsedTwiceIsOneParameterWhateverItsCase)
{
    auto p = parseSql("WHERE A = :Serial OR B = :SERIAL OR C = :Other OR D = :serial");
    ASSERT_EQ(p.names.size(), 2u);
    EXPECT_EQ(p.names[0], "Serial");
    EXPECT_EQ(p.text, "WHERE A = ?1 OR B = ?1 OR C = ?2 OR D = ?1");
}

TEST(SqlText, DoubleColonIsALiteralColonAndLoneColonStays)
{
    auto p = parseSql("SELECT '10' || '::' , 5 :: 2, a : b");
    EXPECT_TRUE(p.names.empty());
    EXPECT_EQ(p.text, "SELECT '10' || '::' , 5 : 2, a : b");
}

TEST(SqlText, UnterminatedLiteralOrCommentHidesTheRest)
{
    EXPECT_TRUE(parseSql("SELECT 'abc :x").names.empty());
    EXPECT_TRUE(parseSql("SELECT 1 /* :x").names.empty());
}

TEST(SqlText, QuestionMarkPlaceholderIsRefused)
{
    EXPECT_THROW(parseSql("SELECT * FROM T WHERE A = ?"), EDatabaseError);
    EXPECT_NO_THROW(parseSql("SELECT * FROM T WHERE A = '?'"));
}

TEST(SqlText, SelectListNamesQualifiedColumns)
{
    auto n = selectListNames("SELECT A.LockID,A.KeyID,B.LockID,B.SerialID,count(*) AS N, B.LockName X, "
                             "coalesce(A.x, B.y) FROM LockKeyManagement AS A,LockManagement AS B WHERE A.LockID = B.LockID");
    ASSERT_EQ(n.size(), 7u);
    EXPECT_EQ(n[0], "A.LockID");
    EXPECT_EQ(n[2], "B.LockID");
    EXPECT_EQ(n[3], "B.SerialID");
    EXPECT_EQ(n[4], "");
    EXPECT_EQ(n[5], "");
    EXPECT_EQ(n[6], "");
    EXPECT_TRUE(selectListNames("SELECT * FROM T").empty());
    EXPECT_TRUE(selectListNames("SELECT A.*, B.X FROM A, B").empty());
    EXPECT_TRUE(selectListNames("DELETE FROM T").empty());
}

TEST(SqlText, OnlyTrivia)
{
    EXPECT_TRUE(db::onlyTrivia("  ;\n -- done\n /* c */ ;"));
    EXPECT_FALSE(db::onlyTrivia("; SELECT 1"));
}
