#include "messages.h"

using namespace Qt::StringLiterals;

namespace zarnet::text {

// The number stands with one leading blank, where the sign of a negative number would go.
QString foundDevice(int device) {
    return u"找到  %1 号设备~！"_s.arg(device);
}

QString unitValue(int index) {
    return u"第 %1 个数据须为 0 到 2147483647 之间的数~!"_s.arg(index + 1);
}

} // namespace zarnet::text
