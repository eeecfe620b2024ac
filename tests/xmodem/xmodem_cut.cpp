// Passes an XModem sender's stream through unchanged up to and including the
// EOT that ends it, then swallows the rest. The display loader's closing
// sequence follows EOT within a second, and an independent receiver would take
// it as a sign that the EOT was noise; this hands it only the XModem part.
//
// usage: xmodem_cut crc|checksum

#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

bool writeAll(const unsigned char *p, ssize_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(1, p, size_t(n));
        if (w <= 0)
            return false;
        p += w;
        n -= w;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const bool crc = argc > 1 && std::strcmp(argv[1], "crc") == 0;
    const int blockSize = crc ? 133 : 132;
    int insideBlock = 0; // bytes of the current block still to come
    bool ended = false;
    unsigned char buf[4096];
    for (;;) {
        // Leave once the receiver has gone, so that the pipeline can end.
        pollfd fds[2] = {{0, POLLIN, 0}, {1, 0, 0}};
        ::poll(fds, 2, -1);
        if (fds[1].revents & (POLLERR | POLLHUP))
            return 0;
        if (!(fds[0].revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t n = ::read(0, buf, sizeof buf);
        if (n <= 0)
            return 0;
        if (ended)
            continue;
        ssize_t pass = 0;
        for (; pass < n && !ended; ++pass) {
            if (insideBlock > 0) {
                --insideBlock;
                continue;
            }
            if (buf[pass] == 0x01)
                insideBlock = blockSize - 1;
            else if (buf[pass] == 0x04)
                ended = true;
        }
        if (!writeAll(buf, pass))
            return 1;
    }
}
