// Which click on which of our notifications runs what.
#include "platform_qt/NotificationActions.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pelko;

TEST(NotificationActions, OnlyTheDefaultActionOfANotificationOfOursRunsItsActionOnce)
{
    NotificationActions a;
    QDBusConnection noBus(QStringLiteral("pelko-no-bus")); // never connected: nothing followed
    std::vector<std::string> ran;
    EXPECT_TRUE(a.nextActions().isEmpty());
    a.sent(noBus, 5); // sent without an action
    a.setNext([&] { ran.push_back("first"); });
    EXPECT_EQ(a.nextActions(), (QStringList{QStringLiteral("default"), QStringLiteral("Open")}));
    a.sent(noBus, 7);
    a.setNext([&] { ran.push_back("second"); });
    a.sent(noBus, 8);

    const struct {
        uint id;
        const char* key;
    } signals_[] = {{5, "default"}, {9, "default"}, {7, "open"}, {7, ""}, {8, "default"}, {8, "default"}, {7, "default"}};
    for (const auto& s : signals_)
        a.actionInvoked(s.id, QString::fromLatin1(s.key));
    EXPECT_TRUE(ran.empty()) << "run from the event loop, not from the bus's dispatching";
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, (std::vector<std::string>{"second", "first"}));

    // Closed ones and the oldest beyond the limit are forgotten.
    for (uint id = 100; id < 100 + NotificationActions::kMaxKept + 1; ++id)
        a.sent(noBus, id);
    a.closed(130, 2);
    a.actionInvoked(100, QStringLiteral("default"));
    a.actionInvoked(130, QStringLiteral("default"));
    a.actionInvoked(101, QStringLiteral("default"));
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, (std::vector<std::string>{"second", "first", "second"}));
}
