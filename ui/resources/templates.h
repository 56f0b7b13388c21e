// Varden's dialog templates as data: the main dialog, the progress window and the About box,
// every control with its id, kind, rectangle in dialog units, text and window style bits, in
// template (tab) order. Enough for any renderer: the Qt program reads the kinds and flags, a
// Win32 program can build an in-memory template from the style bits and class names. Texts
// are UTF-8. No platform header is needed: the style bits the templates use are named here.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace varden::ui {

// Window and control style bits, with the platform's values.
namespace style {
inline constexpr std::uint32_t kPopup = 0x80000000;
inline constexpr std::uint32_t kChild = 0x40000000;
inline constexpr std::uint32_t kVisible = 0x10000000;
inline constexpr std::uint32_t kDisabled = 0x08000000;
inline constexpr std::uint32_t kCaption = 0x00C00000;
inline constexpr std::uint32_t kBorder = 0x00800000;
inline constexpr std::uint32_t kVScroll = 0x00200000;
inline constexpr std::uint32_t kSysMenu = 0x00080000;
inline constexpr std::uint32_t kGroup = 0x00020000;
inline constexpr std::uint32_t kTabStop = 0x00010000;
// Dialog styles.
inline constexpr std::uint32_t kDsModalFrame = 0x00000080;
inline constexpr std::uint32_t kDsSetFont = 0x00000040;
// Extended style: shown in the task bar.
inline constexpr std::uint32_t kExAppWindow = 0x00040000;
// Buttons.
inline constexpr std::uint32_t kBsPushButton = 0x0;
inline constexpr std::uint32_t kBsDefPushButton = 0x1;
inline constexpr std::uint32_t kBsAutoCheckBox = 0x3;
inline constexpr std::uint32_t kBsGroupBox = 0x7;
inline constexpr std::uint32_t kBsAutoRadioButton = 0x9;
// Statics.
inline constexpr std::uint32_t kSsLeft = 0x0;
inline constexpr std::uint32_t kSsCenter = 0x1;
inline constexpr std::uint32_t kSsIcon = 0x3;
inline constexpr std::uint32_t kSsNoPrefix = 0x80;
inline constexpr std::uint32_t kSsCenterImage = 0x200;
inline constexpr std::uint32_t kSsSunken = 0x1000;
// Combo box.
inline constexpr std::uint32_t kCbsDropDown = 0x2;
inline constexpr std::uint32_t kCbsNoIntegralHeight = 0x400;
// Edit.
inline constexpr std::uint32_t kEsMultiline = 0x4;
inline constexpr std::uint32_t kEsAutoVScroll = 0x40;
inline constexpr std::uint32_t kEsReadOnly = 0x800;
}  // namespace style

// The window classes of the controls.
inline constexpr std::string_view kClassButton = "BUTTON";
inline constexpr std::string_view kClassStatic = "STATIC";
inline constexpr std::string_view kClassComboBox = "COMBOBOX";
inline constexpr std::string_view kClassEdit = "EDIT";
inline constexpr std::string_view kClassProgress = "msctls_progress32";

// What a control is, for renderers that do not read style bits.
enum class ControlKind {
  kIcon,  // static icon; `icon` names it
  kText,  // static text
  kGroupBox,
  kRadioButton,  // auto radio button
  kCheckBox,     // auto check box
  kPushButton,
  kComboBox,     // drop-down combo box with an edit field
  kEdit,         // multi-line read-only edit (the log)
  kProgressBar,  // segmented horizontal progress bar
};

// A rectangle in dialog units.
struct DialogUnitRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct ControlTemplate {
  int id;  // -1 for controls without an id
  ControlKind kind;
  DialogUnitRect rect;
  std::string_view text;  // the template text (for an icon: empty)
  std::string_view window_class;
  std::uint32_t style;     // kChild | kVisible | ... | the class's own bits
  std::uint32_t ex_style;  // extended style
  int icon = 0;            // kIcon: the icon's resource id

  bool Disabled() const { return (style & style::kDisabled) != 0; }
  bool TabStop() const { return (style & style::kTabStop) != 0; }
  bool GroupStart() const { return (style & style::kGroup) != 0; }
};

struct DialogTemplate {
  int id;
  DialogUnitRect rect;
  std::uint32_t style;
  std::uint32_t ex_style;
  std::string_view caption;
  std::string_view font_face;  // as the template names it
  int font_points;
  std::span<const ControlTemplate> controls;  // template order, which is the tab order

  // The control with `id`, or nullptr.
  const ControlTemplate* Find(int id) const;
};

// IDD_MAIN, IDD_PROGRESS and IDD_ABOUTBOX.
const DialogTemplate& MainDialogTemplate();
const DialogTemplate& ProgressTemplate();
const DialogTemplate& AboutBoxTemplate();
// The template with resource id `id`, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

// The text of the About box's second line.
inline constexpr std::string_view kAboutSecondLine = "DVD region tool for RPC Phase II drives";

}  // namespace varden::ui
