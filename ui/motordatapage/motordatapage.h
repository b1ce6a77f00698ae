#pragma once

#include "drive/drivemodel.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>

namespace Ui {
class TMotorDataPage;
}

class QLineEdit;

// The tab "Dane serwosilnika": the motor's rated data, which the fields show from the session and
// edit in it; every new device window starts at the defaults.
class TMotorDataPage : public QWidget {
    Q_OBJECT

public:
    explicit TMotorDataPage(QWidget* parent = nullptr);
    ~TMotorDataPage() override;

    // Binds the page to the session; the device window calls it once, at its start.
    void Attach(TDriveModel& model);

private:
    void ShowMotorData();

    std::unique_ptr<Ui::TMotorDataPage> ui;
    // The edit of each field of the motor data table, in its order.
    std::array<QLineEdit*, MotorFieldCount> FFields{};
    QPointer<TDriveModel> FModel;
};
