#pragma once
// Read-only multi-line text drawn straight over the parent's background: no
// frame, no background of its own, and a selection that never stays (a
// selection box would show the message window's picture through the gaps).
#include <QPlainTextEdit>

#include <cstdint>
#include <string>

namespace pelko {

class TTransparentMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TTransparentMemo(QWidget* parent = nullptr);

    // Font and text colour from the skin. colour is a colour value (red in
    // the low byte, then green, then blue), taken as stored. A size of 0 or
    // less keeps the current size.
    void setSkinFont(const std::string& name, int sizePt, bool bold, bool italic, uint32_t colour);
    QColor textColour() const;

    // Repaints the parent's area behind the control, then the control, and
    // collapses any selection. A control without a parent does nothing.
    void repaintBehind();

    // Lets a selection stay (text to copy) instead of collapsing it.
    void setSelectionKept(bool keep) { selectionKept_ = keep; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    bool selectionKept_ = false;
    void collapseSelection();
    void postRepaintBehind();
};

} // namespace pelko
