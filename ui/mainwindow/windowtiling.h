#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMdiArea;
class QMenu;

// Arranges the windows of an MDI area as the Window menu's commands ask, and lists them at the foot
// of that menu each time it opens, the active one checked.
class TWindowTiling : public QObject {
    Q_OBJECT

public:
    TWindowTiling(QMdiArea& area, QMenu& windowMenu, QObject* parent = nullptr);

    // Horizontally stacks the windows one above the other; vertically puts them side by side.
    void Tile(Qt::Orientation orientation);
    void MinimizeAll();
    // Lines the minimised windows up along the bottom of the area.
    void ArrangeIcons();

private:
    void FillWindowMenu();

    QMdiArea& FArea;
    QMenu& FMenu;
    QList<QAction*> FListActions;
};
