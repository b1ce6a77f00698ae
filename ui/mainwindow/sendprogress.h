#pragma once

#include "transfer/filesend.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

class QProgressDialog;
class QWidget;

// Shows how far a file send has come once it has taken half a second, in a dialog whose Cancel
// ends the send between chunks. It lives no longer than the send; the dialog goes with it.
class TSendProgress : public QObject {
    Q_OBJECT

public:
    // Counts the half second from now; the dialog is the parent's child.
    TSendProgress(TFileSend& send, QWidget* dialogParent);
    ~TSendProgress() override;

private:
    void Show(std::uint64_t sent, std::uint64_t total);

    TFileSend& FSend;
    QWidget* FDialogParent;
    std::unique_ptr<QProgressDialog> FDialog;
    QElapsedTimer FClock;
    qint64 FShown = 0; // when the progress was last shown, on FClock
};

// What the user is told of a send that stopped before its end; empty for one that was done or
// cancelled. device names the device it went to.
QString SendStopMessage(const TFileSend& send, TSendResult result, const QString& device);
