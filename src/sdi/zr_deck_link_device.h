#pragma once

#include <QString>

namespace velmar {

// One SDI device that can output video, as listed for the device picker: its position in the
// driver's iteration order (devices without an output are counted too, so listed indexes can
// have gaps), its display name and whether it has a keyer. Immutable; any thread.
class ZRDeckLinkDevice {
  public:
    ZRDeckLinkDevice(long long index, QString name, bool hasKeyer)
        : index_(index), name_(std::move(name)), hasKeyer_(hasKeyer) {}

    long long index() const { return index_; }
    const QString& name() const { return name_; }
    bool hasKeyer() const { return hasKeyer_; }

    friend bool operator==(const ZRDeckLinkDevice&, const ZRDeckLinkDevice&) = default;

  private:
    long long index_;
    QString name_;
    bool hasKeyer_;
};

}  // namespace velmar
