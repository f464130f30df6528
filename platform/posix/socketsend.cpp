#include "platform/socketsend.h"

#include <sys/socket.h>

#include <cerrno>

namespace platform {

int SocketSend(int socket, const void* data, int size) {
    const char* p = static_cast<const char*>(data);
    int done = 0;
    while (done < size) {
        ssize_t n = ::send(socket, p + done, static_cast<size_t>(size - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += static_cast<int>(n);
    }
    return done;
}

}  // namespace platform
