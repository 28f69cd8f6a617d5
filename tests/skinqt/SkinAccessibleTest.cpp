#include "skinqt/ImgBtn.h"
#include "skinqt/SkinImage.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QWidget>

using namespace pelko;

namespace {

QAccessibleInterface* of(QWidget* w)
{
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    EXPECT_NE(i, nullptr);
    return i;
}

} // namespace

TEST(SkinAccessible, ImagesSayTheirTextOrHint)
{
    QWidget window;
    auto* count = new TSkinImage(&window);
    count->setHint("Demo : 3\rWork : 0");
    count->setShownText("3");
    auto* status = new TSkinImage(&window);
    status->setHint("Demo-3 messages");
    status->setShownText("Demo-3 messages");
    auto* lamp = new TSkinImage(&window);
    lamp->setHint("Connected");

    EXPECT_EQ(of(count)->role(), QAccessible::StaticText);
    EXPECT_EQ(of(count)->text(QAccessible::Name), QStringLiteral("3"));
    EXPECT_EQ(of(count)->text(QAccessible::Description), QStringLiteral("Demo : 3\nWork : 0"));
    // A status text is its own hint: not said twice.
    EXPECT_EQ(of(status)->text(QAccessible::Name), QStringLiteral("Demo-3 messages"));
    EXPECT_EQ(of(status)->text(QAccessible::Description), QString());
    EXPECT_EQ(of(lamp)->role(), QAccessible::Graphic);
    EXPECT_EQ(of(lamp)->text(QAccessible::Name), QStringLiteral("Connected"));
    lamp->setHint("Disconnected");
    EXPECT_EQ(of(lamp)->text(QAccessible::Name), QStringLiteral("Disconnected"));
}

TEST(SkinAccessible, ButtonIsNamedByItsHintAndCanBePressed)
{
    QWidget window;
    auto* check = new TImgBtn(&window);
    check->setToolTip(QStringLiteral("Check for Messages"));
    auto* captioned = new TImgBtn(&window);
    captioned->setCaption(QStringLiteral("Skin"));
    int clicks = 0;
    check->OnClick = [&] { ++clicks; };

    QAccessibleInterface* b = of(check);
    EXPECT_EQ(b->role(), QAccessible::Button);
    EXPECT_EQ(b->text(QAccessible::Name), QStringLiteral("Check for Messages"));
    EXPECT_EQ(of(captioned)->text(QAccessible::Name), QStringLiteral("Skin"));
    ASSERT_NE(b->actionInterface(), nullptr);
    ASSERT_TRUE(b->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    b->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 0); // from the event loop, not inside the request
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);

    check->setEnabled(false);
    EXPECT_FALSE(b->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    b->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);
}
