#include "ui/mainwindow/sendprogress.h"

#include <QProgressDialog>

TSendProgress::TSendProgress(TFileSend& send, QWidget* dialogParent)
    : FSend(send), FDialogParent(dialogParent) {
    connect(&FSend, &TFileSend::Progress, this, &TSendProgress::Show);
    FClock.start();
}

TSendProgress::~TSendProgress() = default;

void TSendProgress::Show(std::uint64_t sent, std::uint64_t total) {
    // A long send shows its progress and can be cancelled between chunks.
    if (!FDialog && FClock.elapsed() >= 500) {
        FDialog = std::make_unique<QProgressDialog>(FDialogParent);
        FDialog->setWindowTitle(QStringLiteral("Kelmor"));
        FDialog->setWindowModality(Qt::ApplicationModal);
        FDialog->setRange(0, 1000);
        FDialog->setMinimumDuration(0);
        FDialog->setAutoClose(false);
        FDialog->setAutoReset(false);
        connect(FDialog.get(), &QProgressDialog::canceled, &FSend, &TFileSend::Cancel);
        FDialog->show();
    }
    // Every chunk would repaint the dialog many times over what the eye can follow.
    if (FDialog && (FClock.elapsed() - FShown >= 30 || sent == total)) {
        FShown = FClock.elapsed();
        FDialog->setLabelText(QStringLiteral("Sent %1 of %2 bytes").arg(sent).arg(total));
        FDialog->setValue(total ? int(sent * 1000 / total) : 1000);
    }
}

QString SendStopMessage(const TFileSend& send, TSendResult result, const QString& device) {
    switch (result) {
    case TSendResult::Stalled:
        return QStringLiteral(
                   "The device accepted no data for %1 s; the send was stopped after %2 of %3 bytes")
            .arg(send.StallLimit().count() / 1000.0)
            .arg(send.Sent())
            .arg(send.Total());
    case TSendResult::ReadError:
        return QStringLiteral("The file could not be read to its end; the send was stopped after %1 bytes")
            .arg(send.Sent());
    case TSendResult::Lost:
        return QStringLiteral("The connection to %1 was lost; the send was stopped after %2 of %3 bytes")
            .arg(device)
            .arg(send.Sent())
            .arg(send.Total());
    case TSendResult::Done:
    case TSendResult::Cancelled:
        break;
    }
    return {};
}
