#pragma once

#include <QString>

#include <array>
#include <optional>

namespace velmar {

// How the program feeds the streaming application: the texture server (frames in shared memory
// for programs of the same user on this machine), or an NDI source. Persisted by its raw value.
enum class OBSTransport { syphon, ndi };

inline constexpr std::array<OBSTransport, 2> kAllOBSTransports{OBSTransport::syphon,
                                                               OBSTransport::ndi};

QString rawValue(OBSTransport transport);
// None for an unknown raw value.
std::optional<OBSTransport> obsTransportFromRawValue(const QString& raw);

}  // namespace velmar
