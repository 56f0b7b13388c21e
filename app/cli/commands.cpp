// The commands list, report and set: the dialog's drive scan, region report and region change
// against a view kept as plain data, shown as text or as the JSON document (its shape is
// app/cli/varden-cli.schema.json: new fields may be added, none is renamed or removed). A
// document of bad usage, or of a fault outside the commands, has the four fields every
// document has; the others every field of their command, null where the run did not get that far.
#include <algorithm>
#include <iostream>

#include "app/cli/cli.h"
#include "app/cli/drive_source.h"
#include "app/cli/report_summary.h"
#include "app/thread_sleeper.h"
#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "region/region_operations.h"
#include "text/shown_text.h"

namespace varden::cli {
namespace {

constexpr std::string_view kOutcomeSet = "set";
constexpr std::string_view kNoDriveFound =
    "no drive of the maker was found; connect one (or use --emulated) and try again";
constexpr std::string_view kNothingSent =
    ": nothing was sent to the drive; run the command again to be asked with its new state";

// The drives found, kept for the run as the dialog keeps them: zeros until the scan writes a
// slot, in memory the program touches only where it writes.
DriveTable g_drive_table;

std::string DriveName(char letter) {
  return std::string(1, letter) + ":";
}

template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

// The command's fields, null (or empty) until they are known.
Json CommandFields(const Options& options) {
  Json doc = {{"refused", Json::array()}};
  if (options.command == Command::kList) doc["drives"] = Json::array();
  if (options.command == Command::kReport) doc["drive"] = doc["log"] = doc["report"] = nullptr;
  if (options.command == Command::kSet) {
    doc["region"] = options.region;
    doc["drive"] = doc["log"] = doc["outcome"] = doc["before"] = doc["after"] = nullptr;
    doc["changes_left_before"] = doc["changes_left_after"] = nullptr;
    doc["becomes_permanent"] = false;
  }
  return doc;
}

class Program {
 public:
  explicit Program(const Options& options) : options_(options), talk_(options.json ? err_ : out_) {
    view_.ask = [this](auto text, auto caption) { return DiscPrompt(text, caption); };
    if (!options.json) view_.log_sink = [this](std::string_view text) { out_.Write(text); };
  }

  int Run() {
    if (const std::optional<std::string> error = source_.Connect(options_)) return Fail(*error);
    if (AllocateTransferBuffer() != 0) return Fail("cannot allocate the transfer buffer");
    found_ = ScanDrives(table_, nullptr, nullptr);
    // The scan passes by a node this user may not open as if no drive were there; the user
    // hears of each one here.
    source_.FindRefused();
    for (const linux_sg::RefusedNode& node : source_.refused) {
      ErrorLine(err_, RefusedNodeHint(node));
      doc_["refused"].push_back({{"node", node.path},
                                 {"letter", std::string(1, node.letter)},
                                 {"group", OrNull(node.group)}});
    }
    const int status = options_.command == Command::kList     ? List()
                       : options_.command == Command::kReport ? Report()
                                                              : Set();
    ReleaseTransferBuffer();
    source_.Disconnect();
    return status;
  }

 private:
  // The drive named on the command line, or the first drive found; -1 for none.
  int ChosenIndex() const {
    for (int i = 0; i < found_; ++i) {
      if (!options_.drive || Drive(i).Letter() == *options_.drive) return i;
    }
    return -1;
  }
  const DriveEntry& Drive(int index) const { return table_[static_cast<std::size_t>(index)]; }
  Json DriveJson(int index) const {
    return {{"index", index},
            {"letter", std::string(1, Drive(index).Letter())},
            {"text", std::string(Drive(index).Text())}};
  }

  // No drive: none was found, or not the one named (a node this user may not open, or bad usage).
  int NoDrive() {
    if (!options_.drive) {
      return Fail(source_.refused.empty() ? std::string(kNoDriveFound)
                                          : "no drive could be opened: " + RefusedSummary() +
                                                " for lack of permission");
    }
    for (const linux_sg::RefusedNode& node : source_.refused) {
      if (node.letter == *options_.drive) {
        return Fail("drive " + DriveName(node.letter) + " (" + node.path +
                    ") cannot be opened for lack of permission");
      }
    }
    return Refuse(err_, options_, kExitUsage,
                  "drive " + DriveName(*options_.drive) +
                      " is not among the drives found; run 'varden-cli list' to see them");
  }

