#pragma once

#include <QByteArray>
#include <vips/vips8>

namespace decoder {

/// A libvips blob over bytes that outlive every image made from it (the
/// decoder keeps the photo's bytes for as long as it runs): nothing is copied.
class Blob {
public:
    explicit Blob(const QByteArray& bytes)
        : m_blob(vips_blob_new(nullptr, bytes.constData(), size_t(bytes.size()))) {}
    ~Blob() { vips_area_unref(VIPS_AREA(m_blob)); }
    Blob(const Blob&) = delete;
    Blob& operator=(const Blob&) = delete;

    VipsBlob* get() const { return m_blob; }

private:
    VipsBlob* m_blob;
};

}  // namespace decoder
