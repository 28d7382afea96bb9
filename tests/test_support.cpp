#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

MsgResult FakePlatform::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                   MsgButtons buttons, MsgIcon icon) {
    messages.push_back({text, caption, buttons, icon, owner != nullptr});
    if (!answers.empty()) {
        const MsgResult answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

bool FakePlatform::GetVersionEx(OsVersionInfo& info) {
    if (!versionReadable) return false;
    info.dwMajorVersion = majorVersion;
    return true;
}

bool FakePlatform::OpenUrl(const QString& url) {
    openedUrls.push_back(url);
    return openUrlSucceeds;
}

std::vector<QString> FakePlatform::texts() const {
    std::vector<QString> result;
    for (const auto& message : messages) result.push_back(message.text);
    return result;
}

TempFolder::TempFolder() { m_dir.setAutoRemove(true); }

QString TempFolder::write(const QString& relative, const QByteArray& content) const {
    const QString path = file(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(path);
    if (out.open(QIODevice::WriteOnly)) out.write(content);
    return path;
}

QString TempFolder::mkdir(const QString& relative) const {
    const QString path = file(relative);
    QDir().mkpath(path);
    return path;
}

QString ReadText(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
}
