#include "cli/batch.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <algorithm>
#include <thread>

#include "app/base_folder.h"
#include "i18n/language.h"
#include "imaging/conversion.h"
#include "imaging/photo.h"
#include "imaging/size_rules.h"
#include "messages/step_messages.h"
#include "resources/resource.h"

namespace cli {

using app::FolderOf;
using app::PathSeparator;
using i18n::FormatMessage;
using i18n::g_Language;

namespace {

/// The frame dimension the options name for @p photo, or nothing.
std::optional<QUuid> DimensionFor(const Options& options, const imaging::Photo& photo) {
    const std::vector<QUuid> dimensions = photo.FrameDimensions();
    if (dimensions.empty()) return std::nullopt;
    if (options.dimension.isEmpty()) return dimensions.front();
    const QString wanted = options.dimension.toLower();
    for (size_t i = 0; i < dimensions.size(); ++i) {
        const QString name = imaging::FrameDimensionName(dimensions[i], int(i)).toLower();
        if (name == wanted || name == QStringLiteral("framedimension") + wanted ||
            QString::number(i) == wanted)
            return dimensions[i];
    }
    return std::nullopt;
}

/// @p message followed by @p reason in brackets, when there is one.
QString WithReason(const QString& message, const QString& reason) {
    return reason.isEmpty() ? message : QStringLiteral("%1 (%2)").arg(message, reason);
}

}  // namespace

QString OutputFor(const Options& options, const QString& input) {
    if (!options.output.isEmpty()) return options.output;
    const QString folder =
        options.outputDir.isEmpty()
            ? FolderOf(QDir::toNativeSeparators(QFileInfo(input).absoluteFilePath()))
            : QDir::toNativeSeparators(QDir::cleanPath(options.outputDir)) + PathSeparator();
    return imaging::DefaultOutputFile(folder, QDir::toNativeSeparators(input));
}

FileResult ConvertFile(const Options& options, const QString& input) {
    FileResult result{input, OutputFor(options, input), false, {}, {}};
    const auto say = [&](int id, const QString& reason = {}) {
        result.messages << WithReason(g_Language.GetString(id), reason);
    };

    const std::unique_ptr<imaging::Photo> photo =
        imaging::LoadPhoto(input, imaging::OpenOptions{options.autoOrient});
    const int photoWidth = photo->Width();
    const int photoHeight = photo->Height();
    if (photoWidth <= 0) return say(res::IDS_STRING126, photo->LoadFailure()), result;
    if (photoHeight <= 0) return say(res::IDS_STRING127, photo->LoadFailure()), result;

    const std::optional<QUuid> dimension = DimensionFor(options, *photo);
    if (options.frame != 0 || !options.dimension.isEmpty()) {
        if (!dimension || options.frame < 0 ||
            !photo->SelectActiveFrame(*dimension, static_cast<uint32_t>(options.frame)))
            return say(res::IDS_STRING121), result;
    }

    // Sizes as the window's calculator gives them.
    int width = options.width.value_or(photoWidth);
    int height = options.height.value_or(photoHeight);
    if (options.width && !options.height)
        height = imaging::ProportionalSide(photoWidth, photoHeight, width).value_or(0);
    if (options.height && !options.width)
        width = imaging::ProportionalSide(photoHeight, photoWidth, height).value_or(0);
    if (width <= 0) return say(res::IDS_STRING111), result;
    if (height <= 0) return say(res::IDS_STRING112), result;

    if (!options.overwrite && QFileInfo::exists(result.output)) {
        result.messages << QStringLiteral("%1 exists; --overwrite replaces it").arg(result.output);
        return result;
    }
    imaging::ConversionOrder order;
    order.width = width;
    order.height = height;
    order.angle = options.angle;
    order.flipType = options.flipType;
    order.text = options.text;
    order.font = options.font;
    order.colour = options.colour;
    order.position = options.position;
    order.outputPath = result.output;
    order.colours =
        options.toSrgb ? imaging::ColourHandling::ToSrgb : imaging::ColourHandling::KeepStored;
    order.background = options.background;
    // First strictly, so that damage is noticed; a damaged photo is then
    // converted as far as it can be read, with a warning.
    std::vector<imaging::StepFailure> failures;
    const auto attempt = [&](bool strict) {
        order.strict = strict;
        failures.clear();
        return imaging::RunConversion(*photo, order, [&](const imaging::StepFailure& failure) {
            failures.push_back(failure);
        });
    };
    result.ok = attempt(true);
    if (!result.ok && !failures.empty() && failures.back().step == imaging::Step::Scale) {
        const QString damage = failures.back().reason;
        result.ok = attempt(false);
        if (result.ok)
            result.warnings << WithReason(g_Language.GetString(res::IDS_STRING136), damage);
    }
    for (const imaging::StepFailure& failure : failures)
        say(messages::MessageIdFor(failure.step), failure.reason);
    return result;
}

std::vector<FileResult> ConvertAll(
    const Options& options, int jobs, const std::atomic<bool>& stop,
    const std::function<void(const FileResult&, int finished)>& done) {
    std::vector<FileResult> results(static_cast<size_t>(options.inputs.size()));
    // Which input writes each output first: a later one would overwrite it.
    QHash<QString, QString> writers;
    std::vector<QString> collisions(results.size());
    for (qsizetype i = 0; i < options.inputs.size(); ++i) {
        FileResult& unconverted = results[size_t(i)];
        unconverted.input = options.inputs[i];
        unconverted.output = OutputFor(options, options.inputs[i]);
        const QString key = QFileInfo(unconverted.output).absoluteFilePath();
        if (const auto first = writers.constFind(key); first != writers.cend())
            collisions[size_t(i)] = FormatMessage(g_Language.GetString(res::IDS_STRING135),
                                                  {unconverted.output, *first});
        else
            writers.insert(key, options.inputs[i]);
    }
    std::atomic<qsizetype> next{0};
    QMutex reporting;
    int finished = 0;
    const auto work = [&] {
        for (qsizetype i = next++; i < options.inputs.size() && !stop; i = next++) {
            FileResult result = results[size_t(i)];
            if (collisions[size_t(i)].isEmpty())
                result = ConvertFile(options, options.inputs[i]);
            else
                result.messages << collisions[size_t(i)];
            const QMutexLocker lock(&reporting);
            results[size_t(i)] = result;
            done(result, ++finished);
        }
    };
    const int threads = std::clamp(jobs, 1, int(std::max<qsizetype>(options.inputs.size(), 1)));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();
    return results;
}

std::optional<QFont> ParseFontDescription(const QString& description) {
    QStringList words = description.split(u' ', Qt::SkipEmptyParts);
    QFont font;
    bool sized = false;
    while (!words.isEmpty()) {
        const QString word = words.back().toLower();
        bool number = false;
        const int size = word.toInt(&number);
        if (number && size > 0 && size <= 4096 && !sized) {
            font.setPixelSize(size);
            sized = true;
        } else if (word == u"bold") {
            font.setBold(true);
        } else if (word == u"italic") {
            font.setItalic(true);
        } else if (word == u"underline") {
            font.setUnderline(true);
        } else if (word == u"strikeout") {
            font.setStrikeOut(true);
        } else {
            break;
        }
        words.removeLast();
    }
    if (words.isEmpty()) return std::nullopt;
    font.setFamily(words.join(u' '));
    if (!sized) font.setPixelSize(13);
    return font;
}

}  // namespace cli
