#include "controls/ProgressGauge.h"

#include "controls/ControlTexts.h"
#include "controls/Exceptions.h"

#include <QFontMetrics>
#include <QPainter>
#include <QThread>

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

// Round to the nearest integer, halves to the even neighbour.
std::int64_t RoundEven(long double x) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyintl(x);
    std::fesetround(saved);
    return static_cast<std::int64_t>(r);
}

// The angle of the point (x, y) seen from the centre of an ellipse, in the
// ellipse's own terms, in degrees counter-clockwise from three o'clock.
double EllipseAngle(const QRectF& box, double x, double y) {
    const double rx = box.width() / 2, ry = box.height() / 2;
    const double dx = x - box.center().x(), dy = box.center().y() - y;
    if (rx <= 0 || ry <= 0) return 0;
    return std::atan2(dy / ry, dx / rx) * 180 / std::numbers::pi;
}

// A pie from the radial through (x3, y3) counter-clockwise to the radial
// through (x4, y4), in the box (l, t) to (r, b) with right and bottom excluded.
void DrawPie(QPainter& p, int l, int t, int r, int b, double x3, double y3, double x4, double y4) {
    const QRectF box(l, t, r - l - 1, b - t - 1);
    const double start = EllipseAngle(box, x3, y3);
    double span = EllipseAngle(box, x4, y4) - start;
    while (span <= 0) span += 360;
    p.drawPie(box, qRound(start * 16), qRound(span * 16));
}

}  // namespace

TProgressGauge::TProgressGauge(QWidget* parent) : QWidget(parent) {
    resize(120, 30);
    // Every pixel is painted here; nothing needs erasing beneath.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TProgressGauge::~TProgressGauge() = default;

std::int64_t TProgressGauge::PercentOf(const Values& v) {
    const std::int64_t range = v.MaxValue - v.MinValue;
    if (range == 0) return 0;
    const std::int64_t offset = v.CurValue - v.MinValue;
    return RoundEven((100.0L / static_cast<long double>(range)) * static_cast<long double>(offset));
}

TProgressGauge::Values TProgressGauge::Snapshot() const {
    std::lock_guard lock(mutex_);
    return values_;
}

std::int64_t TProgressGauge::MinValue() const { std::lock_guard lock(mutex_); return values_.MinValue; }
std::int64_t TProgressGauge::MaxValue() const { std::lock_guard lock(mutex_); return values_.MaxValue; }
std::int64_t TProgressGauge::Progress() const { std::lock_guard lock(mutex_); return values_.CurValue; }
std::int64_t TProgressGauge::PercentDone() const { std::lock_guard lock(mutex_); return PercentOf(values_); }
TProgressGaugeKind TProgressGauge::Kind() const { std::lock_guard lock(mutex_); return values_.Kind; }
bool TProgressGauge::ShowText() const { std::lock_guard lock(mutex_); return values_.ShowText; }
TBorderStyle TProgressGauge::BorderStyle() const { std::lock_guard lock(mutex_); return values_.BorderStyle; }
TColor TProgressGauge::BackColor() const { std::lock_guard lock(mutex_); return values_.BackColor; }
TColor TProgressGauge::ForeColor() const { std::lock_guard lock(mutex_); return values_.ForeColor; }
TColor TProgressGauge::Color() const { std::lock_guard lock(mutex_); return values_.Color; }
std::u16string TProgressGauge::Suffix() const { std::lock_guard lock(mutex_); return values_.Suffix; }
bool TProgressGauge::CalcPercents() const { std::lock_guard lock(mutex_); return values_.CalcPercents; }

void TProgressGauge::SetMinValue(std::int64_t Value) {
    {
        std::lock_guard lock(mutex_);
        if (Value == values_.MinValue) return;
        if (Value > values_.MaxValue) {
            throw EInvalidOperation(RangeMessage(-kMaxInt32, values_.MaxValue - 1));
        }
        values_.MinValue = Value;
        if (values_.CurValue < Value) values_.CurValue = Value;
    }
    Repaint(true);
}

void TProgressGauge::SetMaxValue(std::int64_t Value) {
    {
        std::lock_guard lock(mutex_);
        if (Value == values_.MaxValue) return;
        if (Value < values_.MinValue) {
            throw EInvalidOperation(RangeMessage(values_.MinValue + 1, kMaxInt32));
        }
        values_.MaxValue = Value;
        if (values_.CurValue > Value) values_.CurValue = Value;
    }
    Repaint(true);
}

void TProgressGauge::SetProgress(std::int64_t Value) {
    bool percentChanged;
    {
        std::lock_guard lock(mutex_);
        const std::int64_t p0 = PercentOf(values_);
        // Positions and limits are compared as signed 32-bit numbers.
        const auto v = static_cast<std::int32_t>(Value);
        const auto lo = static_cast<std::int32_t>(values_.MinValue);
        const auto hi = static_cast<std::int32_t>(values_.MaxValue);
        const std::int64_t clamped = v < lo ? lo : (v > hi ? hi : v);
        if (clamped == values_.CurValue) return;
        values_.CurValue = clamped;
        percentChanged = PercentOf(values_) != p0;
    }
    if (percentChanged) Repaint(true);
    Changed();
}

void TProgressGauge::AddProgress(std::int64_t Value) {
    SetProgress(Progress() + Value);
    Repaint(true);
}

// A changed value is stored and the gauge repaints (at once, or at the next
// paint cycle when AtOnce is false).
#define ZELVANO_GAUGE_SETTER(Name, Type, AtOnce)        \
    void TProgressGauge::Set##Name(Type Value) {        \
        {                                               \
            std::lock_guard lock(mutex_);               \
            if (values_.Name == Value) return;          \
            values_.Name = Value;                       \
        }                                               \
        Repaint(AtOnce);                                \
    }

