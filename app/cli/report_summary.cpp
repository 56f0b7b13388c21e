#include "app/cli/report_summary.h"

#include <algorithm>
#include <cstdio>

#include "app/cli/cli_texts.h"
#include "app/cli/what_happened.h"

namespace varden::cli {
namespace {

using Json = nlohmann::json;

std::string HexByte(std::uint8_t value) {
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned>(value));
  return digits;
}

}  // namespace

std::optional<int> ReportSummary::Region() const {
  for (int region = kFirstRegion; region <= kLastRegion; ++region) {
    if (rpc_state.RegionMask() == RegionMaskOf(region)) return region;
  }
  return std::nullopt;
}

bool ReportSummary::FollowsRpcPhaseII() const {
  return rpc_state.RpcScheme() == RpcStateBytes::kRpcSchemePhaseII;
}

bool ReportSummary::PermittedKnown() const {
  const std::uint8_t cpst = copyright.Cpst();
  return disc_read && (cpst == kCpstNone || cpst == kCpstCssCppm || cpst == kCpstCprm);
}

ReportSummary Summarize(const TerminalView& view, std::size_t first_piece) {
  ReportSummary summary;
  summary.drive_state_read = DriveStateWasRead(view, first_piece);
  summary.disc_read = DiscWasRead(view, first_piece);
  if (summary.drive_state_read) {
    summary.rpc_state = RpcState();
    summary.changes_left_text = ChangesLeftLabel(view);
  }
  if (summary.disc_read) summary.copyright = DiscCopyright();
  summary.offered = OfferedRegions(view);
  if (summary.disc_read) summary.permitted = DiscRegions(view);
  return summary;
}

std::string RegionList(const std::vector<int>& regions) {
  if (regions.empty()) return std::string(Text(CliText::kNoRegions));
  std::string list;
  for (const int region : regions) {
    if (!list.empty()) list += ' ';
    list += std::to_string(region);
  }
  return list;
}

std::string SummaryText(const ReportSummary& summary) {
  std::string out;
  out += Text(CliText::kRegionLabel);
  if (!summary.drive_state_read) {
    out += Text(CliText::kStateNotRead);
  } else if (const std::optional<int> region = summary.Region()) {
    out += std::to_string(*region);
  } else if (summary.rpc_state.RegionMask() == kNoRegionMask) {
    out += Text(CliText::kRegionNone);
  } else {
    out += std::string(Text(CliText::kRegionInvalid)) + " (" +
           HexByte(summary.rpc_state.RegionMask()) + "h)";
  }
  out += '\n';

  out += summary.drive_state_read ? summary.changes_left_text
                                  : std::string(Text(CliText::kChangesUnknown));
  out += '\n';

  out += std::string(Text(CliText::kOfferedLabel)) + RegionList(summary.offered) + '\n';

  if (!summary.disc_read) {
    out += Text(CliText::kDiscNotRead);
  } else if (!summary.PermittedKnown()) {
    out += std::string(Text(CliText::kDiscUnknownType)) + HexByte(summary.copyright.Cpst()) +
           std::string(Text(CliText::kDiscUnknownTypeEnd));
  } else {
    out += std::string(Text(CliText::kDiscPermitsLabel)) + RegionList(summary.permitted);
    if (summary.copyright.Cpst() == kCpstNone) out += Text(CliText::kDiscUnprotected);
  }
  out += '\n';
  return out;
}

Json SummaryJson(const ReportSummary& summary) {
  Json drive_state = {
      {"read", summary.drive_state_read}, {"rpc_state", nullptr},    {"type_code", nullptr},
      {"vendor_resets", nullptr},         {"changes_left", nullptr}, {"rpc_phase2", nullptr},
      {"region_mask", nullptr},           {"region", nullptr}};
  if (summary.drive_state_read) {
    const RpcStateBytes& rpc = summary.rpc_state;
    std::string bytes;
    for (const std::uint8_t byte : rpc.bytes) bytes += HexByte(byte);
    drive_state["rpc_state"] = bytes;
    drive_state["type_code"] = rpc.TypeCode();
    drive_state["vendor_resets"] = rpc.VendorResets();
    drive_state["changes_left"] = rpc.UserChanges();
    drive_state["rpc_phase2"] = summary.FollowsRpcPhaseII();
    drive_state["region_mask"] = rpc.RegionMask();
    if (const std::optional<int> region = summary.Region()) drive_state["region"] = *region;
  }

  Json disc = {{"read", summary.disc_read}, {"cpst", nullptr}, {"permitted_regions", nullptr}};
  if (summary.disc_read) {
    disc["cpst"] = summary.copyright.Cpst();
    if (summary.PermittedKnown()) disc["permitted_regions"] = summary.permitted;
  }

  return {{"drive_state", drive_state},
          {"changes_left_text",
           summary.drive_state_read ? Json(summary.changes_left_text) : Json(nullptr)},
          {"offered_regions", summary.offered},
          {"disc", disc}};
}

}  // namespace varden::cli
