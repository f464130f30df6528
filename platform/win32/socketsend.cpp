#include "platform/socketsend.h"

#include "platform/win32/win32.h"

namespace platform {

int SocketSend(int socket, const void* data, int size) {
    const char* p = static_cast<const char*>(data);
    int done = 0;
    while (done < size) {
        int n = ::send(win32::IntToSocket(socket), p + done, size - done, 0);
        if (n <= 0) return -1;
        done += n;
    }
    return done;
}

}  // namespace platform
