// The floor the toolkit sets: the smallest Qt Widgets program that maps a window.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Minimal");
    window.show();
    return app.exec();
}
