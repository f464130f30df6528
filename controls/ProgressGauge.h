// TProgressGauge: the progress control of the window. It shows a position
// between a minimum and a maximum as a bar (or as text, a pie or a needle),
// optionally with the percentage written over it in inverted colours.
//
// The downloader moves the gauge from its worker thread. Every property may
// therefore be read and written from any thread: the values are kept under a
// lock, and a repaint or an OnChange asked for on another thread is queued to
// the gauge's own (the window's) thread, where all painting happens. On the
// gauge's own thread a repaint happens before the setter returns.
#pragma once

#include "controls/Colors.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace controls {

enum TProgressGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TBorderStyle { bsNone, bsSingle };

class TProgressGauge : public QWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TPrintTextEvent = std::function<void(QObject* Sender, std::u16string& TextToPrint)>;

    explicit TProgressGauge(QWidget* parent = nullptr);
    ~TProgressGauge() override;

    std::int64_t MinValue() const;
    // Raises EInvalidOperation when Value lies above MaxValue.
    void SetMinValue(std::int64_t Value);
    std::int64_t MaxValue() const;
    // Raises EInvalidOperation when Value lies below MinValue.
    void SetMaxValue(std::int64_t Value);
    std::int64_t Progress() const;
    // Clamped into the range; repaints only when the whole percentage changes.
    void SetProgress(std::int64_t Value);
    void AddProgress(std::int64_t Value);
    std::int64_t PercentDone() const;

    TProgressGaugeKind Kind() const;
    void SetKind(TProgressGaugeKind Value);
    bool ShowText() const;
    void SetShowText(bool Value);
    TBorderStyle BorderStyle() const;
    void SetBorderStyle(TBorderStyle Value);
    TColor BackColor() const;
    void SetBackColor(TColor Value);
    TColor ForeColor() const;
    void SetForeColor(TColor Value);
    // The colour around the pie and the needle.
    TColor Color() const;
    void SetColor(TColor Value);
    std::u16string Suffix() const;
    void SetSuffix(const std::u16string& Value);
    bool CalcPercents() const;
    void SetCalcPercents(bool Value);

    // Called on the gauge's thread when the position has changed.
    TNotifyEvent OnChange;
    // May replace the text before it is drawn.
    TPrintTextEvent OnPaintText;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Values {
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
        TColor Color = clBtnFace;
    };

    static std::int64_t PercentOf(const Values& v);
    Values Snapshot() const;
    QImage Render(const Values& v);
    // Repaints now on the gauge's thread (or only invalidates when AtOnce is
    // false); from another thread the repaint is queued.
    void Repaint(bool AtOnce);
    void Changed();

    mutable std::mutex mutex_;
    Values values_;
};

}  // namespace controls
