// Writes the program icon, drawn by the window's own icon painter: for the desktop's icon
// theme zoripost.svg and zoripost-N.png (N x N pixels) for every size named on the command
// line; with --ico, one Windows icon file holding every size as a PNG-compressed entry.
#include "app/artwork.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        zp::paintProgramIcon(p, size);
    }
    return image;
}

// Sizes of 1 to 1024 pixels; 0 for anything else.
int parseSize(const char* text) {
    char* end = nullptr;
    const long size = std::strtol(text, &end, 10);
    return (end != text && *end == '\0' && size >= 1 && size <= 1024) ? static_cast<int>(size) : 0;
}

void putLe(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

// An .ico file: the 6-byte header, one 16-byte directory entry per picture, then the pictures.
// Since Windows Vista an entry may be a whole PNG file; a width or height of 256 is written 0.
QByteArray icoFile(const std::vector<int>& sizes) {
    std::vector<QByteArray> pngs;
    for (const int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!drawIcon(size).save(&buffer, "PNG"))
            return {};
        pngs.push_back(png);
    }
    QByteArray out;
    putLe(out, 0, 2);
    putLe(out, 1, 2); // an icon, not a cursor
    putLe(out, static_cast<quint32>(sizes.size()), 2);
    quint32 offset = 6 + 16 * static_cast<quint32>(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        const quint32 side = sizes[i] >= 256 ? 0 : static_cast<quint32>(sizes[i]);
        putLe(out, side, 1);
        putLe(out, side, 1);
        putLe(out, 0, 2);  // no palette, reserved byte
        putLe(out, 1, 2);  // colour planes
        putLe(out, 32, 2); // bits per pixel
        putLe(out, static_cast<quint32>(pngs[i].size()), 4);
        putLe(out, offset, 4);
        offset += static_cast<quint32>(pngs[i].size());
    }
    for (const QByteArray& png : pngs)
        out.append(png);
    return out;
}

int writeIco(const char* path, int count, char** sizeArgs) {
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i) {
        const int size = parseSize(sizeArgs[i]);
        if (size == 0 || size > 256) {
            std::fprintf(stderr, "zp_icontool: bad icon size %s (1 to 256)\n", sizeArgs[i]);
            return 2;
        }
        sizes.push_back(size);
    }
    const QByteArray ico = icoFile(sizes);
    if (ico.isEmpty() || !writeFile(QString::fromLocal8Bit(path), ico)) {
        std::fprintf(stderr, "zp_icontool: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: zp_icontool OUTDIR SIZE...\n"
                   "       zp_icontool --ico FILE.ico SIZE...\n",
                   stderr);
        return 2;
    }
    // Painting into an image needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (std::strcmp(argv[1], "--ico") == 0) {
        if (argc < 4) {
            std::fputs("zp_icontool: --ico needs a file and at least one size\n", stderr);
            return 2;
        }
        return writeIco(argv[2], argc - 3, argv + 3);
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "zp_icontool: cannot make %s\n", argv[1]);
        return 1;
    }
    if (!writeFile(out.filePath(QStringLiteral("zoripost.svg")), zp::programIconSvg())) {
        std::fputs("zp_icontool: cannot write zoripost.svg\n", stderr);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = parseSize(argv[i]);
        if (size == 0) {
            std::fprintf(stderr, "zp_icontool: bad size %s\n", argv[i]);
            return 2;
        }
        const QImage image = drawIcon(size);
        const QString name = QStringLiteral("zoripost-%1.png").arg(size);
        if (!image.save(out.filePath(name), "PNG")) {
            std::fprintf(stderr, "zp_icontool: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}
