// Exit asked for while a dialog is open (the window's close button, Ctrl+C, SIGTERM all close the
// main window) ends every dialog and the handler that opened it at once, with the devices closed.

#include "harness/fakeport.h"
#include "tests/support/formparts.h"
#include "tests/support/testbytes.h"
#include "tests/ui/framecommands.h"
#include "ui/mainwindow/mainform.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

TEST(Exit, EndsEveryDialogAndItsHandlerAtOnce) {
    QTemporaryDir dir;
    const QString file = dir.filePath("send.bin");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(BytePattern(100000));
    }
    struct Case {
        const char* Name;
        std::function<void(TFakeDevice&)> Prepare;
        const char* Command;
        // The dialog the exit comes in: of this type, after the file dialog has been answered.
        std::function<bool(QWidget*)> IsTheDialog;
    };
    const auto isA = [](const char* type) { return [type](QWidget* w) { return w->inherits(type); }; };
    const Case cases[] = {
        {"port dialog", {}, "configureAction", isA("TPortDialog")},
        {"about box", {}, "aboutAction", isA("TAboutBox")},
        {"file dialog of a send", {}, "sendFileAction", isA("QFileDialog")},
        {"file dialog of a capture", {}, "receiveFileAction", isA("QFileDialog")},
        {"progress of a send",
         [](TFakeDevice& d) {
             d.WriteLimit = 16;
             d.WriteWaitMs = 5;
         },
         "sendFileAction", isA("QProgressDialog")},
        {"message of a stopped send", [](TFakeDevice& d) { d.WriteLimit = 0; }, "sendFileAction",
         isA("QMessageBox")},
    };
    for (const Case& c : cases) {
        TFakeDeviceLibrary fake;
        TMainForm form(fake.Ports());
        Trigger(form, "openDev0Action");
        ASSERT_TRUE(fake.Device(0).Open) << c.Name;
        if (c.Prepare)
            c.Prepare(fake.Device(0));

        QElapsedTimer sinceExit;
        bool exited = false;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || exited)
                return;
            if (auto* files = qobject_cast<QFileDialog*>(modal); files && !c.IsTheDialog(modal)) {
                files->selectFile(file);
                files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(file);
                QMetaObject::invokeMethod(files, "accept");
                return;
            }
            if (!c.IsTheDialog(modal))
                return;
            exited = true;
            sinceExit.start();
            form.close();
        });
        watcher.start(10);
        Trigger(form, c.Command);
        EXPECT_TRUE(WaitForSendEnd(form)) << c.Name;
        watcher.stop();

        ASSERT_TRUE(exited) << c.Name;
        EXPECT_LT(sinceExit.elapsed(), 1000) << c.Name;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << c.Name;
        EXPECT_FALSE(fake.Device(0).Open) << c.Name;
        EXPECT_FALSE(SlotsOf(form)->At(0)->Capturing()) << c.Name << ": nothing opened after the exit";
    }
}
