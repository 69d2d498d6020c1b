// Draws the application icon (tarvex-<size>.png, and tarvex.ico for Windows), the window's logo
// (logo.png) and the hidden picture's bitmap (picture.bmp) into a folder.
// Run with QT_QPA_PLATFORM=offscreen: tarvex_make_art app/resources
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

#include "app/tools/ico_file.h"

namespace {

const QColor DEEP_BLUE(0x12, 0x3a, 0x57);
const QColor SKY_BLUE(0x2a, 0x7a, 0xb0);
const QColor AMBER(0xf5, 0xa6, 0x23);

// A downward arrow into a bar, in a box of `unit` x `unit` whose top-left is `origin`.
void DrawMark(QPainter& painter, QPointF origin, double unit, const QColor& arrow) {
  QPainterPath path;
  const double cx = origin.x() + unit / 2;
  const double top = origin.y() + unit * 0.14;
  const double shaftHalf = unit * 0.09;
  const double headTop = origin.y() + unit * 0.40;
  const double headHalf = unit * 0.25;
  const double tip = origin.y() + unit * 0.66;
  path.moveTo(cx - shaftHalf, top);
  path.lineTo(cx + shaftHalf, top);
  path.lineTo(cx + shaftHalf, headTop);
  path.lineTo(cx + headHalf, headTop);
  path.lineTo(cx, tip);
  path.lineTo(cx - headHalf, headTop);
  path.lineTo(cx - shaftHalf, headTop);
  path.closeSubpath();
  painter.fillPath(path, arrow);
  const QRectF bar(origin.x() + unit * 0.20, origin.y() + unit * 0.74, unit * 0.60, unit * 0.11);
  painter.setPen(Qt::NoPen);
  painter.setBrush(AMBER);
  painter.drawRoundedRect(bar, unit * 0.04, unit * 0.04);
}

QImage Icon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const double inset = size >= 32 ? size * 0.04 : 0.0;
  const QRectF box(inset, inset, size - 2 * inset, size - 2 * inset);
  QLinearGradient fill(box.topLeft(), box.bottomLeft());
  fill.setColorAt(0, SKY_BLUE);
  fill.setColorAt(1, DEEP_BLUE);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(box, box.width() * 0.2, box.width() * 0.2);
  DrawMark(painter, box.topLeft(), box.width(), Qt::white);
  return image;
}

QImage Logo() {
  constexpr int HEIGHT = 26;  // pixels; with the word, fits the logo area at common dialog fonts
  constexpr int GAP = 3;      // pixels between the badge and the word
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  font.setPixelSize(16);
  const QString word = QStringLiteral("tarvex");
  const int width = HEIGHT + GAP + QFontMetrics(font).horizontalAdvance(word) + 1;
  QImage image(width, HEIGHT, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QRectF badge(1, 1, HEIGHT - 2, HEIGHT - 2);
  painter.setPen(Qt::NoPen);
  painter.setBrush(DEEP_BLUE);
  painter.drawEllipse(badge);
  DrawMark(painter, badge.topLeft(), badge.width(), Qt::white);
  painter.setFont(font);
  painter.setPen(DEEP_BLUE);
  painter.drawText(QRectF(HEIGHT + GAP, 0, width - HEIGHT - GAP, HEIGHT),
                   Qt::AlignLeft | Qt::AlignVCenter, word);
  return image;
}

bool Save(const QImage& image, const QString& path) {
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

bool SaveBytes(const QByteArray& bytes, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// Twelve images: 48, 32, 24 and 16 pixels at 4 and at 8 bits, and 256, 48, 32 and 16 at 24 bits.
QByteArray WindowsIcon() {
  std::vector<IcoImage> images;
  for (const int bits : {4, 8}) {
    for (const int size : {48, 32, 24, 16}) {
      images.push_back({Icon(size), bits});
    }
  }
  for (const int size : {256, 48, 32, 16}) {
    images.push_back({Icon(size), 24});
  }
  return IcoFile(images);
}

// The hidden picture control's bitmap: the logo on white, 91 x 28 pixels, 24 bits.
QImage PictureBitmap() {
  QImage image(91, 28, QImage::Format_RGB888);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.drawImage(QPoint(1, 1), Logo());
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tarvex_make_art <resources folder>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  bool ok = true;
  for (const int size : {16, 24, 32, 48, 256}) {
    ok = Save(Icon(size), out.filePath(QStringLiteral("icons/tarvex-%1.png").arg(size))) && ok;
  }
  ok = Save(Logo(), out.filePath(QStringLiteral("logo.png"))) && ok;
  ok = SaveBytes(WindowsIcon(), out.filePath(QStringLiteral("tarvex.ico"))) && ok;
  ok = PictureBitmap().save(out.filePath(QStringLiteral("picture.bmp")), "BMP") && ok;
  return ok ? 0 : 1;
}
