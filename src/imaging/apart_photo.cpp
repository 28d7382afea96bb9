#include "imaging/apart_photo.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <csignal>

#include "imaging/opened_file.h"
#include "imaging/photo_internal.h"
#include "resources/texts.h"

namespace imaging {
namespace {

/// The photo's bytes go to the decoder in pieces this large.
constexpr qint64 kWriteChunk = qint64{1} << 20;
/// What the decoder may say on its standard error that the program keeps.
constexpr qsizetype kMaxErrorText = 16 << 10;

/// Processor time for a photo: a little for any file, more for a large file
/// or a large picture. Drawings that loop for ever stop within seconds.
int SecondsFor(qint64 fileBytes, int64_t pixels) {
    return int(2 + (fileBytes >> 20) + pixels / 10'000'000);
}

QString DecoderKind(PhotoKind kind) {
    return FactsOf(kind).decoderWord;
}

/// True when the system stopped the decoder at its processor time limit.
bool StoppedForTime(const QProcess& process) {
#ifdef Q_OS_UNIX
    return process.exitStatus() == QProcess::CrashExit && process.exitCode() == SIGXCPU;
#else
    (void)process;
    return false;
#endif
}

/// Why a decoder that gave no whole answer did not.
QString Failure(const QProcess& process, const QString& kindName, const QString& errorText,
                bool timedOut, int seconds, const decoder::Limits& limits) {
    if (timedOut || StoppedForTime(process))
        return res::Say(res::Text::DecodingTooLong, {QString::number(seconds)});
    if (errorText.contains(QLatin1StringView("alloc"), Qt::CaseInsensitive) ||
        errorText.contains(QLatin1StringView("memory"), Qt::CaseInsensitive))
        return res::Say(res::Text::DecodingOverMemory, {QString::number(limits.maxMemory >> 20)});
    if (process.exitStatus() == QProcess::CrashExit)
        return res::Say(res::Text::KindDecoderFailed, {kindName});
    // A picture that failed while being written: the decoder says why.
    const QString said = errorText.section(u'\n', 0, 0).trimmed();
    return said.isEmpty() ? res::Say(res::Text::KindDecoderSilent, {kindName}) : said;
}

/// What the decoder is told of the surroundings: where fonts are cached and
/// temporary files go, and what a sanitizer build needs; nothing else.
QProcessEnvironment DecoderEnvironment() {
    static const QProcessEnvironment environment = [] {
        const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
        QProcessEnvironment kept;
        for (const char* name : {"HOME", "TMPDIR", "XDG_CACHE_HOME", "ASAN_OPTIONS", "LSAN_OPTIONS",
                                 "UBSAN_OPTIONS"}) {
            const QString key = QString::fromLatin1(name);
            if (system.contains(key)) kept.insert(key, system.value(key));
        }
        kept.insert(QStringLiteral("MALLOC_ARENA_MAX"), QStringLiteral("2"));
        kept.insert(QStringLiteral("VIPS_WARNING"), QStringLiteral("0"));
        return kept;
    }();
    return environment;
}

/// A photo decoded in the decoder process, one request at a time.
class ApartPhoto final : public Photo {
public:
    ApartPhoto(std::shared_ptr<const OpenedFile> file, PhotoKind kind, const OpenOptions& options,
               const decoder::Probe& probe)
        : m_file(std::move(file)),
          m_kind(kind),
          m_limits(options.limits),
          m_autoOrient(options.autoOrient),
          m_probe(probe),
          m_budget(options.budget),
          m_fileMetadata(MetadataInFile(*m_file)) {}

