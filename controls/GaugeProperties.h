// The gauge's properties as both painters (controls/qt, controls/win32)
// offer them: each is read from the model's snapshot and written through
// the model, whose answer goes to the painter's Apply (repaint, OnChange).
// Every property may be read and written from any thread.
#pragma once

#include "controls/GaugeModel.h"

#include <cstdint>
#include <string>

namespace controls {

// `Painter` derives from TGaugeProperties<Painter> and has
// `void Apply(const TGaugeChange&)`, which it may keep private when it names
// TGaugeProperties<Painter> a friend.
template <class Painter>
class TGaugeProperties {
public:
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

protected:
    TGaugeModel model_;

private:
    void Apply(const TGaugeChange& Change) { static_cast<Painter*>(this)->Apply(Change); }
};

}  // namespace controls
