#pragma once

#include <QWidget>

struct TDeviceSlot;

// The window of one open device.
class TMDIChild : public QWidget {
    Q_OBJECT

public:
    explicit TMDIChild(const QString& deviceName, QWidget* parent = nullptr);

    void FormActivate();
    static void PollSlot(TDeviceSlot& slot);
    TDeviceSlot* Slot() const { return FSlot; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormClose();

    TDeviceSlot* FSlot = nullptr;
};
