#include "ui/main_controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "resources/resource.h"
#include "ui/black_frame.h"
#include "ui/dialog_builder.h"

namespace ui {

MainControls FindMainControls(const BuiltDialog& built) {
    const auto find = [&built]<typename Control>(Control*& control, int id) {
        control = qobject_cast<Control*>(built.item(id));
        Q_ASSERT_X(control, "FindMainControls", "the template lacks a control");
    };
    MainControls c;
    find(c.openPhoto, res::IDC_BUTTON_OPEN_PHOTO);
    find(c.convert, res::IDC_BUTTON_CONVERT);
    find(c.browse, res::IDC_BUTTON_OUTPUT_FILE_BROWSE);
    find(c.font, res::IDC_BUTTON_FONT);
    find(c.baseWidth, res::IDC_BUTTON_BASE_WIDTH);
    find(c.baseHeight, res::IDC_BUTTON_BASE_HEIGHT);
    find(c.exit, res::IDC_BUTTON_EXIT);
    find(c.help, res::IDC_BUTTON_HELP);
    find(c.homepage, res::IDC_BUTTON_HOMEPAGE);
    find(c.picture, res::IDC_STATIC_PICTURE);
    find(c.photoInfo, res::IDC_STATIC_PHOTO_INFO);
    find(c.frameRange, res::IDC_STATIC_FRAME_RANGE);
    find(c.fontFace, res::IDC_STATIC_FONT_FACE);
    find(c.outputWidthLabel, res::IDC_STATIC_OUTPUT_WIDTH);
    find(c.outputHeightLabel, res::IDC_STATIC_OUTPUT_HEIGHT);
    find(c.outputFileLabel, res::IDC_STATIC_OUTPUT_FILENAME);
    find(c.textLabel, res::IDC_STATIC_ADD_TEXT);
    find(c.positionLabel, res::IDC_STATIC_TEXT_POSITION);
    find(c.frameDimension, res::IDC_COMBO_FRAME_DIMENSION);
    find(c.frameNumber, res::IDC_EDIT_FRAME_NUMBER);
    find(c.outputFile, res::IDC_EDIT_OUTPUT_FILE);
    find(c.outputWidth, res::IDC_EDIT_OUTPUT_WIDTH);
    find(c.outputHeight, res::IDC_EDIT_OUTPUT_HEIGHT);
    find(c.text, res::IDC_EDIT_TEXT);
    find(c.textX, res::IDC_EDIT_TEXT_X);
    find(c.textY, res::IDC_EDIT_TEXT_Y);
    find(c.rotate[0], res::IDC_RADIO_ROTATE_0);
    find(c.rotate[1], res::IDC_RADIO_ROTATE_90);
    find(c.rotate[2], res::IDC_RADIO_ROTATE_180);
    find(c.rotate[3], res::IDC_RADIO_ROTATE_270);
    find(c.flip[0], res::IDC_RADIO_FLIP_NO);
    find(c.flip[1], res::IDC_RADIO_FLIP_HORIZONTAL);
    find(c.flip[2], res::IDC_RADIO_FLIP_VERTICAL);
    return c;
}

}  // namespace ui
