#include "ui/tuningdialog/tuningmapview.h"

#include "plot/imagefile.h"
#include "ui/errorbox/errorbox.h"
#include "ui/filedialog/choosefile.h"

#include <QAction>
#include <QPainter>

TTuningMapView::TTuningMapView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 240);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* save = new QAction(QStringLiteral("Zapisz mapę…"), this);
    save->setObjectName(QStringLiteral("saveMapAction"));
    connect(save, &QAction::triggered, this, &TTuningMapView::Save);
    addAction(save);
}

void TTuningMapView::SetMap(TTuningMap map) {
    FMap = std::move(map);
    update();
}

QImage TTuningMapView::Image() const {
    QImage image(size(), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(font());
    DrawTuningMap(painter, size(), FMap);
    return image;
}

void TTuningMapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawTuningMap(painter, size(), FMap);
}

void TTuningMapView::Save() {
    RunGuarded([&] {
        const QString fileName = ChooseFile(this, QStringLiteral("Zapisz mapę"), QFileDialog::AcceptSave,
                                            QStringLiteral("PNG (*.png)"), QStringLiteral("png"));
        if (!fileName.isEmpty())
            SavePng(fileName, Image());
    });
}
