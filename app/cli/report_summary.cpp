#include "app/cli/report_summary.h"

#include <cstdio>
#include <utility>

namespace varden::cli {
namespace {

using text::Key;

constexpr std::pair<Key, std::string_view> kOutcomes[] = {
    {Key::MSG_SET_REGION_OK, "set"},
    {Key::MSG_SET_REGION_FAILED, "send_failed"},
    {Key::MSG_REGION_PERMANENT, "permanent"},
    {Key::MSG_CANCELED, "cancelled"},
    {Key::MSG_UNKNOWN_ERROR, "not_ready"},
    {Key::MSG_DEVICE_OPEN_FAILED, "open_failed"},
    {Key::MSG_NO_REGION_SELECTED, "no_region_selected"},
    {Key::MSG_NO_VALID_ITEM, "no_drive_selected"}};
constexpr std::string_view kOutcomeUnknown = "unknown";

std::string HexByte(std::uint8_t value) {
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned>(value));
  return digits;
}

// Whether a log text from `first_piece` on is the catalogue's text of `failure`, or of the
// failures every operation shares (no drive selected, the drive not opened).
bool LogHolds(const TerminalView& view, std::size_t first_piece, Key failure) {
  const auto& pieces = view.LogPieces();
  for (std::size_t i = first_piece; i < pieces.size(); ++i) {
    for (const Key key : {Key::MSG_NO_VALID_ITEM, Key::MSG_DEVICE_OPEN_FAILED, failure}) {
      if (pieces[i].text == text::Text(key)) return true;
    }
  }
  return false;
}

std::vector<int> EnabledRegions(const TerminalView& view, const int (&ids)[kLastRegion]) {
  std::vector<int> regions;
  for (int region = kFirstRegion; region <= kLastRegion; ++region) {
    if (view.IsEnabled(ids[region - kFirstRegion])) regions.push_back(region);
  }
  return regions;
}

}  // namespace

ReportSummary Summarize(const TerminalView& view, std::size_t first_piece) {
  ReportSummary summary;
  summary.drive_state_read = !LogHolds(view, first_piece, Key::MSG_GET_DRIVE_REGION_FAILED);
  summary.disc_read = !LogHolds(view, first_piece, Key::MSG_GET_DISC_REGION_FAILED);
  if (summary.drive_state_read) {
    summary.rpc_state = RpcState();
    summary.changes_left_text = view.ControlText(IDC_CHANGES_LEFT);
    summary.rpc_phase2 = summary.rpc_state.RpcScheme() == RpcStateBytes::kRpcSchemePhaseII;
    for (int region = kFirstRegion; region <= kLastRegion; ++region) {
      if (summary.rpc_state.RegionMask() == RegionMaskOf(region)) summary.region = region;
    }
  }
  summary.offered = EnabledRegions(view, kRegionButton);
  if (summary.disc_read) {
    summary.copyright = DiscCopyright();
    summary.permitted = EnabledRegions(view, kDiscRegionBox);
    const std::uint8_t cpst = summary.copyright.Cpst();
    summary.permitted_known = cpst == kCpstNone || cpst == kCpstCssCppm || cpst == kCpstCprm;
  }
  return summary;
}

ChangeEnd HowTheChangeEnded(const TerminalView& view, std::size_t first_piece) {
  const auto& pieces = view.LogPieces();
  std::size_t at = first_piece;
  while (at < pieces.size() && !pieces[at].scrolls) ++at;
  if (at == pieces.size()) return {kOutcomeUnknown, at};
  for (const auto& [key, name] : kOutcomes) {
    if (pieces[at].text == text::Text(key)) return {name, at + 1};
  }
  return {kOutcomeUnknown, at + 1};
}

std::string RegionList(const std::vector<int>& regions) {
  if (regions.empty()) return Text(kNoRegions);
  std::string list;
  for (const int region : regions) {
    if (!list.empty()) list += ' ';
    list += std::to_string(region);
  }
  return list;
}

std::string SummaryText(const ReportSummary& summary) {
  std::string out(Text(kRegionLabel));
  if (!summary.drive_state_read) {
    out += Text(kStateNotRead);
  } else if (summary.region) {
    out += std::to_string(*summary.region);
  } else if (summary.rpc_state.RegionMask() == kNoRegionMask) {
    out += Text(kRegionNone);
  } else {
    out += Text(kRegionInvalid, {HexByte(summary.rpc_state.RegionMask())});
  }
  out += '\n';
  out += summary.drive_state_read ? summary.changes_left_text : Text(kChangesUnknown);
  out += '\n';
  out += Text(kOfferedLabel) + RegionList(summary.offered) + '\n';
  if (!summary.disc_read) {
    out += Text(kDiscNotRead);
  } else if (!summary.permitted_known) {
    out += Text(kDiscUnknownType, {HexByte(summary.copyright.Cpst())});
  } else {
    out += Text(kDiscPermitsLabel) + RegionList(summary.permitted);
    if (summary.copyright.Cpst() == kCpstNone) out += Text(kDiscUnprotected);
  }
  out += '\n';
  return out;
}

Json SummaryJson(const ReportSummary& summary) {
  const bool read = summary.drive_state_read;
  const RpcStateBytes& rpc = summary.rpc_state;
  const auto known = [](bool is_known, Json value) { return is_known ? value : Json(nullptr); };
  std::string bytes;
  for (const std::uint8_t byte : rpc.bytes) bytes += HexByte(byte);
  const Json drive_state = {
      {"read", read},
      {"rpc_state", known(read, bytes)},
      {"type_code", known(read, rpc.TypeCode())},
      {"vendor_resets", known(read, rpc.VendorResets())},
      {"changes_left", known(read, rpc.UserChanges())},
      {"rpc_phase2", known(read, summary.rpc_phase2)},
      {"region_mask", known(read, rpc.RegionMask())},
      {"region", known(summary.region.has_value(), summary.region.value_or(0))}};
  const Json disc = {{"read", summary.disc_read},
                     {"cpst", known(summary.disc_read, summary.copyright.Cpst())},
                     {"permitted_regions", known(summary.permitted_known, summary.permitted)}};
  return {{"drive_state", drive_state},
          {"changes_left_text", known(read, summary.changes_left_text)},
          {"offered_regions", summary.offered},
          {"disc", disc}};
}

}  // namespace varden::cli
