// Saves what the X server shows, the whole screen or one window, as a PNG:
// grab_screen FILE.png [WINDOW-ID]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.png [WINDOW-ID]\n", argv[0]);
        return 2;
    }
    QGuiApplication application(argc, argv);
    const WId window = argc > 2 ? static_cast<WId>(std::strtoul(argv[2], nullptr, 0)) : 0;
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window);
    return !shot.isNull() && shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
