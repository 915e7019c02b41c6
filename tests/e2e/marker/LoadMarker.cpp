// A module that leaves "<its own path>.loaded" beside itself when any process loads
// it: the hostile-profile suite offers it as a plugin and as providers.
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

__attribute__((constructor)) void markLoaded() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&markLoaded), &info) == 0 || !info.dli_fname)
        return;
    const std::string marker = std::string(info.dli_fname) + ".loaded";
    const int fd = ::open(marker.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

} // namespace
