#include "app/tools/ico_file.h"

#include <QtEndian>
#include <cstdint>

namespace {

constexpr int HEADER_BYTES = 6;
constexpr int ENTRY_BYTES = 16;
constexpr int INFO_HEADER_BYTES = 40;
constexpr int OPAQUE_FROM = 128;  // alpha at and above which a pixel is drawn

// The sixteen colours every display offers.
const QList<QRgb> SIXTEEN_COLOURS = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};

void Put16(QByteArray& out, int value) {
  const auto v = qToLittleEndian(static_cast<std::uint16_t>(value));
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

void Put32(QByteArray& out, std::uint32_t value) {
  const auto v = qToLittleEndian(value);
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

int RowBytes(int width, int bitsPerPixel) {
  return (width * bitsPerPixel + 31) / 32 * 4;
}

// Transparent pixels become black, so that the mask alone decides what shows there.
QImage OverBlack(const QImage& picture) {
  QImage image = picture.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      row[x] = qAlpha(row[x]) < OPAQUE_FROM ? qRgb(0, 0, 0) : (row[x] | 0xff000000u);
    }
  }
  return image.convertToFormat(QImage::Format_RGB32);
}

QByteArray ColourRows(const QImage& opaque, int bitsPerPixel, QList<QRgb>& palette) {
  QImage image = opaque;
  if (bitsPerPixel == 4) {
    image = opaque.convertToFormat(QImage::Format_Indexed8, SIXTEEN_COLOURS, Qt::ThresholdDither);
  } else if (bitsPerPixel == 8) {
    image = opaque.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
  }
  palette = image.colorTable();
  QByteArray rows;
  const int rowBytes = RowBytes(image.width(), bitsPerPixel);
  for (int y = image.height() - 1; y >= 0; --y) {  // bottom-up
    QByteArray row(rowBytes, '\0');
    for (int x = 0; x < image.width(); ++x) {
      if (bitsPerPixel == 24) {
        const QRgb pixel = image.pixel(x, y);
        row[x * 3] = static_cast<char>(qBlue(pixel));
        row[x * 3 + 1] = static_cast<char>(qGreen(pixel));
        row[x * 3 + 2] = static_cast<char>(qRed(pixel));
      } else if (bitsPerPixel == 8) {
        row[x] = static_cast<char>(image.pixelIndex(x, y));
      } else {
        const int shift = x % 2 == 0 ? 4 : 0;
        row[x / 2] = static_cast<char>(row[x / 2] | (image.pixelIndex(x, y) << shift));
      }
    }
    rows.append(row);
  }
  return rows;
}

QByteArray MaskRows(const QImage& picture) {
  const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
  QByteArray rows;
  const int rowBytes = RowBytes(image.width(), 1);
  for (int y = image.height() - 1; y >= 0; --y) {
    QByteArray row(rowBytes, '\0');
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) < OPAQUE_FROM) {
        row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
      }
    }
    rows.append(row);
  }
  return rows;
}

QByteArray Bitmap(const IcoImage& entry) {
  QList<QRgb> palette;
  const QByteArray colours = ColourRows(OverBlack(entry.picture), entry.bitsPerPixel, palette);
  const QByteArray mask = MaskRows(entry.picture);
  const int paletteSize = entry.bitsPerPixel <= 8 ? 1 << entry.bitsPerPixel : 0;
  QByteArray out;
  Put32(out, INFO_HEADER_BYTES);
  Put32(out, static_cast<std::uint32_t>(entry.picture.width()));
  Put32(out, static_cast<std::uint32_t>(entry.picture.height() * 2));  // colours and mask
  Put16(out, 1);
  Put16(out, entry.bitsPerPixel);
  Put32(out, 0);  // uncompressed
  Put32(out, static_cast<std::uint32_t>(colours.size() + mask.size()));
  for (int i = 0; i < 4; ++i) {
    Put32(out, 0);  // resolution and colour counts: the defaults
  }
  for (int i = 0; i < paletteSize; ++i) {
    const QRgb colour = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
    out.append(static_cast<char>(qBlue(colour)));
    out.append(static_cast<char>(qGreen(colour)));
    out.append(static_cast<char>(qRed(colour)));
    out.append('\0');
  }
  return out + colours + mask;
}

}  // namespace

QByteArray IcoFile(const std::vector<IcoImage>& images) {
  std::vector<QByteArray> bitmaps;
  for (const IcoImage& image : images) {
    bitmaps.push_back(Bitmap(image));
  }
  QByteArray out;
  Put16(out, 0);
  Put16(out, 1);  // an icon, not a cursor
  Put16(out, static_cast<int>(images.size()));
  std::uint32_t offset = HEADER_BYTES + ENTRY_BYTES * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const QImage& picture = images[i].picture;
    out.append(static_cast<char>(picture.width() >= 256 ? 0 : picture.width()));
    out.append(static_cast<char>(picture.height() >= 256 ? 0 : picture.height()));
    out.append(static_cast<char>(images[i].bitsPerPixel == 4 ? 16 : 0));
    out.append('\0');
    Put16(out, 1);
    Put16(out, images[i].bitsPerPixel);
    Put32(out, static_cast<std::uint32_t>(bitmaps[i].size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(bitmaps[i].size());
  }
  for (const QByteArray& bitmap : bitmaps) {
    out.append(bitmap);
  }
  return out;
}
