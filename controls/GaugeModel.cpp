#include "controls/GaugeModel.h"

#include "controls/ControlTexts.h"
#include "controls/Exceptions.h"

#include <cfenv>
#include <cmath>
#include <numbers>

namespace controls {
namespace {

constexpr std::int64_t kMaxInt32 = 2147483647;

// The out-of-range message with its two numbers filled in.
std::u16string RangeMessage(std::int64_t low, std::int64_t high) {
    std::u16string text = texts::SOutOfRange;
    for (std::int64_t n : {low, high}) {
        const auto at = text.find(u"%d");
        const std::string digits = std::to_string(n);
        text.replace(at, 2, std::u16string(digits.begin(), digits.end()));
    }
    return text;
}

}  // namespace

std::int64_t RoundHalfEven(long double x) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyintl(x);
    std::fesetround(saved);
    return static_cast<std::int64_t>(r);
}

std::int64_t PercentOf(const TGaugeValues& v) {
    const std::int64_t range = v.MaxValue - v.MinValue;
    if (range == 0) return 0;
    const std::int64_t offset = v.CurValue - v.MinValue;
    return RoundHalfEven((100.0L / static_cast<long double>(range)) * static_cast<long double>(offset));
}

TGaugeValues TGaugeModel::Snapshot() const {
    std::lock_guard lock(mutex_);
    return values_;
}

std::int64_t TGaugeModel::PercentDone() const {
    std::lock_guard lock(mutex_);
    return PercentOf(values_);
}

TGaugeChange TGaugeModel::SetMinValue(std::int64_t Value) {
    std::lock_guard lock(mutex_);
    if (Value == values_.MinValue) return {};
    if (Value > values_.MaxValue) throw EInvalidOperation(RangeMessage(-kMaxInt32, values_.MaxValue - 1));
    values_.MinValue = Value;
    if (values_.CurValue < Value) values_.CurValue = Value;
    return {TRepaint::AtOnce, false};
}

TGaugeChange TGaugeModel::SetMaxValue(std::int64_t Value) {
    std::lock_guard lock(mutex_);
    if (Value == values_.MaxValue) return {};
    if (Value < values_.MinValue) throw EInvalidOperation(RangeMessage(values_.MinValue + 1, kMaxInt32));
    values_.MaxValue = Value;
    if (values_.CurValue > Value) values_.CurValue = Value;
    return {TRepaint::AtOnce, false};
}

TGaugeChange TGaugeModel::SetProgress(std::int64_t Value) {
    std::lock_guard lock(mutex_);
    const std::int64_t p0 = PercentOf(values_);
    // Positions and limits are compared as signed 32-bit numbers.
    const auto v = static_cast<std::int32_t>(Value);
    const auto lo = static_cast<std::int32_t>(values_.MinValue);
    const auto hi = static_cast<std::int32_t>(values_.MaxValue);
    const std::int64_t clamped = v < lo ? lo : (v > hi ? hi : v);
    if (clamped == values_.CurValue) return {};
    values_.CurValue = clamped;
    return {PercentOf(values_) != p0 ? TRepaint::AtOnce : TRepaint::None, true};
}

TGaugeChange TGaugeModel::AddProgress(std::int64_t Value) {
    std::int64_t current;
    {
        std::lock_guard lock(mutex_);
        current = values_.CurValue;
    }
    TGaugeChange change = SetProgress(current + Value);
    change.Repaint = TRepaint::AtOnce;
    return change;
}

template <class T>
TGaugeChange TGaugeModel::Store(T TGaugeValues::*Field, const T& Value, TRepaint Repaint) {
    std::lock_guard lock(mutex_);
    if (values_.*Field == Value) return {};
    values_.*Field = Value;
    return {Repaint, false};
}

