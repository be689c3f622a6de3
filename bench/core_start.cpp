// The floor of pelindra-track's start: a Qt Core program that builds its application
// object and prints one line, as `pelindra-track --version` does, and nothing else.
#include <QCoreApplication>
#include <iostream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::cout << "Qt Core started\n";
    return 0;
}
