#pragma once

#include "drive/drivemodel.h"
#include "link/deviceslots.h"
#include "transfer/filesend.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>
#include <atomic>
#include <memory>

namespace Ui {
class TMainForm;
}
class QFileDialog;
class QLabel;
class QMdiSubWindow;
class TAboutBox;
class TDeviceWindow;
class TPortDialog;
class TErrorForm;

// The frame window: menus, tool bar, status bar, the device windows inside it, and the commands
// that open devices, configure them and move files.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // The devices open with the ports of the factory. exitRequested is set when the program is asked
    // to end from outside (a signal); the devices' exchanges then end at their next wait.
    explicit TMainForm(const TPortFactory& ports = MachinePorts(), QWidget* parent = nullptr,
                       const std::atomic<bool>* exitRequested = nullptr);
    ~TMainForm() override;

    void OpenDevice0();
    void OpenDevice1();
    void Configure();
    void SendFile();
    void ReceiveFile();
    void CloseFile();
    void ShowAbout();
    void Exit();

    // The update rules of the actions; run whenever the application is idle.
    void UpdateActions();
    // A file send is under way.
    bool Sending() const { return FSend != nullptr; }

    // The slot of the device window created or activated last, or none.
    TDeviceSlot* CurrentSlot() const;
    // The device window of a device index, or none while that device is closed.
    TDeviceWindow* WindowOf(std::int32_t index) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Wire();
    void OpenFromItem(const QAction* item);
    void CreateDeviceWindow(TDeviceSlot& slot);
    // Shows the file dialog and opens the chosen file; none when cancelled or not openable.
    TFilePtr ChooseAndOpenFile(const char* mode, QString* path = nullptr);
    // After a modal dialog: the slot it was opened for still has its device, and no exit came.
    bool StillOpen(const TDeviceSlot* slot) const;
    void CloseModalDialogs();
    void ShowSendProgress(std::uint64_t sent, std::uint64_t total);
    void EndSend(TSendResult result, const QString& device);
    void FillWindowMenu();
    void TileSubWindows(Qt::Orientation orientation);
    void MinimizeAll();
    void ArrangeIcons();
    QList<QMdiSubWindow*> DeviceWindows() const;

    std::unique_ptr<Ui::TMainForm> ui;
    TAboutBox* FAboutBox = nullptr;
    TPortDialog* FPortDialog = nullptr;
    TErrorForm* FErrorForm = nullptr;
    QFileDialog* FOpenDialog = nullptr;
    QLabel* FOpenFailureLabel = nullptr;
    QList<QAction*> FWindowListActions;
    TDeviceSlots* FSlots = nullptr;
    TDriveModels* FModels = nullptr;
    bool FExiting = false;
    TFileSend* FSend = nullptr;
    std::unique_ptr<QProgressDialog> FSendProgress;
    QElapsedTimer FSendClock;
    qint64 FSendShown = 0; // when the progress was last shown, on FSendClock
};
