#include "ui/resources/templates.h"

#include "ui/resources/resource.h"

namespace varden::ui {
namespace {

using namespace style;

constexpr std::uint32_t kDialogStyle = kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetFont;
constexpr std::uint32_t kControl = kChild | kVisible;
constexpr int kNoId = -1;
constexpr int kIdOk = 1;

constexpr std::uint32_t kRadio = kControl | kBsAutoRadioButton | kDisabled;
constexpr std::uint32_t kDiscBox = kControl | kBsAutoCheckBox | kDisabled | kTabStop;
constexpr std::uint32_t kPush = kControl | kBsPushButton | kTabStop;

// IDD_MAIN, in template order (which is the tab order).
constexpr ControlTemplate kMainControls[] = {
    {IDC_APP_ICON,
     ControlKind::kIcon,
     {6, 7, 20, 20},
     "",
     kClassStatic,
     kControl | kSsIcon | kSsSunken,
     0,
     IDR_MAINFRAME},
    {IDC_TITLE,
     ControlKind::kText,
     {32, 14, 158, 12},
     "DVD-ROM Varden for Windows2000",
     kClassStatic,
     kControl | kSsCenter | kSsCenterImage | kSsSunken | kGroup,
     0},
    {IDC_DRIVE_REGION_GROUP,
     ControlKind::kGroupBox,
     {6, 55, 184, 113},
     "DVD-ROM Regional Code",
     kClassButton,
     kControl | kBsGroupBox,
     0},
    {IDC_REGION1,
     ControlKind::kRadioButton,
     {18, 68, 89, 10},
     "Region 1 (USA, Canada)",
     kClassButton,
     kRadio,
     0},
    {IDC_REGION2,
     ControlKind::kRadioButton,
     {18, 80, 153, 10},
     "Region 2 (West Europe, Japan, South Africa)",
     kClassButton,
     kRadio,
     0},
    {IDC_REGION3,
     ControlKind::kRadioButton,
     {18, 92, 99, 10},
     "Region 3 (East South Asia)",
     kClassButton,
     kRadio,
     0},
    {IDC_REGION4,
     ControlKind::kRadioButton,
     {18, 104, 127, 10},
     "Region 4 (Australlia, South America)",
     kClassButton,
     kRadio,
     0},
    {IDC_REGION5,
     ControlKind::kRadioButton,
     {18, 116, 135, 10},
     "Region 5 (Russian, East Europe, Africa)",
     kClassButton,
     kRadio,
     0},
    {IDC_REGION6,
     ControlKind::kRadioButton,
     {18, 128, 67, 10},
     "Region 6 (China)",
     kClassButton,
     kRadio,
     0},
    {IDC_DRIVE_LIST,
     ControlKind::kComboBox,
     {6, 37, 184, 86},
     "",
     kClassComboBox,
     kControl | kCbsDropDown | kCbsNoIntegralHeight | kTabStop,
     0},
    {IDC_LOG,
     ControlKind::kEdit,
     {6, 228, 184, 41},
     "",
     kClassEdit,
     kControl | kEsMultiline | kEsAutoVScroll | kEsReadOnly | kVScroll | kBorder | kTabStop,
     0},
    {IDC_DISC_REGION1,
     ControlKind::kCheckBox,
     {23, 178, 46, 19},
     "Region 1",
     kClassButton,
     kDiscBox,
     0},
    {IDC_DISC_REGION2,
     ControlKind::kCheckBox,
     {73, 178, 46, 19},
     "Region 2",
     kClassButton,
     kDiscBox,
     0},
    {IDC_DISC_REGION3,
     ControlKind::kCheckBox,
     {122, 178, 46, 19},
     "Region 3",
     kClassButton,
     kDiscBox,
     0},
    {IDC_DISC_REGION4,
     ControlKind::kCheckBox,
     {23, 201, 46, 19},
     "Region 4",
     kClassButton,
     kDiscBox,
     0},
    {IDC_DISC_REGION5,
     ControlKind::kCheckBox,
     {73, 201, 46, 19},
     "Region 5",
     kClassButton,
     kDiscBox,
     0},
    {IDC_DISC_REGION6,
     ControlKind::kCheckBox,
     {122, 201, 46, 19},
     "Region 6",
     kClassButton,
     kDiscBox,
     0},
    {IDC_DISC_REGION_GROUP,
     ControlKind::kGroupBox,
     {6, 170, 184, 53},
     "Disc Regional Code",
     kClassButton,
     kControl | kBsGroupBox,
     0},
    {IDC_SET_REGION,
     ControlKind::kPushButton,
     {69, 272, 58, 21},
     "Set Region",
     kClassButton,
     kPush,
     0},
    {IDC_EXIT, ControlKind::kPushButton, {132, 272, 58, 21}, "Exit", kClassButton, kPush, 0},
    {IDC_GET_REGION,
     ControlKind::kPushButton,
     {6, 272, 58, 21},
     "Get Region",
     kClassButton,
     kPush,
     0},
    {IDC_CHANGES_LEFT,
     ControlKind::kText,
     {17, 145, 163, 14},
     "Regional code can can be changed 5 times",
     kClassStatic,
     kControl | kSsLeft | kSsCenterImage | kGroup,
     0},
};

// IDD_PROGRESS.
constexpr ControlTemplate kProgressControls[] = {
    {IDC_PROGRESS_TEXT,
     ControlKind::kText,
     {7, 7, 173, 15},
     "Static",
     kClassStatic,
     kControl | kSsLeft,
     0},
    {IDC_PROGRESS,
     ControlKind::kProgressBar,
     {7, 26, 173, 14},
     "Progress1",
     kClassProgress,
     kControl | kBorder,
     0},
};

// IDD_ABOUTBOX.
constexpr ControlTemplate kAboutControls[] = {
    {kNoId,
     ControlKind::kIcon,
     {11, 17, 20, 20},
     "",
     kClassStatic,
     kControl | kSsIcon,
     0,
     IDR_MAINFRAME},
    {IDC_VERSION,
     ControlKind::kText,
     {40, 15, 188, 18},
     "Varden Version 1.0",
     kClassStatic,
     kControl | kSsLeft | kSsNoPrefix,
     0},
    {kNoId,
     ControlKind::kText,
     {40, 39, 188, 8},
     kAboutSecondLine,
     kClassStatic,
     kControl | kSsLeft,
     0},
    {kIdOk,
     ControlKind::kPushButton,
     {92, 57, 50, 14},
     "OK",
     kClassButton,
     kControl | kBsDefPushButton | kGroup | kTabStop,
     0},
};

constexpr DialogTemplate kMain = {IDD_MAIN,
                                  {0, 0, 199, 300},
                                  kDialogStyle,
                                  kExAppWindow,
                                  "Varden for Windows2000",
                                  "MS Sans Serif",
                                  8,
                                  kMainControls};

constexpr DialogTemplate kProgress = {
    IDD_PROGRESS,     {0, 0, 187, 47}, kDialogStyle, 0, "Now processing...", "ＭＳ Ｐゴシック", 9,
    kProgressControls};

constexpr DialogTemplate kAbout = {
    IDD_ABOUTBOX,  {0, 0, 235, 78}, kDialogStyle, 0, "About Varden", "MS Sans Serif", 9,
    kAboutControls};

}  // namespace

const ControlTemplate* DialogTemplate::Find(int control_id) const {
  for (const ControlTemplate& control : controls) {
    if (control.id == control_id) return &control;
  }
  return nullptr;
}

const DialogTemplate& MainDialogTemplate() {
  return kMain;
}
const DialogTemplate& ProgressTemplate() {
  return kProgress;
}
const DialogTemplate& AboutBoxTemplate() {
  return kAbout;
}

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate* dialog : {&kMain, &kProgress, &kAbout}) {
    if (dialog->id == id) return dialog;
  }
  return nullptr;
}

}  // namespace varden::ui
