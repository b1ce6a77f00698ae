#pragma once

#include "drive/drivemodel.h"
#include "link/deviceslot.h"
#include "ui/deviceview/showntests.h"
#include "ui/devicewindow/terminalline.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace Ui {
class TDeviceWindow;
}

// The window of one opened device: the character terminal, the modem-line indicators and
// switches, and the drive's pages over the device's model. It shows what its slot reports and sends
// what the user types through the model; the slot does the polling. It serves one slot and model for
// its whole life, and closing it closes the device; the model, which outlives it, keeps the history,
// settings and motor data for the next window of the device.
class TDeviceWindow : public QWidget {
    Q_OBJECT

public:
    explicit TDeviceWindow(TDriveModel& model, QWidget* parent = nullptr);
    ~TDeviceWindow() override;

    // The slot this window serves; none once the slot table is gone.
    TDeviceSlot* Slot() const { return FSlot.data(); }

signals:
    // A capture could not be finished; carries the message for the user's error box.
    void CaptureFailed(const QString& message);
    // The window closed leaving something the user must know: a set-point it could not bring to 0.
    void ClosedWithNotice(const QString& message);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Polls per phase of the REC blink: 500 ms on, 500 ms off.
    static constexpr int KRecBlinkPolls = 10;

    void Wire();
    // Once, when the window closes or goes: the slider back to 0, then the device closed.
    void CloseDevice();
    void ShowReceived(const QByteArray& bytes);
    void Flush();
    void DisplayModemStatus(const TLineStates& lines);
    void SendTypedByte(std::uint8_t byte);
    void ShowOutputLines();
    // A click on REC ends the slot's capture.
    void StopCapture();
    // After every poll: REC blinks while the slot captures.
    void BlinkRec();
    void ShowConnection(bool connected);
    // Beside the terminal, the line's health: how many of the drive's replies came garbled since the
    // device was opened. The pages below keep the window's whole height.
    void ShowReplies();
    // "Raport…": asks for the file and the note, and writes the device's report.
    void MakeReport();

    std::unique_ptr<Ui::TDeviceWindow> ui;
    std::unique_ptr<TTerminalLine> FLine;
    QPointer<TDeviceSlot> FSlot;
    QPointer<TDriveModel> FModel;
    TShownTests* FShown = nullptr;
    bool FClosed = false;
    int FRecPolls = 0;
};
