// Reads what a query returns, for tests that look at the stored bytes.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

namespace tav::test {

// Runs `sql` on an open connection and returns each row's columns as text
// joined by single blanks, NULL as "NULL". A query that fails is a test failure.
std::vector<std::string> SqlRows(sqlite3* db, const std::string& sql);
// The same on the database file at `path`, opened read-only for the query.
std::vector<std::string> SqlRows(const std::string& path, const std::string& sql);

}  // namespace tav::test
