#include "cli/batch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHashFunctions>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QSize>
#include <algorithm>
#include <cmath>
#include <thread>

#include "frontend/size_rules.h"
#include "frontend/step_messages.h"
#include "host/base_folder.h"
#include "host/native_file.h"
#include "i18n/language.h"
#include "imaging/execute.h"
#include "imaging/photo.h"

namespace cli {

using host::FolderOf;
using host::PathSeparator;

namespace {

/// The frame dimension the options name for @p photo, or nothing.
std::optional<imaging::FrameKind> DimensionFor(const Options& options,
                                               const imaging::Photo& photo) {
    const std::vector<imaging::FrameKind> dimensions = photo.FrameDimensions();
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

/// True when something is at @p path: a link counts, even one to nowhere.
bool Exists(const QString& path) {
    return host::EntryAt(path) != host::EntryKind::Missing;
}

/// The outputs claimed so far in a run: a 64-bit hash of each one's absolute
/// path and the index of the input that claimed it, in an open-addressed
/// table of 12 bytes a slot, at most three quarters full.
class ClaimedOutputs {
public:
    /// Claims @p path for input @p index: the index of the input that claimed
    /// it before, or nothing.
    std::optional<qint64> Claim(const QString& path, qint64 index) {
        if (4 * (m_used + 1) > 3 * m_keys.size()) Grow();
        const quint64 key = std::max<quint64>(qHash(path, kSeed), 1);  // 0 marks a free slot
        const size_t slot = Find(m_keys, key);
        if (m_keys[slot] == key) return m_indexes[slot];
        m_keys[slot] = key;
        m_indexes[slot] = quint32(std::min<qint64>(index, UINT32_MAX));
        ++m_used;
        return std::nullopt;
    }

private:
    static constexpr size_t kSeed = 0x7e55a;
    static size_t Find(const std::vector<quint64>& keys, quint64 key) {
        const size_t mask = keys.size() - 1;
        for (size_t i = size_t(key) & mask;; i = (i + 1) & mask)
            if (keys[i] == key || keys[i] == 0) return i;
    }
    void Grow() {
        std::vector<quint64> keys(std::max<size_t>(64, m_keys.size() * 2));
        std::vector<quint32> indexes(keys.size());
        for (size_t i = 0; i < m_keys.size(); ++i) {
            if (m_keys[i] == 0) continue;
            const size_t slot = Find(keys, m_keys[i]);
            keys[slot] = m_keys[i];
            indexes[slot] = m_indexes[i];
        }
        m_keys = std::move(keys);
        m_indexes = std::move(indexes);
    }
    std::vector<quint64> m_keys;
    std::vector<quint32> m_indexes;
    size_t m_used = 0;
};

/// @p message followed by @p reason in brackets, when there is one.
QString WithReason(const QString& message, const QString& reason) {
    return reason.isEmpty() ? message : QStringLiteral("%1 (%2)").arg(message, reason);
}

/// The conversion the options ask for, at @p size before turning.
imaging::ConversionRequest RequestFor(const Options& options, QSize size) {
    imaging::ConversionRequest request;
    request.output = size;
    request.angle = options.angle;
    request.flipType = options.flipType;
    request.text = options.text;
    request.font = options.font;
    request.colour = options.colour;
    request.placement = options.placement;
    request.textUpright = options.textUpright;
    request.colours =
        options.toSrgb ? imaging::ColourHandling::ToSrgb : imaging::ColourHandling::KeepStored;
    request.background = options.background;
    request.metadata = options.metadata;
    return request;
}

}  // namespace

std::optional<QString> NameTemplateProblem(const QString& nameTemplate) {
    static const QRegularExpression field(QStringLiteral("\\{([^{}]*)\\}"));
    QString rest = nameTemplate;
    for (const QRegularExpressionMatch& match : field.globalMatch(nameTemplate)) {
        const QString name = match.captured(1);
        if (name != u"stem" && name != u"ext" && name != u"index")
            return QStringLiteral("{%1} is not a field; the fields are %2")
                .arg(name, QString::fromLatin1(kNameFields));
    }
    rest.remove(field);
    if (rest.contains(u'{') || rest.contains(u'}'))
        return QStringLiteral("a brace without its pair");
    if (nameTemplate.contains(u'/') || nameTemplate.contains(PathSeparator()))
        return QStringLiteral("a name, not a path: use --output-dir for the folder");
    if (nameTemplate.trimmed().isEmpty()) return QStringLiteral("an empty name");
    return std::nullopt;
}

QString OutputFor(const Options& options, const QString& input, qint64 index) {
    if (!options.output.isEmpty()) return options.output;
    const bool standardInput = input == u"-";
    const QString folder =
        !options.outputDir.isEmpty()
            ? QDir::toNativeSeparators(QDir::cleanPath(options.outputDir)) + PathSeparator()
        : standardInput ? QString()
                        : FolderOf(QDir::toNativeSeparators(QFileInfo(input).absoluteFilePath()));
    // The stem and extension as the window's output name rule splits the name.
    QString stem = standardInput ? QStringLiteral("stdin")
                                 : frontend::PhotoFileName(QDir::toNativeSeparators(input));
    QString ext;
    if (const qsizetype dot = stem.lastIndexOf(u'.'); dot >= 0 && !standardInput) {
        ext = stem.mid(dot + 1);
        stem.truncate(dot);
    }
    QString name = options.nameTemplate;
    name.replace(QStringLiteral("{stem}"), stem)
        .replace(QStringLiteral("{ext}"), ext)
        .replace(QStringLiteral("{index}"), QString::number(index));
    return folder + name;
}

FileResult ConvertFile(const Options& options, const Input& input, const QString& output,
                       const std::atomic<bool>* stop) {
    FileResult result;
    result.input = input.path;
    result.output = output;
    result.index = input.index;
    const auto say = [&](res::Text text, const QString& reason = {}) {
        result.messages << WithReason(res::Say(text), reason);
    };

    QElapsedTimer clock;
    clock.start();
    const QString source = input.path == u"-" ? options.standardInputCopy : input.path;
    // One budget of decoding time for the photo, however many calls it takes.
    const auto decoderBudget = std::make_shared<imaging::DecoderBudget>();
    const std::unique_ptr<imaging::Photo> photo = imaging::LoadPhoto(
        source, imaging::OpenOptions{options.autoOrient, options.limits, 0, stop, decoderBudget});
    result.openSeconds = double(clock.nsecsElapsed()) / 1e9;
    if (photo->Width() <= 0) return say(res::Text::NoWidth, photo->LoadFailure()), result;
    if (photo->Height() <= 0) return say(res::Text::NoHeight, photo->LoadFailure()), result;

    const std::optional<imaging::FrameKind> dimension = DimensionFor(options, *photo);
    if (options.frame != 0 || !options.dimension.isEmpty()) {
        if (!dimension || options.frame < 0 ||
            !photo->SelectActiveFrame(*dimension, static_cast<uint32_t>(options.frame)))
            return say(res::Text::FrameInvalid), result;
    }
    // The chosen frame's own size: pages and icon sizes differ.
    const int photoWidth = photo->Width();
    const int photoHeight = photo->Height();

    // Sizes as the window's calculator gives them.
    int width = options.width.value_or(photoWidth);
    int height = options.height.value_or(photoHeight);
    if (options.width && !options.height)
        height = frontend::ProportionalSide(photoWidth, photoHeight, width).value_or(0);
    if (options.height && !options.width)
        width = frontend::ProportionalSide(photoHeight, photoWidth, height).value_or(0);
    if (width <= 0) return say(res::Text::WidthInvalid), result;
    if (height <= 0) return say(res::Text::HeightInvalid), result;

    const bool toDevice = options.outputDevice && output == u"-";
    // Whatever its name, an output never replaces a photo being converted.
    if (const auto written = toDevice ? std::nullopt : host::IdentityOf(result.output);
        written &&
        (written == host::IdentityOf(source) ||
         std::binary_search(options.inputFiles.begin(), options.inputFiles.end(), *written))) {
        result.messages << res::Say(res::Text::InputAsOutput, {result.output});
        return result;
    }
    if (!toDevice && options.overwrite && host::OwnedByAnotherUser(result.output))
        result.warnings << res::Say(res::Text::OtherOwner, {result.output});
    if (!toDevice && !options.overwrite && Exists(result.output)) {
        result.messages << res::Say(res::Text::OutputExists, {result.output});
        return result;
    }
    const imaging::ConversionPlan plan = imaging::PlanConversion(
        imaging::FactsOf(*photo), RequestFor(options, QSize(width, height)));
    const imaging::Budget budget{options.limits, true,    options.threadsPerPhoto,
                                 stop,           nullptr, decoderBudget};
    const imaging::Output target{result.output, options.overwrite,
                                 toDevice ? options.outputDevice : nullptr};
    // A damaged photo is converted as far as it can be read, with a warning.
    QString damage;
    clock.restart();
    const std::optional<imaging::StepFailure> failure =
        imaging::ExecuteDespiteDamage(plan, *photo, budget, target, &damage);
    result.ok = !failure;
    if (!damage.isEmpty()) result.warnings << WithReason(res::Say(res::Text::DamagedPhoto), damage);
    result.convertSeconds = double(clock.nsecsElapsed()) / 1e9;
    // Another run wrote the name meanwhile: the same reason as when it was there before.
    if (!result.ok && !options.overwrite && failure->step == imaging::Step::Save &&
        Exists(result.output)) {
        result.messages << res::Say(res::Text::OutputExists, {result.output});
        return result;
    }
    for (const imaging::StepFailure& told : imaging::WhatToTell(plan, failure))
        say(frontend::MessageFor(told.step), told.reason);
    // A photo converted despite them: what was corrected is a warning, never silent.
    if (result.ok) result.warnings << std::exchange(result.messages, {});
    if (result.ok) {
        if (photo->TurnedByCamera()) result.cameraOrientation = photo->CameraOrientation();
        const bool turned = options.angle == 90 || options.angle == 270;
        result.width = turned ? height : width;
        result.height = turned ? width : height;
    }
    return result;
}

void ConvertAll(const Options& options, InputSource& source, int photosAtOnce,
                const std::atomic<bool>& stop, const std::function<void(const FileResult&)>& done) {
    // Inputs are taken in order under one lock, so "earlier" is the list's
    // order. Outputs already claimed are kept as a hash of their path and the
    // index of the input that claimed them: a run of millions stays small.
    QMutex taking;
    ClaimedOutputs claimed;
    QSet<QString> swept;  // folders cleared of what stopped runs left, once each
    QMutex reporting;
    const auto work = [&] {
        while (!stop) {
            std::optional<Input> input;
            QString output;
            QString collision;
            QStringList removed;
            {
                const QMutexLocker lock(&taking);
                input = source.Next();
                if (!input) return;
                output = OutputFor(options, input->path, input->index);
                if (output != u"-" || !options.outputDevice) {
                    const QString folder =
                        FolderOf(QDir::toNativeSeparators(QFileInfo(output).absoluteFilePath()));
                    if (!swept.contains(folder)) {
                        swept.insert(folder);
                        for (const QString& name : host::RemoveAbandonedFiles(folder))
                            removed << folder + name;
                    }
                }
                // Names made with the input's index cannot meet; others are claimed.
                const bool unique = options.output.isEmpty() &&
                                    options.nameTemplate.contains(QStringLiteral("{index}"));
                if (!unique && (output != u"-" || !options.outputDevice)) {
                    const std::optional<qint64> first =
                        claimed.Claim(QFileInfo(output).absoluteFilePath(), input->index);
                    if (first) {
                        const QString earlier = source.NameAt(*first).value_or(
                            QStringLiteral("line %1 of the list").arg(*first + 1));
                        collision = res::Say(res::Text::OutputCollision, {output, earlier});
                    }
                }
            }
            FileResult result;
            if (!collision.isEmpty()) {
                result.input = input->path;
                result.output = output;
                result.index = input->index;
                result.messages << collision;
            } else if (options.skipExisting && Exists(output)) {
                result.input = input->path;
                result.output = output;
                result.index = input->index;
                result.skipped = true;
            } else {
                // Memory that runs out for one photo fails that photo, not the run.
                try {
                    result = ConvertFile(options, *input, output, &stop);
                } catch (const std::bad_alloc&) {
                    result = FileResult{};
                    result.input = input->path;
                    result.output = output;
                    result.index = input->index;
                    result.messages << WithReason(res::Say(res::Text::ConvertFailed),
                                                  res::Say(res::Text::OutOfMemory));
                }
                result.stopped = !result.ok && stop;
            }
            result.removed = removed;
            const QMutexLocker lock(&reporting);
            done(result);
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::max(photosAtOnce, 1); ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();
}

std::optional<int64_t> ParseByteSize(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{1,12})([KMG]?)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch()) return std::nullopt;
    const QString unit = match.captured(2).toUpper();
    const int shift = unit == u"G" ? 30 : unit == u"M" ? 20 : unit == u"K" ? 10 : 0;
    const int64_t value = match.captured(1).toLongLong();
    if (value > (int64_t{1} << (50 - shift))) return std::nullopt;
    return value << shift;
}

std::optional<FontDescription> ParseFontDescription(const QString& description) {
    QStringList words = description.split(u' ', Qt::SkipEmptyParts);
    FontDescription parsed;
    QFont& font = parsed.font;
    bool sized = false;
    while (!words.isEmpty()) {
        const QString word = words.back().toLower();
        bool number = false;
        const int size = word.toInt(&number);
        bool share = false;
        const double percent = word.endsWith(u'%') ? word.chopped(1).toDouble(&share) : 0.0;
        if (number && size > 0 && size <= 4096 && !sized) {
            font.setPixelSize(size);
            sized = true;
        } else if (share && percent > 0 && percent <= 100 && !sized) {
            parsed.percentOfHeight = percent;
            font.setPixelSize(13);  // until the picture's height is known
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
    return parsed;
}

std::optional<std::pair<QPointF, bool>> ParsePosition(const QString& text) {
    const QStringList xy = text.split(u',');
    if (xy.size() != 2) return std::nullopt;
    const QString x = xy[0].trimmed(), y = xy[1].trimmed();
    const bool percent = x.endsWith(u'%');
    if (percent != y.endsWith(u'%')) return std::nullopt;
    bool okX = false, okY = false;
    if (percent) {
        const QPointF share(x.chopped(1).toDouble(&okX), y.chopped(1).toDouble(&okY));
        if (!okX || !okY || !std::isfinite(share.x()) || !std::isfinite(share.y()))
            return std::nullopt;
        // Beyond the picture is a warning and 0 when converting, as a pixel
        // position there is; ten sides away is as far outside as any.
        const auto bounded = [](double v) { return std::clamp(v, -1000.0, 1000.0); };
        return std::pair{QPointF(bounded(share.x()), bounded(share.y())), true};
    }
    const QPoint pixels(x.toInt(&okX), y.toInt(&okY));
    if (!okX || !okY) return std::nullopt;
    return std::pair{QPointF(pixels), false};
}

}  // namespace cli
