#include "ui/diagnosticspage/diagnosticspage.h"

#include "ui/devicewindow/drivecommands.h"
#include "ui/errorbox/errorbox.h"
#include "ui_diagnosticspage.h"

#include <QSignalBlocker>

namespace {

// The drive's set-point is five times the slider's percentage: -100 % .. 100 % is -500 .. 500.
constexpr int SetPointPerPercent = 5;

} // namespace

TDiagnosticsPage::TDiagnosticsPage(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TDiagnosticsPage>()) {
    ui->setupUi(this);
    for (QLabel* label : {ui->setPointLabel, ui->percentLabel}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
        label->setPalette(palette);
    }
    // The ids are the digits of the mode line.
    FModes.addButton(ui->voltageModeButton, 0);
    FModes.addButton(ui->torqueModeButton, 1);
    FModes.addButton(ui->speedModeButton, 2);
    FModes.addButton(ui->positionModeButton, 3);
    // Only a change of mode is sent: clicking the mode already chosen toggles nothing.
    connect(&FModes, &QButtonGroup::idToggled, this, [this](int mode, bool checked) {
        if (checked)
            ChangeMode(mode);
    });
    // Every change of the slider, by mouse, wheel, keyboard or program, sends its set-point.
    connect(ui->setPointSlider, &QScrollBar::valueChanged, this, &TDiagnosticsPage::SendSetPoint);
    connect(ui->identifyButton, &QPushButton::clicked, this, [this] {
        if (FModel)
            RunGuarded([this] { FModel->Motion().Identify(); });
    });
    connect(ui->positionButton, &QPushButton::clicked, this, [this] {
        if (FModel)
            RunGuarded([this] { FModel->Motion().ShowPosition(); });
    });
}

TDiagnosticsPage::~TDiagnosticsPage() = default;

void TDiagnosticsPage::Attach(TDriveModel& model) {
    FModel = &model;
    EnableWhileIdle(model, {ui->modeGroup, ui->setPointSlider, ui->identifyButton, ui->positionButton});
}

void TDiagnosticsPage::ReturnToZero() {
    if (ui->setPointSlider->value() == 0)
        return;
    const QSignalBlocker quiet(ui->setPointSlider);
    ui->setPointSlider->setValue(0);
    ui->setPointLabel->setText(QStringLiteral("0"));
    // The window is closing: a drive that cannot take the line now gets nothing, and no box holds
    // the close up.
    if (FModel && FModel->Refusal().isEmpty())
        FModel->Motion().SetSetPoint(0);
}

void TDiagnosticsPage::ChangeMode(int mode) {
    if (!FModel)
        return;
    RunGuarded([&] {
        FModel->RequireDriveFree();
        // The new mode must not start with the old mode's set-point.
        ui->setPointSlider->setValue(0);
        FModel->Motion().SetMode(mode);
    });
}

void TDiagnosticsPage::SendSetPoint(int position) {
    ui->setPointLabel->setText(QString::number(position));
    if (FModel)
        RunGuarded([&] { FModel->Motion().SetSetPoint(SetPointPerPercent * position); });
}
