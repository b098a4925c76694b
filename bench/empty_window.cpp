// The yardstick for the window's start-up: an empty Qt Widgets window of a given size with
// one label, shown as soon as the event loop runs.
//
//   empty_window WIDTH HEIGHT
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int w = argc > 2 ? QString::fromLocal8Bit(argv[1]).toInt() : 640;
    const int h = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 480;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("空のウィンドウ")));
    window.resize(w, h);
    window.show();
    return app.exec();
}
