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

#include "controls/GaugeProperties.h"
#include "controls/qt/QtColors.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

namespace controls {

class TProgressGauge : public QWidget, public TGaugeProperties<TProgressGauge> {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TPrintTextEvent = std::function<void(QObject* Sender, std::u16string& TextToPrint)>;

    explicit TProgressGauge(QWidget* parent = nullptr);
    ~TProgressGauge() override;

    // Called on the gauge's thread when the position has changed.
    TNotifyEvent OnChange;
    // May replace the text before it is drawn.
    TPrintTextEvent OnPaintText;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class TGaugeProperties<TProgressGauge>;
    // Repaints and calls OnChange as the model asks, on the gauge's thread.
    void Apply(const TGaugeChange& Change);
    void NotifyValueChanged();
    QImage Render(const TGaugeValues& v);
};

}  // namespace controls
