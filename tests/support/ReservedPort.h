#pragma once

#include <QtGlobal>

// A TCP port on 127.0.0.1 held by a socket that is bound but does not listen: nothing
// else can take the port meanwhile, and a connect to it is refused at once.
//
// With shareWithReusePort, the socket has SO_REUSEPORT, so that a server of the same
// user that also sets it (the hub simulator's --reuse-port) can listen on the port while
// it is held; when that server ends the port stays held, and a new server can listen on
// it again.
class ReservedPort {
public:
    // port 0 takes a free port.
    explicit ReservedPort(quint16 port = 0, bool shareWithReusePort = false);
    ~ReservedPort();
    ReservedPort(const ReservedPort &) = delete;
    ReservedPort &operator=(const ReservedPort &) = delete;

    bool isValid() const { return m_fd >= 0; }
    quint16 port() const { return m_port; }
    // Makes the socket listen and hands it over (for QTcpServer::setSocketDescriptor);
    // -1 when that fails. The port is no longer held by this object.
    int takeListening();

private:
    int m_fd = -1;
    quint16 m_port = 0;
};
