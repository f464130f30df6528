// The controls' toolkit-free rules, tested without any window: the same
// executable runs on Linux and, cross-built, under Wine, so both painters
// stand on rules tested on their own platform.
#include "controls/ButtonModel.h"
#include "controls/Exceptions.h"
#include "controls/GaugeModel.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace controls;

TEST(GaugeModel, SettersAnswerWhatThePainterMustDo) {
    TGaugeModel g;
    ASSERT_EQ(g.SetMaxValue(1000000).Repaint, TRepaint::AtOnce);
    // Positions inside one whole percentage: OnChange each time, no repaint.
    for (int v : {1001, 1002}) {
        const TGaugeChange c = g.SetProgress(v);
        EXPECT_TRUE(c.CallOnChange) << v;
        EXPECT_EQ(c.Repaint, TRepaint::None) << v;
    }
    const TGaugeChange same = g.SetProgress(1002);
    EXPECT_FALSE(same.CallOnChange);
    EXPECT_EQ(same.Repaint, TRepaint::None);
    EXPECT_EQ(g.SetProgress(20000).Repaint, TRepaint::AtOnce);  // 2 %
    // AddProgress repaints in any case, even without a change.
    EXPECT_EQ(g.AddProgress(0).Repaint, TRepaint::AtOnce);
    EXPECT_FALSE(g.AddProgress(0).CallOnChange);
    // Suffix and CalcPercents only invalidate; other properties repaint at once.
    EXPECT_EQ(g.SetSuffix(u" pct").Repaint, TRepaint::Later);
    EXPECT_EQ(g.SetCalcPercents(false).Repaint, TRepaint::Later);
    EXPECT_EQ(g.SetCalcPercents(false).Repaint, TRepaint::None);
    EXPECT_EQ(g.SetForeColor(clBlue).Repaint, TRepaint::AtOnce);
    // Limits move the position without OnChange.
    const TGaugeChange lowered = g.SetMaxValue(50);
    EXPECT_FALSE(lowered.CallOnChange);
    EXPECT_EQ(g.Snapshot().CurValue, 50);
}

TEST(GaugeModel, InvertedRangeRaisesWithTheLimitsInTheMessage) {
    TGaugeModel g;
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
    EXPECT_EQ(g.Snapshot().MinValue, 0);
    EXPECT_EQ(g.Snapshot().MaxValue, 100);
}

TEST(GaugeModel, GeometryOfEveryShape) {
    TGaugeValues v;
    v.CurValue = 40;
    // The install page's gauge: no border, 526 x 16 bar units, 210 columns filled.
    v.BorderStyle = bsNone;
    TGaugeGeometry g = GaugeGeometry(v, 525, 15);
    EXPECT_EQ(g.Paint, (TRect{0, 0, 525, 15}));
    EXPECT_EQ(g.Fill, (TRect{0, 0, 210, 16}));
    // The download page's gauge at 100 %: the fill is capped at the bar width.
    v.BorderStyle = bsSingle;
    v.CurValue = 100;
    g = GaugeGeometry(v, 455, 25);
    EXPECT_EQ(g.Paint, (TRect{1, 1, 454, 24}));
    EXPECT_EQ(g.Fill, (TRect{1, 1, 454, 24}));
    // Vertical at 100 %: never the whole height (H - 1 rows).
    v.Kind = gkVerticalBar;
    g = GaugeGeometry(v, 20, 50);
    EXPECT_EQ(g.Fill, (TRect{1, 1, 19, 49}));
    // Empty range: nothing filled at any position.
    v.Kind = gkHorizontalBar;
    v.MinValue = v.MaxValue = v.CurValue = 100;
    EXPECT_TRUE(GaugeGeometry(v, 100, 20).Fill.Empty());
    // Pie at 25 %: the slice runs from three o'clock to twelve.
    v = {};
    v.Kind = gkPie;
    v.BorderStyle = bsNone;
    v.CurValue = 25;
    g = GaugeGeometry(v, 40, 40);
    EXPECT_TRUE(g.HasSlice);
    EXPECT_EQ(g.PieFrom, (TPoint{40, 20}));
    EXPECT_EQ(g.PieTo, (TPoint{20, 0}));
    // Needle at 50 %: straight up from the middle of the base.
    v.Kind = gkNeedle;
    v.CurValue = 50;
    g = GaugeGeometry(v, 40, 20);
    EXPECT_EQ(g.NeedleFrom, (TPoint{20, 19}));
    EXPECT_EQ(g.NeedleTo, (TPoint{20, 0}));
    v.CurValue = 0;
    EXPECT_FALSE(GaugeGeometry(v, 40, 20).HasSlice);
}

