#include "ui/mainwindow/mainform.h"

#include "report/report.h"
#include "ui/aboutbox/aboutbox.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/errorbox/errorbox.h"
#include "ui/errorbox/errorform.h"
#include "ui/filedialog/choosefile.h"
#include "ui/mainwindow/filechoice.h"
#include "ui/mainwindow/sendprogress.h"
#include "ui/mainwindow/windowtiling.h"
#include "ui/portdialog/portdialog.h"
#include "ui/reportdialog/reportdialog.h"

#include "ui_mainform.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QStyle>

TMainForm::TMainForm(const TPortFactory& ports, QWidget* parent, const std::atomic<bool>* exitRequested)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The client area below the menu bar is 782 x 584; the device window's pages need all of it.
    setFixedSize(782, 584 + menuBar()->sizeHint().height());
    ui->mdiArea->setBackground(palette().brush(QPalette::Dark));
    statusBar()->setSizeGripEnabled(false);
    // Why the last open failed stays in a label of its own: a message shown with showMessage would
    // be wiped by the first hint of a menu item or tool button the mouse passes over.
    FOpenFailureLabel = new QLabel(this);
    FOpenFailureLabel->setObjectName(QStringLiteral("openFailureLabel"));
    statusBar()->addWidget(FOpenFailureLabel, 1);

    FSlots = new TDeviceSlots(ports, this, exitRequested);
    // Each device's model lives beside its slot, whatever windows come and go.
    FModels = new TDriveModels(*FSlots, this);
    FAboutBox = new TAboutBox(this);
    FPortDialog = new TPortDialog(this);
    FErrorForm = new TErrorForm(this);
    FFileChoice = std::make_unique<TFileChoice>(this);
    SetIcons();
    Wire();
    UpdateActions();
}

TMainForm::~TMainForm() {
    // The device windows go before the slots they serve.
    qDeleteAll(ui->mdiArea->subWindowList());
}

void TMainForm::SetIcons() {
    const auto icon = [this](QStyle::StandardPixmap p) { return style()->standardIcon(p); };
    ui->openDev0Action->setIcon(icon(QStyle::SP_DialogOpenButton));
    ui->configureAction->setIcon(icon(QStyle::SP_FileDialogDetailedView));
    ui->closeWindowAction->setIcon(icon(QStyle::SP_DialogCloseButton));
    ui->sendFileAction->setIcon(icon(QStyle::SP_ArrowUp));
    ui->receiveFileAction->setIcon(icon(QStyle::SP_ArrowDown));
    ui->closeFileAction->setIcon(icon(QStyle::SP_DialogSaveButton));
    ui->cascadeAction->setIcon(icon(QStyle::SP_TitleBarNormalButton));
    ui->tileHorizontallyAction->setIcon(icon(QStyle::SP_ToolBarVerticalExtensionButton));
    ui->tileVerticallyAction->setIcon(icon(QStyle::SP_ToolBarHorizontalExtensionButton));
}

void TMainForm::Wire() {
    // A menu's hint lives on the action that stands for it in its parent menu or the menu bar.
    for (QMenu* menu : {ui->portMenu, ui->openMenu, ui->windowMenu, ui->helpMenu}) {
        menu->menuAction()->setStatusTip(menu->statusTip());
        menu->menuAction()->setToolTip(menu->toolTip());
    }
    // Each item carries the index of the device it opens.
    std::int32_t index = 0;
    for (QAction* item : {ui->openDev0Action, ui->openDev1Action, ui->openDev2Action, ui->openDev3Action}) {
        item->setData(index++);
        connect(item, &QAction::triggered, this, [this, item] { OpenDevice(item); });
    }
    connect(ui->configureAction, &QAction::triggered, this, &TMainForm::Configure);
    connect(ui->sendFileAction, &QAction::triggered, this, &TMainForm::SendFile);
    connect(ui->receiveFileAction, &QAction::triggered, this, &TMainForm::ReceiveFile);
    connect(ui->closeFileAction, &QAction::triggered, this, &TMainForm::CloseFile);
    connect(ui->sessionReportAction, &QAction::triggered, this, &TMainForm::ReportSession);
    connect(ui->aboutAction, &QAction::triggered, FAboutBox, &QDialog::exec);
    connect(ui->exitAction, &QAction::triggered, this, &QWidget::close);
    WireWindowCommands();
    for (std::int32_t i = 0; i < TDeviceSlots::KCount; ++i) {
        TDeviceSlot* slot = FSlots->At(i);
        connect(slot, &TDeviceSlot::DeviceLost, this, [this, slot] {
            statusBar()->showMessage(slot->Name() + QStringLiteral(" — connection lost"));
        });
        connect(slot, &TDeviceSlot::DeviceBack, this, [this, slot] {
            statusBar()->showMessage(slot->Name() + QStringLiteral(" — connection restored"), 5000);
        });
    }
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TMainForm::UpdateActions);
}

