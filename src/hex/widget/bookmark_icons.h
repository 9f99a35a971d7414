#pragma once

#include <QImage>

namespace qarvo::hex {

// The control's own bookmark pictures: 20 pictures of 10 x 10 pixels side by side, the digits
// 0..9 on blue for bookmarks in the hex field and on green for the character field. The
// top-left pixel's colour (magenta) is the transparent one.
QImage BuiltInBookmarkBitmap();

// The picture with every pixel of the top-left pixel's colour made transparent.
QImage MaskedBookmarkBitmap(const QImage& bitmap);

}  // namespace qarvo::hex
