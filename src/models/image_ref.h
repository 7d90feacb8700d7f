#pragma once

#include <QImage>

#include <memory>

namespace velmar {

// A decoded still picture as the whole program passes it around: RGBA8 premultiplied sRGB
// (QImage::Format_RGBA8888_Premultiplied), immutable once made, shared by pointer. Caches that
// key on "the same image" compare these pointers, never the pixels.
using ImageRef = std::shared_ptr<const QImage>;

}  // namespace velmar
