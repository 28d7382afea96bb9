#include "resources/string_table.h"

#include <array>
#include <utility>

#include "resources/resource.h"

namespace res {
namespace {

constexpr std::array<std::pair<int, const char*>, 35> kStrings{{
    {IDS_ABOUTBOX, "&About Tessiva"},
    {IDS_LANGUAGE, "English"},
    {IDS_MESSAGE_ERROR, "Error"},
    {IDS_STRING108, "Please open a photo file first!"},
    {IDS_MESSAGE_UNKNOWN_ERROR, "Unknown error"},
    {IDS_STRING111, "The output width is invalid!"},
    {IDS_STRING112, "The output hight is invalid!"},
    {IDS_STRING113, "Failed to SetResolution!"},
    {IDS_STRING114, "Failed to SetInterpolationMode!"},
    {IDS_STRING115, "Failed to convert photo!"},
    {IDS_STRING116, "Unknown rotate angle!"},
    {IDS_STRING117, "Failed to rotate and flip photo!"},
    {IDS_STRING118, "Failed to save the file!"},
    {IDS_MESSAGE_WARNING, "Warning"},
    {IDS_STRING120, "%s exists. Do you want to replace it?"},
    {IDS_STRING121, "The frame number is invalid. Please enter again!"},
    {IDS_STRING122, "Set frame from 0 to %d"},
    {IDS_STRING123, "The text position X is out of range!"},
    {IDS_STRING124, "The text position Y is out of range!"},
    {IDS_STRING126, "Can not get the width of the photo!"},
    {IDS_STRING127, "Can not get the height of the photo!"},
    {IDS_STRING128,
     "The text position X is bigger than the photo width!, The program set it to 0 now."},
    {IDS_STRING129,
     "The text position Y is bigger than the photo height!, The program set it to 0 now."},
    {IDS_STRING130, "The text position X is out of range! The program set it to 0 now."},
    {IDS_STRING131, "The text position Y is out of range! The program set it to 0 now."},
    {IDS_STRING132, "Converted %d of %d photos"},
    {IDS_STRING133, "%d failed"},
    {IDS_STRING134, "interrupted"},
    {IDS_STRING135, "would overwrite %s, written for %s"},
    {IDS_STRING136, "warning: the photo is damaged; converted what could be read"},
    {IDS_STRING137, "%d skipped"},
    {IDS_STRING138, "Converting the photo..."},
    {IDS_STRING139, "Stop"},
    {IDS_STRING140,
     "note: the camera recorded this photo turned (orientation %d); it was written as stored, "
     "and --auto-orient sets it upright"},
    {IDS_STRING141, "turned by the camera"},
}};

}  // namespace

QString LoadBuiltinString(int id) {
    for (const auto& [stringId, text] : kStrings) {
        if (stringId == id) return QString::fromUtf8(text);
    }
    return {};
}

}  // namespace res
