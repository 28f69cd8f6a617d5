#pragma once
// The application object: the last line of the top-level error handler
// (anything a handler let escape is shown, not allowed through the event
// loop), the program directory and the program's icon.
#include "platform/Platform.h"

#include <QApplication>
#include <QIcon>

#include <string>

namespace pelko {

class PelkoApplication : public QApplication {
public:
    PelkoApplication(int& argc, char** argv);

    // Where fatal ends and error boxes go; set before the first window.
    void setPlatform(Platform* p) { platform_ = p; }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    Platform* platform_ = nullptr;
};

// Where Pelko.ini and Accounts.ini live, ending in "/" (see LocateFiles):
// PELKO_DIR, the executable's directory, or for an installed copy the
// user's configuration folder, created with a first Pelko.ini when missing.
// Throws FatalEnd when that folder cannot be made, or when the folder or its
// files are refused as another user's (TrustedFiles.h).
std::string ProgramDirectory();

// The program's icon (tray and window lists), drawn here: a small envelope.
QIcon MakeProgramIcon();

} // namespace pelko
