#include "terminal/mdichild.h"
#include "app/deviceslot.h"

#include <QCloseEvent>

TMDIChild::TMDIChild(const QString& deviceName, QWidget* parent) : QWidget(parent) {
    setWindowTitle(deviceName);
    FSlot = SlotForName(deviceName);
}

void TMDIChild::FormActivate() { CurrentSlot = FSlot; }

void TMDIChild::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TMDIChild::FormClose() {
    setAttribute(Qt::WA_DeleteOnClose);
    ZQ_Close(FSlot->Handle);
    FSlot->Child = nullptr;
    CurrentSlot = nullptr;
}

void TMDIChild::PollSlot(TDeviceSlot&) {}
