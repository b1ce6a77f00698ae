#pragma once

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

// Looks at the modal widget in front every 5 ms while the returned timer lives. The event loop
// runs the looks, so they reach a dialog inside its exec.
inline std::unique_ptr<QTimer> WatchModals(std::function<void(QWidget*)> look) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(5);
    QObject::connect(timer.get(), &QTimer::timeout, [look = std::move(look)] {
        if (QWidget* modal = QApplication::activeModalWidget())
            look(modal);
    });
    timer->start();
    return timer;
}

// Answers the next modal dialog that opens while this object lives: runs inspect on it, then
// accepts or rejects it. Create it before the code that opens the dialog.
class TModalAnswer {
public:
    explicit TModalAnswer(std::function<void(QDialog*)> inspect, bool accept = true)
        : FTimer(WatchModals([this, inspect = std::move(inspect), accept](QWidget* modal) {
              auto* dialog = qobject_cast<QDialog*>(modal);
              if (!dialog)
                  return;
              FTimer->stop();
              FAnswered = true;
              if (inspect)
                  inspect(dialog);
              accept ? dialog->accept() : dialog->reject();
          })) {}

    bool Answered() const { return FAnswered; }

private:
    std::unique_ptr<QTimer> FTimer;
    bool FAnswered = false;
};

// While this lives, every error box that opens is answered with OK, its text as the box shows it
// joining shown. Other dialogs and questions are left to TModalAnswer.
class TErrorBoxes {
public:
    explicit TErrorBoxes(QStringList& shown)
        : FTimer(WatchModals([&shown](QWidget* modal) {
              auto* box = qobject_cast<QMessageBox*>(modal);
              if (box && box->icon() == QMessageBox::Critical) {
                  shown << box->text();
                  box->accept();
              }
          })) {}

private:
    std::unique_ptr<QTimer> FTimer;
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
