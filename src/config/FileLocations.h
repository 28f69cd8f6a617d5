#pragma once
// Where Pelko keeps its files. A copy run from its build folder (or from any
// folder that holds a Pelko.ini) keeps Pelko.ini and Accounts.ini next to the
// executable; an installed copy (".../bin/Pelko" with ".../share/pelko"
// beside it) keeps them in the user's configuration folder instead, whoever
// runs it: the layout decides, not whether the folder can be written.
// Shared by Pelko and pelko-check, so both read the same Accounts.ini.
#include <functional>
#include <string>

namespace pelko {

// Reads an environment variable; nullptr when it is not set.
using EnvLookup = std::function<const char*(const char*)>;

// The running process's environment (std::getenv).
EnvLookup ProcessEnvironment();

struct FileLocations {
    std::string programDir; // Pelko.ini and Accounts.ini; ends in "/"
    std::string dataDir;    // ".../share/pelko/" of an installed copy, else empty
    bool userConfig = false; // programDir is the per-user folder of an installed copy
};

// The running executable's path, its bytes as they are (empty when unknown).
std::string ExecutablePath();

// The directory of the running executable, ending in "/".
std::string ExecutableDirectory();

// ".../share/pelko/" when exeDir is a "bin" folder with that directory
// beside it; empty otherwise.
std::string InstalledDataDir(const std::string& exeDir);

// In this order: PELKO_DIR when set and not empty (made absolute); exeDir
// when it holds Pelko.ini or is not an installed layout; else
// $XDG_CONFIG_HOME/pelko/ ($HOME/.config/pelko/ when XDG_CONFIG_HOME is unset
// or relative). Nothing is created.
FileLocations LocateFiles(const std::string& exeDir, const EnvLookup& env);

// The user's configuration folder ($XDG_CONFIG_HOME, else $HOME/.config),
// without a trailing "/".
std::string UserConfigHome(const EnvLookup& env);

// mkdir -p, with mode 0700 for every folder it creates. Throws FileWriteError.
void MakePrivateDirs(const std::string& dir);

// Before the files are read: for an installed copy MakeFirstFiles, then for
// every location CheckOwnFiles (TrustedFiles.h), so that a folder or file
// that another user controls is refused. Throws FileWriteError when the
// folder or the file cannot be made, UntrustedFile for a refused one.
void PrepareFiles(const FileLocations& where);

// Creates the per-user folder (mode 0700, parents as needed; never inside a
// folder of another user's) and, when it holds no Pelko.ini yet, writes the
// first one: the installed default skin, connect at start and check every
// minute on, tray icon and desktop notification on.
void MakeFirstFiles(const FileLocations& where);

// The skin directory to use for a current_skin value (ending in "/"): the
// value itself when it names an existing directory; otherwise, when
// installedSkins (".../share/pelko/skins/") is given and holds a folder of
// the value's last name, that folder; otherwise the value unchanged.
std::string ResolveSkinDir(const std::string& value, const std::string& installedSkins);

// The installed skins of the running executable (".../share/pelko/skins/"),
// or empty when it is not an installed copy.
std::string InstalledSkinsDir();

} // namespace pelko
