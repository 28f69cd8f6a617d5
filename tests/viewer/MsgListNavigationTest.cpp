// Stepping through the mailbox, deleting, and a server or connection that
// does not play along.
#include "MsgListFixture.h"

#include <QTest>

#include <QDialog>

#include <QTimer>

#include <functional>

namespace pelko::msglist_test {
namespace {

TEST_F(MsgListTest, NextAndPrevWrapAroundAndFollowTheServer)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(29, 3);
    start(29);
    ASSERT_EQ(c.MsgCount, 3);

    win->ShowMessageNo(1);
    awaitExchanges();
    EXPECT_EQ(win->ShownText(), "From : Sender 1 <sender1@example.org>\nSubj : Message 1\n" + plainDateLine(1) +
                                    "\nFile : 0\n__________________________\n\nBody of message 1.");
    EXPECT_EQ(win->Mess->textCursor().position(), 0);
    win->show();

    const std::pair<void (TMsgList::*)(), int> steps[] = {{&TMsgList::NextClick, 2}, {&TMsgList::NextClick, 3},
                                                          {&TMsgList::NextClick, 1}, {&TMsgList::PrevClick, 3},
                                                          {&TMsgList::PrevClick, 2}};
    for (const auto& [click, expected] : steps) {
        (win.get()->*click)();
        awaitExchanges();
        EXPECT_EQ(win->CurMsg(), expected);
        EXPECT_EQ(line(1), "Subj : Message " + std::to_string(expected));
    }

    // Every step logs in again and recounts, so a new message is seen.
    addMail(29, plainMail(4));
    win->NextClick();
    awaitExchanges();
    win->NextClick();
    awaitExchanges();
    EXPECT_EQ(c.MsgCount, 4);
    EXPECT_EQ(line(1), "Subj : Message 4");

    DovecotClearMailbox(29);
    win->NextClick();
    awaitExchanges();
    EXPECT_EQ(c.MsgCount, 0);
    EXPECT_EQ(win->CurMsg(), 0);
    EXPECT_EQ(win->ShownText(), "no more messages...");
    win->PrevClick();
    awaitExchanges();
    EXPECT_EQ(win->ShownText(), "no more messages...");

    addMail(29, plainMail(7));
    win->NextClick(); // from nothing shown: the first message
    awaitExchanges();
    EXPECT_EQ(win->CurMsg(), 1);
    EXPECT_EQ(line(1), "Subj : Message 7");
    EXPECT_TRUE(fake.boxes.empty()) << fake.boxes.front();
}

TEST_F(MsgListTest, DeleteAsksAndShowsTheMessageThatTookItsPlace)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(30, 3);
    start(30);
    win->ShowMessageNo(2);
    awaitExchanges();
    win->show();

    fake.questionAnswers = {false};
    win->DeleteClick();
    awaitExchanges();
    EXPECT_EQ(fake.questions, std::vector<std::string>{"Delete this message from the server?\r\rMessage 2"});
    EXPECT_EQ(DovecotMessageCount(30), 3);
    EXPECT_EQ(line(1), "Subj : Message 2");

    win->DeleteClick(); // the next one takes its place
    awaitExchanges();
    EXPECT_EQ(fake.questions.size(), 2u);
    EXPECT_EQ(c.MsgCount, 2);
    EXPECT_EQ(DovecotMessageCount(30), 2);
    EXPECT_EQ(win->CurMsg(), 2);
    EXPECT_EQ(line(1), "Subj : Message 3");

    win->DeleteClick(); // the last one: the previous takes its place
    awaitExchanges();
    EXPECT_EQ(win->CurMsg(), 1);
    EXPECT_EQ(line(1), "Subj : Message 1");
    win->DeleteClick();
    awaitExchanges();
    EXPECT_EQ(DovecotMessageCount(30), 0);
    EXPECT_EQ(win->CurMsg(), 0);
    EXPECT_EQ(win->ShownText(), "no more messages...");

    addMail(30, plainMail(5));
    win->DeleteClick(); // nothing shown: nothing to ask, the server refuses message 0
    awaitExchanges();
    EXPECT_EQ(fake.questions.size(), 4u);
    EXPECT_EQ(DovecotMessageCount(30), 1);
    EXPECT_EQ(line(1), "Subj : Message 5");
    EXPECT_TRUE(fake.boxes.empty()) << fake.boxes.front();
}

TEST_F(MsgListTest, DeleteAfterReopeningChecksTheNumberStillNamesTheMessage)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(37, 3);
    start(37);
    win->ShowMessageNo(2);
    awaitExchanges();
    win->show();
    win->CloseMsgClick();

    // Message 1 goes away meanwhile and the main window logs in again:
    // number 2 is now the former message 3.
    DovecotClearMailbox(37);
    addMail(37, plainMail(2));
    addMail(37, plainMail(3));
    main->RefreshBtnClick();
    awaitExchanges();
    win->show(); // reopened as it was left (Ctrl + double click)
    ASSERT_EQ(line(1), "Subj : Message 2");
    win->DeleteClick();
    awaitExchanges();
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0], TMsgList::kDeleteStaleText);
    EXPECT_EQ(DovecotMessageCount(37), 2);
    EXPECT_EQ(line(1), "Subj : Message 2");

    // Reopened with the mailbox unchanged: the number still fits.
    win->CloseMsgClick();
    main->RefreshBtnClick();
    awaitExchanges();
    win->show();
    win->DeleteClick();
    awaitExchanges();
    EXPECT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(DovecotMessageCount(37), 1);
    EXPECT_EQ(line(1), "Subj : Message 3");
}

