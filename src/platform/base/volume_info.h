#pragma once

#include <QString>

#include <optional>

namespace velmar {

// Whether the volume that holds a folder is internal storage of this machine.
//
// The folder's device number is matched against /proc/self/mountinfo to find its mount (file
// system type and source). Network and FUSE file systems are external. For a file system on a
// block device, the device's /sys/class/block entry decides: a removable disk, or one attached
// over USB, FireWire or Thunderbolt, is external (for device-mapper and RAID devices, when any
// device below is). Other mounts without a block device (tmpfs, proc, overlay) are internal.
// Nothing when the folder or the mount table cannot be read.
//
// Any thread; reads the file system on every call.
std::optional<bool> volumeIsInternal(const QString& folder);

// The same decision from the mount table and the device tree under given roots, for tests:
// mountInfoPath stands for /proc/self/mountinfo, sysRoot for /sys.
std::optional<bool> volumeIsInternal(const QString& folder, const QString& mountInfoPath,
                                     const QString& sysRoot);

}  // namespace velmar
