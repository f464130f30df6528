#include "controls/qt/ImageButton.h"

#include <QApplication>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

using namespace controls;

namespace {

QImage Solid(int w, int h, QColor color) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

const QColor kNormal(200, 0, 0), kOver(0, 200, 0), kDown(0, 0, 200);

// A flat button with one colour per image on a white window, as the main
// window sets its buttons up.
struct Fixture {
    QWidget window;
    TImageButton* button;
    int clicks = 0;
    Fixture(QSize size = {40, 30}) {
        window.resize(200, 100);
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, Qt::white);
        window.setPalette(palette);
        button = new TImageButton(&window);
        button->setGeometry(QRect(QPoint(50, 30), size));
        button->SetButtonStyle(pbsFlat);
        button->IsDrawFaceOnMouseOver = button->IsDrawBorderOnMouseOver = false;
        button->IsDrawBorderOnPush = button->IsDrawFaceOnPush = false;
        button->ImageNormalObject() = Solid(size.width(), size.height(), kNormal);
        button->ImageOverObject() = Solid(size.width(), size.height(), kOver);
        button->ImageDownObject() = Solid(size.width(), size.height(), kDown);
        button->OnClick = [this](QObject*) { ++clicks; };
        window.show();
        QApplication::processEvents();
    }
    // The colour in the middle of the button as it is painted now.
    QColor Shown() { return window.grab(button->geometry()).toImage().pixelColor(button->width() / 2, button->height() / 2); }
    QImage Picture() { return window.grab(button->geometry()).toImage().convertToFormat(QImage::Format_RGB32); }
    QPoint Inside() const { return QPoint(10, 10); }
    QPoint Outside() const { return QPoint(button->width() + 30, 10); }
};

}  // namespace

TEST(ImageButton, ShowsNormalOverAndDownImagesAndClicks) {
    Fixture f;
    EXPECT_EQ(f.Shown(), kNormal);
    QTest::mouseMove(f.button, f.Inside());
    EXPECT_TRUE(f.button->IsMouseOver());
    EXPECT_EQ(f.Shown(), kOver);
    QTest::mousePress(f.button, Qt::LeftButton, {}, f.Inside());
    EXPECT_EQ(f.button->ButtonState(), pbsDown);
    EXPECT_EQ(f.Shown(), kDown);
    QTest::mouseRelease(f.button, Qt::LeftButton, {}, f.Inside());
    EXPECT_EQ(f.clicks, 1);
    EXPECT_EQ(f.button->ButtonState(), pbsNormal);
    EXPECT_EQ(f.Shown(), kOver);
    // A flat button without face and border flags paints nothing but its image.
    const QImage picture = f.Picture();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) ASSERT_EQ(picture.pixelColor(x, y), kOver) << x << "," << y;
}

TEST(ImageButton, PressDragOffAndReleaseOutsideDoesNotClick) {
    Fixture f;
    int enters = 0, exits = 0;
    f.button->OnMouseEnter = [&](QObject*) { ++enters; };
    f.button->OnMouseExit = [&](QObject*) { ++exits; };
    QTest::mouseMove(f.button, f.Inside());
    QTest::mousePress(f.button, Qt::LeftButton, {}, f.Inside());
    QTest::mouseMove(f.button, f.Outside());
    EXPECT_FALSE(f.button->IsMouseOver());
    EXPECT_EQ(f.button->ButtonState(), pbsDown);
    EXPECT_EQ(f.Shown(), kNormal);  // dragged off: the normal image
    QTest::mouseRelease(f.button, Qt::LeftButton, {}, f.Outside());
    EXPECT_EQ(f.clicks, 0);
    EXPECT_EQ(f.button->ButtonState(), pbsNormal);
    EXPECT_EQ(f.Shown(), kNormal);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(exits, 1);

    // Dragged back on and released there: a click.
    QTest::mousePress(f.button, Qt::LeftButton, {}, f.Inside());
    QTest::mouseMove(f.button, f.Outside());
    QTest::mouseMove(f.button, f.Inside());
    EXPECT_EQ(f.Shown(), kDown);
    QTest::mouseRelease(f.button, Qt::LeftButton, {}, f.Inside());
    EXPECT_EQ(f.clicks, 1);
}

TEST(ImageButton, RightButtonNeitherPressesNorClicks) {
    Fixture f;
    QTest::mouseMove(f.button, f.Inside());
    QTest::mousePress(f.button, Qt::RightButton, {}, f.Inside());
    EXPECT_EQ(f.button->ButtonState(), pbsNormal);
    QTest::mouseRelease(f.button, Qt::RightButton, {}, f.Inside());
    EXPECT_EQ(f.clicks, 0);
}

