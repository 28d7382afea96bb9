#include "i18n/code_page.h"

#include <QStringDecoder>
#include <string>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <iconv.h>
#include <cerrno>
#endif

namespace i18n {

namespace {

QString DecodeUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

#ifdef Q_OS_WIN
QString DecodeWith(int codePage, QByteArrayView bytes) {
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) return DecodeUtf8(bytes);
    std::vector<wchar_t> buffer(static_cast<size_t>(length));
    MultiByteToWideChar(codePage, 0, bytes.data(), size, buffer.data(), length);
    return QString::fromWCharArray(buffer.data(), length);
}
#else
/// An iconv conversion from one code page to UTF-16, closed on destruction.
class Converter {
public:
    explicit Converter(int codePage)
        : m_cd(iconv_open("UTF-16LE", ("CP" + std::to_string(codePage)).c_str())) {}
    ~Converter() {
        if (ok()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    QString decode(QByteArrayView bytes) {
        QString result;
        result.reserve(bytes.size());
        char* in = const_cast<char*>(bytes.data());
        size_t inLeft = static_cast<size_t>(bytes.size());
        std::vector<char16_t> buffer(256);
        while (inLeft > 0) {
            char* out = reinterpret_cast<char*>(buffer.data());
            size_t outLeft = buffer.size() * sizeof(char16_t);
            const size_t rc = iconv(m_cd, &in, &inLeft, &out, &outLeft);
            const int error = errno;
            const size_t produced = (buffer.size() * sizeof(char16_t) - outLeft) / sizeof(char16_t);
            result.append(QStringView(buffer.data(), static_cast<qsizetype>(produced)));
            if (rc != static_cast<size_t>(-1)) break;
            if (error == E2BIG) continue;
            // An invalid or cut-off sequence: mark it and go on after its first byte.
            result.append(QChar::ReplacementCharacter);
            ++in;
            --inLeft;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        return result;
    }

private:
    iconv_t m_cd;
};

QString DecodeWith(int codePage, QByteArrayView bytes) {
    Converter converter(codePage);
    return converter.ok() ? converter.decode(bytes) : DecodeUtf8(bytes);
}
#endif

}  // namespace

QString DecodeCodePage(QByteArrayView bytes, int codePage) {
    if (codePage == kCodePageSystem || codePage == kCodePageUtf8) return DecodeUtf8(bytes);
    return DecodeWith(codePage, bytes);
}

}  // namespace i18n
