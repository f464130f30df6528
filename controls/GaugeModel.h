// The progress gauge's rules, free of any window toolkit: its values, the
// range checks, the clamping of the position, the percentage with its
// rounding, which change repaints when, and the geometry of every shape. The
// Qt and the Win32 gauge are painters over this model.
//
// The downloader moves the gauge from its worker thread, so the values are
// kept under a lock and every member may be called from any thread. A setter
// only answers what the painter has to do (repaint at once, repaint at the
// next paint cycle, call OnChange); the painter does it on its own thread.
#pragma once

#include "controls/Colors.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace controls {

enum TProgressGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TBorderStyle { bsNone, bsSingle };

// Everything the gauge shows.
struct TGaugeValues {
    std::int64_t MinValue = 0;
    std::int64_t MaxValue = 100;
    std::int64_t CurValue = 0;
    bool ShowText = true;
    bool CalcPercents = true;
    std::u16string Suffix = u"%";
    TProgressGaugeKind Kind = gkHorizontalBar;
    TBorderStyle BorderStyle = bsSingle;
    TColor ForeColor = clBlack;
    TColor BackColor = clWhite;
    TColor Color = clBtnFace;  // around the pie and the needle
};

// What a setter asks of the painter.
enum class TRepaint { None, Later, AtOnce };
struct TGaugeChange {
    TRepaint Repaint = TRepaint::None;
    bool CallOnChange = false;
};

// 0 for an empty range; else (100 ÷ range) × offset, halves rounded to even.
std::int64_t PercentOf(const TGaugeValues& v);
// Round to the nearest integer, halves to the even neighbour.
std::int64_t RoundHalfEven(long double x);

class TGaugeModel {
public:
    TGaugeValues Snapshot() const;
    std::int64_t PercentDone() const;

    // Raises EInvalidOperation when Value lies above MaxValue.
    TGaugeChange SetMinValue(std::int64_t Value);
    // Raises EInvalidOperation when Value lies below MinValue.
    TGaugeChange SetMaxValue(std::int64_t Value);
    // Clamped into the range (as signed 32-bit numbers); repaints only when
    // the whole percentage changes.
    TGaugeChange SetProgress(std::int64_t Value);
    // Progress + Value through the same rule, then a repaint in any case.
    TGaugeChange AddProgress(std::int64_t Value);

    TGaugeChange SetKind(TProgressGaugeKind Value);
    TGaugeChange SetShowText(bool Value);
    TGaugeChange SetBorderStyle(TBorderStyle Value);
    TGaugeChange SetBackColor(TColor Value);
    TGaugeChange SetForeColor(TColor Value);
    TGaugeChange SetColor(TColor Value);
    TGaugeChange SetSuffix(const std::u16string& Value);
    TGaugeChange SetCalcPercents(bool Value);

private:
    template <class T>
    TGaugeChange Store(T TGaugeValues::*Field, const T& Value, TRepaint Repaint);

    mutable std::mutex mutex_;
    TGaugeValues values_;
};

// A rectangle as left, top, right, bottom with right and bottom excluded.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool Empty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const TRect&) const = default;
};
struct TPoint {
    int X = 0, Y = 0;
    bool operator==(const TPoint&) const = default;
};

// Where each part of a gauge of Width x Height goes. A painter fills an
// image black, draws the shape on a black overlay and combines the two by
// exclusive-or, then the text likewise.
struct TGaugeGeometry {
    TRect Paint;       // the client area, 1 pixel smaller on every side with bsSingle
    int BarW = 0, BarH = 0;  // paint width and height + 1, for bars and text
    std::int64_t Percent = 0;
    // Bars: the filled rectangle (empty when nothing is filled).
    TRect Fill;
    // Pie: the ellipse box; the filled slice runs counter-clockwise from the
    // radial through PieFrom to the radial through PieTo (when HasSlice).
    // Needle: the half-disc is a pie in PieBox from PieFrom to PieTo, with a
    // base line and, when HasSlice, the needle from NeedleFrom to NeedleTo.
    TRect PieBox;
    TPoint PieFrom, PieTo;
    bool HasSlice = false;
    TPoint BaseFrom, BaseTo, NeedleFrom, NeedleTo;
};
TGaugeGeometry GaugeGeometry(const TGaugeValues& v, int Width, int Height);

// The text before OnPaintText: the percentage (or the position) from its low
// 32 bits, followed by the suffix.
std::u16string GaugeText(const TGaugeValues& v);

// The text's top-left corner for a text of TextWidth x TextHeight.
TPoint GaugeTextOrigin(const TGaugeGeometry& g, int TextWidth, int TextHeight);

}  // namespace controls
