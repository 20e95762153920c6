#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// An RGB picture for the simulator's sample files and thumbnails, read and written with
// libpng and libjpeg directly: the simulator is a headless program and loads no GUI library.
class RgbImage {
public:
    RgbImage() = default;
    RgbImage(int width, int height, uint8_t r, uint8_t g, uint8_t b);

    bool isNull() const { return m_width <= 0 || m_height <= 0; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // A PNG or JPEG file's picture; null when it is neither or cannot be read.
    static RgbImage decode(const QByteArray& bytes);
    static RgbImage load(const QString& path);

    // A white disc (the samples' motif).
    void fillDisc(int cx, int cy, int radius);
    // Scaled to fit within side x side, keeping the aspect ratio (each pixel the mean of
    // the ones it covers).
    RgbImage fitted(int side) const;

    QByteArray png() const;
    QByteArray jpeg(int quality = 85) const;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<uint8_t> m_rgb; // rows top down, 3 bytes a pixel
};
