#pragma once

class QTcpSocket;

namespace zarnet {

// Keep-alive probes after 5 s of silence, every 5 s, three of them, and 20 s for
// unacknowledged data while sending: the far end's death is noticed within
// about 20 s either way, where the system's defaults take hours.
void keepAlive(QTcpSocket& socket);

} // namespace zarnet
