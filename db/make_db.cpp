// Builds a database file from an SQL script: the file is written beside the target and
// renamed over it only when every statement ran, so a broken script leaves no half database.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_db schema.sql out.db\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "make_db: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream sql;
    sql << in.rdbuf();
    const std::string target = argv[2];
    const std::string tmp = target + ".tmp";
    std::filesystem::remove(tmp);
    sqlite3* db = nullptr;
    if (sqlite3_open(tmp.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "make_db: %s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    char* err = nullptr;
    const std::string script = "BEGIN;\n" + sql.str() + "\nCOMMIT;";
    if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "make_db: %s\n", err ? err : "error");
        sqlite3_free(err);
        sqlite3_close(db);
        std::filesystem::remove(tmp);
        return 1;
    }
    sqlite3_close(db);
    std::filesystem::rename(tmp, target);
    return 0;
}
