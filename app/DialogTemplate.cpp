#include "app/DialogTemplate.h"

#include "app/DialogControls.h"

namespace zel {
namespace {

using K = ControlKind;

constexpr CControlTemplate kMainControls[] = {
    {IDC_START, K::PushButton, "Start Download", 183, 51, 94, 30, true, true},
    {IDC_BROWSE, K::PushButton, "...", 292, 9, 55, 19, true, true},
    {IDC_SAVE, K::PushButton, "Save", 82, 216, 51, 16, true, true},
    {IDC_CLEAR, K::PushButton, "Clear", 218, 216, 51, 16, true, true},
    {IDCANCEL, K::PushButton, "Close", 143, 260, 73, 21, true, true},
    {-1, K::GroupBox, "Download File", 7, 1, 345, 34, false, true},
    {IDC_IMAGE_PATH, K::ReadOnlyEdit, "", 15, 11, 275, 16, true, true},
    {-1, K::Static, "COM Port :", 18, 52, 36, 8, false, true},
    {IDC_PORT, K::ComboBox, "", 60, 51, 102, 96, true, true},
    {-1, K::GroupBox, "Message", 7, 92, 345, 163, false, true},
    {IDC_LOG, K::MultiLineEdit, "", 15, 103, 330, 112, true, true},
    {IDC_PROGRESS, K::ProgressBar, "", 15, 237, 331, 11, false, true},
    {IDC_TRACE, K::CheckBox, "Trace Enable", 60, 68, 82, 14, true, true},
    {IDC_DOWNLOAD_BOOT, K::PushButton, "Download Boot", 7, 265, 66, 16, true, false},
    {-1, K::GroupBox, "Parameters", 7, 40, 167, 48, false, true},
    {IDC_HELP_BUTTON, K::PushButton, "Help", 292, 51, 55, 30, true, true},
    {IDC_PERCENT, K::CentredStatic, "", 149, 222, 55, 11, false, true},
};

constexpr CControlTemplate kCableWarningControls[] = {
    {IDOK, K::DefaultPushButton, "OK", 134, 68, 50, 14, true, true},
    {136, K::Picture, "", 7, 7, 37, 34, false, true},
    {kCableWarningTextId, K::CentredStatic,
     "Please Remove the Serial Cable Before Closing the Application \n\n And WAIT until the box REBOOT "
     "Itself",
     49, 8, 264, 43, false, true},
};

constexpr CControlTemplate kAboutControls[] = {
    {137, K::Picture, "", 11, 13, 85, 17, false, true},
    {-1, K::CentredStatic, "ORX BoxFeeder Version " BOXFEEDER_VERSION, 108, 14, 119, 8, false, true},
    {-1, K::CentredStatic, "(c) 2026 the BoxFeeder developers", 108, 29, 120, 8, false, true},
    {IDOK, K::DefaultPushButton, "OK", 93, 57, 50, 14, true, true},
};

}  // namespace

const CDialogTemplate kMainDialogTemplate{"ZELORXBoxFeeder", 359, 290, kMainControls};
const CDialogTemplate kCableWarningTemplate{"Avertissement - Warning", 320, 89, kCableWarningControls};
const CDialogTemplate kAboutTemplate{"About BoxFeeder", 236, 78, kAboutControls};

}  // namespace zel