  // "/dev/sr0 (D:), /dev/sr1 (E:)".
  std::string RefusedSummary() const {
    std::string nodes;
    for (const linux_sg::RefusedNode& node : source_.refused) {
      nodes += (nodes.empty() ? "" : ", ") + node.path + " (" + DriveName(node.letter) + ")";
    }
    return nodes;
  }

  int Fail(const std::string& message) {  // a failure outside the drive operation
    return Refuse(err_, options_, kExitDriveFailed, message, doc_);
  }

  ReportSummary RunReport(int index) {
    view_.SelectDrive(index);
    const std::size_t first = view_.LogPieces().size();
    ReportRegion(view_);
    doc_["drive"] = DriveJson(index);
    return Summarize(view_, first);
  }

  // The end of a command on a drive: the document with the log, or the drive and `summary` as
  // text after the log.
  int Show(const ReportSummary& summary, int status,
           const std::optional<std::string>& error = std::nullopt) {
    doc_["log"] = view_.LogText();
    if (!options_.json) {
      // The identification without its trailing spaces.
      const std::string_view text = Drive(view_.SelectedDriveIndex()).Text();
      out_.EndLine();
      out_.Write("\n");
      out_.Write(Text(kDriveLabel) +
                 text::ShownText(text.substr(0, text.find_last_not_of(' ') + 1)) + "\n");
      out_.Write(SummaryText(summary));
    }
    return End(options_, doc_, status, error);
  }

  // The disc prompt of the change, asked without the lock; Cancel when the drive changed
  // meanwhile.
  bool DiscPrompt(std::string_view prompt, std::string_view caption) {
    bool ok = false;
    const std::optional<std::string> changed = source_.ChangedWhile(
        *options_.drive, true, [&] { ok = AskDisc(out_, talk_, prompt, caption); });
    if (!changed) return ok;
    talk_.Line(text::ShownText(*changed + ": the change is cancelled, nothing was sent"));
    return false;
  }

  // Lists what could be opened; a node this user may not open makes it fail.
  int List() {
    const bool refused = !source_.refused.empty();
    if (found_ == 0 && !refused) ErrorLine(err_, std::string(kNoDriveFound));
    for (int i = 0; i < found_; ++i) {
      doc_["drives"].push_back(DriveJson(i));
      if (!options_.json) out_.Line(text::ShownText(Drive(i).Text()));
    }
    if (!refused) return End(options_, doc_, kExitOk);
    return End(options_, doc_, kExitDriveFailed, "this user may not open " + RefusedSummary());
  }

  int Report() {
    const int index = ChosenIndex();
    if (index < 0) return NoDrive();
    const ReportSummary summary = RunReport(index);
    doc_["report"] = SummaryJson(summary);
    return Show(summary, summary.drive_state_read ? kExitOk : kExitDriveFailed);
  }

