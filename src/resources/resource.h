#pragma once

// Numeric identifiers of the dialogs, their controls and the menu commands, as
// the templates and the language files' keys know them.

namespace res {

// Dialog templates and other resources.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_PROGRAM_TIF = 102;
inline constexpr int IDR_MAINFRAME = 128;  // application icon
inline constexpr int IDR_MENU_LANGUAGE_POPUP = 129;

// Standard command ids.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;

// Controls of the main dialog.
inline constexpr int IDC_BUTTON_CONVERT = 1000;
inline constexpr int IDC_BUTTON_OPEN_PHOTO = 1001;
inline constexpr int IDC_STATIC_PICTURE = 1002;
inline constexpr int IDC_EDIT_OUTPUT_FILE = 1003;
inline constexpr int IDC_BUTTON_OUTPUT_FILE_BROWSE = 1004;
inline constexpr int IDC_EDIT_OUTPUT_WIDTH = 1005;
inline constexpr int IDC_EDIT_OUTPUT_HEIGHT = 1006;
inline constexpr int IDC_STATIC_OUTPUT_WIDTH = 1007;
inline constexpr int IDC_STATIC_OUTPUT_HEIGHT = 1008;
inline constexpr int IDC_STATIC_PHOTO_INFO = 1009;
inline constexpr int IDC_STATIC_KEEP_RATIO_CALCULATOR = 1010;
inline constexpr int IDC_BUTTON_BASE_WIDTH = 1011;
inline constexpr int IDC_BUTTON_BASE_HEIGHT = 1012;
inline constexpr int IDC_STATIC_GROUP_ROTATE = 1017;
inline constexpr int IDC_RADIO_ROTATE_0 = 1018;
inline constexpr int IDC_RADIO_ROTATE_90 = 1019;
inline constexpr int IDC_RADIO_ROTATE_180 = 1020;
inline constexpr int IDC_RADIO_ROTATE_270 = 1021;
inline constexpr int IDC_STATIC_FLIP = 1022;
inline constexpr int IDC_RADIO_FLIP_NO = 1023;
inline constexpr int IDC_RADIO_FLIP_HORIZONTAL = 1024;
inline constexpr int IDC_RADIO_FLIP_VERTICAL = 1025;
inline constexpr int IDC_BUTTON_HOMEPAGE = 1033;
inline constexpr int IDC_BUTTON_HELP = 1034;
inline constexpr int IDC_BUTTON_EXIT = 1037;
inline constexpr int IDC_STATIC_OUTPUT_FILENAME = 1038;
inline constexpr int IDC_COMBO_FRAME_DIMENSION = 1039;
inline constexpr int IDC_STATIC_FRAME_RANGE = 1040;
inline constexpr int IDC_EDIT_FRAME_NUMBER = 1041;
inline constexpr int IDC_BUTTON_FONT = 1042;
inline constexpr int IDC_EDIT_TEXT_X = 1043;
inline constexpr int IDC_EDIT_TEXT_Y = 1044;
inline constexpr int IDC_EDIT_TEXT = 1045;
inline constexpr int IDC_STATIC_ADD_TEXT = 1046;
inline constexpr int IDC_STATIC_TEXT_POSITION = 1047;
inline constexpr int IDC_STATIC_FONT_FACE = 1048;

// Controls of the About box.
inline constexpr int IDC_ABOUT_ICON = 1100;
inline constexpr int IDC_ABOUT_VERSION = 1101;
inline constexpr int IDC_ABOUT_LICENSE = 1102;

// Menu commands.
inline constexpr int IDM_ABOUT = 32771;
inline constexpr int IDM_POPUPMENU_FONT = 32772;
inline constexpr int IDM_CONVERT_TO_SRGB = 32773;
inline constexpr int IDM_AUTO_ORIENT = 32774;
inline constexpr int IDM_SHOW_RESULT = 32775;
inline constexpr int IDM_TEXT_UPRIGHT = 32776;
inline constexpr int IDM_METADATA_RIGHTS = 32777;
inline constexpr int IDM_METADATA_ALL = 32778;
inline constexpr int IDM_METADATA_NONE = 32779;
inline constexpr int IDM_KEEP_PROPORTIONS = 32780;
inline constexpr int IDM_SHOW_FULL_SIZE = 32781;
inline constexpr int ID_LANGUAGE_FIRST = 45400;
inline constexpr int ID_LANGUAGE_LAST = 46399;

}  // namespace res
