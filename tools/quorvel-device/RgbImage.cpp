#include "RgbImage.h"

#include <QFile>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>

namespace {
// Pictures beyond this are refused before any pixel is allocated.
constexpr qint64 MaxPixels = 64 * 1024 * 1024;

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf back;
};

void onJpegError(j_common_ptr info)
{
    longjmp(reinterpret_cast<JpegError*>(info->err)->back, 1);
}
} // namespace

RgbImage::RgbImage(int width, int height, uint8_t r, uint8_t g, uint8_t b)
    : m_width(width)
    , m_height(height)
    , m_rgb(size_t(width) * size_t(height) * 3)
{
    for (size_t i = 0; i < m_rgb.size(); i += 3) {
        m_rgb[i] = r;
        m_rgb[i + 1] = g;
        m_rgb[i + 2] = b;
    }
}

RgbImage RgbImage::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 256 * 1024 * 1024)
        return RgbImage();
    return decode(file.readAll());
}

RgbImage RgbImage::decode(const QByteArray& bytes)
{
    RgbImage image;
    if (bytes.startsWith("\x89PNG")) {
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&png, bytes.constData(), size_t(bytes.size())))
            return RgbImage();
        if (qint64(png.width) * png.height > MaxPixels) {
            png_image_free(&png);
            return RgbImage();
        }
        png.format = PNG_FORMAT_RGB;
        image.m_width = int(png.width);
        image.m_height = int(png.height);
        image.m_rgb.resize(PNG_IMAGE_SIZE(png));
        // Transparent pixels over white, as a thumbnail shows them.
        png_color white{255, 255, 255};
        if (!png_image_finish_read(&png, &white, image.m_rgb.data(), 0, nullptr)) {
            png_image_free(&png);
            return RgbImage();
        }
        return image;
    }
    if (!bytes.startsWith("\xff\xd8"))
        return RgbImage();
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = onJpegError;
    if (setjmp(error.back)) {
        jpeg_destroy_decompress(&info);
        return RgbImage();
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(
        &info, reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (qint64(info.image_width) * info.image_height > MaxPixels) {
        jpeg_destroy_decompress(&info);
        return RgbImage();
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image.m_width = int(info.output_width);
    image.m_height = int(info.output_height);
    image.m_rgb.resize(size_t(image.m_width) * size_t(image.m_height) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.m_rgb.data() + size_t(info.output_scanline) * size_t(image.m_width) * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

void RgbImage::fillDisc(int cx, int cy, int radius)
{
    for (int y = std::max(0, cy - radius); y < std::min(m_height, cy + radius + 1); ++y) {
        for (int x = std::max(0, cx - radius); x < std::min(m_width, cx + radius + 1); ++x) {
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius)
                std::fill_n(m_rgb.begin() + (ptrdiff_t(y) * m_width + x) * 3, 3, uint8_t(255));
        }
    }
}

RgbImage RgbImage::fitted(int side) const
{
    if (isNull() || side <= 0)
        return RgbImage();
    const double scale = std::min(1.0, std::min(double(side) / m_width, double(side) / m_height));
    RgbImage out;
    out.m_width = std::max(1, int(m_width * scale + 0.5));
    out.m_height = std::max(1, int(m_height * scale + 0.5));
    out.m_rgb.resize(size_t(out.m_width) * size_t(out.m_height) * 3);
    for (int y = 0; y < out.m_height; ++y) {
        const int y0 = int(qint64(y) * m_height / out.m_height);
        const int y1 = std::max(y0 + 1, int(qint64(y + 1) * m_height / out.m_height));
        for (int x = 0; x < out.m_width; ++x) {
            const int x0 = int(qint64(x) * m_width / out.m_width);
            const int x1 = std::max(x0 + 1, int(qint64(x + 1) * m_width / out.m_width));
            uint64_t sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy) {
                const uint8_t* p = m_rgb.data() + (size_t(sy) * size_t(m_width) + size_t(x0)) * 3;
                for (int sx = x0; sx < x1; ++sx, p += 3) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
            uint8_t* q = out.m_rgb.data() + (size_t(y) * size_t(out.m_width) + size_t(x)) * 3;
            for (int c = 0; c < 3; ++c)
                q[c] = uint8_t(sum[c] / n);
        }
    }
    return out;
}

QByteArray RgbImage::png() const
{
    if (isNull())
        return QByteArray();
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(m_width);
    png.height = png_uint_32(m_height);
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, m_rgb.data(), 0, nullptr))
        return QByteArray();
    QByteArray out(int(size), Qt::Uninitialized);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, m_rgb.data(), 0, nullptr))
        return QByteArray();
    out.resize(int(size));
    return out;
}

QByteArray RgbImage::jpeg(int quality) const
{
    if (isNull())
        return QByteArray();
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = onJpegError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.back)) {
        jpeg_destroy_compress(&info);
        free(buffer);
        return QByteArray();
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(m_width);
    info.image_height = JDIMENSION(m_height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(m_rgb.data()) + size_t(info.next_scanline) * size_t(m_width) * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray out(reinterpret_cast<const char*>(buffer), int(size));
    free(buffer);
    return out;
}
