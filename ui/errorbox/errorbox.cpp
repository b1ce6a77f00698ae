#include "ui/errorbox/errorbox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
std::function<void(const QString&)>& Hook() {
    static std::function<void(const QString&)> hook;
    return hook;
}
} // namespace

QString ErrorBoxText(const QString& message) {
    return message.endsWith(QLatin1Char('.')) ? message : message + QLatin1Char('.');
}

void SetErrorBoxHook(std::function<void(const QString&)> hook) {
    Hook() = std::move(hook);
}

void ShowErrorBox(const QString& message) {
    const QString text = ErrorBoxText(message);
    if (Hook()) {
        Hook()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kelmor"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}