TEST(GaugeModel, TextAndItsPlace) {
    TGaugeValues v;
    v.MaxValue = 200;
    v.CurValue = 7;
    EXPECT_EQ(GaugeText(v), u"4%");  // 3.5 rounds to even
    v.CalcPercents = false;
    v.Suffix = u"!";
    EXPECT_EQ(GaugeText(v), u"7!");
    v.BorderStyle = bsNone;
    const TGaugeGeometry g = GaugeGeometry(v, 100, 20);
    EXPECT_EQ(GaugeTextOrigin(g, 30, 15), (TPoint{35, 3}));
}

namespace {

// A reaction as a short string, so that a table can name it: e=enter x=exit r=repaint c=click.
std::string Letters(const TButtonReaction& r) {
    return std::string(r.MouseEnter ? "e" : "") + (r.MouseExit ? "x" : "") + (r.Repaint ? "r" : "") +
           (r.Click ? "c" : "");
}

TButtonImage Shown(const TButtonModel& m) { return ChooseImage(m, {true, true, true}); }

}  // namespace

TEST(ButtonModel, MouseStateMachine) {
    struct Step {
        const char* what;
        std::function<TButtonReaction(TButtonModel&)> act;
        const char* reaction;
        TImageButtonState state;
        TButtonImage image;
    };
    const Step steps[] = {
        {"enter", [](TButtonModel& m) { return m.PointerInside(true); }, "er", pbsNormal, TButtonImage::Over},
        {"enter again", [](TButtonModel& m) { return m.PointerInside(true); }, "", pbsNormal, TButtonImage::Over},
        {"right down", [](TButtonModel& m) { return m.ButtonDown(false); }, "", pbsNormal, TButtonImage::Over},
        {"right up", [](TButtonModel& m) { return m.ButtonUp(false, true); }, "", pbsNormal, TButtonImage::Over},
        {"left down", [](TButtonModel& m) { return m.ButtonDown(true); }, "r", pbsDown, TButtonImage::Down},
        {"drag off", [](TButtonModel& m) { return m.PointerMoved(false, true); }, "xr", pbsDown, TButtonImage::Normal},
        {"drag back", [](TButtonModel& m) { return m.PointerMoved(true, true); }, "er", pbsDown, TButtonImage::Down},
        {"drag off", [](TButtonModel& m) { return m.PointerMoved(false, true); }, "xr", pbsDown, TButtonImage::Normal},
        {"up outside", [](TButtonModel& m) { return m.ButtonUp(true, false); }, "r", pbsNormal, TButtonImage::Normal},
        {"move in", [](TButtonModel& m) { return m.PointerMoved(true, false); }, "r", pbsNormal, TButtonImage::Over},
        {"left down", [](TButtonModel& m) { return m.ButtonDown(true); }, "r", pbsDown, TButtonImage::Down},
        {"up inside", [](TButtonModel& m) { return m.ButtonUp(true, true); }, "rc", pbsNormal, TButtonImage::Over},
        // The second press of a double click presses, but its release clicks nothing.
        {"double", [](TButtonModel& m) { return m.ButtonDown(true, true); }, "r", pbsDown, TButtonImage::Down},
        {"up inside", [](TButtonModel& m) { return m.ButtonUp(true, true); }, "r", pbsNormal, TButtonImage::Over},
        // Disabled while hovered: hover kept, leave ignored, presses ignored.
        {"disable", [](TButtonModel& m) { return m.SetEnabled(false); }, "r", pbsDisabled, TButtonImage::Disabled},
        {"leave", [](TButtonModel& m) { return m.PointerInside(false); }, "", pbsDisabled, TButtonImage::Disabled},
        {"left down", [](TButtonModel& m) { return m.ButtonDown(true); }, "", pbsDisabled, TButtonImage::Disabled},
        {"enable", [](TButtonModel& m) { return m.SetEnabled(true); }, "r", pbsNormal, TButtonImage::Over},
        {"enter", [](TButtonModel& m) { return m.PointerInside(true); }, "er", pbsNormal, TButtonImage::Over},
        {"leave", [](TButtonModel& m) { return m.PointerInside(false); }, "xr", pbsNormal, TButtonImage::Normal},
    };
    TButtonModel m;
    int n = 0;
    for (const Step& s : steps) {
        ++n;
        EXPECT_EQ(Letters(s.act(m)), s.reaction) << n << " " << s.what;
        EXPECT_EQ(m.State(), s.state) << n << " " << s.what;
        EXPECT_EQ(Shown(m), s.image) << n << " " << s.what;
    }
}

