// Scaffolding for the programs that run under Wine, where no test framework is cross-built:
// each check prints "ok <name>" or "FAIL <name>: <why>"; the exit code is the failure count.
#pragma once

#include <cstdio>
#include <string>

namespace varden::wine_tests {

inline int failures = 0;

inline void Check(bool ok, const std::string& name, const std::string& why = {}) {
  failures += ok ? 0 : 1;
  std::printf("%s %s%s\n", ok ? "ok" : "FAIL", name.c_str(), ok ? "" : (": " + why).c_str());
}

}  // namespace varden::wine_tests
