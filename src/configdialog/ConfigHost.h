#pragma once
// What the configuration dialog needs from the main window, which owns the
// skin on screen, its position and the On Top menu item.

namespace pelko {

struct ConfigHost {
    virtual ~ConfigHost() = default;
    // Re-read settings, accounts and skin and show them (FormCreate, then
    // FormActivate). With Commun::TestMode "test" the current SkinDir is kept.
    virtual void RebuildMainWindow() = 0;
    virtual int MainLeft() const = 0;
    virtual int MainTop() const = 0;
    virtual bool OnTopChecked() const = 0;
};

} // namespace pelko
