#include "output/obs_transport.h"

namespace velmar {

QString rawValue(OBSTransport transport) {
    return transport == OBSTransport::syphon ? QStringLiteral("syphon") : QStringLiteral("ndi");
}

std::optional<OBSTransport> obsTransportFromRawValue(const QString& raw) {
    for (OBSTransport t : kAllOBSTransports)
        if (rawValue(t) == raw) return t;
    return std::nullopt;
}

}  // namespace velmar
