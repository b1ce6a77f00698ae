// At the default size every control of every page of the device window shows whole.

#include "harness/fakeport.h"
#include "tests/ui/framecommands.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/mainwindow/mainform.h"

#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

TEST(Layout, EveryControlOfEveryPageShowsWhole) {
    TFakeDeviceLibrary fake;
    TMainForm form(fake.Ports());
    form.show();
    Trigger(form, "openDev0Action");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto* pages = WindowOf(form, 0)->findChild<QTabWidget*>("pages");
    ASSERT_NE(pages, nullptr);
    // The step page's plot surface is 560 x 372 at design size; no page is smaller than that.
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QWidget* page = pages->widget(i);
        QCoreApplication::processEvents();
        const QRect visible = page->visibleRegion().boundingRect();
        EXPECT_GE(visible.height(), 372) << page->objectName().toStdString();
        for (QWidget* control : page->findChildren<QWidget*>()) {
            if (control->isHidden() || !control->isVisibleTo(page))
                continue;
            const QRect where(control->mapTo(page, QPoint(0, 0)), control->size());
            EXPECT_TRUE(visible.contains(where))
                << page->objectName().toStdString() << ": " << control->objectName().toStdString();
        }
    }
}
