#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackListener::LoopbackListener(int backlog) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::listen(m_fd, backlog) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int LoopbackListener::accept() const {
    return m_fd < 0 ? -1 : ::accept(m_fd, nullptr, nullptr);
}

void LoopbackListener::stop() {
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}
