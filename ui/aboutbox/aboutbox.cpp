#include "ui/aboutbox/aboutbox.h"

#include "ui_aboutbox.h"

#include <QGuiApplication>
#include <QScreen>

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()) {
    ui->setupUi(this);
    ui->productLabel->setText(QStringLiteral("Kelmor v." KELMOR_VERSION));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::showEvent(QShowEvent* event) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    ui->okButton->setFocus();
    QDialog::showEvent(event);
}