    void SetUpright(bool upright) override {
        if (upright != m_autoOrient) m_preview.reset();
        m_autoOrient = upright;
    }
    int CameraOrientation() const override { return m_probe.orientation; }
    bool IsUpright() const override { return m_autoOrient; }
    int Width() const override { return Swapped() ? m_probe.height : m_probe.width; }
    int Height() const override { return Swapped() ? m_probe.width : m_probe.height; }
    std::vector<FrameKind> FrameDimensions() const override { return {FrameKind::Page}; }
    uint32_t FrameCount(FrameKind dimension) const override {
        return dimension == FrameKind::Page ? uint32_t(m_probe.pages) : 0;
    }
    bool SelectActiveFrame(FrameKind dimension, uint32_t index) override {
        if (dimension != FrameKind::Page || index >= uint32_t(m_probe.pages)) return false;
        if (int(index) == m_page) return true;
        const decoder::Answer answer =
            Ask(decoder::Operation::Probe, int(index), {}, nullptr, m_budget.get());
        const auto* probe = std::get_if<decoder::Probe>(&answer);
        if (!probe) return false;
        m_probe = decoder::Probe{probe->width, probe->height, m_probe.pages, probe->orientation};
        m_page = int(index);
        m_preview.reset();
        return true;
    }
    QString Damage() const override { return m_damage; }
    QImage Preview(const QSize& size) override {
        if (size.isEmpty()) return {};
        if (m_preview && m_previewSize == size) return *m_preview;
        // Read strictly first, so that damage is told; then as far as it reads.
        const QSize stored = Swapped() ? size.transposed() : size;
        m_damage.clear();
        decoder::Answer answer =
            Ask(decoder::Operation::Preview, m_page, stored, nullptr, m_budget.get(), true);
        if (const auto* refusal = std::get_if<decoder::Refusal>(&answer);
            refusal && refusal->damage) {
            m_damage = refusal->reason.Said();
            answer = Ask(decoder::Operation::Preview, m_page, stored, nullptr, m_budget.get());
        }
        const auto* picture = std::get_if<vips::VImage>(&answer);
        try {
            m_preview = picture ? ToRgbImage(*picture, size, Orientation()) : QImage();
        } catch (const vips::VError&) {
            m_preview = QImage();
        }
        m_previewSize = size;
        return *m_preview;
    }
    double HorizontalResolution() const override {
        return ResolutionOf(m_fileMetadata.exif).value_or(kDefaultDpi);
    }
    PhotoMetadata FileMetadata() const override { return m_fileMetadata; }
    std::shared_ptr<FrameData> ActiveFrameData(const FrameUse& use) const override {
        const QSize stored = Swapped() ? use.target.transposed() : use.target;
        decoder::Answer answer = Ask(decoder::Operation::Frame, m_page, stored, use.stop,
                                     use.budget ? use.budget.get() : m_budget.get(), use.strict);
        auto frame = std::make_shared<FrameData>();
        frame->orientation = Orientation();
        if (auto* picture = std::get_if<vips::VImage>(&answer))
            frame->image = std::move(*picture);
        else if (auto* refusal = std::get_if<decoder::Refusal>(&answer))
            frame->failure = refusal->reason.Said(), frame->damaged = refusal->damage;
        return frame;
    }

private:
    int Orientation() const { return m_autoOrient ? m_probe.orientation : 1; }
    bool Swapped() const { return SwapsSides(Orientation()); }

    decoder::Answer Ask(decoder::Operation operation, int page, const QSize& size,
                        const std::atomic<bool>* stop, DecoderBudget* budget,
                        bool strict = false) const {
        decoder::Request request;
        request.kind = DecoderKind(m_kind);
        request.operation = operation;
        request.page = page;
        request.size = size;
        request.limits = m_limits;
        request.strict = strict;
        return RunDecoder(*m_file, request, int64_t{m_probe.width} * m_probe.height, stop, budget);
    }

    std::shared_ptr<const OpenedFile> m_file;
    PhotoKind m_kind;
    decoder::Limits m_limits;
    bool m_autoOrient;
    decoder::Probe m_probe;
    std::shared_ptr<DecoderBudget> m_budget;  // null: each call has its own
    int m_page = 0;
    std::optional<QImage> m_preview;
    QSize m_previewSize;
    QString m_damage;              // of the preview's page
    PhotoMetadata m_fileMetadata;  // read once, at opening: it gives the resolution too
};

}  // namespace

QString DecoderProgram() {
    const QString given = qEnvironmentVariable("TESSIVA_DECODER");
    if (!given.isEmpty()) return given;
    const QString folder = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {folder + QStringLiteral("/tessiva-decode"),
                                     folder + QStringLiteral("/../libexec/tessiva/tessiva-decode")})
        if (QFileInfo(candidate).isExecutable()) return candidate;
    return folder + QStringLiteral("/tessiva-decode");
}

