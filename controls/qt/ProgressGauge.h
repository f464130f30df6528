// TProgressGauge for Qt: paints the gauge whose rules live in
// controls/GaugeModel.h.
//
// The downloader moves the gauge from its worker thread. Every property may
// therefore be read and written from any thread: the model keeps the values
// under a lock, and a repaint or an OnChange asked for on another thread is
// queued to the gauge's own (the window's) thread, where all painting happens.
// On the gauge's own thread a repaint happens before the setter returns.
// Assistive technology sees a progress bar (controls/qt/Accessible.h).
#pragma once

#include "controls/GaugeModel.h"
#include "controls/qt/QtColors.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

namespace controls {

class TProgressGauge : public QWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TPrintTextEvent = std::function<void(QObject* Sender, std::u16string& TextToPrint)>;

    explicit TProgressGauge(QWidget* parent = nullptr);
    ~TProgressGauge() override;

    std::int64_t MinValue() const { return model_.Snapshot().MinValue; }
    // Raises EInvalidOperation when Value lies above MaxValue.
    void SetMinValue(std::int64_t Value) { Apply(model_.SetMinValue(Value)); }
    std::int64_t MaxValue() const { return model_.Snapshot().MaxValue; }
    // Raises EInvalidOperation when Value lies below MinValue.
    void SetMaxValue(std::int64_t Value) { Apply(model_.SetMaxValue(Value)); }
    std::int64_t Progress() const { return model_.Snapshot().CurValue; }
    // Clamped into the range; repaints only when the whole percentage changes.
    void SetProgress(std::int64_t Value) { Apply(model_.SetProgress(Value)); }
    void AddProgress(std::int64_t Value) { Apply(model_.AddProgress(Value)); }
    std::int64_t PercentDone() const { return model_.PercentDone(); }

    TProgressGaugeKind Kind() const { return model_.Snapshot().Kind; }
    void SetKind(TProgressGaugeKind Value) { Apply(model_.SetKind(Value)); }
    bool ShowText() const { return model_.Snapshot().ShowText; }
    void SetShowText(bool Value) { Apply(model_.SetShowText(Value)); }
    TBorderStyle BorderStyle() const { return model_.Snapshot().BorderStyle; }
    void SetBorderStyle(TBorderStyle Value) { Apply(model_.SetBorderStyle(Value)); }
    TColor BackColor() const { return model_.Snapshot().BackColor; }
    void SetBackColor(TColor Value) { Apply(model_.SetBackColor(Value)); }
    TColor ForeColor() const { return model_.Snapshot().ForeColor; }
    void SetForeColor(TColor Value) { Apply(model_.SetForeColor(Value)); }
    // The colour around the pie and the needle.
    TColor Color() const { return model_.Snapshot().Color; }
    void SetColor(TColor Value) { Apply(model_.SetColor(Value)); }
    std::u16string Suffix() const { return model_.Snapshot().Suffix; }
    void SetSuffix(const std::u16string& Value) { Apply(model_.SetSuffix(Value)); }
    bool CalcPercents() const { return model_.Snapshot().CalcPercents; }
    void SetCalcPercents(bool Value) { Apply(model_.SetCalcPercents(Value)); }

    // Called on the gauge's thread when the position has changed.
    TNotifyEvent OnChange;
    // May replace the text before it is drawn.
    TPrintTextEvent OnPaintText;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Repaints and calls OnChange as the model asks, on the gauge's thread.
    void Apply(const TGaugeChange& Change);
    void NotifyValueChanged();
    QImage Render(const TGaugeValues& v);

    TGaugeModel model_;
};

}  // namespace controls
