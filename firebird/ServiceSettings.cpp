#include "firebird/ServiceSettings.h"

namespace abd {

void ServiceSettings::SetHost(const QString& host) {
    if (host == host_)
        return;
    host_ = host;
    if (!host_.isEmpty() && Protocol == ipLocal)
        Protocol = ipTCPIP;
}

} // namespace abd
