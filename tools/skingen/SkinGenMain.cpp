// Draws Pelko's own skins: every picture and the skin.ini of each.
//
//   cmake --build <build> --target pelko-skingen
//   QT_QPA_PLATFORM=offscreen <build>/tools/skingen/pelko-skingen skins
//
// run from the repository root; it rewrites skins/default (Pelko Harbour)
// and skins/ember (Pelko Ember). Change a skin by changing this program.
//
//   pelko-skingen --icons DIR
//
// draws the program's icon into DIR/NxN/apps/pelko.png, one per size of the
// icon theme (the build runs this for the installed icons).
#include "Parts.h"
#include "app/ProgramIcon.h"

#include <QDir>

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 3 && QString::fromLatin1(argv[1]) == QLatin1String("--icons")) {
        const QString root = QString::fromLocal8Bit(argv[2]);
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString dir = root + QStringLiteral("/%1x%1/apps").arg(size);
            if (!QDir().mkpath(dir) || !pelko::DrawProgramIcon(size).save(dir + "/pelko.png", "PNG")) {
                std::fprintf(stderr, "cannot write the icons under %s\n", qPrintable(dir));
                return 1;
            }
        }
        return 0;
    }
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("skins");
    skingen::MakeHarbour(root + "/default");
    skingen::MakeEmber(root + "/ember");
    std::printf("skins written under %s\n", qPrintable(root));
    return 0;
}
