#include "controls/Exceptions.h"
#include "controls/qt/ProgressGauge.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace controls;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// A gauge shown in a window of its own, so that repaints really paint.
struct ShownGauge {
    QWidget window;
    TProgressGauge* gauge;
    ShownGauge(int w = 200, int h = 20) {
        gauge = new TProgressGauge(&window);
        gauge->setGeometry(0, 0, w, h);
        window.resize(w, h);
        window.show();
        QApplication::processEvents();
    }
};

// The main window's install-page gauge.
void SetUpProcessGauge(TProgressGauge& g) {
    g.resize(525, 15);
    g.SetBorderStyle(bsNone);
    g.SetBackColor(13421772);
    g.SetForeColor(11056130);
    g.SetMaxValue(100);
    g.SetShowText(false);
}

QRgb Rgb(TColor c) { return ColorToQColor(c).rgb(); }

}  // namespace

TEST(ProgressGauge, PercentDoneRoundsHalvesToEven) {
    struct Case { std::int64_t min, max, pos, percent; };
    const Case cases[] = {
        {0, 100, 40, 40}, {0, 3, 1, 33},   {0, 8, 1, 12},  // 12.5 -> 12
        {0, 8, 3, 38},    {0, 8, 5, 62},   {0, 8, 7, 88},  // 37.5 -> 38, 62.5 -> 62, 87.5 -> 88
        {0, 200, 1, 0},   {0, 200, 3, 2},  {-100, 100, 0, 50}, {10, 10, 10, 0},
    };
    for (const Case& c : cases) {
        TProgressGauge g;
        g.SetMaxValue(c.max);
        g.SetMinValue(c.min);
        g.SetProgress(c.pos);
        EXPECT_EQ(g.PercentDone(), c.percent) << c.min << ".." << c.max << " at " << c.pos;
    }
}

TEST(ProgressGauge, PositionIsClampedAsSigned32Bit) {
    TProgressGauge g;
    g.SetProgress(150);
    EXPECT_EQ(g.Progress(), 100);
    g.SetProgress(-5);
    EXPECT_EQ(g.Progress(), 0);
    // Only the low 32 bits of the position count: 2^32 + 50 is 50.
    g.SetProgress((std::int64_t(1) << 32) + 50);
    EXPECT_EQ(g.Progress(), 50);
    // 2^31 is negative as a 32-bit number and goes to the minimum.
    g.SetProgress(std::int64_t(1) << 31);
    EXPECT_EQ(g.Progress(), 0);
}

TEST(ProgressGauge, InvertedRangeRaisesAndLeavesGaugeUnchanged) {
    TProgressGauge g;
    g.SetProgress(30);
    try {
        g.SetMaxValue(-1);
        FAIL() << "no exception";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), u"Value must be between 1 and 2147483647");
    }
    try {
        g.SetMinValue(101);
        FAIL() << "no exception";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), u"Value must be between -2147483647 and 99");
    }
    EXPECT_EQ(g.MinValue(), 0);
    EXPECT_EQ(g.MaxValue(), 100);
    EXPECT_EQ(g.Progress(), 30);
    // Equal limits are allowed.
    g.SetMinValue(100);
    EXPECT_EQ(g.Progress(), 100);
    EXPECT_EQ(g.PercentDone(), 0);
}

TEST(ProgressGauge, LimitsMoveThePositionWithoutOnChange) {
    TProgressGauge g;
    int changes = 0;
    g.OnChange = [&](QObject* sender) { EXPECT_EQ(sender, &g); ++changes; };
    g.SetProgress(80);
    EXPECT_EQ(changes, 1);
    g.SetMaxValue(50);
    EXPECT_EQ(g.Progress(), 50);
    g.SetMaxValue(60);
    g.SetMinValue(55);
    EXPECT_EQ(g.Progress(), 55);
    EXPECT_EQ(changes, 1);
    g.SetProgress(55);  // unchanged: no event
    EXPECT_EQ(changes, 1);
}

TEST(ProgressGauge, RepaintsOnlyWhenTheWholePercentageChanges) {
    ShownGauge s;
    TProgressGauge& g = *s.gauge;
    int changes = 0;
    g.OnChange = [&](QObject*) { ++changes; };
    g.SetMaxValue(1000000);
    PaintCounter counter(&g);

    g.SetProgress(1001);
    g.SetProgress(1002);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(counter.paints, 0);

    // 0.4 % → 1 %: one repaint, before the setter returns.
    g.SetProgress(10000);
    EXPECT_EQ(counter.paints, 1);

    counter.paints = 0;
    g.SetMaxValue(1000);
    g.SetProgress(0);
    counter.paints = 0;
    for (int i = 1; i <= 1000; ++i) g.SetProgress(i);
    EXPECT_EQ(counter.paints, 100);
}

TEST(ProgressGauge, ProcessGaugeAtFortyPercentFillsColumnsZeroTo209) {
    TProgressGauge g;
    SetUpProcessGauge(g);
    g.SetProgress(40);
    const QImage image = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(525, 15));
    for (int y = 0; y < 15; ++y) {
        for (int x : {0, 100, 209}) EXPECT_EQ(image.pixel(x, y), Rgb(11056130)) << x << "," << y;
        for (int x : {210, 400, 524}) EXPECT_EQ(image.pixel(x, y), Rgb(13421772)) << x << "," << y;
    }
}