void TMainForm::WireWindowCommands() {
    auto* tiling = new TWindowTiling(*ui->mdiArea, *ui->windowMenu, this);
    connect(ui->closeWindowAction, &QAction::triggered, ui->mdiArea, &QMdiArea::closeActiveSubWindow);
    connect(ui->cascadeAction, &QAction::triggered, ui->mdiArea, &QMdiArea::cascadeSubWindows);
    connect(ui->tileHorizontallyAction, &QAction::triggered, tiling,
            [tiling] { tiling->Tile(Qt::Horizontal); });
    connect(ui->tileVerticallyAction, &QAction::triggered, tiling, [tiling] { tiling->Tile(Qt::Vertical); });
    connect(ui->minimizeAllAction, &QAction::triggered, tiling, &TWindowTiling::MinimizeAll);
    connect(ui->arrangeAction, &QAction::triggered, tiling, &TWindowTiling::ArrangeIcons);
}

TDeviceSlot* TMainForm::CurrentSlot() const {
    // The frame's current sub-window stays the last activated one while a dialog has the focus.
    QMdiSubWindow* window = ui->mdiArea->currentSubWindow();
    auto* device = window ? qobject_cast<TDeviceWindow*>(window->widget()) : nullptr;
    return device ? device->Slot() : nullptr;
}

bool TMainForm::StillOpen(const TDeviceSlot* slot) const {
    return !FExiting && slot != nullptr && slot->IsOpen();
}

void TMainForm::UpdateActions() {
    // A send holds the device windows and the file commands until it ends.
    const TDeviceSlot* current = FSend ? nullptr : CurrentSlot();
    // The actions mirror the model's guard: a tuning run holds its drive, and a file sent or new line
    // settings would cut into its tests.
    const bool idle = current && !FModels->At(current->Index())->Busy();
    ui->configureAction->setEnabled(idle);
    ui->sendFileAction->setEnabled(idle);
    ui->receiveFileAction->setEnabled(current);
    ui->closeFileAction->setEnabled(current && current->Capturing());

    ui->closeWindowAction->setEnabled(!FSend && !ui->mdiArea->subWindowList().isEmpty());
}

void TMainForm::OpenDevice(const QAction* item) {
    TDeviceSlot* slot = FSlots->At(item->data().toInt());
    if (slot && slot->Open()) {
        FOpenFailureLabel->clear();
        CreateDeviceWindow(*slot);
        return;
    }
    statusBar()->clearMessage();
    FOpenFailureLabel->setText(slot ? slot->OpenFailure() : QString());
    FErrorForm->ShowError(QStringLiteral("Can't open ") + item->text());
}

void TMainForm::CreateDeviceWindow(TDeviceSlot& slot) {
    auto* window = new TDeviceWindow(*FModels->At(slot.Index()));
    // Queued, so that the box opens after the poll that found the fault has finished.
    connect(
        window, &TDeviceWindow::CaptureFailed, this, [](const QString& error) { ShowErrorBox(error); },
        Qt::QueuedConnection);
    connect(window, &TDeviceWindow::ClosedWithNotice, this,
            [this](const QString& notice) { statusBar()->showMessage(notice); });
    QMdiSubWindow* sub = ui->mdiArea->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->showMaximized();
    ui->mdiArea->setActiveSubWindow(sub);
    UpdateActions();
}

