// The tests' own look into a station's production record: the rows of a query, read-only.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vx3::testing {

// Rows of a query on the record at `db`, each row's columns joined by '|'.
inline std::vector<std::string> RecordRows(const std::filesystem::path& db, const std::string& sql) {
  sqlite3* handle = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_open_v2(db.string().c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(handle);
    return {"cannot open " + db.string()};
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    rows.push_back(std::string("bad query: ") + sqlite3_errmsg(handle));
  }
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int column = 0; column < sqlite3_column_count(statement); ++column) {
      if (column > 0) row += '|';
      const unsigned char* text = sqlite3_column_text(statement, column);
      row += text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  sqlite3_close(handle);
  return rows;
}

}  // namespace vx3::testing