TEST(ImageButton, DisabledButtonIsFadedAndIgnoresMouse) {
    Fixture f;
    // Alpha values 255, 200, 2 become 85, 66, 0.
    QImage normal = Solid(40, 30, kNormal);
    normal.setPixelColor(0, 0, QColor(200, 0, 0, 200));
    normal.setPixelColor(1, 0, QColor(200, 0, 0, 2));
    f.button->ImageNormalObject() = normal;
    EXPECT_TRUE(f.button->ImageDisabled().isNull());  // assigning into the object rebuilds nothing

    f.button->setEnabled(false);
    EXPECT_EQ(f.button->ButtonState(), pbsDisabled);
    const QImage& disabled = f.button->ImageDisabled();
    EXPECT_EQ(qAlpha(disabled.pixel(5, 5)), 85);
    EXPECT_EQ(qAlpha(disabled.pixel(0, 0)), 66);
    EXPECT_EQ(qAlpha(disabled.pixel(1, 0)), 0);
    EXPECT_EQ(QColor(disabled.pixel(5, 5)).rgb() & 0xFFFFFF, kNormal.rgb() & 0xFFFFFF);
    // Drawn over white at a third of its opacity.
    const QColor shown = f.Shown();
    EXPECT_NEAR(shown.red(), 200 * 85 / 255 + 255 * 170 / 255, 2);
    EXPECT_NEAR(shown.green(), 255 * 170 / 255, 2);

    QTest::mouseMove(f.button, f.Inside());
    QTest::mousePress(f.button, Qt::LeftButton, {}, f.Inside());
    QTest::mouseRelease(f.button, Qt::LeftButton, {}, f.Inside());
    EXPECT_EQ(f.button->ButtonState(), pbsDisabled);
    EXPECT_FALSE(f.button->IsMouseOver());
    EXPECT_EQ(f.clicks, 0);
}

TEST(ImageButton, DisabledWhileHoveredKeepsHoverUntilNextLeave) {
    Fixture f;
    QTest::mouseMove(f.button, f.Inside());
    ASSERT_TRUE(f.button->IsMouseOver());
    f.button->setEnabled(false);
    QTest::mouseMove(f.button, f.Outside());  // the leave is ignored while disabled
    EXPECT_TRUE(f.button->IsMouseOver());
    EXPECT_NE(f.Shown(), kOver);
    f.button->setEnabled(true);
    EXPECT_EQ(f.Shown(), kOver);
    QTest::mouseMove(f.button, f.Inside());
    QTest::mouseMove(f.button, f.Outside());
    EXPECT_EQ(f.Shown(), kNormal);
}

TEST(ImageButton, SettingNormalImageRebuildsDisabledImageAtOnce) {
    Fixture f;
    f.button->SetImageNormal(Solid(40, 30, QColor(0, 0, 0, 150)));
    ASSERT_FALSE(f.button->ImageDisabled().isNull());
    EXPECT_EQ(qAlpha(f.button->ImageDisabled().pixel(3, 3)), 50);
}

TEST(ImageButton, ImageAndCaptionPositions) {
    struct Case { QSize button; QPoint image; };
    for (const Case& c : {Case{{117, 44}, {0, 0}}, Case{{120, 50}, {1, 3}}}) {
        Fixture f(c.button);
        f.button->SetImageNormal(Solid(117, 44, kNormal));
        const QImage picture = f.Picture();
        EXPECT_EQ(picture.pixelColor(c.image), kNormal) << c.button.width();
        EXPECT_EQ(picture.pixelColor(c.image + QPoint(116, 43)), kNormal);
        if (c.image != QPoint(0, 0)) {
            EXPECT_EQ(picture.pixelColor(c.image - QPoint(1, 1)), QColor(Qt::white));
            EXPECT_EQ(picture.pixelColor(c.image + QPoint(117, 44)), QColor(Qt::white));
        }
    }

    // Image left of the caption, both centred together, 5 pixels apart.
    Fixture f({100, 30});
    f.button->SetImageNormal(Solid(16, 16, kNormal));
    f.button->SetCaption(u"Go");
    f.button->SetButtonLayout(pbsImageLeft);
    const int tw = QFontMetrics(f.button->font()).horizontalAdvance("Go");
    const QImage picture = f.Picture();
    int firstRed = -1, firstDark = -1;
    for (int x = 0; x < 100; ++x) {
        for (int y = 0; y < 30; ++y) {
            const QColor p = picture.pixelColor(x, y);
            if (firstRed < 0 && p == kNormal) firstRed = x;
            if (firstDark < 0 && x >= firstRed + 16 && firstRed >= 0 && qGray(p.rgb()) < 0x80) firstDark = x;
        }
    }
    EXPECT_EQ(firstRed, (100 - 16 - tw) / 2);
    EXPECT_GE(firstDark, firstRed + 16 + 5);
    EXPECT_LE(firstDark, firstRed + 16 + 5 + 3);
}

TEST(ImageButton, FacesAndBordersDrawnWhenFlagsAreSet) {
    Fixture f;
    f.button->IsDrawBorderOnMouseOver = true;
    f.button->IsDrawFaceOnMouseOver = true;
    f.button->ImageOverObject() = Solid(10, 10, kOver);
    f.button->ImageDownObject() = Solid(10, 10, kDown);
    QTest::mouseMove(f.button, f.Inside());
    QImage picture = f.Picture();
    EXPECT_EQ(picture.pixelColor(0, 0), ColorToQColor(clBlue));
    EXPECT_EQ(picture.pixelColor(2, 2), ColorToQColor(16761035));
    EXPECT_EQ(picture.pixelColor(20, 15), kOver);

    f.button->IsDrawBorderOnPush = true;
    f.button->IsDrawFaceOnPush = true;
    QTest::mousePress(f.button, Qt::LeftButton, {}, f.Inside());
    picture = f.Picture();
    EXPECT_EQ(picture.pixelColor(0, 0), ColorToQColor(clYellow));
    EXPECT_EQ(picture.pixelColor(2, 2), ColorToQColor(14822282));
    QTest::mouseRelease(f.button, Qt::LeftButton, {}, f.Inside());
}
