// A few lines of test scaffolding for the programs that run under Wine, where no test
// framework is cross-built: each check prints one line, "ok <name>" or "FAIL <name>: <why>",
// and the program's exit code is the number of failures.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace varden::wine_tests {

inline int& Failures() {
  static int failures = 0;
  return failures;
}

inline void Check(bool passed, std::string_view name, std::string_view why = {}) {
  if (passed) {
    std::printf("ok %.*s\n", static_cast<int>(name.size()), name.data());
  } else {
    ++Failures();
    std::printf("FAIL %.*s: %.*s\n", static_cast<int>(name.size()), name.data(),
                static_cast<int>(why.size()), why.data());
  }
}

template <typename T>
void CheckEqual(const T& actual, const T& expected, std::string_view name) {
  if (actual == expected) {
    Check(true, name);
  } else {
    Check(false, name, "got " + std::to_string(actual) + ", expected " + std::to_string(expected));
  }
}

inline int Finish() {
  std::fflush(stdout);
  return Failures();
}

}  // namespace varden::wine_tests