TGaugeChange TGaugeModel::SetKind(TProgressGaugeKind Value) { return Store(&TGaugeValues::Kind, Value, TRepaint::AtOnce); }
TGaugeChange TGaugeModel::SetShowText(bool Value) { return Store(&TGaugeValues::ShowText, Value, TRepaint::AtOnce); }
TGaugeChange TGaugeModel::SetBorderStyle(TBorderStyle Value) { return Store(&TGaugeValues::BorderStyle, Value, TRepaint::AtOnce); }
TGaugeChange TGaugeModel::SetBackColor(TColor Value) { return Store(&TGaugeValues::BackColor, Value, TRepaint::AtOnce); }
TGaugeChange TGaugeModel::SetForeColor(TColor Value) { return Store(&TGaugeValues::ForeColor, Value, TRepaint::AtOnce); }
TGaugeChange TGaugeModel::SetColor(TColor Value) { return Store(&TGaugeValues::Color, Value, TRepaint::AtOnce); }
TGaugeChange TGaugeModel::SetSuffix(const std::u16string& Value) { return Store(&TGaugeValues::Suffix, Value, TRepaint::Later); }
TGaugeChange TGaugeModel::SetCalcPercents(bool Value) { return Store(&TGaugeValues::CalcPercents, Value, TRepaint::Later); }

TGaugeGeometry GaugeGeometry(const TGaugeValues& v, int Width, int Height) {
    TGaugeGeometry g;
    TRect& p = g.Paint;
    p = {0, 0, Width, Height};
    if (v.BorderStyle == bsSingle) { ++p.Left; ++p.Top; --p.Right; --p.Bottom; }
    g.BarW = p.Right - p.Left + 1;
    g.BarH = p.Bottom - p.Top + 1;
    g.Percent = PercentOf(v);
    const long double pi = std::numbers::pi_v<long double>;
    const int extra = v.BorderStyle == bsSingle ? 1 : 0;
    const int w = p.Right - p.Left + extra, h = p.Bottom - p.Top + extra;
    switch (v.Kind) {
        case gkText:
            break;
        case gkHorizontalBar: {
            std::int64_t fill = RoundHalfEven(g.BarW * (g.Percent * 0.01L));
            if (fill > g.BarW) fill = g.BarW;
            if (fill > 0) g.Fill = {p.Left, p.Top, int(fill), g.BarH};
            break;
        }
        case gkVerticalBar: {
            std::int64_t fill = RoundHalfEven(g.BarH * (g.Percent * 0.01L));
            if (fill >= g.BarH) fill = g.BarH - 1;
            g.Fill = {p.Left, g.BarH - int(fill), g.BarW, g.BarH};
            break;
        }
        case gkPie: {
            g.PieBox = {p.Left, p.Top, w, h};
            if (g.Percent > 0) {
                const int mx = w / 2, my = h / 2;
                const long double angle = (g.Percent / 50.0L + 0.5L) * pi;
                g.HasSlice = true;
                g.PieFrom = {int(std::llround(mx * (1 - std::cos(angle)))), int(std::llround(my * (1 - std::sin(angle))))};
                g.PieTo = {mx, 0};
            }
            break;
        }
        case gkNeedle: {
            const int x = p.Left, y = p.Top;
            g.PieBox = {x, y, w, 2 * h - 1};
            g.PieFrom = {x + w, p.Bottom - 1};
            g.PieTo = {x, p.Bottom - 1};
            g.BaseFrom = {x, p.Bottom};
            g.BaseTo = {x + w, p.Bottom};
            if (g.Percent > 0) {
                const int mx = Width / 2;
                const long double angle = g.Percent * pi / 100;
                g.HasSlice = true;
                g.NeedleFrom = {mx, p.Bottom - 1};
                g.NeedleTo = {int(std::llround(mx * (1 - std::cos(angle)))),
                              int(std::llround((p.Bottom - 1) * (1 - std::sin(angle))))};
            }
            break;
        }
    }
    return g;
}

std::u16string GaugeText(const TGaugeValues& v) {
    const std::int64_t number = v.CalcPercents ? PercentOf(v) : v.CurValue;
    const std::string digits = std::to_string(static_cast<std::int32_t>(number));
    return std::u16string(digits.begin(), digits.end()) + v.Suffix;
}

TPoint GaugeTextOrigin(const TGaugeGeometry& g, int TextWidth, int TextHeight) {
    return {(g.BarW - TextWidth) / 2, (g.BarH - TextHeight) / 2};
}

}  // namespace controls
