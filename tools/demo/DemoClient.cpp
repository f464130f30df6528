// The demo client that the setup program installs and starts. It records each
// start as a line in the file "started" of its working folder and, when a
// display is present, shows a small window until it is closed.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

bool DisplayPresent() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && (std::strncmp(platform, "offscreen", 9) == 0 || std::strncmp(platform, "minimal", 7) == 0))
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
    char cwd[4096] = "";
    if (!getcwd(cwd, sizeof cwd)) std::strcpy(cwd, "?");
    if (FILE* f = std::fopen("started", "a")) {
        std::fprintf(f, "Corvexa started, process %d, folder %s\n", static_cast<int>(getpid()), cwd);
        std::fclose(f);
    } else {
        std::perror("started");
        return 1;
    }
    if (!DisplayPresent()) return 0;

    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QString::fromUtf8("Zelvano在线2.0"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QString::fromUtf8("Zelvano在线 demo client is running.")));
    layout->addWidget(new QLabel(QString::fromUtf8("Folder: ") + QString::fromLocal8Bit(cwd)));
    window.resize(360, 120);
    window.show();
    return app.exec();
}