TEST(ButtonModel, ImageChoiceFallsBackWhenAnImageIsEmpty) {
    TButtonModel m;
    m.PointerInside(true);
    m.ButtonDown(true);
    EXPECT_EQ(ChooseImage(m, {false, true, true}), TButtonImage::Over);
    EXPECT_EQ(ChooseImage(m, {false, false, true}), TButtonImage::Normal);
    m.SetEnabled(false);
    EXPECT_EQ(ChooseImage(m, {true, true, false}), TButtonImage::Normal);
}

TEST(ButtonModel, PositionsFacesAndFading) {
    struct Case { TImageButtonLayout layout; int w, h, iw, ih, tw, th; bool caption; TButtonPositions at; };
    const Case cases[] = {
        {pbsImageAbove, 117, 44, 117, 44, 0, 0, false, {0, 0, 58, 44}},
        {pbsImageAbove, 120, 50, 117, 44, 0, 0, false, {1, 3, 60, 47}},
        {pbsImageLeft, 100, 30, 16, 16, 20, 14, true, {32, 5, 53, 8}},
        {pbsImageAbove, 60, 60, 16, 16, 20, 14, true, {22, 13, 20, 33}},
        {pbsImageBellow, 60, 60, 16, 16, 20, 14, true, {22, 27, 20, 13}},
        {pbsImageRight, 100, 30, 16, 16, 20, 14, true, {57, 5, 32, 8}},
    };
    for (const Case& c : cases) {
        const TButtonPositions p = ButtonPositions(c.layout, c.w, c.h, c.iw, c.ih, c.tw, c.th, c.caption);
        EXPECT_EQ(p.ImageX, c.at.ImageX) << c.layout << " " << c.w;
        EXPECT_EQ(p.ImageY, c.at.ImageY) << c.layout << " " << c.w;
        EXPECT_EQ(p.CaptionX, c.at.CaptionX) << c.layout << " " << c.w;
        EXPECT_EQ(p.CaptionY, c.at.CaptionY) << c.layout << " " << c.w;
    }

    TButtonFaces faces;
    TButtonModel m;
    EXPECT_FALSE(ButtonFace(faces, pbsFlat, m).Frame);
    m.PointerInside(true);
    TButtonFacePaint f = ButtonFace(faces, pbsFlat, m);
    EXPECT_TRUE(f.Frame && f.Face);
    EXPECT_EQ(f.FrameColor, clBlue);
    m.ButtonDown(true);
    f = ButtonFace(faces, pbsNoFrame, m);
    EXPECT_TRUE(f.Frame);
    EXPECT_FALSE(f.Face);
    EXPECT_EQ(f.FrameColor, clYellow);
    EXPECT_FALSE(ButtonFace(faces, pbsDefault, m).Frame);  // the platform's raised face instead
    m.SetEnabled(false);
    EXPECT_FALSE(ButtonFace(faces, pbsFlat, m).Frame);

    std::uint32_t row[] = {0xFF123456u, 0xC8000000u, 0x02FFFFFFu};
    FadeToOneThird(row, 3);
    EXPECT_EQ(row[0], 0x55123456u);
    EXPECT_EQ(row[1], 0x42000000u);
    EXPECT_EQ(row[2], 0x00FFFFFFu);
}
