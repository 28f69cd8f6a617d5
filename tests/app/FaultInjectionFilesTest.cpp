// Saving the settings and the accounts onto a full disk and into a read-only
// directory, from the running program: at exit, from the configuration
// dialog's OK and from adding an account. The old files must stay as they
// were, the user must see why, and no half-written file may be left behind.
#include "FaultInjectionFixture.h"

#include "configdialog/ConfigDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>

namespace pelko::fault_test {

namespace {

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

class FileFault : public FaultTest {
protected:
    void SetUp() override
    {
        FaultTest::SetUp();
        // The program directory becomes a small file system of its own.
        mounted_ = ::mount("tmpfs", tmp.path().toLocal8Bit().constData(), "tmpfs", 0, "size=256k") == 0;
    }
    void TearDown() override
    {
        config_.reset();
        FaultTest::TearDown();
        if (limited_)
            ::setrlimit(RLIMIT_FSIZE, &savedLimit_);
        if (mounted_)
            ::umount2(tmp.path().toLocal8Bit().constData(), MNT_DETACH);
    }

    // The main window and its configuration dialog, as the program has them.
    TPelko& startWithDialog()
    {
        TPelko& m = startAt("127.0.0.1:" + std::to_string(ClosedPort()), false);
        config_ = std::make_unique<TConfig>(c, fake, m);
        m.SetConfig(config_.get());
        return m;
    }

    // Fills the file system to the last byte; without a file system of our
    // own, a file size limit of 0 has the same effect on every write.
    void fillDisk()
    {
        if (mounted_) {
            const int fd = ::open((dir() + "filler").c_str(), O_WRONLY | O_CREAT, 0600);
            ASSERT_GE(fd, 0);
            const std::string block(4096, 'f');
            while (::write(fd, block.data(), block.size()) > 0) {
            }
            const char one = 'f';
            while (::write(fd, &one, 1) > 0) {
            }
            EXPECT_EQ(errno, ENOSPC);
            ::close(fd);
            reason_ = "No space left on device";
        } else {
            std::signal(SIGXFSZ, SIG_IGN);
            ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &savedLimit_), 0);
            rlimit none = savedLimit_;
            none.rlim_cur = 0;
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
            limited_ = true;
            reason_ = "File too large";
        }
    }

    // A read-only file system, or (not as root) a directory without write permission.
    bool makeReadOnly()
    {
        if (mounted_) {
            reason_ = "Read-only file system";
            return ::mount(nullptr, tmp.path().toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                           nullptr) == 0;
        }
        if (::geteuid() == 0)
            return false; // root writes into any directory
        reason_ = "Permission denied";
        return ::chmod(tmp.path().toLocal8Bit().constData(), 0555) == 0;
    }

    // The three attempts, each leaving both files as they were and saying why.
    void saveEverywhere(TPelko& m)
    {
        const std::set<std::string> namesBefore = names();

        // Adding an account writes Accounts.ini at once.
        config_->show();
        config_->NAccount->setText(QStringLiteral("Work"));
        config_->HostTxt->setText(QStringLiteral("pop.work.example"));
        config_->UserName->setText(QStringLiteral("me"));
        config_->Password->setText(QStringLiteral("pw"));
        config_->AddAccClick();
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_TRUE(contains(lastBox(), "Cannot write " + accountsIni())) << lastBox();
        EXPECT_TRUE(contains(lastBox(), reason_)) << lastBox();

        // OK writes Pelko.ini; on failure the dialog stays open.
        config_->ChkSnd->setChecked(true);
        config_->OKClick();
        ASSERT_EQ(fake.boxes.size(), 2u);
        EXPECT_TRUE(contains(lastBox(), "Cannot write " + pelkoIni())) << lastBox();
        EXPECT_TRUE(contains(lastBox(), reason_)) << lastBox();
        EXPECT_TRUE(config_->isVisible());
        config_->CancelClick();

        // Exit writes Pelko.ini again and still ends the program.
        int closedSignals = 0;
        QObject::connect(&m, &TPelko::closed, [&] { ++closedSignals; });
        m.Exit1Click();
        settle();
        ASSERT_EQ(fake.boxes.size(), 3u);
        EXPECT_TRUE(contains(lastBox(), "Cannot write " + pelkoIni())) << lastBox();
        EXPECT_EQ(closedSignals, 1);

        expectFilesIntact();
        EXPECT_EQ(names(), namesBefore) << "a temporary file was left behind";
    }

    std::set<std::string> names() const
    {
        std::set<std::string> out;
        for (const QString& n : QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden))
            out.insert(n.toStdString());
        return out;
    }

    std::unique_ptr<TConfig> config_;
    bool mounted_ = false;
    bool limited_ = false;
    rlimit savedLimit_{};
    std::string reason_;
};

} // namespace

TEST_F(FileFault, FullDiskKeepsBothFilesAndSaysWhy)
{
    TPelko& m = startWithDialog();
    fillDisk();
    saveEverywhere(m);
}

TEST_F(FileFault, ReadOnlyDirectoryKeepsBothFilesAndSaysWhy)
{
    TPelko& m = startWithDialog();
    if (!makeReadOnly())
        GTEST_SKIP() << "no way to make the directory read-only here";
    saveEverywhere(m);
}

} // namespace pelko::fault_test
