#include "frontend/size_rules.h"

#include <cmath>
#include <limits>

#include "host/base_folder.h"

namespace frontend {

int32_t ParseIntField(const QString& text, int bufferSize) {
    const QStringView seen = QStringView(text).left(std::max(bufferSize - 1, 0));
    qsizetype i = 0;
    while (i < seen.size() && (seen[i] == u' ' || (seen[i] >= u'\t' && seen[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < seen.size() && (seen[i] == u'+' || seen[i] == u'-')) negative = seen[i++] == u'-';
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < seen.size() && seen[i] >= u'0' && seen[i] <= u'9'; ++i) {
        value = std::min(value * 10 + (seen[i].unicode() - u'0'), kLimit);
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min(value, kLimit - 1));
}

std::optional<int32_t> ProportionalSide(int32_t photoFrom, int32_t photoTo, int32_t typed) {
    if (photoFrom <= 0 || photoTo <= 0) return std::nullopt;
    const double quotient = static_cast<double>(photoTo) / static_cast<double>(photoFrom);
    // A positive side never makes the other vanish: a sliver stays one pixel.
    const double product = std::max(std::trunc(quotient * typed), typed > 0 ? 1.0 : -HUGE_VAL);
    if (product >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (product <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(product);
}

QString PhotoFileName(const QString& path) {
    // A URL-like path ("ftp:...", "http:...") is its own name; an absolute
    // path starting at the root ("/ab:/trip.png") never is one.
    const bool urlLike =
        (path.size() > 3 && path[3] == u':') || (path.size() > 4 && path[4] == u':');
    if (urlLike && !path.startsWith(u'/')) return path;
    return path.mid(path.lastIndexOf(host::PathSeparator()) + 1);
}

QString DefaultOutputFile(const QString& folder, const QString& photoPath) {
    QString base = PhotoFileName(photoPath);
    const qsizetype dot = base.lastIndexOf(u'.');
    if (dot >= 0) base.truncate(dot);
    return folder + base + QStringLiteral("_out.tif");
}

QString WithTifExtension(const QString& path) {
    const qsizetype nameStart = path.lastIndexOf(host::PathSeparator()) + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    const QString stem = dot >= nameStart ? path.left(dot) : path;
    return stem + QStringLiteral(".tif");
}

QString SaveDialogFolder(const QString& outputFile) {
    const qsizetype cut = outputFile.lastIndexOf(host::PathSeparator());
    if (cut < 0) return QStringLiteral(".");
    return cut == 0 ? QString(host::PathSeparator())
                    : outputFile.left(cut);  // the root keeps its separator
}

}  // namespace frontend
