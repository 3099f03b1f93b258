// chengling: the desktop program.
#include <QApplication>

#include "shell/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  chengling::MainWindow window;
  window.show();
  return app.exec();
}
