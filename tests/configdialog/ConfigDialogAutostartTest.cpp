#include "ConfigDialogFixture.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

using namespace pelko;
using namespace pelko::configdlg_test;

// The "Start with the desktop session" box shows whether the autostart entry
// exists; OK writes or removes it, and leaves an entry alone when the box was
// not changed.
TEST_F(ConfigDialogTest, StartWithTheSessionWritesTheAutostartEntry)
{
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(root + "xdg"));
    struct Restore {
        QByteArray value;
        bool set;
        ~Restore() { set ? qputenv("XDG_CONFIG_HOME", value) : qunsetenv("XDG_CONFIG_HOME"); }
    } restore{oldXdg, hadXdg};
    const std::string entry = root + "xdg/autostart/pelko.desktop";

    TConfig& d = dialog();
    EXPECT_FALSE(d.ChkStart->isChecked());
    d.ChkStart->setChecked(true);
    QTest::mouseClick(d.OK, Qt::LeftButton);
    EXPECT_EQ(d.result(), TConfig::kModalOk);
    const std::string exe = QCoreApplication::applicationFilePath().toStdString();
    EXPECT_NE(readBytes(entry).find("\nExec=" + exe + "\n"), std::string::npos) << readBytes(entry);

    // Shown as set; an entry the user edited survives an OK that left the box alone.
    writeBytes(entry, readBytes(entry) + "X-Mine=1\n");
    d.show();
    EXPECT_TRUE(d.ChkStart->isChecked());
    QTest::mouseClick(d.OK, Qt::LeftButton);
    EXPECT_NE(readBytes(entry).find("X-Mine=1"), std::string::npos);

    d.show();
    d.ChkStart->setChecked(false);
    QTest::mouseClick(d.OK, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(entry)));

    // An entry that cannot be written is reported and the dialog stays open.
    ASSERT_TRUE(QDir(QString::fromStdString(root + "xdg/autostart")).removeRecursively());
    writeBytes(root + "xdg/autostart", "a file where the folder should be");
    d.show();
    d.ChkStart->setChecked(true);
    platform.boxes.clear();
    d.OKClick();
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_NE(platform.boxes[0].find("xdg/autostart is not a folder"), std::string::npos) << platform.boxes[0];
    EXPECT_TRUE(d.isVisible());
}
