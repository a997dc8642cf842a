#pragma once
// Reading a SQLite file through a connection of its own, as another process would: only what
// was committed is seen.

#include <sqlite3.h>

#include <string>

namespace vistel::test {

// The first column of the first row of `sql`; -1 when the file or the query fails.
inline long long committedNumber(const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    long long number = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
            number = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return number;
}

} // namespace vistel::test
