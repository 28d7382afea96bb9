#include "resources/dialog_templates.h"

#include <array>

#include "resources/resource.h"

namespace res {
namespace {

using K = ControlKind;
constexpr unsigned kTab = kTabStop;
constexpr unsigned kTabGroup = kTabStop | kGroup;

constexpr std::array kMainControls{
    ControlTemplate{IDC_BUTTON_OPEN_PHOTO, K::PushButton, "Open Photo", 7, 7, 66, 14, kTab},
    ControlTemplate{IDC_BUTTON_EXIT, K::PushButton, "Exit", 305, 247, 66, 16, kTab},
    ControlTemplate{IDC_BUTTON_CONVERT, K::PushButton, "Convert", 7, 247, 68, 16, kTab},
    ControlTemplate{IDC_STATIC_PICTURE, K::BlackFrame, nullptr, 259, 7, 112, 77, kNoStyle},
    ControlTemplate{IDC_EDIT_OUTPUT_FILE, K::Edit, nullptr, 7, 224, 291, 14, kTab},
    ControlTemplate{IDC_BUTTON_OUTPUT_FILE_BROWSE, K::PushButton, "Browse", 300, 224, 71, 14, kTab},
    ControlTemplate{IDC_EDIT_OUTPUT_WIDTH, K::Edit, nullptr, 75, 36, 48, 16, kTab},
    ControlTemplate{IDC_EDIT_OUTPUT_HEIGHT, K::Edit, nullptr, 75, 58, 48, 14, kTab},
    ControlTemplate{IDC_STATIC_OUTPUT_WIDTH, K::Label, "Output Width:", 7, 40, 65, 8, kNoStyle},
    ControlTemplate{IDC_STATIC_OUTPUT_HEIGHT, K::Label, "Output Height:", 7, 59, 65, 8, kNoStyle},
    ControlTemplate{IDC_STATIC_PHOTO_INFO, K::Label, nullptr, 79, 8, 154, 14, kNoStyle},
    ControlTemplate{IDC_STATIC_KEEP_RATIO_CALCULATOR, K::GroupBox,
                    "Keeping aspect ratio calculator", 127, 25, 132, 56, kNoStyle},
    ControlTemplate{IDC_BUTTON_BASE_WIDTH, K::PushButton, "Enter width, get height", 131, 37, 126,
                    14, kTab},
    ControlTemplate{IDC_BUTTON_BASE_HEIGHT, K::PushButton, "Enter height, get width", 131, 58, 126,
                    14, kTab},
    ControlTemplate{IDC_STATIC_GROUP_ROTATE, K::GroupBox, "Rotate by angle", 7, 96, 86, 68,
                    kNoStyle},
    ControlTemplate{IDC_RADIO_ROTATE_0, K::AutoRadio, "0", 28, 107, 20, 10, kTabGroup},
    ControlTemplate{IDC_RADIO_ROTATE_90, K::AutoRadio, "90", 28, 120, 24, 10, kNoStyle},
    ControlTemplate{IDC_RADIO_ROTATE_180, K::AutoRadio, "180", 28, 133, 28, 10, kNoStyle},
    ControlTemplate{IDC_RADIO_ROTATE_270, K::AutoRadio, "270", 28, 146, 28, 10, kNoStyle},
    ControlTemplate{IDC_STATIC_FLIP, K::GroupBox, "Flip", 111, 96, 120, 68, kNoStyle},
    ControlTemplate{IDC_RADIO_FLIP_NO, K::AutoRadio, "No flip", 122, 111, 102, 10, kTabGroup},
    ControlTemplate{IDC_RADIO_FLIP_HORIZONTAL, K::AutoRadio, "Flip horizontal", 122, 129, 103, 10,
                    kNoStyle},
    ControlTemplate{IDC_RADIO_FLIP_VERTICAL, K::AutoRadio, "Flip vertical", 122, 147, 103, 10,
                    kNoStyle},
    ControlTemplate{IDC_BUTTON_HOMEPAGE, K::PushButton, "Homepage", 157, 247, 66, 16, kTab},
    ControlTemplate{IDC_BUTTON_HELP, K::PushButton, "Help", 83, 247, 66, 16, kTab},
    ControlTemplate{IDC_STATIC_OUTPUT_FILENAME, K::Label, "Output file:", 7, 209, 118, 8, kNoStyle},
    ControlTemplate{IDC_COMBO_FRAME_DIMENSION, K::DropDownList, nullptr, 250, 100, 121, 64, kTab},
    ControlTemplate{IDC_STATIC_FRAME_RANGE, K::Label, nullptr, 249, 124, 122, 8, kNoStyle},
    ControlTemplate{IDC_EDIT_FRAME_NUMBER, K::Edit, nullptr, 250, 144, 40, 14, kTab},
    ControlTemplate{IDC_BUTTON_FONT, K::PushButton, "Font", 323, 186, 48, 14, kTab},
    ControlTemplate{IDC_EDIT_TEXT_X, K::Edit, nullptr, 256, 186, 28, 14, kTab},
    ControlTemplate{IDC_EDIT_TEXT_Y, K::Edit, nullptr, 290, 186, 28, 14, kTab},
    ControlTemplate{IDC_EDIT_TEXT, K::Edit, nullptr, 8, 186, 241, 15, kTab},
    ControlTemplate{IDC_STATIC_ADD_TEXT, K::Label, "Add text to photo:", 7, 171, 240, 10, kNoStyle},
    ControlTemplate{IDC_STATIC_TEXT_POSITION, K::Label, "Position x, y:", 257, 171, 61, 10,
                    kNoStyle},
    ControlTemplate{IDC_STATIC_FONT_FACE, K::Label, nullptr, 326, 171, 44, 10, kNoStyle},
};

constexpr std::array kAboutControls{
    ControlTemplate{IDC_ABOUT_ICON, K::Icon, nullptr, 14, 14, 21, 20, kNoStyle},
    ControlTemplate{IDC_ABOUT_VERSION, K::Label, "Tessiva Version 1.0", 48, 20, 180, 8, kNoStyle},
    ControlTemplate{IDC_ABOUT_LICENSE, K::Label,
                    "Free software under the GNU General Public License, version 2 or later. "
                    "It comes with no warranty.",
                    48, 36, 212, 26, kNoStyle},
    ControlTemplate{IDOK, K::PushButton, "OK", 210, 86, 50, 14, kTabGroup},
};

constexpr DialogTemplate kMainDialog{IDD_PROGRAM_TIF, "Tessiva", 378, 273, 8, kMainControls};
constexpr DialogTemplate kAboutDialog{IDD_ABOUTBOX, "About Tessiva", 274, 110, 8, kAboutControls};

}  // namespace

const DialogTemplate& MainDialogTemplate() {
    return kMainDialog;
}
const DialogTemplate& AboutDialogTemplate() {
    return kAboutDialog;
}

}  // namespace res
