// Sending bytes on a connected socket.
#pragma once

namespace platform {

// Sends all `size` bytes on `socket` (retrying after interruptions and
// partial sends, without raising SIGPIPE on a closed peer). Returns the bytes
// sent, or -1 when the socket failed before all were sent.
int SocketSend(int socket, const void* data, int size);

}  // namespace platform