TEST_F(MsgListTest, OverImapTheReopenedWindowDeletesTheMessageItShows)
{
    PELKO_NEED_DOVECOT();
    if (DovecotImapPort() <= 0)
        GTEST_SKIP() << "no test imapd";
    fillMailbox(51, 3);
    Options o;
    o.imap = true;
    start(51, o);
    win->ShowMessageNo(2);
    awaitExchanges();
    win->show();
    win->CloseMsgClick();
    main->RefreshBtnClick();
    awaitExchanges();
    win->show();
    win->DeleteClick();
    awaitExchanges();
    EXPECT_TRUE(fake.boxes.empty()) << fake.boxes.front();
    EXPECT_EQ(DovecotMessageCount(51), 2);
    EXPECT_EQ(line(1), "Subj : Message 3");
}

TEST_F(MsgListTest, ProtocolErrorsAreShownAndTheWindowKeepsItsText)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(38, 2);
    start(38);
    win->ShowMessageNo(1);
    awaitExchanges();
    win->show();
    const std::string before = win->ShownText();

    main->Session().Run([&] { // another exchange runs: held back
        win->NextClick();
        win->ShowMessageNo(2);
    });
    EXPECT_EQ(win->CurMsg(), 1);
    EXPECT_EQ(win->ShownText(), before);

    c.Accounts[size_t(main->CurAcc())].password = "wrong";
    main->Session().UseAccount(main->CurAcc());
    win->NextClick();
    awaitExchanges();
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0], "-ERR [AUTH] Authentication failed.\rAccount: test (127.0.0.1:" +
                                 std::to_string(DovecotPort()) + ")");
    EXPECT_TRUE(win->isVisible());
    EXPECT_EQ(win->CurMsg(), 1);
    EXPECT_EQ(win->ShownText(), before);
    EXPECT_FALSE(main->Session().Connected());

    // No connection left: the next step simply logs in again.
    c.Accounts[size_t(main->CurAcc())].password = DovecotPassword(38);
    main->Session().UseAccount(main->CurAcc());
    win->NextClick();
    awaitExchanges();
    EXPECT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(line(1), "Subj : Message 2");

    c.settings.header_only = true; // a refused TOP
    win->ShowMessageNo(9);
    awaitExchanges();
    ASSERT_EQ(fake.boxes.size(), 2u);
    EXPECT_EQ(fake.boxes[1].rfind("-ERR", 0), 0u) << fake.boxes[1];
    EXPECT_EQ(win->CurMsg(), 2);
    EXPECT_EQ(line(1), "Subj : Message 2");
}

TEST_F(MsgListTest, OpensAtTheFirstNewMessageAlsoFromItsNotification)
{
    PELKO_NEED_DOVECOT();
    fillMailbox(7, 2);
    DovecotClearMailbox(6);
    start(7);
    c.settings.notify = true;
    // A second account, checked in turn.
    TPOPAcc& other = c.Accounts[2];
    other.acc_name = "other";
    other.host_name = c.Accounts[1].host_name;
    other.user_name = DovecotUser(6);
    other.password = DovecotPassword(6);
    c.AccCount = 2;

    // Opens the window through open and says what it showed, then closes it.
    const auto opened = [this](const std::function<void()>& open) {
        std::string seen = "<not opened>";
        QTimer driver;
        driver.setInterval(10);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (!win->isVisible())
                return;
            driver.stop();
            seen = main->Session().AccountName() + ": " + line(1);
            win->CloseMsgClick();
        });
        driver.start();
        open();
        // The window opens once the message has come.
        QElapsedTimer t;
        t.start();
        while (seen == "<not opened>" && t.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        awaitExchanges();
        return seen;
    };
    const auto doubleClick = [this] { main->STATBMPMouseDown(Qt::LeftButton, Qt::NoModifier, true); };

    addMail(7, plainMail(3));
    addMail(7, plainMail(4));
    main->RefreshBtnClick(); // other: nothing on record yet, nothing new
    awaitExchanges();
    main->RefreshBtnClick(); // test: 3 and 4 are new
    awaitExchanges();
    ASSERT_EQ(fake.notifications.size(), 1u);
    EXPECT_EQ(opened(doubleClick), "test: Subj : Message 3");
    EXPECT_EQ(opened(doubleClick), "test: Subj : Message 1") << "looked at: the first message again";

    addMail(6, plainMail(5));
    addMail(6, plainMail(6));
    main->RefreshBtnClick(); // other: 5 and 6 are new
    awaitExchanges();
    ASSERT_EQ(fake.notifications.size(), 2u);
    main->RefreshBtnClick(); // test again
    awaitExchanges();
    ASSERT_EQ(main->CurAcc(), 1);
    EXPECT_EQ(opened(fake.notifications[1].click), "other: Subj : Message 5");

    // Numbers change; the message is found by its id.
    main->RefreshBtnClick();
    awaitExchanges();
    ASSERT_EQ(main->CurAcc(), 1);
    win->ShowMessageNo(1);
    awaitExchanges();
    win->DeleteClick();
    awaitExchanges();
    EXPECT_EQ(opened(fake.notifications[0].click), "test: Subj : Message 3");
    EXPECT_EQ(win->CurMsg(), 2);
    EXPECT_TRUE(fake.boxes.empty()) << fake.boxes.front();

    // Over another modal window, the click waits for that one to close.
    QDialog modal;
    modal.setModal(true);
    modal.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&modal));
    fake.notifications[0].click();
    QTest::qWait(50);
    EXPECT_FALSE(win->isVisible());
    EXPECT_EQ(opened([&] { modal.close(); }), "test: Subj : Message 3");
}

} // namespace
} // namespace pelko::msglist_test
