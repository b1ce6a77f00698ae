#pragma once

#include "drive/drivemodel.h"

#include <QPointer>
#include <QWidget>
#include <memory>

namespace Ui {
class TMovesPage;
}

// The tab "Ruchy ręczne": rapid and feed moves. Each "Wykonaj" writes one command line and reads no
// reply; the answers show in the terminal.
class TMovesPage : public QWidget {
    Q_OBJECT

public:
    explicit TMovesPage(QWidget* parent = nullptr);
    ~TMovesPage() override;

    // Binds the page to the device it commands; the device window calls it once, at its start.
    void Attach(TDriveModel& model);

private:
    void RapidMove();
    void FeedMove();

    std::unique_ptr<Ui::TMovesPage> ui;
    QPointer<TDriveModel> FModel;
};
