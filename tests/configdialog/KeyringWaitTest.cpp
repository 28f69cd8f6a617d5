// The dialog waiting for a keyring that never answers: it goes on running
// its events, a note says what it waits for, and Cancel calls the wait off.
#include "configdialog/KeyringWait.h"

#include <QApplication>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace pelko {
namespace {

TEST(KeyringWait, ANoteWithCancelWhileTheKeyringDoesNotAnswer)
{
    const char* mode = std::getenv("PELKO_KEYRING_FAKE");
    if (!mode || std::string(mode) != "silent")
        GTEST_SKIP() << "runs on a private session bus with a keyring that never answers";
    QWidget owner;
    owner.show();
    QString noted;
    // Runs only if the events go on while the keyring is waited for.
    QTimer::singleShot(700, &owner, [&] {
        if (auto* note = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget())) {
            noted = note->labelText();
            note->cancel();
        }
    });
    const auto start = std::chrono::steady_clock::now();
    std::string why;
    EXPECT_FALSE(StoreWaiting(&owner, "Work", "pop.example.org", "pw", &why));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << "the keyring waits 60 s";
    EXPECT_EQ(noted, QStringLiteral("Waiting for the desktop keyring..."));
    EXPECT_EQ(why, kKeyringWaitCancelled);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the note is gone";
}

} // namespace
} // namespace pelko
