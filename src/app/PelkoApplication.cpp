#include "app/PelkoApplication.h"

#include "app/ProgramIcon.h"
#include "config/FileLocations.h"
#include "platform/FatalEnd.h"
#include "platform/HandlerGuard.h"

#include <QPixmap>

#include <exception>
#include <string>

namespace pelko {

PelkoApplication::PelkoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool PelkoApplication::notify(QObject* receiver, QEvent* event)
{
    if (!platform_)
        return QApplication::notify(receiver, event);
    bool handled = false;
    RunGuarded(*platform_, [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

std::string ProgramDirectory()
{
    const FileLocations where =
        LocateFiles(QCoreApplication::applicationDirPath().toUtf8().toStdString(), ProcessEnvironment());
    try {
        PrepareFiles(where);
    } catch (const std::exception& e) {
        // A folder that cannot be made, or one another user controls.
        throw FatalEnd(e.what());
    }
    return where.programDir;
}

QIcon MakeProgramIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(DrawProgramIcon(size)));
    return icon;
}

} // namespace pelko
