#include "lock_keeper.h"

#include "lock_file.h"
#include "own_lock_file.h"
#include "serial_port.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace potpanel {
namespace {

struct Identity
{
    dev_t device;
    ino_t inode;
};

// Reads exactly size bytes; false once the other end has closed.
bool readAll(int fd, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The keeper's whole life. The parent may have other threads, so nothing here
// allocates or locks: async-signal-safe calls only.
[[noreturn]] void keeperMain(int readEnd, const char* path, const char* aside)
{
    // Signals for the program's group (^C, a hang-up, the session ending) are
    // the program's business: the keeper ends with it, not before it.
    struct sigaction action
    {
    };
    sigemptyset(&action.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        action.sa_handler = signal == SIGINT || signal == SIGQUIT || signal == SIGHUP ||
                                    signal == SIGTERM || signal == SIGTSTP || signal == SIGPIPE
                                ? SIG_IGN
                                : SIG_DFL;
        ::sigaction(signal, &action, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // None of the program's descriptors (not its display, output or port), and no
    // directory of its that a mount would find busy.
    if (::dup2(readEnd, 0) < 0 || ::close_range(1, ~0U, 0) != 0)
        ::_exit(1);
    [[maybe_unused]] const int root = ::chdir("/");
    ::prctl(PR_SET_NAME, "potpanel-lock", 0, 0, 0);
    const char ready = 1;
    if (::send(0, &ready, 1, MSG_NOSIGNAL) != 1)
        ::_exit(0);

    Identity ours{};
    if (!readAll(0, &ours, sizeof ours))
        ::_exit(0); // the program ended before it made its lock file
    char byte = 0;
    while (readAll(0, &byte, 1)) {
    }
    removeOwnLockFile(path, aside, ours.device, ours.inode);
    ::_exit(0);
}

} // namespace

LockKeeper::LockKeeper(const std::string& lockPath) : path_(lockPath)
{
    const std::string aside = asidePath(path_, ".gone");
    int ends[2];
    // A socket pair rather than a pipe: a send to a keeper that has been killed
    // fails instead of raising SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw PortFailure(std::string("cannot start the lock file's keeper: ") +
                          std::strerror(errno));
    keeper_ = ::fork();
    if (keeper_ == 0) {
        keeperMain(ends[0], path_.c_str(), aside.c_str());
    }
    const int error = errno;
    ::close(ends[0]);
    socket_ = ends[1];
    if (keeper_ < 0) {
        ::close(socket_);
        throw PortFailure(std::string("cannot start the lock file's keeper: ") +
                          std::strerror(error));
    }
}

LockKeeper::~LockKeeper()
{
    stop();
}

void LockKeeper::stop()
{
    ::close(socket_);
    while (::waitpid(keeper_, nullptr, 0) < 0 && errno == EINTR) {
    }
}

bool LockKeeper::keep(dev_t device, ino_t inode)
{
    // Until it says it is ready, the keeper may still hold copies of the
    // descriptors this process had when it was forked. Waited for only now, so
    // that starting it early costs the program no wait.
    char ready = 0;
    const Identity ours{device, inode};
    return readAll(socket_, &ready, 1) &&
           ::send(socket_, &ours, sizeof ours, MSG_NOSIGNAL) == sizeof ours;
}

} // namespace potpanel
