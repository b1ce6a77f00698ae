#include "terminal/mdichild.h"

#include "app/deviceslot.h"
#include "device/configform.h"
#include "device/zqlink.h"
#include "terminal/memosink.h"
#include "terminal/typedkey.h"
#include "transfer/capture.h"
#include "ui_mdichild.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <array>

namespace {

const QColor ActiveColour(0, 128, 0);
const QColor InactiveColour(255, 0, 0);

constexpr std::uint32_t ReadBlock = 256;

} // namespace

void SetLineColour(QLabel* label, bool active) {
    const QColor& colour = active ? ActiveColour : InactiveColour;
    if (label->palette().color(QPalette::WindowText) == colour)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

bool LineColourIsActive(const QLabel* label) {
    return label->palette().color(QPalette::WindowText) == ActiveColour;
}

TMDIChild::TMDIChild(const QString& deviceName, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TMDIChild>()) {
    ui->setupUi(this);
    FSink = std::make_unique<TMemoSink>(ui->Memo1);
    FLine = std::make_unique<TTerminalLine>(*FSink);
    FReadTimer = new QTimer(this);
    FReadTimer->setObjectName(QStringLiteral("ReadTimer"));
    FReadTimer->setInterval(50);

    // The terminal is the device's keyboard: it keeps the focus and its keys, but nothing typed
    // is inserted; what the user sees is only what the device sends back.
    ui->Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    ui->Memo1->installEventFilter(this);
    for (QLabel* label :
         std::initializer_list<QLabel*>{ui->DtrLabel, ui->RtsLabel, ui->DsrLabel, ui->CtsLabel, ui->DcdLabel,
                                        ui->RingLabel, ui->RecLabel})
        SetLineColour(label, false);
    ui->RecLabel->hide();
    Wire();

    setWindowTitle(deviceName);
    FSlot = SlotForName(deviceName);
    FLine->Clear();
    FSink->Clear();
    FReadTimer->start();
}

TMDIChild::~TMDIChild() {
    // A window destroyed without being closed (its frame went first) must not leave the slot
    // pointing at it.
    if (!FClosed) {
        ReleaseSlot();
        if (CurrentSlot != nullptr && CurrentSlot == FSlot)
            CurrentSlot = nullptr;
    }
}

void TMDIChild::Wire() {
    connect(FReadTimer, &QTimer::timeout, this, [this] { OnTimer(FReadTimer); });
    connect(ui->RtsLabel, &TClickLabel::Clicked, this, &TMDIChild::RtsLabelClick);
    connect(ui->DtrLabel, &TClickLabel::Clicked, this, &TMDIChild::DtrLabelClick);
    connect(ui->RecLabel, &TClickLabel::Clicked, this, &TMDIChild::RecLabelClick);
}

TMotorDataPage* TMDIChild::MotorData() const {
    return ui->TabSheet5;
}

void TMDIChild::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Only the first show colours the switches: later shows (a restored sub-window) must keep the
    // states the clicks gave them.
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TMDIChild::FormShow() {
    // Without the port dialog its layout state counts: both boxes checked.
    SetLineColour(ui->RtsLabel, ConfigForm == nullptr || ConfigForm->RtsChecked());
    SetLineColour(ui->DtrLabel, ConfigForm == nullptr || ConfigForm->DtrChecked());
}

void TMDIChild::FormActivate() {
    if (FSlot != nullptr)
        DisplayModemStatus(*FSlot);
    CurrentSlot = FSlot;
}

void TMDIChild::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TMDIChild::FormClose() {
    if (FClosed)
        return;
    FClosed = true;
    setAttribute(Qt::WA_DeleteOnClose);
    FReadTimer->stop();
    ReleaseSlot();
    CurrentSlot = nullptr;
}

void TMDIChild::ReleaseSlot() {
    // Only the window the slot records owns the device; a window that was never bound leaves it.
    if (FSlot == nullptr || FSlot->Child != this)
        return;
    ZQ_Close(FSlot->Handle);
    FSlot->Child = nullptr;
}

void TMDIChild::OnTimer(QTimer* timer) {
    for (TDeviceSlot& slot : DeviceSlots)
        if (slot.Child != nullptr && slot.Child->FReadTimer == timer) {
            PollSlot(slot);
            return;
        }
}

void TMDIChild::PollSlot(TDeviceSlot& slot) {
    TMDIChild* window = slot.Child;
    if (window == nullptr)
        return;
    QLabel* rec = window->ui->RecLabel;
    if (slot.CaptureFile) {
        if (++slot.RecBlinkCount >= 10) {
            slot.RecBlinkCount = 0;
            rec->setHidden(!rec->isHidden());
        }
    } else {
        rec->hide();
    }

    std::uint32_t waiting = 0;
    std::uint32_t sending = 0;
    std::uint32_t events = 0;
    ZQ_GetStatus(slot.Handle, &waiting, &sending, &events);
    std::uint32_t lines = 0;
    ZQ_GetModemStatus(slot.Handle, &lines);
    slot.Settings.Cts = (lines & ZQ_MODEM_STATUS_CTS) != 0 ? 1 : 0;
    slot.Settings.Dsr = (lines & ZQ_MODEM_STATUS_DSR) != 0 ? 1 : 0;
    slot.Settings.Dcd = (lines & ZQ_MODEM_STATUS_DCD) != 0 ? 1 : 0;
    slot.Settings.Ring = (lines & ZQ_MODEM_STATUS_RI) != 0 ? 1 : 0;
    window->DisplayModemStatus(slot);

    if (waiting == 0) {
        window->Flush();
        return;
    }
    QString captureFailure;
    std::array<std::uint8_t, ReadBlock> buffer;
    while (waiting > 0) {
        const std::uint32_t asked = std::min(waiting, ReadBlock);
        std::uint32_t got = 0;
        ZQ_Read(slot.Handle, buffer.data(), asked, &got);
        // A device that reports bytes and then yields none must not hold the tick: what remains
        // is asked for again at the next one.
        if (got == 0)
            break;
        got = std::min(got, asked);
        waiting -= got;
        if (slot.CaptureFile) {
            const QString error = WriteCapture(slot, reinterpret_cast<const char*>(buffer.data()), got);
            if (error.isEmpty())
                continue;
            rec->hide();
            captureFailure = error;
        }
        // Bytes the capture file refused are shown rather than lost.
        window->Receive(buffer.data(), std::int32_t(got));
    }
    window->FSink->Commit();
    if (!captureFailure.isEmpty())
        emit window->CaptureFailed(captureFailure);
}

void TMDIChild::Receive(const std::uint8_t* bytes, std::int32_t count) {
    FLine->PutStr(bytes, count);
    FLine->Flush();
}

void TMDIChild::PutStr(const std::uint8_t* bytes, std::int32_t count) {
    FLine->PutStr(bytes, count);
    FSink->Commit();
}

void TMDIChild::Flush() {
    FLine->Flush();
    FSink->Commit();
}

void TMDIChild::DisplayModemStatus(const TDeviceSlot& slot) {
    SetLineColour(ui->CtsLabel, slot.Settings.Cts != 0);
    SetLineColour(ui->DsrLabel, slot.Settings.Dsr != 0);
    SetLineColour(ui->DcdLabel, slot.Settings.Dcd != 0);
    SetLineColour(ui->RingLabel, slot.Settings.Ring != 0);
}

bool TMDIChild::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->Memo1 &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const std::optional<std::uint8_t> byte = TypedKeyByte(key->key(), key->modifiers(), key->text());
        if (byte) {
            // Accepting the override keeps shortcuts such as Ctrl+C from taking a control code.
            if (event->type() == QEvent::KeyPress)
                Memo1KeyPress(*byte);
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMDIChild::Memo1KeyPress(std::uint8_t byte) {
    if (FSlot == nullptr)
        return;
    std::uint32_t written = 0;
    ZQ_Write(FSlot->Handle, &byte, 1, &written);
}

void TMDIChild::RtsLabelClick() {
    const bool raise = !LineColourIsActive(ui->RtsLabel);
    SetLineColour(ui->RtsLabel, raise);
    if (FSlot != nullptr)
        raise ? ZQ_SetRts(FSlot->Handle) : ZQ_ClrRts(FSlot->Handle);
}

void TMDIChild::DtrLabelClick() {
    const bool raise = !LineColourIsActive(ui->DtrLabel);
    SetLineColour(ui->DtrLabel, raise);
    if (FSlot != nullptr)
        raise ? ZQ_SetDtr(FSlot->Handle) : ZQ_ClrDtr(FSlot->Handle);
}

void TMDIChild::RecLabelClick() {
    // The label blinks, so it can be clicked only in its visible phase; the click ends the capture
    // of this window's slot, which the click has made the current one.
    if (ui->RecLabel->isHidden())
        return;
    ui->RecLabel->hide();
    if (FSlot == nullptr)
        return;
    const QString error = StopCapture(*FSlot);
    if (!error.isEmpty())
        emit CaptureFailed(error);
}
