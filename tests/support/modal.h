#pragma once

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <functional>
#include <memory>

// Answers the next modal dialog that opens while this object lives: runs inspect on it, then
// accepts or rejects it. Create it before the code that opens the dialog.
class TModalAnswer {
public:
    explicit TModalAnswer(std::function<void(QDialog*)> inspect, bool accept = true)
        : FTimer(std::make_unique<QTimer>()) {
        FTimer->setInterval(5);
        QObject::connect(FTimer.get(), &QTimer::timeout, [this, inspect = std::move(inspect), accept] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            FTimer->stop();
            FAnswered = true;
            if (inspect)
                inspect(dialog);
            accept ? dialog->accept() : dialog->reject();
        });
        FTimer->start();
    }

    bool Answered() const { return FAnswered; }

private:
    std::unique_ptr<QTimer> FTimer;
    bool FAnswered = false;
};

// Answers the next dialog, a file dialog, with path typed into its name box (which the dialog
// leaves alone while it has the focus).
inline TModalAnswer FileAnswer(const QString& path) {
    return TModalAnswer([path](QDialog* dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
            files->selectFile(path);
            files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        }
    });
}
