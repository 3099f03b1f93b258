#include "shell/artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

constexpr int kIcon = 24;

QPixmap blank(int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void roundedTile(QPainter& p, const QColor& colour) {
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawRoundedRect(QRectF(1, 1, kIcon - 2, kIcon - 2), 5, 5);
}

void drawRedirect(QPainter& p) {
  roundedTile(p, QColor(0x2f, 0x7d, 0xd1));
  QPen pen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  QPainterPath path(QPointF(6, 17));
  path.cubicTo(QPointF(6, 8), QPointF(12, 7), QPointF(17, 9));
  p.drawPath(path);
  p.drawPolyline(QPolygonF({QPointF(13.5, 5.5), QPointF(17.5, 9), QPointF(13.5, 12.5)}));
}

void drawTable(QPainter& p) {
  roundedTile(p, QColor(0x2e, 0x9d, 0x5b));
  p.setBrush(Qt::white);
  p.setPen(Qt::NoPen);
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) p.drawRect(QRectF(5 + col * 5, 5 + row * 5, 4, 4));
  }
}

void drawFolders(QPainter& p) {
  p.setPen(QPen(QColor(0x9a, 0x5b, 0x0b), 1));
  p.setBrush(QColor(0xf2, 0xb1, 0x3c));
  p.drawRoundedRect(QRectF(2.5, 5.5, 9, 4), 1, 1);
  p.drawRoundedRect(QRectF(2.5, 7.5, 15, 10), 1.5, 1.5);
  p.setBrush(QColor(0xf7, 0xcd, 0x6b));
  p.drawRoundedRect(QRectF(8.5, 11.5, 13, 9), 1.5, 1.5);
}

void drawConversion(QPainter& p) {
  roundedTile(p, QColor(0x7b, 0x4f, 0xc4));
  QFont font = p.font();
  font.setPixelSize(14);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(1, 1, kIcon - 2, kIcon - 2), Qt::AlignCenter, u"码"_s);
}

void drawSplit(QPainter& p) {
  p.setPen(QPen(QColor(0x99, 0x22, 0x22), 1));
  p.setBrush(QColor(0xfd, 0xfd, 0xfd));
  p.drawRect(QRectF(4.5, 2.5, 15, 19));
  p.setPen(QPen(QColor(0x77, 0x77, 0x77), 1));
  for (int y : {6, 9, 15, 18}) p.drawLine(QPointF(7, y + 0.5), QPointF(17, y + 0.5));
  QPen cut(QColor(0xd9, 0x36, 0x36), 1.6, Qt::DashLine);
  p.setPen(cut);
  p.drawLine(QPointF(1, 12), QPointF(23, 12));
}

}  // namespace

QPixmap toolIcon(ToolIcon tool) {
  QPixmap pixmap = blank(kIcon, kIcon);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (tool) {
    case ToolIcon::Redirect: drawRedirect(p); break;
    case ToolIcon::CsvTable: drawTable(p); break;
    case ToolIcon::Classify: drawFolders(p); break;
    case ToolIcon::Transcode: drawConversion(p); break;
    case ToolIcon::SplitMerge: drawSplit(p); break;
  }
  return pixmap;
}

void paintProgramIcon(QPainter& p) {
  QLinearGradient sky(0, 0, 0, 64);
  sky.setColorAt(0, QColor(0x8e, 0xc5, 0xfc));
  sky.setColorAt(1, QColor(0xe0, 0xf0, 0xff));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawEllipse(QRectF(2, 2, 60, 60));
  // Two ridges over clear water.
  p.setBrush(QColor(0x3d, 0x7a, 0x5a));
  p.drawPolygon(QPolygonF({QPointF(8, 44), QPointF(24, 20), QPointF(36, 36), QPointF(44, 26), QPointF(58, 44)}));
  p.setBrush(QColor(0x4f, 0x9d, 0xd9));
  QPainterPath water;
  water.addRect(QRectF(4, 44, 56, 14));
  QPainterPath disc;
  disc.addEllipse(QRectF(2, 2, 60, 60));
  p.drawPath(water.intersected(disc));
}

QPixmap homePicture() {
  QPixmap pixmap = blank(64, 64);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  paintProgramIcon(p);
  return pixmap;
}

QPixmap bannerPicture() {
  QPixmap pixmap = blank(195, 64);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 195, 0);
  fill.setColorAt(0, QColor(0x1f, 0x5f, 0xa8));
  fill.setColorAt(1, QColor(0x3f, 0x9c, 0xc8));
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(0.5, 4.5, 194, 55), 10, 10);
  p.drawPixmap(QRect(8, 12, 40, 40), homePicture());
  QFont font = p.font();
  font.setPixelSize(19);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(54, 10, 136, 26), Qt::AlignLeft | Qt::AlignVCenter, u"澄岭工具箱"_s);
  font.setPixelSize(11);
  font.setBold(false);
  p.setFont(font);
  p.setPen(QColor(0xe6, 0xf2, 0xff));
  p.drawText(QRectF(54, 34, 136, 18), Qt::AlignLeft | Qt::AlignVCenter, u"文本 · 文件 · 网址 批量处理"_s);
  return pixmap;
}

}  // namespace chengling