TEST(ProgressGauge, DownloadGaugeAtHundredHasBorderAndInvertedCentredText) {
    TProgressGauge g;
    g.resize(455, 25);
    g.SetForeColor(clBlack);
    g.SetProgress(100);
    std::u16string painted;
    g.OnPaintText = [&](QObject*, std::u16string& text) { painted = text; };
    const QImage image = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(painted, u"100%");

    // The frame and the bar are black; only the text is white.
    int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 455; ++x) {
            const QRgb p = image.pixel(x, y) & 0xFFFFFF;
            const bool border = x == 0 || y == 0 || x == 454 || y == 24;
            if (border) {
                EXPECT_EQ(p, 0u) << x << "," << y;
            } else if (p != 0) {
                EXPECT_EQ(qRed(p), qGreen(p)) << "text is grey or white only";
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
        }
    }
    ASSERT_GE(maxX, 0) << "no text drawn";
    EXPECT_NEAR((minX + maxX) / 2.0, 454 / 2.0, 3);
    EXPECT_NEAR((minY + maxY) / 2.0, 24 / 2.0, 3);
}

TEST(ProgressGauge, TextIsTheInverseOfWhatLiesBeneath) {
    TProgressGauge g;
    g.resize(201, 30);
    g.SetProgress(50);
    const QImage image = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // W = 200, fill = 100: columns 1..99 are black, the rest white.
    EXPECT_EQ(image.pixel(5, 15) & 0xFFFFFF, 0u);
    EXPECT_EQ(image.pixel(195, 15) & 0xFFFFFF, 0xFFFFFFu);
    // The text "50%" straddles the boundary: light on black to its left,
    // dark on white to its right (edges are smoothed, so no exact values).
    bool lightOnBar = false, darkOnBack = false;
    for (int y = 1; y < 29; ++y) {
        for (int x = 60; x < 100; ++x) lightOnBar |= qGray(image.pixel(x, y)) > 0xC0;
        for (int x = 100; x < 140; ++x) darkOnBack |= qGray(image.pixel(x, y)) < 0x40;
    }
    EXPECT_TRUE(lightOnBar);
    EXPECT_TRUE(darkOnBack);
}

TEST(ProgressGauge, TextShowsPositionOrPercentAndCanBeReplaced) {
    TProgressGauge g;
    g.resize(100, 20);
    g.SetMaxValue(200);
    g.SetProgress(7);
    std::u16string painted;
    g.OnPaintText = [&](QObject*, std::u16string& text) { painted = text; };
    g.grab();
    EXPECT_EQ(painted, u"4%");  // 3.5 → 4
    g.SetCalcPercents(false);
    g.SetSuffix(u" KB");
    g.grab();
    EXPECT_EQ(painted, u"7 KB");

    // A handler that empties the text leaves only the bar.
    g.SetForeColor(clWhite);
    g.OnPaintText = [](QObject*, std::u16string& text) { text.clear(); };
    const QImage image = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 1; y < 19; ++y)
        for (int x = 1; x < 99; ++x) ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu) << x << "," << y;
}

TEST(ProgressGauge, OtherKindsFillTheirShapes) {
    TProgressGauge g;
    g.resize(41, 41);
    g.SetBorderStyle(bsNone);
    g.SetShowText(false);
    g.SetForeColor(clBlack);
    g.SetBackColor(clWhite);
    g.SetColor(RGBToColor(0, 0, 255));
    g.SetProgress(50);

    g.SetKind(gkVerticalBar);
    QImage image = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(20, 5) & 0xFFFFFF, 0xFFFFFFu);  // upper half empty
    EXPECT_EQ(image.pixel(20, 35) & 0xFFFFFF, 0u);        // lower half filled

    g.SetKind(gkText);
    image = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(20, 35) & 0xFFFFFF, 0xFFFFFFu);

    // A quarter: the pie covers the upper right quarter of the disc only.
    g.SetProgress(25);
    g.SetKind(gkPie);
    image = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(28, 12) & 0xFFFFFF, 0u);
    EXPECT_EQ(image.pixel(12, 12) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(image.pixel(12, 28) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(image.pixel(28, 28) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0x0000FFu);  // outside the disc: Color

    g.SetKind(gkNeedle);
    image = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(20, 10) & 0xFFFFFF, 0xFFFFFFu);  // inside the half disc
}

TEST(ProgressGauge, WorkerThreadDrivesGaugeWhileWindowThreadPaints) {
    ShownGauge s;
    TProgressGauge& g = *s.gauge;
    PaintCounter counter(&g);
    std::atomic<int> changesOnWindowThread{0}, changesElsewhere{0};
    QThread* windowThread = QThread::currentThread();
    g.OnChange = [&](QObject*) {
        (QThread::currentThread() == windowThread ? changesOnWindowThread : changesElsewhere)++;
    };
    constexpr int kSteps = 20000;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        g.SetMaxValue(kSteps + kSteps / 10);
        for (int i = 1; i <= kSteps; ++i) g.SetProgress(i);
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 20000) QApplication::processEvents();
    worker.join();
    QApplication::processEvents();
    QApplication::processEvents();

    EXPECT_EQ(g.Progress(), kSteps);
    EXPECT_EQ(g.PercentDone(), 91);
    EXPECT_EQ(changesOnWindowThread, kSteps);
    EXPECT_EQ(changesElsewhere, 0);
    EXPECT_GE(counter.paints, 1);
    EXPECT_LE(counter.paints, 92 + 1);
}
