#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName("Murrelphonic");
    QMainWindow window;
    window.setWindowTitle("Murrelphonic");
    window.resize(853, 612);
    window.show();
    return application.exec();
}
