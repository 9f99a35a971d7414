#include "hex/widget/bookmark_icons.h"

#include <QPainter>

namespace qarvo::hex {

namespace {

// Digits of 3 x 5 pixels, one row of 3 bits per entry, top row first.
constexpr unsigned char kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

}  // namespace

QImage BuiltInBookmarkBitmap() {
  const QColor transparent(255, 0, 255);
  QImage image(200, 10, QImage::Format_RGB32);
  image.fill(transparent);
  QPainter p(&image);
  for (int k = 0; k < 20; ++k) {
    const int x = k * 10;
    const QColor fill = k < 10 ? QColor(40, 90, 200) : QColor(30, 140, 60);
    p.fillRect(x + 1, 1, 8, 8, fill);
    p.setPen(fill.darker(160));
    p.drawRect(x + 1, 1, 7, 7);
  }
  p.end();
  // Digits drawn after the painter so that they stay on top of the frame.
  for (int k = 0; k < 20; ++k) {
    for (int row = 0; row < 5; ++row) {
      for (int bit = 0; bit < 3; ++bit) {
        if (kDigits[k % 10][row] & (4 >> bit)) {
          image.setPixelColor(k * 10 + 4 + bit, 3 + row, Qt::white);
        }
      }
    }
  }
  return image;
}

QImage MaskedBookmarkBitmap(const QImage& bitmap) {
  QImage masked = bitmap.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = masked.pixel(0, 0);
  for (int y = 0; y < masked.height(); ++y) {
    for (int x = 0; x < masked.width(); ++x) {
      if (masked.pixel(x, y) == key) {
        masked.setPixel(x, y, qRgba(0, 0, 0, 0));
      }
    }
  }
  return masked;
}

}  // namespace qarvo::hex
