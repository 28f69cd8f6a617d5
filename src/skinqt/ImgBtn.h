#pragma once
// The program's push button: a picture (PicOff, or PicOn while the mouse is
// over it) drawn with magenta left out, so the parent's background shows
// around and through it. Optional hover frame, caption and checked look.
#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>
#include <string>

namespace pelko {

class TImgBtn : public QWidget {
    Q_OBJECT
public:
    explicit TImgBtn(QWidget* parent = nullptr);

    // The pictures are copied. Magenta (255, 0, 255) pixels are never drawn.
    void setPicOn(const QImage& pic);
    void setPicOff(const QImage& pic);
    const QImage& PicOn() const { return picOn_; }
    const QImage& PicOff() const { return picOff_; }

    // Load a picture file; throw std::runtime_error when it cannot be read.
    void loadPicOn(const std::string& file);
    void loadPicOff(const std::string& file);

    void setFrame(bool on);
    bool Frame() const { return frame_; }
    void setAutosize(bool on);
    bool Autosize() const { return autosize_; }
    void setCheckButton(bool on);
    bool CheckButton() const { return checkButton_; }
    void setChecked(bool on); // repaints only when the value changes
    bool Checked() const { return checked_; }

    // An invalid colour means the desktop's own (highlight / button face).
    void setCheckColor(const QColor& c);
    void setFrameColor(const QColor& c);
    QColor CheckColor() const;
    QColor FrameColor() const;

    void setCaption(const QString& caption);
    const QString& Caption() const { return caption_; }

    // What a completed left click does: clicked(), then OnClick. Assistive
    // technology presses the button this way.
    void click();

    bool isHovered() const { return hover_; }
    bool isPressed() const { return pressed_; }

    // Handlers. Positions are in the button's own coordinates (for a leave
    // without a position: the last one seen).
    std::function<void()> OnClick;
    std::function<void(const QPoint&)> OnMouseEnter;
    std::function<void(const QPoint&)> OnMouseLeave;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool event(QEvent* e) override;

private:
    // Margins that step 2 of the painting adds around the size picture.
    void autosizeMargins(int& dx, int& dy) const;
    void applyAutosize();
    void mouseIn(const QPoint& pos);
    void mouseOut(const QPoint& pos);
    static QImage maskedCopy(const QImage& pic);

    QImage picOn_, picOff_;       // as given
    QImage drawOn_, drawOff_;     // ARGB copies with magenta made transparent
    bool frame_ = false;
    bool autosize_ = true;
    bool checkButton_ = false;
    bool checked_ = false;
    QColor checkColor_, frameColor_;
    QString caption_;

    bool hover_ = false;
    bool pressed_ = false;
    bool tracking_ = false; // a left press began on this button and is not yet released
    QPoint lastPos_;
};

} // namespace pelko
