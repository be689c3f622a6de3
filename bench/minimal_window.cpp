// The floors the toolkit sets: the smallest Qt Widgets program that maps a window, and
// (built with MINIMAL_TEXT_BOX) the same window holding one text box, which brings in
// fonts, the text cursor and input-method support.
#include <QApplication>
#include <QLineEdit>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Minimal");
#ifdef MINIMAL_TEXT_BOX
    new QLineEdit(&window);
#endif
    window.show();
    return app.exec();
}
