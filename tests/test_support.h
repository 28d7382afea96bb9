#pragma once

#include <QString>
#include <QTemporaryDir>
#include <ostream>
#include <vector>

// Test cases read best with the layers' names unqualified.
namespace host {}
namespace settings {}
namespace i18n {}
namespace imaging {}
namespace frontend {}
namespace res {}
namespace ui {}
using namespace host;
using namespace i18n;
using namespace imaging;
using namespace frontend;
using namespace res;
using namespace ui;
using namespace Qt::Literals::StringLiterals;

/// A fresh temporary folder that tests write into; removed afterwards.
class TempFolder {
public:
    TempFolder();
    QString path() const { return m_dir.path(); }
    /// @p relative inside the folder.
    QString file(const QString& relative) const { return m_dir.filePath(relative); }
    /// Creates the file @p relative (and its folders) holding @p content.
    QString write(const QString& relative, const QByteArray& content = {}) const;
    /// Creates the folder @p relative and its parents.
    QString mkdir(const QString& relative) const;

private:
    QTemporaryDir m_dir;
};

/// The text of the file at @p path, or an empty string.
QString ReadText(const QString& path);

/// Lets test failures print strings as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
