// The tables of expected values in tests/data: tab-separated, one case a line, the first
// column naming the kind of row ("#" lines are comments); "\r" and "\n" stand for CR and LF.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace varden::test_support {

// The rows of tests/data/`file` whose first column is `kind`, that column included.
inline std::vector<std::vector<std::string>> DataRows(const std::string& file,
                                                      const std::string& kind) {
  std::ifstream in(VARDEN_TEST_DATA_DIR "/" + file);
  EXPECT_TRUE(in.is_open()) << file;
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    for (const auto& [from, to] : {std::pair{"\\r", "\r"}, {"\\n", "\n"}}) {
      for (std::size_t at; (at = line.find(from)) != std::string::npos;) line.replace(at, 2, to);
    }
    std::vector<std::string> columns;
    std::istringstream fields(line + '\t');  // the tab keeps an empty last column
    for (std::string field; std::getline(fields, field, '\t');) columns.push_back(field);
    if (columns[0] == kind) rows.push_back(columns);
  }
  EXPECT_FALSE(rows.empty()) << "no " << kind << " rows in " << file;
  return rows;
}

// A rectangle column, "left,top,right,bottom".
template <class Rect>
Rect RectOf(const std::string& column) {
  int n[4] = {};
  EXPECT_EQ(std::sscanf(column.c_str(), "%d,%d,%d,%d", &n[0], &n[1], &n[2], &n[3]), 4) << column;
  return {n[0], n[1], n[2], n[3]};
}

}  // namespace varden::test_support
