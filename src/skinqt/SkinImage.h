#pragma once
// An image control of a skinned window (Online, FLAG, STATBMP, NBMSGBMP):
// shows its picture with the colour of the picture's bottom-left pixel left
// out, so the window background shows through around and inside it.
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <string>

class QMouseEvent;
class QPaintEvent;

namespace pelko {

class TSkinImage : public QWidget {
    Q_OBJECT
public:
    explicit TSkinImage(QWidget* parent = nullptr);

    // With Autosize on, the control takes the size of each new picture.
    void setAutosize(bool on) { autosize_ = on; }
    bool Autosize() const { return autosize_; }

    // Shows img (a null image clears the picture). The transparent colour is
    // taken from the bottom-left pixel.
    void setPicture(const QImage& img);
    void clearPicture();
    // Loads a picture file (BMP, PNG). Throws std::runtime_error
    // "Cannot load picture <file>" and keeps the old picture when unreadable.
    void loadPicture(const std::string& file);

    bool hasPicture() const { return !picture_.isNull(); }
    // The picture as given, transparent colour included.
    const QImage& picture() const { return picture_; }
    // The colour left out (0xAARRGGBB as QImage::pixel gives it); 0 without picture.
    QRgb transparentColor() const { return transparent_; }

    // The hint (tooltip). Kept byte for byte; shown as UTF-8 plain text (a
    // server's words in it are never read as markup), "\r" as line breaks.
    void setHint(const std::string& text);
    const std::string& hint() const { return hint_; }

    // The text the picture shows (drawn in a bitmap font by DrawFontText),
    // for assistive technology; an image without one is a plain picture.
    void setShownText(const std::string& text);
    const std::string& shownText() const { return shownText_; }
    bool hasShownText() const { return hasShownText_; }

signals:
    // Every press on the control, double clicks included (event->type() is
    // then QEvent::MouseButtonDblClick). The press is not passed to the parent:
    // only the window background starts a drag. Right clicks still reach the
    // parent's context menu.
    void mousePressed(QMouseEvent* event);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    QPixmap shown_; // picture_ with the transparent colour as alpha 0
    QRgb transparent_ = 0;
    bool autosize_ = false;
    std::string hint_;
    std::string shownText_;
    bool hasShownText_ = false;
};

} // namespace pelko
