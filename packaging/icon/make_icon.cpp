// Writes the program's icon into a hicolor theme tree at build time: the SVG and the PNG files
// at 64 and 256 pixels, all from the drawing the window uses for its own icon.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <cstdio>

#include "app/ui/meter_icon.h"

namespace {

bool writeFile(const QString& name, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(name).path());
    QFile file(name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: halvern_make_icon THEME_DIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString svgName = root + QStringLiteral("/scalable/apps/halvern.svg");
    if (!writeFile(svgName, meterIconSvg().toUtf8())) {
        std::fprintf(stderr, "halvern_make_icon: cannot write %s\n", qPrintable(svgName));
        return 1;
    }
    for (int size : {64, 256}) {
        const QString pngName = QStringLiteral("%1/%2x%2/apps/halvern.png").arg(root).arg(size);
        QDir().mkpath(QFileInfo(pngName).path());
        if (!meterIconImage(size).save(pngName, "PNG")) {
            std::fprintf(stderr, "halvern_make_icon: cannot write %s\n", qPrintable(pngName));
            return 1;
        }
    }
    return 0;
}
