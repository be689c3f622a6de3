// safe_write SOURCE TARGET: the floor of a safe file write, for comparing pelindra-track
// with. Replaces TARGET with the bytes of SOURCE by the same steps the program takes: a
// new file beside the target, written, synced and closed, renamed over the target, and
// the folder synced. No toolkit, no computing, no checks beyond the system calls' own.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

int Fail(const std::string& what) {
    std::fprintf(stderr, "safe_write: %s: %s\n", what.c_str(), std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: safe_write SOURCE TARGET\n");
        return 2;
    }
    // Read in one piece: a character-wise read would cost more than the write it measures.
    std::ifstream source(argv[1], std::ios::binary | std::ios::ate);
    if (!source) return Fail(argv[1]);
    std::string bytes(static_cast<std::size_t>(source.tellg()), '\0');
    source.seekg(0);
    if (!source.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        return Fail(argv[1]);
    }

    const std::string target = argv[2];
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string temporary = target + ".new";

    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(temporary);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) return Fail(temporary);
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0) return Fail(temporary);
    if (rename(temporary.c_str(), target.c_str()) != 0) return Fail(target);
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || fsync(dir) != 0 || close(dir) != 0) return Fail(folder);
    return 0;
}
