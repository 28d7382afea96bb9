#include "cli/report.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <memory>

#include "host/native_file.h"
#include "resources/texts.h"

namespace cli {

QString StatusOf(const FileResult& result) {
    if (result.ok)
        return result.warnings.isEmpty() ? QStringLiteral("converted") : QStringLiteral("warning");
    if (result.stopped) return QStringLiteral("stopped");
    return result.skipped ? QStringLiteral("skipped") : QStringLiteral("failed");
}

Report::Report(const QString& path, bool append) {
    // A file that is there and holds something else (a photo listed in
    // --files-from, say) is no report of ours to replace.
    if (path != u"-") {
        QString ignored;
        const std::unique_ptr<QFile> old = host::OpenRegularFile(path, &ignored);
        const QByteArray start = old ? old->read(2) : QByteArray();
        if (!start.isEmpty() && start != "{\"") {
            m_error = res::Say(res::Text::NotAReport, {path});
            return;
        }
    }
    const bool opened = path == u"-"
                            ? m_file.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)
                            : (m_file.setFileName(path),
                               m_file.open(append ? QIODevice::Append : QIODevice::WriteOnly));
    if (!opened) m_error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
}

void Report::Add(const FileResult& result) {
    if (!m_error.isEmpty()) return;
    QJsonObject line{{QStringLiteral("input"), result.input},
                     {QStringLiteral("output"), result.output},
                     {QStringLiteral("status"), StatusOf(result)},
                     {QStringLiteral("seconds"),
                      std::round((result.openSeconds + result.convertSeconds) * 1000) / 1000}};
    if (!result.ok && !result.skipped && !result.stopped)
        line.insert(QStringLiteral("error"),
                    (result.messages + result.warnings).join(QStringLiteral("; ")));
    else if (!result.warnings.isEmpty())
        line.insert(QStringLiteral("warning"), result.warnings.join(QStringLiteral("; ")));
    if (result.cameraOrientation != 1)
        line.insert(QStringLiteral("camera_orientation"), result.cameraOrientation);
    if (result.ok) {
        line.insert(QStringLiteral("width"), result.width);
        line.insert(QStringLiteral("height"), result.height);
    }
    const QByteArray text = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    if (m_file.write(text) != text.size() || !m_file.flush())
        m_error = QStringLiteral("report: %1").arg(m_file.errorString());
}

}  // namespace cli
