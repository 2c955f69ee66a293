// kestryn-render-artwork: renders the SVG artwork into the PNG and ICNS files the build ships.
//   kestryn-render-artwork SOURCE.svg OUTPUT.png SIZE
//   kestryn-render-artwork SOURCE.svg OUTPUT.icns
#include "artwork/IconFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>

namespace {

QImage render(QSvgRenderer& renderer, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter);
    painter.end();
    return image;
}

QByteArray pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

int fail(const char* message, const char* path = "") {
    std::fprintf(stderr, "%s%s\n", message, path);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return fail("用法：kestryn-render-artwork 源文件.svg 输出.png 边长 | 源文件.svg 输出.icns");
    }
    QSvgRenderer renderer{QString::fromLocal8Bit(argv[1])};
    if (!renderer.isValid()) {
        return fail("无法读取图稿：", argv[1]);
    }
    const QString output = QString::fromLocal8Bit(argv[2]);
    QByteArray bytes;
    if (output.endsWith(QLatin1String(".icns"))) {
        std::vector<IconFile::Entry> entries;
        for (const IconFile::ChunkSize& chunk : IconFile::chunkSizes()) {
            entries.push_back({chunk.type, pngBytes(render(renderer, chunk.size))});
        }
        bytes = IconFile::encode(entries);
    } else {
        bool valid = false;
        const int size = argc == 4 ? QString::fromLocal8Bit(argv[3]).toInt(&valid) : 0;
        if (!valid || size <= 0) {
            return fail("边长必须是正整数：", argc == 4 ? argv[3] : "");
        }
        bytes = pngBytes(render(renderer, size));
    }
    if (!writeFile(output, bytes)) {
        return fail("无法写入输出文件：", argv[2]);
    }
    return 0;
}
