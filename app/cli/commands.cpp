#include "app/cli/commands.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/cli/cli_texts.h"
#include "app/cli/drive_source.h"
#include "app/cli/report_summary.h"
#include "app/cli/terminal_view.h"
#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "drive/region_commands.h"
#include "region/drive_scan.h"
#include "region/region_operations.h"
#include "text/shown_text.h"

namespace varden::cli {
namespace {

constexpr std::string_view kOutcomeSet = "set";
constexpr std::string_view kOutcomeRefused = "refused";
constexpr std::string_view kOutcomeDeclined = "declined";
constexpr std::string_view kOutcomeNotKept = "not_kept";
constexpr std::string_view kNotKeptLead =
    "the change of region was not kept, the drive is as before: ";
constexpr std::string_view kRefusedMeanwhile =
    "nothing was sent to the drive; run the command again to be asked with its new state";
constexpr std::string_view kCancelledMeanwhile = "the change is cancelled, nothing was sent";
constexpr std::string_view kAfterUnread =
    "the change of region was made, but the state after it could not be read: ";
constexpr std::string_view kNoDriveFound =
    "no drive of the maker was found; connect one (or use --emulated) and try again";

// The drives found, kept for the run as the dialog keeps them: zeros until the scan writes a
// slot, in memory the program touches only where it writes.
DriveTable g_drive_table;

class RealSleeper : public Sleeper {
 public:
  void SleepMilliseconds(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

std::string DriveName(char letter) {
  return std::string(1, letter) + ":";
}

// What the change costs, from the state it will decide on. A permanent region costs nothing:
// the change refuses it without sending anything.
ChangeCost CostOf(const ReportSummary& before, bool permanent) {
  ChangeCost cost;
  if (before.rpc_phase2) {
    cost.before = RpcState().UserChanges();
    cost.after = permanent ? *cost.before : std::max(*cost.before - 1, 0);
  }
  cost.becomes_permanent = !permanent && cost.after && *cost.after == 0;
  return cost;
}

std::string NotOffered(int region, const ReportSummary& before) {
  const std::string number = std::to_string(region);
  if (before.offered.empty() && !before.drive_state_read) {
    return Text(kRefusedStateUnread, {number});
  }
  return Text(kRefused, {number, RegionList(before.offered)});
}

class Program {
 public:
  explicit Program(const Options& options) : options_(options), talk_(options.json ? err_ : out_) {}

  int Run() {
    if (const std::optional<std::string> error = source_.Connect(options_)) return Fail(*error);
    if (AllocateTransferBuffer() != 0) return Fail("cannot allocate the transfer buffer");
    found_ = ScanDrives(table_, nullptr, nullptr);
    // The scan passes by a node this user may not open as if no drive were there; the user
    // hears of each one here.
    source_.FindRefused();
    for (const linux_sg::RefusedNode& node : source_.Refused()) {
      ErrorLine(err_, RefusedNodeHint(node));
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
    if (!options_.drive) return found_ > 0 ? 0 : -1;
    for (int i = 0; i < found_; ++i) {
      if (table_[static_cast<std::size_t>(i)].Letter() == *options_.drive) return i;
    }
    return -1;
  }

  // The drive named was not found: a node this user may not open, or bad usage.
  int UnknownDrive() {
    for (const linux_sg::RefusedNode& node : source_.Refused()) {
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
    for (const linux_sg::RefusedNode& node : source_.Refused()) {
      nodes += (nodes.empty() ? "" : ", ") + node.path + " (" + DriveName(node.letter) + ")";
    }
    return nodes;
  }

  Json Document(int status, const std::optional<std::string>& error) const {
    return CommandDocument(options_, source_.Refused(), status, error);
  }

  // A failure outside the drive operation (exit status 1), on standard error, and as the
  // JSON document when one is asked for.
  int Fail(const std::string& message) {
    ErrorLine(err_, message);
    if (options_.json) Print(Document(kExitDriveFailed, message));
    return kExitDriveFailed;
  }

  // Runs the region report on the drive at `index`, its log shown as it grows in text mode.
  ReportSummary RunReport(int index) {
    view_.SelectDrive(index);
    if (!options_.json) view_.SetLogSink([this](std::string_view text) { out_.Write(text); });
    const std::size_t first = view_.LogPieces().size();
    ReportRegion(view_);
    return Summarize(view_, first);
  }

  // The end of a command on a drive: the document with the log, or the drive and `summary`
  // as text after the log.
  void Show(Json& doc, int index, const ReportSummary& summary) {
    if (options_.json) {
      doc["log"] = view_.LogText();
      Print(doc);
      return;
    }
    // The identification without its trailing spaces.
    const std::string_view text = table_[static_cast<std::size_t>(index)].Text();
    out_.EndLine();
    out_.Write("\n");
    out_.Write(std::string(Text(kDriveLabel)) +
               text::ShownText(text.substr(0, text.find_last_not_of(' ') + 1)) + "\n");
    out_.Write(SummaryText(summary));
  }

  // The disc prompt of the change, asked without the lock; Cancel when the drive changed
  // meanwhile.
  bool DiscPrompt(std::string_view prompt, std::string_view caption) {
    bool ok = false;
    const std::optional<std::string> changed =
        source_.ChangedWhile(*options_.drive, [&] { ok = AskDisc(out_, talk_, prompt, caption); });
    if (!changed) return ok;
    talk_.Line(text::ShownText(*changed + ": " + std::string(kCancelledMeanwhile)));
    return false;
  }

  // Lists what could be opened; a node this user may not open makes it fail.
  int List() {
    const bool refused = !source_.Refused().empty();
    if (found_ == 0 && !refused) ErrorLine(err_, std::string(kNoDriveFound));
    Json doc = Document(
        refused ? kExitDriveFailed : kExitOk,
        refused ? std::optional("this user may not open " + RefusedSummary()) : std::nullopt);
    for (int i = 0; i < found_; ++i) {
      if (options_.json) {
        doc["drives"].push_back(DriveJson(table_, i));
      } else {
        out_.Line(text::ShownText(table_[static_cast<std::size_t>(i)].Text()));
      }
    }
    if (options_.json) Print(doc);
    return doc["exit_status"].get<int>();
  }

  int Report() {
    const int index = ChosenIndex();
    if (index < 0 && options_.drive) return UnknownDrive();
    if (index < 0) {
      return Fail(source_.Refused().empty() ? std::string(kNoDriveFound)
                                            : "no drive could be opened: " + RefusedSummary() +
                                                  " for lack of permission");
    }
    const ReportSummary summary = RunReport(index);
    const int status = summary.drive_state_read ? kExitOk : kExitDriveFailed;
    Json doc = Document(status, std::nullopt);
    doc["drive"] = DriveJson(table_, index);
    doc["report"] = SummaryJson(summary);
    Show(doc, index, summary);
    return status;
  }

  int Set() {
    const int index = ChosenIndex();
    if (index < 0) return UnknownDrive();
    const int region = options_.region;

    // First the report, as the dialog has run one on the selected drive before the user
    // picks a region: the change then decides on this drive's state and sends no report
    // of its own first.
    const ReportSummary before = RunReport(index);
    const bool permanent = RpcState().TypeCode() == kTypeCodePermanent;
    const ChangeCost cost = CostOf(before, permanent);
    Json doc = Document(kExitDriveFailed, std::nullopt);
    doc["drive"] = DriveJson(table_, index);
    doc["before"] = SummaryJson(before);
    doc["changes_left_before"] = cost.before ? Json(*cost.before) : Json(nullptr);
    doc["changes_left_after"] = cost.after ? Json(*cost.after) : Json(nullptr);
    doc["becomes_permanent"] = cost.becomes_permanent;

    // Only a region whose radio button the dialog enables can be chosen there.
    if (std::ranges::find(before.offered, region) == before.offered.end()) {
      return EndWithoutChange(doc, index, before, kOutcomeRefused, NotOffered(region, before));
    }
    if (!permanent) {
      bool confirmed = false;
      const auto ask = [&] {
        confirmed = ConfirmCost(talk_, options_.yes, *options_.drive, region,
                                before.drive_state_read, cost);
      };
      std::optional<std::string> changed;
      if (options_.yes) {
        ask();  // nobody is asked: the lock stays
      } else {
        changed = source_.ChangedWhile(*options_.drive, ask);
      }
      if (!confirmed) {
        return EndWithoutChange(doc, index, before, kOutcomeDeclined,
                                std::string(Text(kNotConfirmed)));
      }
      if (changed) {
        return EndWithoutChange(doc, index, before, kOutcomeRefused,
                                *changed + ": " + std::string(kRefusedMeanwhile));
      }
    }

    view_.ChooseRegion(region);
    const std::size_t change_first = view_.LogPieces().size();
    RealSleeper sleeper;
    ChangeRegion(view_, sleeper);
    const ChangeEnd end = HowTheChangeEnded(view_, change_first);
    std::string_view outcome = end.outcome;
    const ReportSummary after = Summarize(view_, end.report_piece);

    // A change that reached the drive but could not be saved: the drive is as the file
    // holds it, and the final report shows that. Once the change is kept, nothing later
    // makes it a failure: a script that retried would spend another change.
    std::optional<std::string> error, warning;
    if (const std::optional<std::string> not_kept = source_.NotKept()) {
      outcome = kOutcomeNotKept;
      error = std::string(kNotKeptLead) + *not_kept;
    } else if (const std::string store = source_.StoreError(); store.empty()) {
    } else if (outcome == kOutcomeSet) {
      warning = std::string(kAfterUnread) + store;
    } else {
      error = store;
    }
    const int status = outcome == kOutcomeSet ? kExitOk : kExitDriveFailed;
    doc["ok"] = status == kExitOk;
    doc["exit_status"] = status;
    doc["error"] = error ? Json(text::ShownText(*error)) : Json(nullptr);
    doc["outcome"] = outcome;
    doc["after"] = warning ? Json(nullptr) : SummaryJson(after);
    if (warning) doc["warning"] = text::ShownText(*warning);
    Show(doc, index, after);
    if (error) ErrorLine(err_, *error);
    if (warning) ErrorLine(err_, *warning);
    return status;
  }

  // A change that was not sent: the reason on standard error, the report's state, exit 1.
  int EndWithoutChange(Json& doc, int index, const ReportSummary& before, std::string_view outcome,
                       const std::string& message) {
    doc["error"] = text::ShownText(message);
    doc["outcome"] = outcome;
    Show(doc, index, before);
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
  TerminalView view_{table_, [this](std::string_view text, std::string_view caption) {
                       return DiscPrompt(text, caption);
                     }};
  int found_ = 0;
};

}  // namespace

int Refuse(Console& err, const Options& options, int status, const std::string& message) {
  ErrorLine(err, message);
  if (options.json) Print(BareDocument(options, status, message));
  return status;
}

int RunCommand(const Options& options) {
  return Program(options).Run();
}

}  // namespace varden::cli