ZELVANO_GAUGE_SETTER(Kind, TProgressGaugeKind, true)
ZELVANO_GAUGE_SETTER(ShowText, bool, true)
ZELVANO_GAUGE_SETTER(BorderStyle, TBorderStyle, true)
ZELVANO_GAUGE_SETTER(BackColor, TColor, true)
ZELVANO_GAUGE_SETTER(ForeColor, TColor, true)
ZELVANO_GAUGE_SETTER(Color, TColor, true)
ZELVANO_GAUGE_SETTER(Suffix, const std::u16string&, false)
ZELVANO_GAUGE_SETTER(CalcPercents, bool, false)
#undef ZELVANO_GAUGE_SETTER

void TProgressGauge::Repaint(bool AtOnce) {
    if (QThread::currentThread() == thread()) {
        if (AtOnce) repaint(); else update();
    } else {
        QMetaObject::invokeMethod(this, [this] { repaint(); }, Qt::QueuedConnection);
    }
}

void TProgressGauge::Changed() {
    if (QThread::currentThread() == thread()) {
        if (OnChange) OnChange(this);
    } else {
        QMetaObject::invokeMethod(this, [this] { if (OnChange) OnChange(this); }, Qt::QueuedConnection);
    }
}

void TProgressGauge::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0) return;
    const QImage image = Render(Snapshot());
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

