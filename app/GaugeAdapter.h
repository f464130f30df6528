// A window's progress gauge as the downloaders and the flows see it
// (download::IProgressGauge). Both front ends' gauges have the same members,
// so one template serves them.
#pragma once

#include "download/Progress.h"

template <class Gauge>
class TGaugeAdapter : public download::IProgressGauge {
public:
    explicit TGaugeAdapter(Gauge& g) : gauge_(g) {}
    int64_t MaxValue() const override { return gauge_.MaxValue(); }
    void SetMaxValue(int64_t Value) override { gauge_.SetMaxValue(Value); }
    int64_t Progress() const override { return gauge_.Progress(); }
    void SetProgress(int64_t Value) override { gauge_.SetProgress(Value); }
    std::u16string Suffix() const override { return gauge_.Suffix(); }

private:
    Gauge& gauge_;
};
