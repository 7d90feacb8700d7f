#pragma once

#include <QString>

#include <cstdint>

namespace velmar {

// One display mode a device can output in a given pixel format and keying: the driver's mode
// code, the active picture size and the exact rate (timeScale units per second, frameDuration
// units per frame), and the mode's display name ("" when the driver gives none). Immutable;
// any thread.
class ZRDeckLinkMode {
  public:
    ZRDeckLinkMode(std::uint32_t displayMode, long long width, long long height,
                   long long timeScale, long long frameDuration, QString name)
        : displayMode_(displayMode),
          width_(width),
          height_(height),
          timeScale_(timeScale),
          frameDuration_(frameDuration),
          name_(std::move(name)) {}

    std::uint32_t displayMode() const { return displayMode_; }
    long long width() const { return width_; }
    long long height() const { return height_; }
    long long timeScale() const { return timeScale_; }
    long long frameDuration() const { return frameDuration_; }
    const QString& name() const { return name_; }

    friend bool operator==(const ZRDeckLinkMode&, const ZRDeckLinkMode&) = default;

  private:
    std::uint32_t displayMode_;
    long long width_;
    long long height_;
    long long timeScale_;
    long long frameDuration_;
    QString name_;
};

}  // namespace velmar
