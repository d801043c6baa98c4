#include "ReservedPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

ReservedPort::ReservedPort(quint16 port, bool shareWithReusePort)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    const int on = 1;
    if (shareWithReusePort && ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    socklen_t len = sizeof addr;
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_port = ntohs(addr.sin_port);
}

ReservedPort::~ReservedPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int ReservedPort::takeListening()
{
    if (m_fd < 0 || ::listen(m_fd, 16) != 0)
        return -1;
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}
