#include "linkidentity.h"

#include "config.h"

#include <core/linkaddress.h>
#include <link/portcatalog.h>

#include <QFileInfo>

namespace zarnet::gateway {

QString systemLink(const QString& link, const PortCatalog& ports) {
    const QString text = linkText(link);
    if (isNetworkAddress(text))
        return text;
    const QString device = ports.device(text).value_or(text);
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

} // namespace zarnet::gateway
