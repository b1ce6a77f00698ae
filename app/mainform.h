#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class TMainForm;
}
class QFileDialog;
class QMdiArea;
class QMdiSubWindow;
class TAboutBox;
class TConfigForm;
class TErrorForm;

// The frame window: menus, tool bar, status bar, the device windows inside it, and the commands
// that open devices, configure them and move files.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    void DEV0ItemExecute();
    void DEV1ItemClick();
    void ConfigureItemClick();
    void SendFileItemClick();
    void ReceiveFileItemClick();
    void CloseFileItemClick();
    void HelpAbout1Execute();
    void PortExit1Execute();

    // The update rules of the actions; run whenever the application is idle.
    void UpdateActions();

    QMdiArea* MdiArea() const;
    TAboutBox* AboutBox() const { return FAboutBox; }
    TErrorForm* ErrorForm() const { return FErrorForm; }
    QFileDialog* OpenDialog() const { return FOpenDialog; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Wire();
    void OpenFromItem(const QAction* item);
    bool OpenDevice(const QString& caption);
    void CreateDeviceWindow(const QString& caption);
    void PollDevices();
    QString ChooseFile();
    void FillWindowMenu();
    void TileSubWindows(Qt::Orientation orientation);
    void MinimizeAll();
    void ArrangeIcons();
    QList<QMdiSubWindow*> DeviceWindows() const;

    std::unique_ptr<Ui::TMainForm> ui;
    TAboutBox* FAboutBox = nullptr;
    TConfigForm* FConfigForm = nullptr;
    TErrorForm* FErrorForm = nullptr;
    QFileDialog* FOpenDialog = nullptr;
    QList<QAction*> FWindowListActions;
};
