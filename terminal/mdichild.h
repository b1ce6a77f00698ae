#pragma once

#include "terminal/terminalline.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace Ui {
class TMDIChild;
}

class QLabel;
class QPlainTextEdit;
class QTimer;
class TMemoSink;
class TMotorDataPage;
struct TDeviceSlot;

// The window of one opened device: the character terminal, the modem-line indicators and switches,
// the 50 ms receive poll and the drive's pages. The main window puts it into a multiple-document
// sub-window; it serves the slot its name gives for its whole life and frees itself when closed.
class TMDIChild : public QWidget {
    Q_OBJECT

public:
    explicit TMDIChild(const QString& deviceName, QWidget* parent = nullptr);
    ~TMDIChild() override;

    // The slot this window serves, or none for a name outside DEV0..DEV3.
    TDeviceSlot* Slot() const { return FSlot; }
    // The poll timer; the step test stops it around its own exchange with the drive.
    QTimer* ReadTimer() const { return FReadTimer; }
    TMotorDataPage* MotorData() const;

    // The main window calls this when the window's sub-window becomes the active one.
    void FormActivate();

    // One poll of a slot that has a window: the REC indicator, the modem lines, and every byte the
    // device reported waiting, into the capture file while one is open, else into the terminal.
    static void PollSlot(TDeviceSlot& slot);

    void PutStr(const std::uint8_t* bytes, std::int32_t count);
    void Flush();
    void DisplayModemStatus(const TDeviceSlot& slot);

signals:
    // The capture file of this window's slot could not be written (a full disk, say): the capture
    // has been stopped and its file closed. From the poll, the bytes that could not be written are
    // in the terminal, and the signal comes at the end of the poll. Carries the message for the
    // user's error box.
    void CaptureFailed(const QString& message);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Wire();
    void FormShow();
    void FormClose();
    void OnTimer(QTimer* timer);
    void Memo1KeyPress(std::uint8_t byte);
    void RtsLabelClick();
    void DtrLabelClick();
    void RecLabelClick();
    // Feeds received bytes through the line discipline without updating the widget yet.
    void Receive(const std::uint8_t* bytes, std::int32_t count);
    void ReleaseSlot();

    std::unique_ptr<Ui::TMDIChild> ui;
    std::unique_ptr<TMemoSink> FSink;
    std::unique_ptr<TTerminalLine> FLine;
    TDeviceSlot* FSlot = nullptr;
    QTimer* FReadTimer = nullptr;
    bool FShown = false;
    bool FClosed = false;
};

// Indicator colours: green (0, 128, 0) for an active line, red (255, 0, 0) for an inactive one.
void SetLineColour(QLabel* label, bool active);
bool LineColourIsActive(const QLabel* label);
