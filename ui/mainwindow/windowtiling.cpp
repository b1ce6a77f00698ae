#include "ui/mainwindow/windowtiling.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

TWindowTiling::TWindowTiling(QMdiArea& area, QMenu& windowMenu, QObject* parent)
    : QObject(parent), FArea(area), FMenu(windowMenu) {
    connect(&FMenu, &QMenu::aboutToShow, this, &TWindowTiling::FillWindowMenu);
}

void TWindowTiling::FillWindowMenu() {
    for (QAction* action : FListActions)
        FMenu.removeAction(action);
    qDeleteAll(FListActions);
    FListActions.clear();
    const QList<QMdiSubWindow*> windows = FArea.subWindowList();
    if (windows.isEmpty())
        return;
    FListActions << FMenu.addSeparator();
    int number = 1;
    for (QMdiSubWindow* window : windows) {
        QAction* action = FMenu.addAction(QStringLiteral("&%1 %2").arg(number++).arg(window->windowTitle()));
        action->setCheckable(true);
        action->setChecked(window == FArea.activeSubWindow());
        connect(action, &QAction::triggered, this, [this, window] { FArea.setActiveSubWindow(window); });
        FListActions << action;
    }
}

void TWindowTiling::Tile(Qt::Orientation orientation) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : FArea.subWindowList())
        if (!window->isMinimized())
            windows << window;
    if (windows.isEmpty())
        return;
    const QRect area = FArea.viewport()->rect();
    const int count = int(windows.size());
    for (int i = 0; i < count; ++i) {
        QMdiSubWindow* window = windows[i];
        window->showNormal();
        if (orientation == Qt::Horizontal) {
            const int height = area.height() / count;
            window->setGeometry(0, i * height, area.width(), height);
        } else {
            const int width = area.width() / count;
            window->setGeometry(i * width, 0, width, area.height());
        }
    }
}

void TWindowTiling::MinimizeAll() {
    for (QMdiSubWindow* window : FArea.subWindowList())
        window->showMinimized();
}

void TWindowTiling::ArrangeIcons() {
    const QRect area = FArea.viewport()->rect();
    int x = 0;
    for (QMdiSubWindow* window : FArea.subWindowList()) {
        if (!window->isMinimized())
            continue;
        window->move(x, area.height() - window->height());
        x += window->width();
    }
}
