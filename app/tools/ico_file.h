// Windows icon files (.ico) from pictures: each image stored as a device-independent bitmap at
// 4, 8 or 24 bits per pixel with its transparency mask, as the resource compiler takes them.
#pragma once

#include <QByteArray>
#include <QImage>
#include <vector>

struct IcoImage {
  QImage picture;    // with alpha; pixels under half opacity become transparent
  int bitsPerPixel;  // 4, 8 or 24
};

QByteArray IcoFile(const std::vector<IcoImage>& images);