decoder::Answer RunDecoder(const OpenedFile& file, decoder::Request request, int64_t pixels,
                           const std::atomic<bool>* stop, DecoderBudget* budget) {
    if (const QString problem = file.Problem(); !problem.isEmpty())
        return decoder::Refusal{problem};
    const int allowed = SecondsFor(file.Size(), pixels);
    const int64_t leftMs = int64_t{allowed} * 1000 - (budget ? budget->spentMs.load() : 0);
    if (leftMs <= 0)
        return decoder::Refusal{res::Say(res::Text::DecodingTooLong, {QString::number(allowed)})};
    request.seconds = int((leftMs + 999) / 1000);
    QProcess process;
    process.setProcessEnvironment(DecoderEnvironment());
    process.start(DecoderProgram(), request.Arguments(), QIODevice::ReadWrite);
    if (!process.waitForStarted())
        return decoder::Refusal{
            res::Say(res::Text::DecoderNotStarted, {DecoderProgram(), process.errorString()})};

    // Wall time is allowed beyond processor time: the machine may be busy.
    const QDeadlineTimer deadline(std::chrono::seconds(2 * request.seconds + 1));
    bool timedOut = false;
    bool stopped = false;
    QString errorText;
    const auto keepErrorText = [&] {
        errorText = (errorText + QString::fromLocal8Bit(process.readAllStandardError()))
                        .right(kMaxErrorText);
    };
    // Waits for more of the answer; false when none will come.
    const std::function<bool()> wait = [&] {
        for (;;) {
            if (stop && *stop) return stopped = true, false;
            if (deadline.hasExpired()) return timedOut = true, false;
            if (process.bytesAvailable() > 0) return true;
            if (process.state() == QProcess::NotRunning) return false;
            process.waitForReadyRead(100);
            keepErrorText();
        }
    };
    bool fed = true;
    for (qint64 offset = 0; offset < file.Size() && fed; offset += kWriteChunk) {
        const QByteArray chunk = file.ReadAt(offset, kWriteChunk);
        fed = !chunk.isEmpty() && process.write(chunk) == chunk.size();
        while (fed && process.bytesToWrite() > 4 * kWriteChunk) {
            if ((stop && *stop) || deadline.hasExpired() ||
                process.state() == QProcess::NotRunning) {
                fed = false;
                break;
            }
            process.waitForBytesWritten(100);
        }
    }
    process.closeWriteChannel();
    const QString kindName = request.kind.toUpper();
    decoder::Answer answer = decoder::ReadAnswer(process, request.limits, wait);
    // Given up on: not a moment more of its time.
    if (stopped || timedOut) process.kill();
    // Answered, it ends at once; on a busy machine that may take a while.
    if (process.state() != QProcess::NotRunning &&
        !process.waitForFinished(int(std::max<qint64>(deadline.remainingTime(), 1000))))
        process.kill();
    process.waitForFinished(1000);
    keepErrorText();
    // A decoder that did not say what it spent was stopped at its limit, or by us.
    const std::optional<int64_t> spent = decoder::ReadSpentTime(process.readAllStandardOutput());
    if (budget) budget->spentMs += spent.value_or(int64_t{request.seconds} * 1000);
    if (stopped) return decoder::Refusal{res::Say(res::Text::Stopped)};
    const bool whole = !std::holds_alternative<decoder::Refusal>(answer) ||
                       (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0);
    if (!whole || timedOut)
        return decoder::Refusal{
            Failure(process, kindName, errorText, timedOut, allowed, request.limits)};
    if (const QString problem = file.Problem(); !problem.isEmpty())
        return decoder::Refusal{problem};
    return answer;
}

QString DecodingFailure(const OpenedFile& file, PhotoKind kind, int page, bool strict,
                        const Limits& limits, const std::atomic<bool>* stop) {
    if (stop && *stop) return res::Say(res::Text::Stopped);
    decoder::Request request;
    request.kind = DecoderKind(kind);
    request.operation = decoder::Operation::Check;
    request.page = page;
    request.limits = limits;
    request.strict = strict;
    const decoder::Answer answer = RunDecoder(file, request, 0, stop);
    const auto* refusal = std::get_if<decoder::Refusal>(&answer);
    return refusal ? refusal->reason.Said() : QString();
}

std::unique_ptr<Photo> LoadApart(std::shared_ptr<const OpenedFile> file, PhotoKind kind,
                                 const OpenOptions& options) {
    decoder::Request request;
    request.kind = DecoderKind(kind);
    request.limits = options.limits;
    const decoder::Answer answer =
        RunDecoder(*file, request, 0, options.stop, options.budget.get());
    if (const auto* probe = std::get_if<decoder::Probe>(&answer))
        return std::make_unique<ApartPhoto>(std::move(file), kind, options, *probe);
    if (const auto* refusal = std::get_if<decoder::Refusal>(&answer))
        return MakeUndecodedPhoto(refusal->reason.Said());
    return MakeUndecodedPhoto(res::Say(res::Text::DecoderNoSize));
}

}  // namespace imaging