QImage TProgressGauge::Render(const Values& v) {
    const int width = this->width(), height = this->height();
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);

    // Rectangles as left, top, right, bottom with right and bottom excluded.
    int left = 0, top = 0, right = width, bottom = height;
    if (v.BorderStyle == bsSingle) { ++left; ++top; --right; --bottom; }
    const QRect paintRect(left, top, right - left, bottom - top);
    const std::int64_t percent = PercentOf(v);
    const QColor fore = ColorToQColor(v.ForeColor, palette());
    const QColor back = ColorToQColor(v.BackColor, palette());
    const QColor color = ColorToQColor(v.Color, palette());

    // The shape and the text are drawn on black overlays and combined with the
    // image by exclusive-or; outside the paint rectangle the image stays black.
    auto combine = [&image](const QImage& overlay) {
        for (int y = 0; y < image.height(); ++y) {
            auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
            const auto* src = reinterpret_cast<const QRgb*>(overlay.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) dst[x] = ((dst[x] ^ src[x]) & 0xFFFFFF) | 0xFF000000;
        }
    };

    QImage overlay(width, height, QImage::Format_RGB32);
    overlay.fill(Qt::black);
    const int barW = right - left + 1, barH = bottom - top + 1;
    {
        QPainter p(&overlay);
        switch (v.Kind) {
            case gkText:
                p.fillRect(paintRect, back);
                break;
            case gkHorizontalBar: {
                p.fillRect(paintRect, back);
                std::int64_t fill = RoundEven(barW * (percent * 0.01L));
                if (fill > barW) fill = barW;
                if (fill > 0) p.fillRect(QRect(QPoint(left, top), QPoint(int(fill) - 1, barH - 1)), fore);
                break;
            }
            case gkVerticalBar: {
                p.fillRect(paintRect, back);
                std::int64_t fill = RoundEven(barH * (percent * 0.01L));
                if (fill >= barH) fill = barH - 1;
                p.fillRect(QRect(QPoint(left, barH - int(fill)), QPoint(barW - 1, barH - 1)), fore);
                break;
            }
            case gkPie: {
                const int extra = v.BorderStyle == bsSingle ? 1 : 0;
                const int w = right - left + extra, h = bottom - top + extra;
                p.fillRect(paintRect, color);
                p.setPen(QPen(fore, 1));
                p.setBrush(back);
                p.drawEllipse(QRect(left, top, w - left - 1, h - top - 1));
                if (percent > 0) {
                    const int mx = w / 2, my = h / 2;
                    const long double angle = (percent / 50.0L + 0.5L) * std::numbers::pi_v<long double>;
                    p.setBrush(fore);
                    DrawPie(p, left, top, w, h, double(std::llround(mx * (1 - std::cos(angle)))),
                            double(std::llround(my * (1 - std::sin(angle)))), mx, 0);
                }
                break;
            }
            case gkNeedle: {
                const int extra = v.BorderStyle == bsSingle ? 1 : 0;
                const int x = left, y = top, w = right - left + extra, h = bottom - top + extra;
                p.fillRect(paintRect, color);
                p.setPen(QPen(fore, 1));
                p.setBrush(back);
                DrawPie(p, x, y, w, 2 * h - 1, x + w, bottom - 1, x, bottom - 1);
                p.drawLine(x, bottom, x + w, bottom);
                if (percent > 0) {
                    const int mx = width / 2;
                    const long double angle = percent * std::numbers::pi_v<long double> / 100;
                    p.drawLine(mx, bottom - 1, int(std::llround(mx * (1 - std::cos(angle)))),
                               int(std::llround((bottom - 1) * (1 - std::sin(angle)))));
                }
                break;
            }
        }
    }
    combine(overlay);

    if (v.ShowText) {
        const std::int64_t number = v.CalcPercents ? percent : v.CurValue;
        const std::string digits = std::to_string(static_cast<std::int32_t>(number));
        std::u16string text(digits.begin(), digits.end());
        text += v.Suffix;
        if (OnPaintText) OnPaintText(this, text);

        overlay.fill(Qt::black);
        QPainter p(&overlay);
        p.setFont(font());
        p.setPen(Qt::white);
        p.setClipRect(paintRect);
        const QString qtext = QString::fromStdU16String(text);
        const QFontMetrics metrics(font());
        const int x = (barW - metrics.horizontalAdvance(qtext)) / 2;
        const int y = (barH - metrics.height()) / 2;
        p.drawText(x, y + metrics.ascent(), qtext);
        p.end();
        combine(overlay);
    }
    return image;
}

}  // namespace controls
