#pragma once
#include "platform/Platform.h"

#include <QUrl>

#include <memory>
#include <optional>
#include <string>
#include <utility>

class QSystemTrayIcon;
class QWidget;
struct ca_context;

namespace pelko {

class NotificationActions;
class NetworkWatch;
class SleepWatch;

// The desktop services on Linux through Qt (and xdg-mime for the mail handler).
class QtPlatform : public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    void messageBox(const std::string& text, DialogOwner owner) override;
    [[noreturn]] void fatalEnd(const std::string& text) override;
    void playSound(const std::string& wavFile) override;
    bool openUrl(const std::string& url) override;
    void launch(const std::string& program, const std::string& parameters) override;
    std::string registeredMailCommand() override;
    bool trayAdd(const std::string& tip, std::function<void(TrayPress)> onPress) override;
    void trayRemove() override;
    void trayShow(const std::string& tip, bool newMail) override;
    std::optional<std::string> openFileDialog(const std::string& filter, const FileDialogPlace& place,
                                              DialogOwner owner) override;
    std::optional<std::string> saveFileDialog(const std::string& presetName, const std::string& filter,
                                              const FileDialogPlace& place, DialogOwner owner) override;

    // The window boxes and dialogs fall back to when no other of ours is in front.
    void setMainWindow(QWidget* w) { mainWindow_ = w; }
    // The tray icon while there is one (for tests).
    const QSystemTrayIcon* trayIcon() const { return tray_.get(); }
    bool notify(const std::string& title, const std::string& body) override;
    bool choiceBox(const std::string& text, const std::string& choice, DialogOwner owner) override;
    bool askYesNo(const std::string& text, DialogOwner owner) override;
    void setNotificationAction(std::function<void()> onClick) override;
    void setSleepHandlers(std::function<void()> beforeSleep, std::function<void()> afterWake) override;
    void sleepReady() override;
    void setOnlineHandler(std::function<void(bool online)> onChange) override;
    OnlineState isOnline() override;

private:
    QWidget* ownerFor(DialogOwner owner) const;
    QString startDir(const FileDialogPlace& place) const;

    QWidget* mainWindow_ = nullptr;
    QString lastDir_; // the folder of the last file chosen
    std::unique_ptr<QSystemTrayIcon> tray_;
    // What the tray icon shows now (its tip and whether it is marked); unset without one.
    struct TrayState {
        std::string tip;
        bool newMail = false;
    };
    std::optional<TrayState> trayState_;
    ca_context* sound_ = nullptr; // the sound service's connection, made on the first sound
    // Which of our notifications runs what when clicked.
    std::unique_ptr<NotificationActions> actions_;
    // The login manager's sleep and the network's state, followed from the
    // first handler set (or question asked) on.
    std::unique_ptr<SleepWatch> sleep_;
    std::unique_ptr<NetworkWatch> network_;
    NetworkWatch& network();
};

// Qt file dialogs take "Name (*.ext)" filters separated by ";;"; the program's
// texts use the "Name (*.ext)|*.ext|..." form. Adds "All files (*)" since a
// Linux program has no ".exe" extension.
std::string qtFilterFromPipes(const std::string& filter);

// The filter a save dialog starts with for a file of that name: the first of
// qtFilters whose pattern matches its extension; otherwise a filter for the
// extension is added in front ("txt files (*.txt)"), or, without extension,
// "All files (*)" is chosen. qtFilters as qtFilterFromPipes makes them;
// returns the filters and the one to select.
std::pair<std::string, std::string> saveFiltersFor(const std::string& qtFilters, const std::string& name);

// Reads the Exec= line of a freedesktop .desktop file, field codes removed.
std::string desktopExecLine(const std::string& desktopFileText);

// A notification text as sent to the notification server: control
// characters other than line feeds and the characters that turn text around
// dropped, line and paragraph separators as blanks; at most 10 lines of 200
// characters (a cut marked with an ellipsis); with markup (the body, which
// servers may read as markup) "&", "<" and ">" escaped as entities.
std::string notificationText(const std::string& text, bool markup);

// A link as a user writes it ("www.example.org", "https://...", "mailto:...",
// a file path) as the address the desktop opens: text without a scheme is
// taken the way a browser's address bar takes it.
QUrl urlFromLinkText(const std::string& text);

} // namespace pelko
