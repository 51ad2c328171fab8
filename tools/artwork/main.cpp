// Draws every picture of the skin and writes them, with their double-resolution twins and the
// resource list, into the folder given as the only argument (normally res/).
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include "Artwork.h"

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrel_artwork OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "kestrel_artwork: cannot create %s\n", argv[1]);
        return 1;
    }
    QStringList files;
    for (const Artwork& art : AllArtwork()) {
        for (int scale : {1, 2}) {
            const QString name = art.stem + (scale == 2 ? QStringLiteral("@2x.png") : ".png");
            if (!Render(art, scale).save(out.filePath(name), "PNG")) {
                std::fprintf(stderr, "kestrel_artwork: cannot write %s\n", qPrintable(name));
                return 1;
            }
            files << name;
        }
    }
    QFile qrc(out.filePath(QStringLiteral("kestrel.qrc")));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "kestrel_artwork: cannot write kestrel.qrc\n");
        return 1;
    }
    QTextStream qrcText(&qrc);
    qrcText << "<!-- Written by tools/artwork; run the artwork target to remake. -->\n"
            << "<RCC>\n    <qresource prefix=\"/skin\">\n";
    for (const QString& name : files) {
        qrcText << "        <file>" << name << "</file>\n";
    }
    qrcText << "    </qresource>\n</RCC>\n";
    std::printf("kestrel_artwork: %lld pictures written to %s\n",
                static_cast<long long>(files.size()), qPrintable(out.path()));
    return 0;
}
