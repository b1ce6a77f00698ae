#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow main;
    main.setWindowTitle(QStringLiteral("Kelmor"));
    main.setCentralWidget(new QMdiArea(&main));
    main.show();
    return app.exec();
}
