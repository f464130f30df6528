#include "controls/qt/ProgressGauge.h"

#include "controls/qt/Accessible.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QPainter>
#include <QThread>

#include <cmath>
#include <numbers>

namespace controls {
namespace {

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top); }

// The angle of the point (x, y) seen from the centre of an ellipse, in the
// ellipse's own terms, in degrees counter-clockwise from three o'clock.
double EllipseAngle(const QRectF& box, double x, double y) {
    const double rx = box.width() / 2, ry = box.height() / 2;
    const double dx = x - box.center().x(), dy = box.center().y() - y;
    if (rx <= 0 || ry <= 0) return 0;
    return std::atan2(dy / ry, dx / rx) * 180 / std::numbers::pi;
}

// A pie in Box (right and bottom excluded) from the radial through From
// counter-clockwise to the radial through To.
void DrawPie(QPainter& p, const TRect& Box, TPoint From, TPoint To) {
    const QRectF box(Box.Left, Box.Top, Box.Right - Box.Left - 1, Box.Bottom - Box.Top - 1);
    const double start = EllipseAngle(box, From.X, From.Y);
    double span = EllipseAngle(box, To.X, To.Y) - start;
    while (span <= 0) span += 360;
    p.drawPie(box, qRound(start * 16), qRound(span * 16));
}

// Combines an overlay into the image by exclusive-or of the pixel values.
void Combine(QImage& image, const QImage& overlay) {
    for (int y = 0; y < image.height(); ++y) {
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        const auto* src = reinterpret_cast<const QRgb*>(overlay.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) dst[x] = ((dst[x] ^ src[x]) & 0xFFFFFF) | 0xFF000000;
    }
}

}  // namespace

TProgressGauge::TProgressGauge(QWidget* parent) : QWidget(parent) {
    InstallAccessibleFactory();
    resize(120, 30);
    // Every pixel is painted here; nothing needs erasing beneath.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TProgressGauge::~TProgressGauge() = default;

void TProgressGauge::Apply(const TGaugeChange& Change) {
    const bool here = QThread::currentThread() == thread();
    if (Change.Repaint == TRepaint::AtOnce && here) repaint();
    else if (Change.Repaint == TRepaint::Later && here) update();
    else if (Change.Repaint != TRepaint::None) {
        QMetaObject::invokeMethod(this, [this] { repaint(); NotifyValueChanged(); }, Qt::QueuedConnection);
    }
    if (Change.Repaint != TRepaint::None && here) NotifyValueChanged();
    if (!Change.CallOnChange) return;
    if (here) {
        if (OnChange) OnChange(this);
    } else {
        QMetaObject::invokeMethod(this, [this] { if (OnChange) OnChange(this); }, Qt::QueuedConnection);
    }
}

// A repaint follows a change of the shown percentage (or of the look):
// listening assistive technology hears of the value.
void TProgressGauge::NotifyValueChanged() {
    if (!QAccessible::isActive()) return;
    QAccessibleValueChangeEvent event(this, qlonglong(Progress()));
    QAccessible::updateAccessibility(&event);
}

void TProgressGauge::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0) return;
    const QImage image = Render(model_.Snapshot());
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

QImage TProgressGauge::Render(const TGaugeValues& v) {
    const TGaugeGeometry g = GaugeGeometry(v, width(), height());
    QImage image(width(), height(), QImage::Format_RGB32);
    image.fill(Qt::black);
    const QRect paintRect = ToQRect(g.Paint);
    const QColor fore = ColorToQColor(v.ForeColor, palette());
    const QColor back = ColorToQColor(v.BackColor, palette());
    const QColor color = ColorToQColor(v.Color, palette());

    QImage overlay(width(), height(), QImage::Format_RGB32);
    overlay.fill(Qt::black);
    {
        QPainter p(&overlay);
        switch (v.Kind) {
            case gkText:
            case gkHorizontalBar:
            case gkVerticalBar:
                p.fillRect(paintRect, back);
                if (!g.Fill.Empty()) p.fillRect(ToQRect(g.Fill), fore);
                break;
            case gkPie: {
                p.fillRect(paintRect, color);
                p.setPen(QPen(fore, 1));
                p.setBrush(back);
                const TRect& b = g.PieBox;
                p.drawEllipse(QRect(b.Left, b.Top, b.Right - b.Left - 1, b.Bottom - b.Top - 1));
                if (g.HasSlice) {
                    p.setBrush(fore);
                    DrawPie(p, g.PieBox, g.PieFrom, g.PieTo);
                }
                break;
            }
            case gkNeedle:
                p.fillRect(paintRect, color);
                p.setPen(QPen(fore, 1));
                p.setBrush(back);
                DrawPie(p, g.PieBox, g.PieFrom, g.PieTo);
                p.drawLine(g.BaseFrom.X, g.BaseFrom.Y, g.BaseTo.X, g.BaseTo.Y);
                if (g.HasSlice) p.drawLine(g.NeedleFrom.X, g.NeedleFrom.Y, g.NeedleTo.X, g.NeedleTo.Y);
                break;
        }
    }
    // The shape and the text are drawn on black overlays and combined with the
    // image by exclusive-or; outside the paint rectangle the image stays black.
    Combine(image, overlay);

    if (v.ShowText) {
        std::u16string text = GaugeText(v);
        if (OnPaintText) OnPaintText(this, text);
        overlay.fill(Qt::black);
        QPainter p(&overlay);
        p.setFont(font());
        p.setPen(Qt::white);
        p.setClipRect(paintRect);
        const QString qtext = QString::fromStdU16String(text);
        const QFontMetrics metrics(font());
        const TPoint at = GaugeTextOrigin(g, metrics.horizontalAdvance(qtext), metrics.height());
        p.drawText(at.X, at.Y + metrics.ascent(), qtext);
        p.end();
        Combine(image, overlay);
    }
    return image;
}

}  // namespace controls
