#include "config/Autostart.h"
#include "config/FileLocations.h"
#include "config/SafeFile.h"
#include "config/SettingsFile.h"
#include "config/TrustedFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelko;
namespace fs = std::filesystem;

namespace {

// A scratch tree with an installed layout (usr/bin + usr/share/pelko/skins)
// and a build folder (build/bin), removed with everything in it.
struct Tree {
    std::string root;
    Tree()
    {
        char name[] = "/tmp/pelko-locations-XXXXXX";
        root = mkdtemp(name);
        for (const char* d : {"usr/bin", "usr/share/pelko/skins/default", "usr/share/pelko/skins/ember",
                              "build/bin", "opt/pelko", "skins/mine"})
            fs::create_directories(root + "/" + d);
    }
    ~Tree() { fs::remove_all(root); }
    std::string operator/(const std::string& rel) const { return root + "/" + rel; }
    void touch(const std::string& rel) const { std::ofstream(root + "/" + rel) << "x"; }
};

EnvLookup envOf(std::map<std::string, std::string> vars)
{
    return [vars = std::move(vars)](const char* name) -> const char* {
        const auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    };
}

mode_t modeOf(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
}

} // namespace

TEST(FileLocations, ChosenByLayoutAndEnvironment)
{
    Tree t;
    t.touch("opt/pelko/Pelko.ini");
    const std::string home = t / "home";
    struct Row {
        const char* exeDir;
        std::map<std::string, std::string> env;
        std::string programDir;
        bool userConfig;
    } rows[] = {
        // A build folder, and any folder of a copy that is not installed.
        {"build/bin/", {{"HOME", home}}, t / "build/bin/", false},
        {"opt/pelko", {{"HOME", home}}, t / "opt/pelko/", false},
        // Installed: the user's folder, whether or not bin can be written.
        {"usr/bin/", {{"HOME", home}}, home + "/.config/pelko/", true},
        {"usr/bin", {{"HOME", home}, {"XDG_CONFIG_HOME", t / "xdg"}}, t / "xdg/pelko/", true},
        {"usr/bin/", {{"HOME", home + "/"}, {"XDG_CONFIG_HOME", "relative"}}, home + "/.config/pelko/", true},
        // PELKO_DIR comes first; a relative one is made absolute.
        {"usr/bin/", {{"HOME", home}, {"PELKO_DIR", t / "own"}}, t / "own/", false},
        {"build/bin/", {{"PELKO_DIR", "rel/dir"}}, fs::current_path().string() + "/rel/dir/", false},
        {"usr/bin/", {{"HOME", home}, {"PELKO_DIR", ""}}, home + "/.config/pelko/", true},
    };
    for (const Row& r : rows) {
        const FileLocations where = LocateFiles(t / r.exeDir, envOf(r.env));
        EXPECT_EQ(where.programDir, r.programDir) << r.exeDir;
        EXPECT_EQ(where.userConfig, r.userConfig) << r.exeDir;
    }
    EXPECT_EQ(LocateFiles(t / "usr/bin", envOf({})).dataDir, t / "usr/share/pelko/");
    EXPECT_EQ(LocateFiles(t / "build/bin", envOf({})).dataDir, "");

    // An installed copy whose own folder holds a Pelko.ini keeps using it.
    t.touch("usr/bin/Pelko.ini");
    EXPECT_EQ(LocateFiles(t / "usr/bin", envOf({{"HOME", home}})).programDir, t / "usr/bin/");
}

TEST(FileLocations, FirstRunOfAnInstalledCopy)
{
    Tree t;
    const FileLocations where = LocateFiles(t / "usr/bin", envOf({{"XDG_CONFIG_HOME", t / "a/b"}}));
    PrepareFiles(where);
    for (const char* d : {"a", "a/b", "a/b/pelko"})
        EXPECT_EQ(modeOf(t / d), 0700u) << d;

    // The first Pelko.ini reads back with the installed default skin.
    Commun c;
    c.ProgramDir = where.programDir;
    MainValues mv;
    LoadSettingsAndAccounts(c, mv);
    EXPECT_EQ(c.settings.SkinDir, t / "usr/share/pelko/skins/default/");
    EXPECT_TRUE(c.settings.autocheck && c.settings.autoconnect && c.settings.icon_tray && c.settings.notify);
    EXPECT_EQ(c.settings.minutes, 1);

    // A file of the user's is never replaced.
    std::ofstream(where.programDir + "Pelko.ini") << "current_skin = /mine\r\n";
    PrepareFiles(where);
    LoadSettingsAndAccounts(c, mv);
    EXPECT_EQ(c.settings.SkinDir, "/mine/");

    // Nothing is created for the other locations.
    PrepareFiles(LocateFiles(t / "build/bin", envOf({})));
    EXPECT_FALSE(fs::exists(t / "build/bin/Pelko.ini"));

    // A configuration home that is a file is named as the trouble.
    t.touch("file");
    try {
        PrepareFiles(LocateFiles(t / "usr/bin", envOf({{"XDG_CONFIG_HOME", t / "file"}})));
        ADD_FAILURE() << "no error";
    } catch (const FileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create " + t / "file/pelko/: " + t / "file is not a folder");
    }
}

