#include "controls/qt/Accessible.h"

#include "controls/qt/ImageButton.h"
#include "controls/qt/ProgressGauge.h"

#include <QAccessibleWidget>

namespace controls {
namespace {

class TAccessibleImageButton : public QAccessibleWidget {
public:
    explicit TAccessibleImageButton(TImageButton* Button) : QAccessibleWidget(Button, QAccessible::Button) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = Button()->ButtonState() == pbsDown && Button()->IsMouseOver();
        return s;
    }
    QStringList actionNames() const override { return QStringList(pressAction()) + QAccessibleWidget::actionNames(); }
    void doAction(const QString& Name) override {
        if (Name == pressAction()) Button()->KeyPress();
        else QAccessibleWidget::doAction(Name);
    }

private:
    TImageButton* Button() const { return static_cast<TImageButton*>(object()); }
};

class TAccessibleGauge : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TAccessibleGauge(TProgressGauge* Gauge) : QAccessibleWidget(Gauge, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType Type) override {
        if (Type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(Type);
    }
    // The value read out: the percentage done, as the gauge would print it.
    QString text(QAccessible::Text Kind) const override {
        if (Kind == QAccessible::Value) return QString::number(Gauge()->PercentDone()) + QLatin1Char('%');
        return QAccessibleWidget::text(Kind);
    }
    QVariant currentValue() const override { return qlonglong(Gauge()->Progress()); }
    void setCurrentValue(const QVariant&) override {}  // read-only
    QVariant maximumValue() const override { return qlonglong(Gauge()->MaxValue()); }
    QVariant minimumValue() const override { return qlonglong(Gauge()->MinValue()); }
    QVariant minimumStepSize() const override { return 1; }

private:
    TProgressGauge* Gauge() const { return static_cast<TProgressGauge*>(object()); }
};

QAccessibleInterface* Factory(const QString&, QObject* Object) {
    if (auto* button = qobject_cast<TImageButton*>(Object)) return new TAccessibleImageButton(button);
    if (auto* gauge = qobject_cast<TProgressGauge*>(Object)) return new TAccessibleGauge(gauge);
    return nullptr;
}

}  // namespace

void InstallAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}

}  // namespace controls
