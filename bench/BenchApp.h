#pragma once
// The benchmarks share one binary whose main is Google Benchmark's, so the
// application object (needed by QBitmap and widgets) is made on first use.
#include <QApplication>

#include <cstdlib>
#include <string>

namespace benchapp {

inline bool ensureApp()
{
    if (!QCoreApplication::instance()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "pelko-bench";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// The repository's skins/default/ (PELKO_SOURCE_DIR, or found from this file).
inline std::string defaultSkinDir()
{
    const char* src = std::getenv("PELKO_SOURCE_DIR");
    const std::string here = __FILE__;
    return (src ? std::string(src) + "/" : here.substr(0, here.rfind("/bench/") + 1)) + "skins/default/";
}

} // namespace benchapp
