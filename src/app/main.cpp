#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle("iOstrivane");
    w.setCentralWidget(new QLabel("iOstrivane"));
    w.resize(800, 600);
    w.show();
    return app.exec();
}
