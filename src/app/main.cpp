// Pelko: a desktop mail checker. Takes no command-line arguments.
#include "app/Pelko.h"
#include "app/PelkoApplication.h"
#include "app/SingleInstance.h"
#include "configdialog/ConfigDialog.h"
#include "platform/HandlerGuard.h"
#include "platform_qt/QtPlatform.h"
#include "viewer/MsgList.h"
#include "mime/TempFiles.h"

#include <csignal>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    // Attachment files of our own, and what runs that were killed left.
    pelko::StartTempFiles();
    // Wayland lets no program place or shape its own window: run through
    // XWayland unless the user chose a platform.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("WAYLAND_DISPLAY") && std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);

    pelko::PelkoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelko"));
    QApplication::setWindowIcon(pelko::MakeProgramIcon());
    // The main window is a tool window; the program ends when it closes.
    QApplication::setQuitOnLastWindowClosed(false);

    pelko::QtPlatform platform;
    app.setPlatform(&platform);

    pelko::Commun commun;
    pelko::RunGuarded(platform, [&] { commun.ProgramDir = pelko::ProgramDirectory(); });

    // One Pelko per configuration folder: a second start brings the first forward.
    pelko::SingleInstance instance(commun.ProgramDir);
    if (!instance.Claim())
        return 0;

    // FormCreate runs here, before the other two windows exist.
    pelko::TPelko mainWindow(commun, platform);
    QObject::connect(&mainWindow, &pelko::TPelko::closed, &app, &QCoreApplication::quit);

    platform.setMainWindow(&mainWindow);
    instance.OnRaise = [&mainWindow] { mainWindow.BringForward(); };
    // The configuration dialog and the message window are built when first
    // needed: start-up builds and shows the main window only.
    std::unique_ptr<pelko::TConfig> config;
    std::unique_ptr<pelko::TMsgList> msgList;
    mainWindow.SetWindowMakers(
        [&] {
            // A child of the main window: the window manager keeps it above it.
            config = std::make_unique<pelko::TConfig>(commun, platform, mainWindow, &mainWindow);
            return config.get();
        },
        [&] {
            msgList = std::make_unique<pelko::TMsgList>(mainWindow);
            return msgList.get();
        });

    mainWindow.show();
    return app.exec();
}
