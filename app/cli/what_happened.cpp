#include "app/cli/what_happened.h"

#include <initializer_list>

#include "drive/region_commands.h"
#include "text/catalogue.h"
#include "ui/resources/resource.h"

namespace varden::cli {
namespace {

using text::Key;

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
constexpr std::string_view kOutcomeUnknown = "unknown";

bool LogHolds(const TerminalView& view, std::size_t first_piece, std::initializer_list<Key> keys) {
  const auto& pieces = view.LogPieces();
  for (std::size_t i = first_piece; i < pieces.size(); ++i) {
    for (const Key key : keys) {
      if (pieces[i].text == text::Text(key)) return true;
    }
  }
  return false;
}

template <std::size_t N>
std::vector<int> EnabledRegions(const TerminalView& view, const int (&ids)[N]) {
  std::vector<int> regions;
  for (int region = kFirstRegion; region <= kLastRegion; ++region) {
    if (view.IsEnabled(ids[region - kFirstRegion])) regions.push_back(region);
  }
  return regions;
}

}  // namespace

bool DriveStateWasRead(const TerminalView& view, std::size_t first_piece) {
  return !LogHolds(
      view, first_piece,
      {Key::MSG_NO_VALID_ITEM, Key::MSG_DEVICE_OPEN_FAILED, Key::MSG_GET_DRIVE_REGION_FAILED});
}

bool DiscWasRead(const TerminalView& view, std::size_t first_piece) {
  return !LogHolds(
      view, first_piece,
      {Key::MSG_NO_VALID_ITEM, Key::MSG_DEVICE_OPEN_FAILED, Key::MSG_GET_DISC_REGION_FAILED});
}

std::vector<int> OfferedRegions(const TerminalView& view) {
  return EnabledRegions(view, kRegionButton);
}

std::vector<int> DiscRegions(const TerminalView& view) {
  return EnabledRegions(view, kDiscRegionBox);
}

std::string ChangesLeftLabel(const TerminalView& view) {
  const auto& texts = view.ControlTexts();
  const auto it = texts.find(IDC_CHANGES_LEFT);
  return it == texts.end() ? std::string() : it->second;
}

ChangeEnd HowTheChangeEnded(const TerminalView& view, std::size_t first_piece) {
  const auto& pieces = view.LogPieces();
  std::size_t at = first_piece;
  while (at < pieces.size() && !pieces[at].scrolls) ++at;
  if (at == pieces.size()) return {kOutcomeUnknown, at};
  for (const OutcomeName& candidate : kOutcomes) {
    if (pieces[at].text == text::Text(candidate.key)) return {candidate.name, at + 1};
  }
  return {kOutcomeUnknown, at + 1};
}

}  // namespace varden::cli
