// The plain TCP copy that link benchmarks compare a transfer with: no protocol, no
// digest, the file spliced out with sendfile() and written as it arrives.
//   bench_tcpcopy recv PORT FILE|-        takes one connection, prints "listening" first
//   bench_tcpcopy send ADDRESS PORT FILE|-  prints "seconds=S bytes=N" once the
//                                          receiver has read it all and closed
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int usage()
{
    std::fprintf(stderr, "usage: bench_tcpcopy recv PORT FILE|- | send ADDRESS PORT FILE|-\n");
    return 2;
}

bool writeAll(int fd, const char* data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

int receive(int port, const char* path)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0) {
        std::perror("listen");
        return 1;
    }
    std::fprintf(stderr, "listening\n");
    const int fd = ::accept(listener, nullptr, nullptr);
    const int out = std::strcmp(path, "-") == 0 ? 1 : ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || out < 0) {
        std::perror("accept/open");
        return 1;
    }
    static char buffer[1 << 18];
    long long total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (!writeAll(out, buffer, n))
            return 1;
        total += n;
    }
    ::close(out);
    ::close(fd);
    std::fprintf(stderr, "received=%lld\n", total);
    return 0;
}

int send(const char* host, int port, const char* path)
{
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    ::inet_pton(AF_INET, host, &address.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        return 1;
    }
    const bool fromStdin = std::strcmp(path, "-") == 0;
    const int in = fromStdin ? 0 : ::open(path, O_RDONLY);
    long long total = 0;
    if (fromStdin) {
        static char buffer[1 << 18];
        for (ssize_t n; (n = ::read(in, buffer, sizeof buffer)) > 0; total += n) {
            if (!writeAll(fd, buffer, n))
                return 1;
        }
    } else {
        struct stat st { };
        ::fstat(in, &st);
        off_t offset = 0;
        while (offset < st.st_size) {
            if (::sendfile(fd, in, &offset, size_t(st.st_size - offset)) <= 0 && errno != EINTR) {
                std::perror("sendfile");
                return 1;
            }
        }
        total = st.st_size;
    }
    // Done once the receiver has read everything and closed: its end of stream.
    ::shutdown(fd, SHUT_WR);
    char byte;
    while (::read(fd, &byte, 1) > 0) { }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seconds=%.3f bytes=%lld\n", seconds, total);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "recv") == 0)
        return receive(std::atoi(argv[2]), argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "send") == 0)
        return send(argv[2], std::atoi(argv[3]), argv[4]);
    return usage();
}