TEST(FileLocations, FoldersAndFilesOfOtherUsersAreRefused)
{
    Tree t;
    const std::string dir = t / "cfg/pelko/";
    const bool root = ::geteuid() == 0;
    struct Row {
        const char* what;
        bool needsRoot;
        std::function<void()> make;
        std::string refusal; // "" when used
    } rows[] = {
        {"private", false, [] {}, ""},
        {"own Accounts.ini", false, [&] { t.touch("cfg/pelko/Accounts.ini"); }, ""},
        {"sticky folder above", false, [&] { ::chmod((t / "cfg").c_str(), 01777); }, ""},
        {"folder others write to", false, [&] { ::chmod(dir.c_str(), 0777); },
         "Not using " + dir + ": other users can write to " + t / "cfg/pelko (mode 0777)"},
        {"folder above others write to", false, [&] { ::chmod((t / "cfg").c_str(), 0777); },
         "Not using " + dir + ": other users can write to " + t / "cfg (mode 0777)"},
        {"Accounts.ini others write to", false,
         [&] {
             t.touch("cfg/pelko/Accounts.ini");
             ::chmod((dir + "Accounts.ini").c_str(), 0646);
         },
         "Not using " + dir + "Accounts.ini: other users can write to " + dir + "Accounts.ini (mode 0646)"},
        {"folder of another user", true, [&] { ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0); },
         "Not using " + dir + ": " + t / "cfg/pelko belongs to another user (uid 65534)"},
        {"Pelko.ini of another user", true,
         [&] {
             t.touch("cfg/pelko/Pelko.ini");
             ASSERT_EQ(::chown((dir + "Pelko.ini").c_str(), 65534, 65534), 0);
         },
         "Not using " + dir + "Pelko.ini: " + dir + "Pelko.ini belongs to another user (uid 65534)"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.needsRoot && !root)
            continue;
        fs::remove_all(t / "cfg");
        fs::create_directories(dir);
        ::chmod((t / "cfg").c_str(), 0755);
        ::chmod(dir.c_str(), 0700);
        r.make();
        std::string refusal;
        try {
            PrepareFiles(LocateFiles(t / "build/bin", envOf({{"PELKO_DIR", dir}})));
        } catch (const UntrustedFile& e) {
            refusal = e.what();
        }
        EXPECT_EQ(refusal, r.refusal);
    }

    // An installed copy makes nothing in a configuration home of another user's.
    if (root) {
        fs::remove_all(t / "cfg");
        fs::create_directories(t / "cfg");
        ASSERT_EQ(::chown((t / "cfg").c_str(), 65534, 65534), 0);
        EXPECT_THROW(PrepareFiles(LocateFiles(t / "usr/bin", envOf({{"XDG_CONFIG_HOME", t / "cfg"}}))),
                     UntrustedFile);
        EXPECT_FALSE(fs::exists(t / "cfg/pelko"));
    }
}

TEST(FileLocations, SkinFoundAmongInstalledSkins)
{
    Tree t;
    const std::string installed = t / "usr/share/pelko/skins/";
    struct Row {
        std::string value, skins, expected;
    } rows[] = {
        {t / "skins/mine/", installed, t / "skins/mine/"},            // exists: kept
        {t / "gone/ember/", installed, installed + "ember/"},          // moved away: by its name
        {"ember/", installed, installed + "ember/"},                   // a bare name
        {"old/default/", installed, installed + "default/"},
        {t / "gone/other/", installed, t / "gone/other/"},            // no such skin installed
        {t / "gone/ember/", "", t / "gone/ember/"},                   // not an installed copy
    };
    for (const Row& r : rows)
        EXPECT_EQ(ResolveSkinDir(r.value, r.skins), r.expected) << r.value;
}

TEST(FileLocations, AutostartEntryWrittenAndRemoved)
{
    Tree t;
    const std::string file = AutostartFile(envOf({{"HOME", t / "h"}}));
    EXPECT_EQ(file, t / "h/.config/autostart/pelko.desktop");

    SetAutostart(file, true, "/usr/bin/Pelko");
    std::ifstream in(file);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text, AutostartEntry("/usr/bin/Pelko"));
    EXPECT_NE(text.find("\nExec=/usr/bin/Pelko\n"), std::string::npos);
    SetAutostart(file, false, "");
    EXPECT_FALSE(fs::exists(file));
    EXPECT_NO_THROW(SetAutostart(file, false, ""));
    // An entry must be UTF-8: a path in another encoding cannot be named.
    EXPECT_THROW(SetAutostart(file, true, "/opt/caf\xe9/Pelko"), FileWriteError);
    EXPECT_FALSE(fs::exists(file));

    // Exec= quoting of the desktop entry format.
    const std::pair<const char*, const char*> exec[] = {
        {"/opt/My Apps/Pelko", "Exec=\"/opt/My Apps/Pelko\"\n"},
        {"/opt/100%/Pelko", "Exec=\"/opt/100%%/Pelko\"\n"},
        {"/opt/a\"b$c`d/Pelko", "Exec=\"/opt/a\\\\\"b\\\\$c\\\\`d/Pelko\"\n"},
        {"/opt/back\\slash", "Exec=\"/opt/back\\\\\\\\slash\"\n"},
    };
    for (const auto& [path, line] : exec)
        EXPECT_NE(AutostartEntry(path).find(line), std::string::npos) << path << "\n" << AutostartEntry(path);
}
