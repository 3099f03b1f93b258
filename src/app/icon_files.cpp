// chengling-icon-files FOLDER NAME: writes the program's icon into the icon theme folder FOLDER as
// hicolor/<n>x<n>/apps/NAME.png for the usual sizes and hicolor/scalable/apps/NAME.svg, all from the
// drawing the window shows. Runs during the build, without a display.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

#include "shell/artwork.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};
constexpr int kDrawing = 64;  // paintProgramIcon draws on 64×64 units

bool writePng(const QString& folder, const QString& name, int size) {
  const QString dir = folder + u"/hicolor/%1x%1/apps"_s.arg(size);
  if (!QDir().mkpath(dir)) return false;
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(double(size) / kDrawing, double(size) / kDrawing);
  chengling::paintProgramIcon(painter);
  painter.end();
  return image.save(dir + u"/"_s + name + u".png"_s, "PNG");
}

bool writeSvg(const QString& folder, const QString& name) {
  const QString dir = folder + u"/hicolor/scalable/apps"_s;
  if (!QDir().mkpath(dir)) return false;
  QSvgGenerator svg;
  svg.setFileName(dir + u"/"_s + name + u".svg"_s);
  svg.setSize(QSize(kDrawing, kDrawing));
  svg.setViewBox(QRect(0, 0, kDrawing, kDrawing));
  svg.setTitle(u"澄岭工具箱"_s);
  QPainter painter;
  if (!painter.begin(&svg)) return false;
  chengling::paintProgramIcon(painter);
  return painter.end();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fputs(u"用法：chengling-icon-files 文件夹 图标名\n"_s.toUtf8().constData(), stderr);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString name = QString::fromLocal8Bit(argv[2]);
  bool written = writeSvg(folder, name);
  for (int size : kSizes) written = writePng(folder, name, size) && written;
  if (!written) {
    std::fputs(u"无法写入图标：%1\n"_s.arg(folder).toUtf8().constData(), stderr);
    return 1;
  }
  return 0;
}
