// Reading one object of the state file's JSON: each field named by its path in what is
// reported, and every field that nobody asked for refused. For emulated/state_json.cpp only.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "emulated/emulated_drive.h"
#include "text/shown_text.h"

namespace varden::emulated::state_json {

using Json = nlohmann::ordered_json;
using text::ShownText;

constexpr std::size_t kShownBytes = 40;  // of a value quoted in a message

constexpr std::string_view kCallNone = "none";
constexpr std::string_view kCallUntouched = "untouched";
constexpr std::string_view kCallStatusZeroNoSense = "status_zero_no_sense";

// Thrown while reading the state file only, caught at ParseState: what is wrong, and where in the
// file.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the fields of one JSON object, naming each by its path ("drives[1].disc.cpst") in
// what it reports, and refuses fields it was not asked for.
class ObjectReader {
 public:
  ObjectReader(const Json& value, std::string path) : value_(value), path_(std::move(path)) {
    if (!value_.is_object()) Fail(path_, "expected an object, found " + Describe(value_));
  }

  // Each reader leaves `out` as it is when the field is absent.
  void Bool(const char* key, bool& out) {
    if (const Json* v = Field(key)) {
      if (!v->is_boolean()) Fail(PathOf(key), "expected true or false, found " + Describe(*v));
      out = v->get<bool>();
    }
  }

  void Int(const char* key, int& out) {
    if (const Json* v = Field(key))
      out = static_cast<int>(Integer(*v, key, 0, std::numeric_limits<int>::max()));
  }

  // A byte: a number 0 to 255 or a hexadecimal string "0x00" to "0xFF".
  void Byte(const char* key, std::uint8_t& out) {
    const Json* v = Field(key);
    if (v == nullptr) return;
    if (v->is_string()) {
      const auto text = v->get<std::string>();
      const bool hex_form = text.size() > 2 && text.size() <= 4 && text[0] == '0' &&
                            (text[1] == 'x' || text[1] == 'X') &&
                            text.find_first_not_of("0123456789abcdefABCDEF", 2) == text.npos;
      if (!hex_form) {
        Fail(PathOf(key), "expected a byte such as 253 or \"0xFD\", found \"" +
                              ShownText(text, kShownBytes) + "\"");
      }
      out = static_cast<std::uint8_t>(std::strtoul(text.c_str() + 2, nullptr, 16));
      return;
    }
    out = static_cast<std::uint8_t>(Integer(*v, key, 0, 255));
  }

  void Text(const char* key, std::string& out) {
    if (const Json* v = Field(key)) {
      if (!v->is_string()) Fail(PathOf(key), "expected a text, found " + Describe(*v));
      out = v->get<std::string>();
    }
  }

  void Letter(const char* key, char& out) {
    const Json* v = Field(key);
    if (v == nullptr) Fail(PathOf(key), "missing");
    if (!v->is_string() || v->get<std::string>().size() != 1) {
      Fail(PathOf(key), "expected one drive letter such as \"E\", found " + Describe(*v));
    }
    out = v->get<std::string>()[0];
  }

  void Call(const char* key, CallFault& out) {
    const Json* v = Field(key);
    if (v == nullptr) return;
    const std::string text = v->is_string() ? v->get<std::string>() : std::string();
    if (text == kCallNone) {
      out = CallFault::kNone;
    } else if (text == kCallUntouched) {
      out = CallFault::kUntouched;
    } else if (text == kCallStatusZeroNoSense) {
      out = CallFault::kStatusZeroNoSense;
    } else {
      Fail(PathOf(key),
           "expected \"none\", \"untouched\" or \"status_zero_no_sense\", found " + Describe(*v));
    }
  }

  // The nested object at `key`, or nullptr when absent.
  const Json* Child(const char* key) { return Field(key); }
  std::string PathOf(const char* key) const { return path_ + "." + key; }

  // Refuses every field that no reader asked for.
  void Finish() const {
    for (const auto& [key, value] : value_.items()) {
      if (std::find(read_.begin(), read_.end(), key) == read_.end())
        Fail(path_ + "." + ShownText(key, kShownBytes), "not a known field");
    }
  }

  // The nesting was bounded before parsing, so dump() recurses only a few levels.
  static std::string Describe(const Json& v) {
    return std::string(v.type_name()) + " " +
           ShownText(v.dump(-1, ' ', false, Json::error_handler_t::replace), kShownBytes);
  }

  [[noreturn]] static void Fail(const std::string& path, const std::string& what) {
    throw FormatError(path + ": " + what);
  }

 private:
  const Json* Field(const char* key) {
    read_.emplace_back(key);
    const auto it = value_.find(key);
    return it == value_.end() ? nullptr : &*it;
  }

  long long Integer(const Json& v, const char* key, long long min, long long max) const {
    if (!v.is_number_integer()) {
      Fail(PathOf(key), "expected a whole number, found " + Describe(v));
    }
    const bool fits = v.is_number_unsigned()
                          ? v.get<std::uint64_t>() <= static_cast<std::uint64_t>(max)
                          : (v.get<std::int64_t>() >= min && v.get<std::int64_t>() <= max);
    if (!fits) {
      Fail(PathOf(key), v.dump() + " is out of range (" + std::to_string(min) + " to " +
                            std::to_string(max) + ")");
    }
    return v.get<long long>();
  }

  const Json& value_;
  std::string path_;
  std::vector<std::string_view> read_;  // a few names: a list is cheaper than a set
};

}  // namespace varden::emulated::state_json
