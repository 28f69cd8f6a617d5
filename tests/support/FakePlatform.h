#pragma once
// A platform that records every call. fatalEnd throws FatalEndCalled so a
// test can see the program would have ended (and that nothing ran after).
#include "platform/Platform.h"

#include <deque>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pelko {

// Deliberately not a std::exception: the program's error handlers catch
// std::exception and must not swallow the end of the program.
struct FatalEndCalled {
    std::string text;
    const char* what() const noexcept { return text.c_str(); }
};

class FakePlatform : public Platform {
public:
    void messageBox(const std::string& text, DialogOwner owner) override
    {
        boxes.push_back(text);
        owners.push_back(owner);
    }
    [[noreturn]] void fatalEnd(const std::string& text) override
    {
        fatals.push_back(text);
        throw FatalEndCalled{text};
    }
    void playSound(const std::string& wavFile) override { sounds.push_back(wavFile); }
    bool openUrl(const std::string& url) override
    {
        urls.push_back(url);
        return urlsOpen;
    }
    void launch(const std::string& program, const std::string& parameters) override
    {
        launches.push_back({program, parameters});
    }
    std::string registeredMailCommand() override { return mailCommand; }
    bool trayAdd(const std::string& tip, std::function<void(TrayPress)> onPress) override
    {
        ++trayAdds;
        if (trayPresent)
            return false;
        trayPresent = true;
        trayTip = tip;
        trayHandler = std::move(onPress);
        return true;
    }
    void trayShow(const std::string& tip, bool newMail) override
    {
        if (!trayPresent)
            return;
        trayTip = tip;
        trayMarked = newMail;
    }
    void trayRemove() override
    {
        ++trayRemoves;
        trayPresent = false;
        trayHandler = nullptr;
    }
    std::optional<std::string> openFileDialog(const std::string& filter, const FileDialogPlace& place,
                                              DialogOwner owner) override
    {
        dialogFilters.push_back(filter);
        dialogPlaces.push_back(place);
        owners.push_back(owner);
        return nextDialogAnswer();
    }
    std::optional<std::string> saveFileDialog(const std::string& presetName, const std::string& filter,
                                              const FileDialogPlace& place, DialogOwner owner) override
    {
        savePresets.push_back(presetName);
        dialogFilters.push_back(filter);
        dialogPlaces.push_back(place);
        owners.push_back(owner);
        return nextDialogAnswer();
    }
    bool notify(const std::string& title, const std::string& body) override
    {
        notifications.push_back({title, body, notificationAction});
        return notifyAvailable;
    }
    bool choiceBox(const std::string& text, const std::string& choice, DialogOwner owner) override
    {
        choiceBoxes.push_back(text + "\n[" + choice + "]");
        owners.push_back(owner);
        return choiceAnswer;
    }
    bool askYesNo(const std::string& text, DialogOwner owner) override
    {
        questions.push_back(text);
        owners.push_back(owner);
        if (questionAnswers.empty())
            return true;
        const bool yes = questionAnswers.front();
        questionAnswers.pop_front();
        return yes;
    }
    void setNotificationAction(std::function<void()> onClick) override { notificationAction = std::move(onClick); }
    // The test plays the login manager: beforeSleep(), then (once the
    // program said sleepReady) afterWake().
    void setSleepHandlers(std::function<void()> onSleep, std::function<void()> onWake) override
    {
        beforeSleep = std::move(onSleep);
        afterWake = std::move(onWake);
    }
    void sleepReady() override { ++sleepReadies; }
    // The test plays the network: set online and call onlineHandler.
    void setOnlineHandler(std::function<void(bool online)> onChange) override { onlineHandler = std::move(onChange); }
    OnlineState isOnline() override { return online; }

    struct Launch {
        std::string program, parameters;
    };
    struct Note {
        std::string title, body;
        // What a click on it runs (empty: nothing).
        std::function<void()> click;
    };

    std::vector<std::string> boxes, fatals, sounds, urls, dialogFilters, savePresets;
    std::vector<Launch> launches;
    // The owner of each box and file dialog, in the order they came.
    std::vector<DialogOwner> owners;
    std::vector<FileDialogPlace> dialogPlaces;
    std::vector<Note> notifications;
    // Each box with a choice: its text, then "\n[" + the choice + "]".
    std::vector<std::string> choiceBoxes;
    bool choiceAnswer = false; // what the user presses there: the choice, or Cancel
    std::string mailCommand;
    bool notifyAvailable = true;
    bool urlsOpen = true; // false: no program takes the links
    bool trayPresent = false;
    int trayAdds = 0, trayRemoves = 0;
    std::string trayTip;
    bool trayMarked = false;
    std::function<void(TrayPress)> trayHandler;
    // Answers for the next file dialogs, in order; an empty optional cancels.
    std::deque<std::optional<std::string>> dialogAnswers;
    // The questions asked, and the answers to the next ones (Yes once they run out).
    std::vector<std::string> questions;
    std::deque<bool> questionAnswers;
    std::function<void()> notificationAction;
    std::function<void()> beforeSleep, afterWake;
    int sleepReadies = 0; // how often the program said its connections are closed
    std::function<void(bool)> onlineHandler;
    OnlineState online = OnlineState::Unknown;

private:
    std::optional<std::string> nextDialogAnswer()
    {
        if (dialogAnswers.empty())
            return std::nullopt;
        auto a = dialogAnswers.front();
        dialogAnswers.pop_front();
        return a;
    }
};

} // namespace pelko
