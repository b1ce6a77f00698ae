#include "ui/errorbox/errorbox.h"

#include <QApplication>
#include <QMessageBox>

QString ErrorBoxText(const QString& message) {
    return message.endsWith(QLatin1Char('.')) ? message : message + QLatin1Char('.');
}

void ShowErrorBox(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kelmor"), ErrorBoxText(message), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}
