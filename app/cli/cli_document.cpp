#include "app/cli/cli_document.h"

#include <iostream>

#include "text/shown_text.h"

namespace varden::cli {

void Print(const Json& doc) {
  std::cout << doc.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

Json BareDocument(Command command, int status, const std::string& error) {
  const std::optional<std::string_view> name = CommandName(command);
  return {{"command", name ? Json(*name) : Json(nullptr)},
          {"ok", false},
          {"exit_status", status},
          {"error", text::ShownText(error)}};
}

Json CommandDocument(const Options& options, const std::vector<linux_sg::RefusedNode>& refused,
                     int status, const std::optional<std::string>& error) {
  Json doc = BareDocument(options.command, status, error.value_or(""));
  doc["ok"] = status == kExitOk;
  if (!error) doc["error"] = nullptr;
  doc["refused"] = Json::array();
  for (const linux_sg::RefusedNode& node : refused) {
    doc["refused"].push_back({{"node", node.path},
                              {"letter", std::string(1, node.letter)},
                              {"group", node.group ? Json(*node.group) : Json(nullptr)}});
  }
  if (options.command == Command::kList) {
    doc["drives"] = Json::array();
  } else {
    for (const char* field : {"drive", "log"}) doc[field] = nullptr;
  }
  if (options.command == Command::kReport) doc["report"] = nullptr;
  if (options.command == Command::kSet) {
    doc["region"] = options.region;
    for (const char* field :
         {"outcome", "changes_left_before", "changes_left_after", "before", "after"}) {
      doc[field] = nullptr;
    }
    doc["becomes_permanent"] = false;
  }
  return doc;
}

Json DriveJson(const DriveTable& table, int index) {
  const DriveEntry& entry = table[static_cast<std::size_t>(index)];
  return {{"index", index},
          {"letter", std::string(1, entry.Letter())},
          {"text", std::string(entry.Text())}};
}

}  // namespace varden::cli