void TMainForm::Configure() {
    TDeviceSlot* slot = CurrentSlot();
    if (!slot)
        return;
    FPortDialog->LoadSettings(slot->Settings());
    if (FPortDialog->exec() != QDialog::Accepted || !StillOpen(slot))
        return;
    TPortSettings settings = slot->Settings();
    FPortDialog->StoreSettings(settings);
    // A setting the device refused must not look applied: the port would run on other settings
    // than the dialog shows. A lost device gets them when it comes back.
    if (!slot->ApplyNewSettings(settings) && !slot->IsLost())
        ShowErrorBox(
            QStringLiteral("The device did not accept the port settings; the settings from the refused one "
                           "on were not applied"));
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Exit ends the program whatever is open: the dialogs close first, so that their handlers
    // return and find the exit; then nothing buffered is lost, as every device is closed through
    // its window and every capture file is flushed and closed.
    FExiting = true;
    // A send under way ends without a word, its file closed. Both go once the event loop is back,
    // since this may run inside the progress dialog's update, within the send's step.
    if (FSend) {
        FSend->Abandon();
        FSend->deleteLater();
        FSend = nullptr;
    }
    if (FSendProgress)
        FSendProgress.release()->deleteLater();
    CloseModalDialogs();
    ui->mdiArea->closeAllSubWindows();
    const QString captureError = FSlots->CloseAll();
    if (!captureError.isEmpty())
        ShowErrorBox(captureError);
    event->accept();
}

void TMainForm::CloseModalDialogs() {
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        // A dialog that refuses to close must not hold the exit in this loop.
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
}

void TMainForm::SendFile() {
    TDeviceSlot* slot = CurrentSlot();
    if (!slot || FSend)
        return;
    QString path;
    TFilePtr file = FFileChoice->ChooseAndOpen("rb", &path);
    if (!file || !StillOpen(slot))
        return;
    // The model hears of the file's bytes from the slot, and forgets what it knew of the settings.
    std::optional<TDriveLease> lease;
    RunGuarded([&] { lease = FModels->At(slot->Index())->Lease(TLeaseUse::Raw, SendHoldsText()); });
    if (!lease)
        return;
    const auto total = std::uint64_t(std::max<qint64>(0, QFileInfo(path).size()));
    FSend = new TFileSend(std::move(*lease), std::move(file), total, SendStallLimit(slot->Settings().TxTimeout),
                          this);
    connect(FSend, &TFileSend::Finished, this,
            [this, slot = QPointer<TDeviceSlot>(slot)](TSendResult result) {
                EndSend(result, slot ? slot->Name() : QString());
            });
    // No key or click reaches a device window in the middle of a send.
    ui->mdiArea->setEnabled(false);
    FSendProgress = std::make_unique<TSendProgress>(*FSend, this);
    UpdateActions();
    FSend->Start();
}

void TMainForm::EndSend(TSendResult result, const QString& device) {
    const QString message = SendStopMessage(*FSend, result, device);
    FSendProgress.reset();
    FSend->deleteLater();
    FSend = nullptr;
    ui->mdiArea->setEnabled(true);
    UpdateActions();
    if (!message.isEmpty())
        ShowErrorBox(message);
}

void TMainForm::ReceiveFile() {
    TDeviceSlot* slot = CurrentSlot();
    if (!slot)
        return;
    TFilePtr file = FFileChoice->ChooseAndOpen("wb");
    if (!file || !StillOpen(slot))
        return;
    const QString error = slot->StartCapture(std::move(file));
    if (!error.isEmpty())
        ShowErrorBox(error);
}

void TMainForm::CloseFile() {
    TDeviceSlot* slot = CurrentSlot();
    if (!slot)
        return;
    const QString error = slot->StopCapture();
    if (!error.isEmpty())
        ShowErrorBox(error);
}

void TMainForm::ReportSession() {
    const QString path = ChooseFile(this, QStringLiteral("Raport z pliku sesji"), QFileDialog::AcceptOpen,
                                    QStringLiteral("Kelmor session (*.kses)"), QStringLiteral("kses"));
    if (path.isEmpty())
        return;
    RunGuarded([&] {
        const TSession session = LoadWholeSession(path);
        const auto shown = std::count_if(session.Tests.begin(), session.Tests.end(),
                                         [](const TSessionTest& t) { return t.Shown; });
        const QFileInfo file(path);
        const std::optional<TReportChoice> choice =
            AskReport(this, file.dir().filePath(file.completeBaseName() + QStringLiteral(".pdf")), int(shown),
                      int(session.Tests.size()));
        if (!choice)
            return;
        WriteReport(choice->Path, SessionReport(session, path, *choice));
    });
}
