// Scaffolding for the programs that run under Wine, where no test framework is cross-built:
// each check prints "ok <name>" or "FAIL <name>: <why>"; the exit code is the failure count.
#pragma once

#include <cstdio>
#include <string>

namespace varden::wine_tests {

inline int failures = 0;

inline void Check(bool passed, const std::string& name, const std::string& why = {}) {
  if (passed) {
    std::printf("ok %s\n", name.c_str());
  } else {
    ++failures;
    std::printf("FAIL %s: %s\n", name.c_str(), why.c_str());
  }
}

}  // namespace varden::wine_tests
