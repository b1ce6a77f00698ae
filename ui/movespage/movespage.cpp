#include "ui/movespage/movespage.h"

#include "ui/deviceview/drivecommands.h"
#include "ui/errorbox/errorbox.h"
#include "ui_movespage.h"

TMovesPage::TMovesPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TMovesPage>()) {
    ui->setupUi(this);
    connect(ui->rapidMoveButton, &QPushButton::clicked, this, &TMovesPage::RapidMove);
    connect(ui->feedMoveButton, &QPushButton::clicked, this, &TMovesPage::FeedMove);
}

TMovesPage::~TMovesPage() = default;

void TMovesPage::Attach(TDriveModel& model) {
    FModel = &model;
    EnableWhileIdle(model, {ui->rapidMoveButton, ui->feedMoveButton});
}

void TMovesPage::RapidMove() {
    if (FModel)
        RunGuarded([this] { FModel->Motion().RapidMove(ui->rapidTargetEdit->text()); });
}

void TMovesPage::FeedMove() {
    if (FModel)
        RunGuarded([this] {
            FModel->Motion().FeedMove(ui->feedTargetEdit->text(), TFigure(ui->feedSpeedEdit->text()));
        });
}
