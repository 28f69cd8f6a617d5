#include "skinqt/SkinAccessible.h"

#include "skinqt/AccessBusGuard.h"
#include "skinqt/ImgBtn.h"
#include "skinqt/SkinImage.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QPointer>

namespace pelko {

namespace {

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), int(s.size())); }

class SkinImageAccessible : public QAccessibleWidget {
public:
    explicit SkinImageAccessible(TSkinImage* w) : QAccessibleWidget(w, QAccessible::Graphic) {}

    TSkinImage* image() const { return static_cast<TSkinImage*>(widget()); }

    QAccessible::Role role() const override
    {
        return image()->hasShownText() ? QAccessible::StaticText : QAccessible::Graphic;
    }

    QString text(QAccessible::Text t) const override
    {
        const TSkinImage* w = image();
        // The tooltip is the hint with plain newlines (TSkinImage::setHint).
        const QString hint = w->toolTip();
        switch (t) {
        case QAccessible::Name:
            if (!w->accessibleName().isEmpty())
                return w->accessibleName();
            return w->hasShownText() ? fromUtf8(w->shownText()) : hint;
        case QAccessible::Value:
            return w->hasShownText() ? fromUtf8(w->shownText()) : QString();
        case QAccessible::Description:
            if (!w->accessibleDescription().isEmpty())
                return w->accessibleDescription();
            // The status image's hint is its text: said once is enough.
            return w->hasShownText() && hint != fromUtf8(w->shownText()) ? hint : QString();
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

class ImgBtnAccessible : public QAccessibleWidget {
public:
    explicit ImgBtnAccessible(TImgBtn* w) : QAccessibleWidget(w, QAccessible::Button) {}

    TImgBtn* button() const { return static_cast<TImgBtn*>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        const TImgBtn* b = button();
        switch (t) {
        case QAccessible::Name:
            if (!b->accessibleName().isEmpty())
                return b->accessibleName();
            return b->toolTip().isEmpty() ? b->Caption() : b->toolTip();
        case QAccessible::Description:
            return b->accessibleDescription();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = button()->isPressed();
        if (button()->CheckButton()) {
            s.checkable = true;
            s.checked = button()->Checked();
        }
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled())
            names << pressAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction() && widget()->isEnabled()) {
            // As a click: the handler runs from the event loop, not from
            // inside the request of the assistive technology.
            QPointer<TImgBtn> b(button());
            QMetaObject::invokeMethod(
                b,
                [b] {
                    if (b)
                        b->click();
                },
                Qt::QueuedConnection);
            return;
        }
        QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* skinFactory(const QString& key, QObject* object)
{
    if (key == QLatin1String("pelko::TSkinImage"))
        return new SkinImageAccessible(static_cast<TSkinImage*>(object));
    if (key == QLatin1String("pelko::TImgBtn"))
        return new ImgBtnAccessible(static_cast<TImgBtn*>(object));
    return nullptr;
}

class ActivationWatch : public QAccessible::ActivationObserver {
public:
    void accessibilityActiveChanged(bool active) override
    {
        if (active)
            GuardAccessibilityBus();
    }
};

} // namespace

void InstallSkinAccessibility()
{
    static bool installed = false;
    if (installed || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    installed = true;
    QAccessible::installFactory(skinFactory);
    static ActivationWatch watch;
    QAccessible::installActivationObserver(&watch);
    if (QAccessible::isActive())
        GuardAccessibilityBus();
}

void NotifyAccessibleNameChanged(QWidget* widget)
{
    if (!widget || !QAccessible::isActive())
        return;
    QAccessibleEvent event(widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

} // namespace pelko
