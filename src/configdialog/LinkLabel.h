#pragma once
// A label that looks and acts like a web link: navy, underlined, hand
// cursor, clicked on a left-button release over it.
#include <QLabel>

namespace pelko {

class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text = {}, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

} // namespace pelko
