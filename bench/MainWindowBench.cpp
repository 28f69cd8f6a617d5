// One repaint of the main window with the default skin: what every expose or
// tooltip over the window costs once the background is cached.
#include "BenchApp.h"

#include "app/Pelko.h"
#include "config/Commun.h"
#include "platform_qt/QtPlatform.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void BM_MainWindowRepaint(benchmark::State& state)
{
    if (!benchapp::ensureApp()) {
        state.SkipWithError("needs a QApplication");
        return;
    }
    char tmpl[] = "/tmp/pelko-bench-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) {
        state.SkipWithError("no temporary directory");
        return;
    }
    // No account: the window comes up disconnected and touches no network.
    std::ofstream(std::string(dir) + "/Pelko.ini", std::ios::binary)
        << "current_skin = " << benchapp::defaultSkinDir() << "\r\n";

    pelko::QtPlatform platform;
    pelko::Commun commun;
    commun.ProgramDir = std::string(dir) + "/";
    pelko::TPelko window(commun, platform);
    window.show();
    QApplication::processEvents();
    for (auto _ : state)
        window.repaint();
    window.hide();
    std::remove((std::string(dir) + "/Pelko.ini").c_str());
    rmdir(dir);
}
BENCHMARK(BM_MainWindowRepaint)->Unit(benchmark::kMicrosecond);

} // namespace
