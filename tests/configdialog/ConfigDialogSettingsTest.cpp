#include "ConfigDialogFixture.h"
#include "configdialog/LinkLabel.h"
#include "skinqt/ImgBtn.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using namespace pelko;
using namespace pelko::configdlg_test;

TEST_F(ConfigDialogTest, ShowingLoadsControlsAndPagesSwitch)
{
    TConfig& d = dialog();
    EXPECT_TRUE(d.ChkMin->isChecked() && d.ChkHead->isChecked() && d.ChkTray->isChecked() &&
                d.ChkNotify->isChecked());
    EXPECT_FALSE(d.ChkAuto->isChecked() || d.ChkSnd->isChecked() || d.ChkMail->isChecked());
    EXPECT_EQ(d.Min->value(), 7);
    EXPECT_EQ(d.SndFile->text(), QStringLiteral("/snd/new.wav"));
    EXPECT_EQ(d.InfSk->title(), QString::fromStdString(defaultSkin));

    EXPECT_TRUE(d.OptPan->isVisible() && d.OptBtn->Checked());
    QTest::mouseClick(d.AccBtn, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_TRUE(d.PopPan->isVisible() && d.AccBtn->Checked());
    EXPECT_FALSE(d.OptPan->isVisible() || d.SkinPan->isVisible() || d.InfoPan->isVisible());
    EXPECT_FALSE(d.OptBtn->Checked() || d.SkinBtn->Checked() || d.InfoBtn->Checked());

    // Cancel writes nothing; showing again brings back the Options page and the stored values.
    const std::string before = readBytes(root + "Pelko.ini");
    d.ChkAuto->setChecked(true);
    d.Min->setValue(42);
    QTest::mouseClick(d.Cancel, Qt::LeftButton);
    EXPECT_EQ(d.result(), TConfig::kModalCancel);
    EXPECT_EQ(readBytes(root + "Pelko.ini"), before);
    EXPECT_EQ(host.rebuilds, 0); // no preview to take back
    d.show();
    EXPECT_TRUE(d.OptPan->isVisible() && d.OptBtn->Checked());
    EXPECT_FALSE(d.PopPan->isVisible() || d.AccBtn->Checked());
    EXPECT_FALSE(d.ChkAuto->isChecked());
    EXPECT_EQ(d.Min->value(), 7);
}

TEST_F(ConfigDialogTest, SaveSettingsWritesEachControlToItsLine)
{
    // As the main window does at close, on the hidden dialog.
    TConfig d(c, platform, host);
    c.settings.autoconnect = true;
    c.settings.autocheck = false;
    c.settings.wavsnd = "none";
    c.settings.minutes = 150; // beyond the arrows' range
    d.LoadControls();
    ASSERT_TRUE(d.SaveSettings());
    EXPECT_EQ(readBytes(root + "Pelko.ini"),
              "current_skin = " + defaultSkin +
                  "\r\nautocheck =0\r\nautoconnect =1\r\nheader_only =1\r\nontop =1\r\nminutes = 99\r\n"
                  "posX = -20\r\nposY = 33\r\nplaysnd =0\r\nwavsnd = \r\nicon_tray =1\r\n"
                  "run_my_client =0\r\nmy_mail_client = \r\nnotify =1\r\n");

    // The arrows stop at 1 and 99.
    d.show();
    d.Min->setFocus();
    QTest::keyClick(d.Min, Qt::Key_Up);
    EXPECT_EQ(d.Min->value(), 99);
    d.Min->setValue(1);
    QTest::keyClick(d.Min, Qt::Key_Down);
    EXPECT_EQ(d.Min->value(), 1);
    EXPECT_FALSE(d.Min->wrapping());

    // A settings file that cannot be written is reported; the dialog stays.
    c.ProgramDir = root + "missing/";
    d.OKClick();
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_NE(platform.boxes[0].find("missing/Pelko.ini"), std::string::npos);
    EXPECT_TRUE(d.isVisible());
}

TEST_F(ConfigDialogTest, AFailureIsShownOverTheDialog)
{
    TConfig d(c, platform, host);
    c.ProgramDir = root + "missing/";
    EXPECT_FALSE(d.SaveSettings());
    ASSERT_EQ(platform.owners.size(), 1u);
    EXPECT_EQ(platform.owners[0], static_cast<DialogOwner>(&d));
}

TEST_F(ConfigDialogTest, BrowseThenCancelTakesThePreviewBack)
{
    const std::string before = readBytes(root + "Pelko.ini");
    TConfig& d = dialog();
    platform.dialogAnswers.push_back(emberSkin + "skin.ini");
    d.BrowseClick();
    EXPECT_EQ(platform.dialogFilters.back(), "Ini files (*.ini) | *.ini");
    ASSERT_EQ(host.rebuilds, 1);
    EXPECT_EQ(host.modes[0], "test");
    EXPECT_EQ(host.backgrounds[0], emberSkin + "main.bmp"); // the main window shows the pick
    EXPECT_EQ(c.settings.SkinDir, defaultSkin);           // put back after the preview
    EXPECT_EQ(c.TestMode, "");
    EXPECT_EQ(d.InfSk->title(), QString::fromStdString(emberSkin));

    d.CancelClick();
    ASSERT_EQ(host.rebuilds, 2);
    EXPECT_EQ(host.modes[1], "");
    EXPECT_EQ(host.backgrounds[1], defaultSkin + "main.bmp");
    EXPECT_EQ(readBytes(root + "Pelko.ini"), before);
    EXPECT_EQ(d.result(), TConfig::kModalCancel);

    // Two previews, then the title-bar close box: the stored skin again.
    d.show();
    platform.dialogAnswers = {emberSkin + "skin.ini", emberSkin + "skin.ini"};
    d.BrowseClick();
    d.BrowseClick();
    EXPECT_TRUE(d.close());
    ASSERT_EQ(host.rebuilds, 5);
    EXPECT_EQ(host.dirs[4], defaultSkin);
    EXPECT_EQ(c.TestMode, "");
    EXPECT_EQ(readBytes(root + "Pelko.ini"), before);
}

TEST_F(ConfigDialogTest, BrowseThenOkNamesTheNewSkin)
{
    TConfig& d = dialog();
    platform.dialogAnswers.push_back(emberSkin + "skin.ini");
    d.BrowseClick();
    d.ChkAuto->setChecked(true);
    QTest::mouseClick(d.OK, Qt::LeftButton);
    EXPECT_EQ(d.result(), TConfig::kModalOk);
    EXPECT_EQ(host.rebuilds, 1); // after OK the main window rebuilds itself
    EXPECT_EQ(reloaded().settings.SkinDir, emberSkin);
    EXPECT_TRUE(reloaded().settings.autoconnect);
}

TEST_F(ConfigDialogTest, SkinInfoOfPickedFilesAndTheirLinks)
{
    const std::string plain = root + "plain/";
    QDir().mkpath(QString::fromStdString(plain));
    writeBytes(plain + "skin.ini", "[background]\r\nmain = main.bmp\r\nskin_author = Some <b>one</b>\r\n"
                                   "skin_mail=a@b.example\r\nskin_web = https://web.example\r\n");
    TConfig& d = dialog();
    d.SkinBtnClick();
    platform.dialogAnswers.push_back(plain + "skin.ini");
    d.BrowseClick();
    EXPECT_TRUE(d.SkName->text().isEmpty()); // no skin_name line
    EXPECT_EQ(d.SkAuthor->text(), QStringLiteral("Some <b>one</b>"));
    EXPECT_EQ(d.SkAuthor->textFormat(), Qt::PlainText);

    // A link opens its address; the dialog stays, the preview with it.
    QTest::mouseClick(d.Skemail, Qt::LeftButton);
    EXPECT_EQ(platform.urls, std::vector<std::string>{"mailto:a@b.example"});
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(host.rebuilds, 1);
    d.CancelClick();
    EXPECT_EQ(host.rebuilds, 2); // the preview taken back

    // An unreadable pick is reported and changes nothing; a cancelled one does nothing.
    d.show();
    platform.dialogAnswers = {root + "nowhere/skin.ini", std::nullopt};
    d.BrowseClick();
    d.BrowseClick();
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(host.rebuilds, 2);
    EXPECT_EQ(d.shownSkinDir(), defaultSkin);
    EXPECT_FALSE(d.skinChanged());
}

TEST_F(ConfigDialogTest, FailedPreviewStillPutsTheSettingsBack)
{
    // A position that is no number: the rebuild stops half-way.
    const std::string broken = root + "broken/";
    QDir().mkpath(QString::fromStdString(broken));
    writeBytes(broken + "skin.ini", "[background]\r\nmain = main.bmp\r\n[connect]\r\nposition = here\r\n");
    TConfig& d = dialog();
    platform.dialogAnswers.push_back(broken + "skin.ini");
    d.BrowseClick();
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(c.TestMode, "");
    EXPECT_EQ(c.settings.SkinDir, defaultSkin);
    d.CancelClick();
    EXPECT_EQ(host.rebuilds, 2);
    EXPECT_EQ(host.dirs.back(), defaultSkin);
}

TEST_F(ConfigDialogTest, SoundChooserAndCreditsLink)
{
    TConfig& d = dialog();
    platform.dialogAnswers = {std::string("/sounds/ding.wav")};
    QTest::mouseClick(d.SndBr, Qt::LeftButton);
    EXPECT_EQ(d.SndFile->text(), QStringLiteral("/sounds/ding.wav"));
    EXPECT_EQ(platform.dialogFilters, std::vector<std::string>{"Wav files (*.wav) | *.wav"});

    // Every link of the Credits page points at what is on this computer
    // (a copy not installed has no read-me: the maker's link opens the
    // manual), keeps the dialog and its changes, and says so when nothing
    // opens it.
    d.InfoBtnClick();
    d.ChkAuto->setChecked(true);
    const std::vector<std::string> want{"man:Pelko(1)", "man:Pelko(1)", "man:pelko-check(1)",
                                        QDir::cleanPath(QString::fromStdString(defaultSkin + "..")).toStdString()};
    const auto links = d.InfoPan->findChildren<LinkLabel*>();
    ASSERT_EQ(links.size(), want.size());
    for (bool opens : {true, false}) {
        platform.urls.clear();
        platform.boxes.clear();
        platform.urlsOpen = opens;
        for (LinkLabel* link : links)
            QTest::mouseClick(link, Qt::LeftButton);
        EXPECT_EQ(platform.urls, want);
        ASSERT_EQ(platform.boxes.size(), opens ? 0u : want.size());
        for (size_t i = 0; i < platform.boxes.size(); ++i)
            EXPECT_NE(platform.boxes[i].find("\r" + want[i] + "\r"), std::string::npos) << platform.boxes[i];
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(d.ChkAuto->isChecked());
    }
}
