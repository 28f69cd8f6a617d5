#pragma once
// SkinnedWindow: what the program's skinned windows share. A borderless
// window that paints a skin picture as its background, takes the picture's
// size and is cut to its outline (magenta left out), and moves when its
// background is dragged with the left button.
#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <string>

class QMouseEvent;

namespace pelko {

// Which presses on the background start a drag: the left button alone with
// none of the blocking modifiers held; the press of a double click only when
// doubleClickDrags.
struct DragRule {
    Qt::KeyboardModifiers blocking;
    bool doubleClickDrags = false;
};

class SkinnedWindow : public QWidget {
    Q_OBJECT
public:
    // A move with the plain left button (see DragRule) moves the window by
    // the cursor's way since the last position. screenPos: the cursor in
    // screen coordinates (the window moves under the cursor, so positions
    // relative to it would make it jump).
    void FormMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, const QPoint& screenPos);

    // The cursor's last position in a drag, in screen coordinates.
    QPoint DragPoint() const { return DragPoint_; }
    // The cached background (what the window paints) and how many times a
    // picture was read into it.
    const QPixmap& Background() const { return background_; }
    int BackgroundLoads() const { return backgroundLoads_; }

protected:
    // Sets the title and paints without erasing first: the picture covers
    // the whole window.
    SkinnedWindow(QWidget* parent, Qt::WindowFlags flags, DragRule rule);

    // The left button alone, none of the blocking modifiers held.
    bool PlainLeft(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) const;
    // A press on the window's own background (a button keeps its own
    // presses): starts a drag when the rule lets it, else none runs.
    void BackgroundPress(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, bool doubleClick,
                         const QPoint& screenPos);
    // Takes hold of the window with the cursor at screenPos.
    void Grip(const QPoint& screenPos);

    // Reads the picture file. When it can be read the window takes its size
    // and outline and paints it from then on; when not, nothing changes and
    // the answer is false.
    bool LoadBackground(const std::string& file);
    // The window goes without picture and outline; file (which could not be
    // read) counts as read until the background is marked stale.
    void DropBackground(const std::string& file);
    // The background kept is that of file and nothing asked to read it again.
    bool BackgroundCurrent(const std::string& file) const
    {
        return !backgroundStale_ && backgroundFile_ == file;
    }
    void MarkBackgroundStale() { backgroundStale_ = true; }
    bool BackgroundStale() const { return backgroundStale_; }

    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    const DragRule rule_;
    QPoint DragPoint_;
    // A drag began with a press on the background itself: moves that a
    // button or image passes on to the window do not drag it.
    bool dragActive_ = false;
    QPoint dragWindowPos_; // where the drag has put the window so far

    QPixmap background_;
    std::string backgroundFile_;
    bool backgroundStale_ = true;
    int backgroundLoads_ = 0;
};

} // namespace pelko
