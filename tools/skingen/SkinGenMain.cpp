// Draws Pelko's own skins: every picture and the skin.ini of each.
//
//   cmake --build <build> --target pelko-skingen
//   QT_QPA_PLATFORM=offscreen <build>/tools/skingen/pelko-skingen skins
//
// run from the repository root; it rewrites skins/default (Pelko Harbour)
// and skins/ember (Pelko Ember). Change a skin by changing this program.
#include "Parts.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("skins");
    skingen::MakeHarbour(root + "/default");
    skingen::MakeEmber(root + "/ember");
    std::printf("skins written under %s\n", qPrintable(root));
    return 0;
}