  int Set() {
    const int index = ChosenIndex();
    if (index < 0) return NoDrive();
    const int region = options_.region;

    // First the report, as the dialog has run one on the selected drive before the user
    // picks a region: the change then decides on this drive's state and sends no report
    // of its own first.
    const ReportSummary before = RunReport(index);
    const bool permanent = RpcState().TypeCode() == kTypeCodePermanent;
    // What the change costs, from the state it will decide on. A permanent region costs
    // nothing: the change refuses it without sending anything.
    ChangeCost cost;
    if (before.rpc_phase2) {
      cost.before = RpcState().UserChanges();
      cost.after = permanent ? *cost.before : std::max(*cost.before - 1, 0);
    }
    cost.becomes_permanent = !permanent && cost.after && *cost.after == 0;
    doc_["before"] = SummaryJson(before);
    doc_["changes_left_before"] = OrNull(cost.before);
    doc_["changes_left_after"] = OrNull(cost.after);
    doc_["becomes_permanent"] = cost.becomes_permanent;

    // Only a region whose radio button the dialog enables can be chosen there.
    if (std::ranges::find(before.offered, region) == before.offered.end()) {
      const std::string number = std::to_string(region);
      return EndWithoutChange(before, "refused",
                              before.offered.empty() && !before.drive_state_read
                                  ? Text(kRefusedStateUnread, {number})
                                  : Text(kRefused, {number, RegionList(before.offered)}));
    }
    if (!permanent) {
      bool confirmed = false;  // under --yes nobody is asked: the lock stays
      const std::optional<std::string> changed =
          source_.ChangedWhile(*options_.drive, !options_.yes, [&] {
            confirmed = ConfirmCost(talk_, options_.yes, *options_.drive, region,
                                    before.drive_state_read, cost);
          });
      if (!confirmed) return EndWithoutChange(before, "declined", Text(kNotConfirmed));
      if (changed) return EndWithoutChange(before, "refused", *changed + std::string(kNothingSent));
    }

    for (int n = kFirstRegion; n <= kLastRegion; ++n) {
      view_.SetCheck(kRegionButton[n - kFirstRegion], n == region);  // the user's choice
    }
    const std::size_t change_first = view_.LogPieces().size();
    ThreadSleeper sleeper;
    ChangeRegion(view_, sleeper);
    const ChangeEnd end = HowTheChangeEnded(view_, change_first);
    std::string_view outcome = end.outcome;
    const ReportSummary after = Summarize(view_, end.report_piece);

    // A change that reached the drive but could not be saved: the drive is as the file
    // holds it, and the final report shows that. Once the change is kept, nothing later
    // makes it a failure: a script that retried would spend another change.
    std::optional<std::string> error, warning;
    if (const std::optional<std::string> not_kept = source_.NotKept()) {
      outcome = "not_kept";
      error = "the change of region was not kept, the drive is as before: " + *not_kept;
    } else if (const std::string store = source_.StoreError(); store.empty()) {
    } else if (outcome == kOutcomeSet) {
      warning = "the change of region was made, but the state after it could not be read: " + store;
    } else {
      error = store;
    }
    doc_["outcome"] = outcome;
    doc_["after"] = warning ? Json(nullptr) : SummaryJson(after);
    if (warning) doc_["warning"] = text::ShownText(*warning);
    const int status = Show(after, outcome == kOutcomeSet ? kExitOk : kExitDriveFailed, error);
    if (error || warning) ErrorLine(err_, error ? *error : *warning);
    return status;
  }

  // A change that was not sent: the reason on standard error, the report's state, exit 1.
  int EndWithoutChange(const ReportSummary& before, std::string_view outcome,
                       const std::string& message) {
    doc_["outcome"] = outcome;
    Show(before, kExitDriveFailed, message);
    out_.Flush();
    err_.Line(text::ShownText(message));
    return kExitDriveFailed;
  }

  Options options_;
  Console out_{std::cout};
  Console err_{std::cerr};
  Console& talk_;  // questions and the cost: standard output, or standard error under --json
  DriveSource source_;
  DriveTable& table_ = g_drive_table;
  TerminalView view_{table_};
  Json doc_ = CommandFields(options_);
  int found_ = 0;
};

}  // namespace

int End(const Options& options, Json doc, int status, const std::optional<std::string>& error) {
  doc["command"] = options.name.empty() ? Json(nullptr) : Json(options.name);
  doc["ok"] = status == kExitOk;
  doc["exit_status"] = status;
  doc["error"] = error ? Json(text::ShownText(*error)) : Json(nullptr);
  // Drive identification bytes need not be UTF-8; such bytes are replaced, never thrown on.
  if (options.json) std::cout << doc.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  return status;
}

int Refuse(Console& err, const Options& options, int status, const std::string& message,
           const Json& doc) {
  ErrorLine(err, message);
  return End(options, doc, status, message);
}

int RunCommand(const Options& options) {
  return Program(options).Run();
}

}  // namespace varden::cli
