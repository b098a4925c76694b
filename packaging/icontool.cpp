// Writes the program icon for the desktop's icon theme: zoripost.svg and zoripost-N.png
// (N x N pixels) for every size named on the command line, drawn by the window's own
// icon painter.
#include "app/artwork.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstdlib>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: zp_icontool OUTDIR SIZE...\n", stderr);
        return 2;
    }
    // Painting into an image needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
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
        const int size = std::atoi(argv[i]);
        if (size < 1 || size > 1024) {
            std::fprintf(stderr, "zp_icontool: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            zp::paintProgramIcon(p, size);
        }
        const QString name = QStringLiteral("zoripost-%1.png").arg(size);
        if (!image.save(out.filePath(name), "PNG")) {
            std::fprintf(stderr, "zp_icontool: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}
