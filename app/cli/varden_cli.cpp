// varden-cli: the region report and the region change on the command line, for scripts and
// machines without a desktop. It runs the same drive scan, region report and region change as
// the dialog, against a view that keeps the controls' state as plain data, and prints the log
// and the state the dialog would show.
//
// The JSON document (--json) is one object on standard output, for every outcome, bad usage
// included. Its shape is app/cli/varden-cli.schema.json: stable; new fields may be added,
// none is renamed or removed. Every document has "command", "ok", "exit_status" and
// "error"; a document of bad usage (or of a fault outside the commands) has nothing more;
// the others have every field of their command, null where the run did not get that far.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "app/cli/cli_texts.h"
#include "app/cli/command_line.h"
#include "app/cli/console.h"
#include "app/cli/report_summary.h"
#include "app/cli/terminal_view.h"
#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "drive/linux/sg_device.h"
#include "drive/region_commands.h"
#include "emulated/state_file.h"
#include "emulated/state_store.h"
#include "region/drive_scan.h"
#include "region/region_operations.h"
#include "text/catalogue.h"
#include "text/linux/locale_code_page.h"
#include "text/shown_text.h"

namespace varden::cli {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using text::Key;

constexpr std::string_view kProgram = "varden-cli";
// Where the real drives' device nodes are, without their number; tests point it elsewhere.
constexpr const char* kNodePrefixVariable = "VARDEN_NODE_PREFIX";

class RealSleeper : public Sleeper {
 public:
  void SleepMilliseconds(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

// How a region change ended, by the one text it appended with AppendLog.
struct OutcomeName {
  Key key;
  std::string_view name;
};
constexpr OutcomeName kOutcomes[] = {
    {Key::MSG_SET_REGION_OK, "set"},
    {Key::MSG_SET_REGION_FAILED, "send_failed"},
    {Key::MSG_REGION_PERMANENT, "permanent"},
    {Key::MSG_CANCELED, "cancelled"},
    {Key::MSG_UNKNOWN_ERROR, "not_ready"},
    {Key::MSG_DEVICE_OPEN_FAILED, "open_failed"},
    {Key::MSG_NO_REGION_SELECTED, "no_region_selected"},
    {Key::MSG_NO_VALID_ITEM, "no_drive_selected"},
};
constexpr std::string_view kRefusedMeanwhile =
    "nothing was sent to the drive; run the command again to be asked with its new state";
constexpr std::string_view kCancelledMeanwhile = "the change is cancelled, nothing was sent";
constexpr std::string_view kAfterUnread =
    "the change of region was made, but the state after it could not be read: ";
constexpr std::string_view kNoDriveFound =
    "no drive of the maker was found; connect one (or use --emulated) and try again";
constexpr std::string_view kOutcomeSet = "set";
constexpr std::string_view kOutcomeRefused = "refused";
constexpr std::string_view kOutcomeDeclined = "declined";
constexpr std::string_view kOutcomeUnknown = "unknown";
constexpr std::string_view kOutcomeNotKept = "not_kept";
constexpr std::string_view kNotKeptLead =
    "the change of region was not kept, the drive is as before: ";

// What a change of region spends: the user changes left before and after it (nothing when
// the drive's count is not known or does not apply), and whether it spends the last one.
struct ChangeCost {
  std::optional<int> before;
  std::optional<int> after;
  bool becomes_permanent = false;
};

std::string_view CommandName(Command command) {
  switch (command) {
    case Command::kList:
      return "list";
    case Command::kReport:
      return "report";
    case Command::kSet:
      return "set";
    case Command::kHelp:
    case Command::kVersion:
      break;
  }
  return "";
}

// The answer as one lower-case word, blanks dropped.
std::string AnswerWord(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

std::string DriveName(char letter) {
  return std::string(1, letter) + ":";
}

std::string NodePrefix() {
  const char* prefix = std::getenv(kNodePrefixVariable);
  return prefix != nullptr && *prefix != '\0' ? prefix : linux_sg::kDefaultNodePrefix;
}

// The document on standard output, UTF-8 whatever the locale. Drive identification bytes
// need not be UTF-8; such bytes are replaced, never thrown on.
void Print(const Json& doc) {
  std::cout << doc.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

// The document of a line that was not carried out: bad usage, or a fault outside the commands.
Json BareDocument(std::optional<Command> command, int status, const std::string& error) {
  return {{"command", command ? Json(CommandName(*command)) : Json(nullptr)},
          {"ok", false},
          {"exit_status", status},
          {"error", text::ShownText(error)}};
}

// Standard error, and the user's words or a drive's bytes in it made safe for the terminal.
void ErrorLine(Console& err, const std::string& message) {
  err.Line(text::ShownText(std::string(kProgram) + ": " + message));
}

// The list text without the identification's trailing spaces, safe for the terminal.
std::string ShownDriveText(std::string_view list_text) {
  const std::size_t end = list_text.find_last_not_of(' ');
  return text::ShownText(list_text.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

class Program {
 public:
  explicit Program(const Options& options) : options_(options), talk_(options.json ? err_ : out_) {}

  int Run() {
    if (const std::optional<std::string> error = ConnectDrives()) return Fail(*error);
    if (AllocateTransferBuffer() != 0) return Fail("cannot allocate the transfer buffer");
    // The command is one transaction on the state file: what it decides on is read under the
    // same lock as the change it makes. The lock is let go only while a person answers.
    if (emulated_ != nullptr) {
      if (const std::optional<std::string> error = emulated_->Begin()) return Fail(*error);
    }

    table_ = std::make_unique<DriveTable>();
    view_ = std::make_unique<TerminalView>(*table_,
                                           [this](std::string_view text, std::string_view caption) {
                                             return AskDiscPrompt(text, caption);
                                           });
    found_ = ScanDrives(*table_, view_.get(), nullptr);
    // The scan passes by a node this user may not open as if no drive were there; the user
    // hears of each one here.
    if (emulated_ == nullptr) refused_ = linux_sg::RefusedNodes(NodePrefix());
    for (const linux_sg::RefusedNode& node : refused_) ErrorLine(err_, RefusedNodeHint(node));

    int status = kExitOk;
    switch (options_.command) {
      case Command::kList:
        status = List();
        break;
      case Command::kReport:
        status = Report();
        break;
      case Command::kSet:
        status = Set();
        break;
      case Command::kHelp:
      case Command::kVersion:
        break;
    }
    if (emulated_ != nullptr) emulated_->End();
    ReleaseTransferBuffer();
    SetDeviceSeam(nullptr);
    return status;
  }

 private:
  // ---- Drives ---------------------------------------------------------------------------

  // Chooses the real drives or the emulated ones of the state file. Answers an error.
  std::optional<std::string> ConnectDrives() {
    if (!options_.emulated) {
      seam_ = std::make_unique<linux_sg::LinuxDevices>(NodePrefix());
      SetDeviceSeam(seam_.get());
      return std::nullopt;
    }
    state_file_ = options_.state_file.empty() ? emulated::DefaultStateFile() : options_.state_file;
    if (state_file_.empty())
      return "no home folder for the state file; name one with --emulated=FILE";
    auto store = std::make_unique<emulated::StoredDrives>(state_file_);
    // A change is refused here, before anything is sent, when it could not be kept.
    if (std::optional<std::string> error = store->Connect(options_.command == Command::kSet)) {
      if (!store->Damaged()) return error;
      return *error +
             "; the file was left as it is: repair it, or remove it to start "
             "again from the demo drives";
    }
    emulated_ = store.get();
    seam_ = std::move(store);
    SetDeviceSeam(seam_.get());
    return std::nullopt;
  }

  // A failure of the state file during the command (busy for long, damaged meanwhile): the
  // answers are incomplete, so the command fails, on standard error and in the document.
  int StoreFailure(int status, Json& doc) {
    if (emulated_ == nullptr || emulated_->Error().empty()) return status;
    doc["ok"] = false;
    doc["exit_status"] = kExitDriveFailed;
    if (doc["error"].is_null()) doc["error"] = emulated_->Error();
    ErrorLine(err_, emulated_->Error());
    return kExitDriveFailed;
  }

  // The list index of the drive named on the command line, or the first drive found.
  // Answers -1 when there is none.
  int ChosenIndex() const {
    if (!options_.drive) return found_ > 0 ? 0 : -1;
    for (int i = 0; i < found_; ++i) {
      if ((*table_)[static_cast<std::size_t>(i)].Letter() == *options_.drive) return i;
    }
    return -1;
  }

  // The drive named was not found: a node this user may not open, or bad usage.
  int UnknownDrive() {
    for (const linux_sg::RefusedNode& node : refused_) {
      if (node.letter == *options_.drive) {
        return Fail("drive " + DriveName(node.letter) + " (" + node.path +
                    ") cannot be opened for lack of permission");
      }
    }
    const std::string message = "drive " + DriveName(*options_.drive) +
                                " is not among the drives found; run 'varden-cli list' to see them";
    ErrorLine(err_, message);
    if (options_.json) Print(BareDocument(options_.command, kExitUsage, message));
    return kExitUsage;
  }

  int NoDrive() {
    if (!refused_.empty()) {
      return Fail("no drive could be opened: " + RefusedSummary() + " for lack of permission");
    }
    return Fail(std::string(kNoDriveFound));
  }

  // "/dev/sr0 (D:), /dev/sr1 (E:)".
  std::string RefusedSummary() const {
    std::string nodes;
    for (const linux_sg::RefusedNode& node : refused_) {
      nodes += (nodes.empty() ? "" : ", ") + node.path + " (" + DriveName(node.letter) + ")";
    }
    return nodes;
  }

  Json DriveJson(int index) const {
    if (index < 0) return nullptr;
    const DriveEntry& entry = (*table_)[static_cast<std::size_t>(index)];
    return {{"index", index},
            {"letter", std::string(1, entry.Letter())},
            {"text", std::string(entry.Text())}};
  }

  // ---- Output ---------------------------------------------------------------------------

  // A failure outside the drive operation (exit status 1), on standard error, and as the
  // JSON document when one is asked for.
  int Fail(const std::string& message) {
    ErrorLine(err_, message);
    if (options_.json) {
      Json doc = Document(kExitDriveFailed, message);
      Print(doc);
    }
    return kExitDriveFailed;
  }

  // The command's document, every field of the command null (or empty) until it is known.
  Json Document(int status, const std::optional<std::string>& error) const {
    Json doc = {{"command", CommandName(options_.command)},
                {"ok", status == kExitOk},
                {"exit_status", status},
                {"error", error ? Json(text::ShownText(*error)) : Json(nullptr)}};
    Json refused = Json::array();
    for (const linux_sg::RefusedNode& node : refused_) {
      refused.push_back({{"node", node.path},
                         {"letter", std::string(1, node.letter)},
                         {"group", node.group ? Json(*node.group) : Json(nullptr)}});
    }
    doc["refused"] = refused;
    if (options_.command == Command::kList) {
      doc["drives"] = Json::array();
    } else {
      for (const char* field : {"drive", "log"}) doc[field] = nullptr;
    }
    if (options_.command == Command::kReport) doc["report"] = nullptr;
    if (options_.command == Command::kSet) {
      doc["region"] = options_.region;
      for (const char* field :
           {"outcome", "changes_left_before", "changes_left_after", "before", "after"}) {
        doc[field] = nullptr;
      }
      doc["becomes_permanent"] = false;
    }
    return doc;
  }

  // The log as it grows, in text mode.
  void ShowLogLive() {
    if (!options_.json) view_->SetLogSink([this](std::string_view text) { out_.Write(text); });
  }

  void ShowSummary(int index, const ReportSummary& summary) {
    out_.EndLine();
    out_.Write("\n");
    out_.Write(std::string(Text(CliText::kDriveLabel)) +
               ShownDriveText((*table_)[static_cast<std::size_t>(index)].Text()) + "\n");
    out_.Write(SummaryText(summary));
  }

  // ---- Questions ------------------------------------------------------------------------

  // Asks a yes/no question; only "y" or "yes" is yes, and the end of input is no.
  bool Confirm(std::string_view question) {
    talk_.EndLine();
    talk_.Write(question);
    talk_.Flush();
    std::string answer;
    const bool got = static_cast<bool>(std::getline(std::cin, answer));
    talk_.AnswerRead(got && StdinIsTerminal());
    const std::string word = AnswerWord(answer);
    return got && (word == "y" || word == "yes");
  }

  // The disc prompt of the region change: OK or Cancel on the terminal. Without a terminal
  // nobody can insert a disc and answer, so it is Cancel.
  bool AskDiscPrompt(std::string_view prompt, std::string_view caption) {
    bool ok = false;
    const std::optional<std::string> changed =
        WhileAsking([&] { ok = AskDiscPromptUnlocked(prompt, caption); });
    if (!changed) return ok;
    talk_.Line(text::ShownText(*changed + ": " + std::string(kCancelledMeanwhile)));
    return false;
  }

  // Lets the state file go while a person answers `ask`, and takes it again. Answers what
  // changed of the chosen drive meanwhile (another program used it), or nothing.
  std::optional<std::string> WhileAsking(const std::function<void()>& ask) {
    if (emulated_ == nullptr || !options_.drive) {
      ask();
      return std::nullopt;
    }
    const std::optional<emulated::DriveState> before = emulated_->KeptState(*options_.drive);
    emulated_->End();
    ask();
    if (std::optional<std::string> error = emulated_->Begin()) return error;
    const std::optional<emulated::DriveState> after = emulated_->KeptState(*options_.drive);
    if (before && after && emulated::SameKeptState(*before, *after)) return std::nullopt;
    if (!before || !after) return "drive " + DriveName(*options_.drive) + " is gone";
    return "drive " + DriveName(*options_.drive) +
           " was changed by another program (changes left " + std::to_string(before->user_changes) +
           " then, " + std::to_string(after->user_changes) + " now)";
  }

  bool AskDiscPromptUnlocked(std::string_view prompt, std::string_view caption) {
    out_.Flush();
    talk_.EndLine();
    talk_.Write(std::string(caption) + ": ");
    talk_.Write(prompt);
    talk_.EndLine();
    if (!StdinIsTerminal()) {
      talk_.Line(Text(CliText::kDiscPromptNoTerminal));
      return false;
    }
    talk_.Write(Text(CliText::kDiscPromptChoice));
    talk_.Flush();
    std::string answer;
    if (!std::getline(std::cin, answer)) {
      talk_.AnswerRead(false);
      return false;
    }
    talk_.AnswerRead(true);
    const std::string word = AnswerWord(answer);
    return !(word == "c" || word == "cancel");
  }

  // ---- Commands -------------------------------------------------------------------------

  // Lists what could be opened; a node this user may not open makes it fail.
  int List() {
    const std::vector<std::string>& items = view_->DriveList();
    const int listed = refused_.empty() ? kExitOk : kExitDriveFailed;
    if (items.empty() && refused_.empty()) ErrorLine(err_, std::string(kNoDriveFound));
    Json doc = Document(listed, refused_.empty()
                                    ? std::nullopt
                                    : std::optional("this user may not open " + RefusedSummary()));
    const int status = StoreFailure(listed, doc);
    if (options_.json) {
      Json drives = Json::array();
      for (int i = 0; i < static_cast<int>(items.size()); ++i) drives.push_back(DriveJson(i));
      doc["drives"] = drives;
      Print(doc);
    } else {
      for (const std::string& item : items) out_.Line(text::ShownText(item));
    }
    return status;
  }

  int Report() {
    const int index = ChosenIndex();
    if (index < 0) return options_.drive ? UnknownDrive() : NoDrive();

    view_->SelectDrive(index);
    ShowLogLive();
    const std::size_t first = view_->LogPieces().size();
    ReportRegion(*view_);
    const ReportSummary summary = Summarize(*view_, first);
    Json doc = Document(summary.drive_state_read ? kExitOk : kExitDriveFailed, std::nullopt);
    const int status = StoreFailure(doc["exit_status"].get<int>(), doc);

    if (options_.json) {
      doc["drive"] = DriveJson(index);
      doc["log"] = TerminalLineEnds(view_->LogText());
      doc["report"] = SummaryJson(summary);
      Print(doc);
    } else {
      ShowSummary(index, summary);
    }
    return status;
  }

  int Set() {
    const int index = ChosenIndex();
    if (index < 0) return UnknownDrive();
    const int region = options_.region;

    // First the report, as the dialog has run one on the selected drive before the user
    // picks a region: the change then decides on this drive's state and sends no report
    // of its own first.
    view_->SelectDrive(index);
    ShowLogLive();
    const std::size_t first = view_->LogPieces().size();
    ReportRegion(*view_);
    const ReportSummary before = Summarize(*view_, first);

    Json doc = Document(kExitDriveFailed, std::nullopt);
    doc["drive"] = DriveJson(index);
    doc["region"] = region;
    doc["before"] = SummaryJson(before);
    doc["after"] = nullptr;

    // The cost, from the state the change will decide on. A permanent region costs nothing:
    // the change refuses it without sending anything.
    const RpcStateBytes& kept = RpcState();
    const bool permanent = kept.TypeCode() == kTypeCodePermanent;
    ChangeCost cost;
    if (before.drive_state_read && before.FollowsRpcPhaseII()) {
      cost.before = kept.UserChanges();
      cost.after = permanent ? *cost.before : std::max(*cost.before - 1, 0);
    }
    cost.becomes_permanent = !permanent && cost.after && *cost.after == 0;
    doc["changes_left_before"] = cost.before ? Json(*cost.before) : Json(nullptr);
    doc["changes_left_after"] = cost.after ? Json(*cost.after) : Json(nullptr);
    doc["becomes_permanent"] = cost.becomes_permanent;

    // Only a region whose radio button the dialog enables can be chosen there.
    if (std::ranges::find(before.offered, region) == before.offered.end()) {
      std::string message = std::string(Text(CliText::kRefusedBefore)) + std::to_string(region);
      if (before.offered.empty() && !before.drive_state_read) {
        message += Text(CliText::kRefusedStateUnread);
      } else {
        message += std::string(Text(CliText::kRefusedBetween)) + RegionList(before.offered) +
                   std::string(Text(CliText::kRefusedAfter));
      }
      return EndWithoutChange(doc, index, before, kOutcomeRefused, message);
    }

    if (!permanent) {
      bool confirmed = false;
      const auto ask = [&] { confirmed = ConfirmCost(region, before, cost); };
      std::optional<std::string> changed;
      if (options_.yes) {
        ask();  // nobody is asked: the lock stays
      } else {
        changed = WhileAsking(ask);
      }
      if (!confirmed) {
        return EndWithoutChange(doc, index, before, kOutcomeDeclined,
                                std::string(Text(CliText::kNotConfirmed)));
      }
      if (changed) {
        return EndWithoutChange(doc, index, before, kOutcomeRefused,
                                *changed + ": " + std::string(kRefusedMeanwhile));
      }
    }

    view_->ChooseRegion(region);
    const std::size_t change_first = view_->LogPieces().size();
    RealSleeper sleeper;
    ChangeRegion(*view_, sleeper);

    // The change appends its one outcome text with AppendLog; the final report follows it.
    const auto& pieces = view_->LogPieces();
    std::size_t outcome_piece = change_first;
    while (outcome_piece < pieces.size() && !pieces[outcome_piece].scrolls) ++outcome_piece;
    std::string_view outcome = kOutcomeUnknown;
    if (outcome_piece < pieces.size()) {
      for (const OutcomeName& candidate : kOutcomes) {
        if (pieces[outcome_piece].text == text::Text(candidate.key)) outcome = candidate.name;
      }
    }
    const ReportSummary after = Summarize(*view_, outcome_piece + 1);
    int status = outcome == kOutcomeSet ? kExitOk : kExitDriveFailed;

    // A change that reached the drive but could not be saved: the drive is as the file
    // holds it, and the final report shows that.
    std::optional<std::string> error;
    std::optional<std::string> warning;
    if (emulated_ != nullptr && emulated_->NotKept()) {
      outcome = kOutcomeNotKept;
      error = std::string(kNotKeptLead) + *emulated_->NotKept();
    } else if (emulated_ != nullptr && !emulated_->Error().empty()) {
      // Once the change is kept, nothing later makes it a failure: a script that retried
      // would spend another change.
      if (outcome == kOutcomeSet) {
        warning = std::string(kAfterUnread) + emulated_->Error();
      } else {
        error = emulated_->Error();
      }
    }
    if (error) status = kExitDriveFailed;

    if (options_.json) {
      doc["ok"] = status == kExitOk;
      doc["exit_status"] = status;
      doc["error"] = error ? Json(*error) : Json(nullptr);
      doc["outcome"] = outcome;
      doc["log"] = TerminalLineEnds(view_->LogText());
      doc["after"] = warning ? Json(nullptr) : SummaryJson(after);
      if (warning) doc["warning"] = text::ShownText(*warning);
      Print(doc);
    } else {
      ShowSummary(index, after);
    }
    if (error) ErrorLine(err_, *error);
    if (warning) ErrorLine(err_, *warning);
    return status;
  }

  // Tells what the change costs and asks; a change that leaves none is asked about again.
  // --yes answers both questions.
  bool ConfirmCost(int region, const ReportSummary& before, const ChangeCost& cost) {
    talk_.EndLine();
    if (cost.before) {
      talk_.Line(std::string(Text(CliText::kCostBefore)) + std::to_string(*cost.before) +
                 std::string(Text(CliText::kCostBetween)) + std::to_string(*cost.after) +
                 std::string(Text(CliText::kCostAfter)));
    } else {
      talk_.Line(before.drive_state_read ? Text(CliText::kCostNoRpc2)
                                         : Text(CliText::kCostUnknown));
    }
    const std::string region_text = std::to_string(region);
    if (!options_.yes &&
        !Confirm(std::string(Text(CliText::kAskSetBefore)) + DriveName(*options_.drive) +
                 std::string(Text(CliText::kAskSetBetween)) + region_text +
                 std::string(Text(CliText::kAskSetAfter)))) {
      return false;
    }
    if (cost.becomes_permanent) {
      talk_.Line(std::string(Text(CliText::kLastChangeBefore)) + region_text +
                 std::string(Text(CliText::kLastChangeAfter)));
      if (!options_.yes && !Confirm(std::string(Text(CliText::kAskPermanentBefore)) + region_text +
                                    std::string(Text(CliText::kAskPermanentAfter)))) {
        return false;
      }
    }
    return true;
  }

  // A change that was not sent: the reason on standard error, the report's state, exit 1.
  int EndWithoutChange(Json& doc, int index, const ReportSummary& before, std::string_view outcome,
                       const std::string& message) {
    if (options_.json) {
      doc["error"] = message;
      doc["outcome"] = outcome;
      doc["log"] = TerminalLineEnds(view_->LogText());
      Print(doc);
    } else {
      ShowSummary(index, before);
    }
    out_.Flush();
    err_.Line(text::ShownText(message));
    return kExitDriveFailed;
  }

  Options options_;
  Console out_{std::cout};
  Console err_{std::cerr};
  Console& talk_;  // questions and the cost: standard output, or standard error under --json

  std::unique_ptr<DeviceSeam> seam_;
  std::vector<linux_sg::RefusedNode> refused_;  // real drives only
  emulated::StoredDrives* emulated_ = nullptr;  // the seam, when it is the emulated drives
  fs::path state_file_;

  std::unique_ptr<DriveTable> table_;
  std::unique_ptr<TerminalView> view_;
  int found_ = 0;
};

}  // namespace
}  // namespace varden::cli

int main(int argc, char** argv) {
  using namespace varden::cli;
  const std::vector<std::string_view> args(argv + std::min(argc, 1), argv + argc);
  const ParseResult parsed = ParseCommandLine(args);
  Console err(std::cerr);
  if (!parsed.options) {
    ErrorLine(err, parsed.error);
    if (parsed.json) Print(BareDocument(parsed.command, kExitUsage, parsed.error));
    return kExitUsage;
  }
  const Options& options = *parsed.options;
  // --help and --version under --json: the usual four fields and the text as one more.
  const auto print_text = [&options](const char* field, const std::string& text) {
    if (!options.json) {
      std::cout << ForTerminal(text);
      return kExitOk;
    }
    Print({{"command", nullptr},
           {"ok", true},
           {"exit_status", kExitOk},
           {"error", nullptr},
           {field, text}});
    return kExitOk;
  };
  if (options.command == Command::kHelp) return print_text("usage", UsageText());

  // The language for the run, as the dialog decides it, before any text is looked up.
  varden::text::DecideLanguage(varden::text::LocaleCodePage());
  // Japanese in the terminal's own character set, or English where that set cannot hold it.
  if (varden::text::JapaneseMode() && !UseLocaleCharset(AllTexts())) {
    varden::text::DecideLanguage(varden::text::kUsCodePage);
  }
  if (options.command == Command::kVersion) {
    return print_text("version",
                      std::string(kProgram) + " (" +
                          varden::text::Format(varden::text::Key::FMT_VERSION, VARDEN_VERSION_MAJOR,
                                               VARDEN_VERSION_MINOR) +
                          ")\n");
  }
  // Nothing in the drive path throws; what can (memory, the terminal, the file system)
  // ends the program with a line on standard error instead of an abort.
  try {
    return Program(options).Run();
  } catch (const std::exception& error) {
    ErrorLine(err, error.what());
    if (options.json) Print(BareDocument(options.command, kExitDriveFailed, error.what()));
    return kExitDriveFailed;
  }
}
