#pragma once
// The services Pelko takes from the desktop, behind one small interface so
// every window can be driven headless in tests (see FakePlatform).
#include <functional>
#include <optional>
#include <string>

namespace pelko {

enum class TrayPress { Left, Right };

// Whether the machine reaches a network: Unknown where nothing tells (no
// network service); the program then behaves as when online.
enum class OnlineState { Unknown, Online, Offline };

// The window a box or dialog comes from (a QWidget in the Qt platform): the
// box is shown over it. nullptr: the window in front (our modal window, else
// the active one, else the main window).
using DialogOwner = void*;

// Where a file dialog opens and which of its filters it starts with.
struct FileDialogPlace {
    std::string startDir;        // empty: the folder used last, else the home folder
    bool preferAllFiles = false; // start with "All files (*)" instead of the first filter
};

class Platform {
public:
    virtual ~Platform() = default;

    // Modal box with an OK button. Each "\r" of the text starts a new line.
    virtual void messageBox(const std::string& text, DialogOwner owner = nullptr) = 0;

    // Shows the text, then ends the process at once with exit code 0: no
    // close handling, no QUIT, no settings write. Never returns.
    [[noreturn]] virtual void fatalEnd(const std::string& text) = 0;

    // Plays a WAV file once, asynchronously; failures are ignored.
    virtual void playSound(const std::string& wavFile) = 0;

    // Opens a "mailto:" or web address with the desktop's handler.
    virtual bool openUrl(const std::string& url) = 0;

    // Starts a program with its parameters (no shell involved); not waited for.
    virtual void launch(const std::string& program, const std::string& parameters) = 0;

    // The desktop's registered mail command line (empty when none).
    virtual std::string registeredMailCommand() = 0;

    // Notification-area icon. onPress receives left and right presses.
    virtual bool trayAdd(const std::string& tip, std::function<void(TrayPress)> onPress) = 0;
    virtual void trayRemove() = 0;
    // What the tray icon tells while it is there: its tooltip (lines
    // separated by "\n") and a mark on the picture while new mail waits.
    virtual void trayShow(const std::string& tip, bool newMail) = 0;

    // File dialogs; filter texts as the program gives them. Empty optional
    // on cancel. The save dialog starts with the filter that fits the preset
    // name's extension (one is added when none does).
    virtual std::optional<std::string> openFileDialog(const std::string& filter, const FileDialogPlace& place = {},
                                                      DialogOwner owner = nullptr) = 0;
    virtual std::optional<std::string> saveFileDialog(const std::string& presetName, const std::string& filter,
                                                      const FileDialogPlace& place = {},
                                                      DialogOwner owner = nullptr) = 0;

    // Desktop notification ("new mail"); false when no service answers.
    virtual bool notify(const std::string& title, const std::string& body) = 0;

    // Modal box with two buttons: `choice` (an "&" marks its access key) and
    // "Cancel", which is the default and answers Escape. True when the user
    // pressed `choice`. Each "\r" of the text starts a new line.
    virtual bool choiceBox(const std::string& text, const std::string& choice, DialogOwner owner = nullptr) = 0;

    // Modal question with the buttons Yes and No (No the default, Esc too):
    // true for Yes. Each "\r" of the text starts a new line.
    virtual bool askYesNo(const std::string& text, DialogOwner owner = nullptr) = 0;

    // What a click on a notification (its default action) runs, for the
    // notifications sent from now on: each keeps the action it was sent
    // with, runs it at most once, and runs it from the event loop. nullptr:
    // the next ones do nothing.
    virtual void setNotificationAction(std::function<void()> onClick) = 0;

    // The machine going to sleep and waking up (the login manager's
    // announcements). While handlers are set, the machine waits for the
    // program before it sleeps (for a few seconds at most): beforeSleep is
    // called, and the program calls sleepReady once its connections are
    // closed. afterWake is called once the machine is awake again. Both run
    // from the event loop; nullptr handlers stop the following. Without a
    // login manager nothing is ever called.
    virtual void setSleepHandlers(std::function<void()> beforeSleep, std::function<void()> afterWake)
    {
        (void)beforeSleep;
        (void)afterWake;
    }
    virtual void sleepReady() {}

    // Whether the machine is online, and its changes: onChange(false) when
    // it goes offline, onChange(true) when it is back online or has changed
    // networks (its connections may be dead: connect again). From the event
    // loop; nullptr stops it. Without a network service the state stays
    // Unknown and nothing is called.
    virtual void setOnlineHandler(std::function<void(bool online)> onChange) { (void)onChange; }
    virtual OnlineState isOnline() { return OnlineState::Unknown; }
};

// Turns the "\r" line breaks of the program's messages into "\n".
inline std::string messageLines(std::string text)
{
    for (char& c : text)
        if (c == '\r')
            c = '\n';
    return text;
}

} // namespace pelko
