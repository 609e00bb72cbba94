#include "linkidentity.h"

#include "config.h"

#include <core/linkaddress.h>
#include <link/portcatalog.h>

#include <QFileInfo>

namespace zarnet::gateway {

QString systemLink(const QString& link, const PortCatalog& ports) {
    QString text = linkText(link);
    if (isNetworkAddress(text))
        return text;
    QString device = ports.device(text).value_or(text);
    if (device.startsWith(u"COM", Qt::CaseInsensitive)) // Windows names ignore case
        return device.toUpper();
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

} // namespace zarnet::gateway
