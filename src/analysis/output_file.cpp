#include "analysis/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "record/message_text.h"

namespace quorrel {
namespace {

namespace fs = std::filesystem;

// Links followed at most, as the kernel does (ELOOP beyond).
constexpr int kMostLinks = 40;

// Removes the temporaries of processes that no longer run: a save killed
// between its write and its rename leaves one.
void remove_stale_temporaries(const std::string& target) {
    const fs::path file(target);
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    const std::string start = file.filename().string() + ".quorrel-";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(start, 0) != 0) continue;
        const std::string rest = name.substr(start.size());
        const auto dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos || dash > 10 ||
            rest.find_first_not_of("0123456789") != dash || rest.size() != dash + 7)
            continue;
        const long pid = std::stol(rest.substr(0, dash));
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

}  // namespace

std::string system_reason() { return std::strerror(errno); }

std::string temporary_prefix(const std::string& target, long pid) {
    return target + ".quorrel-" + std::to_string(pid) + "-";
}

OutputTarget output_target(const std::string& path) {
    OutputTarget target{path, {}};
    struct stat info {};
    for (int links = 0;; ++links) {
        if (::lstat(target.path.c_str(), &info) != 0) {
            if (errno == ENOENT) return target;  // a new file (perhaps at a link's end)
            target.error = system_reason();
            return target;
        }
        if (!S_ISLNK(info.st_mode)) break;
        if (links == kMostLinks) {
            target.error = std::strerror(ELOOP);
            return target;
        }
        std::error_code ec;
        const fs::path to = fs::read_symlink(target.path, ec);
        if (ec) {
            target.error = ec.message();
            return target;
        }
        target.path = to.is_absolute() ? to.string()
                                        : (fs::path(target.path).parent_path() / to).string();
    }
    if (S_ISDIR(info.st_mode))
        target.error = "it is a folder";
    else if (!S_ISREG(info.st_mode))
        target.error = "it is not a regular file (a device, a FIFO or a socket) and is left as it is";
    else if ((info.st_mode & 0222) == 0)
        target.error = "the file is read-only";
    return target;
}

std::string replace_file(const std::string& path, std::string_view content) {
    const std::string reason = replace_file_reason(path, content);
    if (reason.empty()) return {};
    return "cannot write " + printable_excerpt(path, 200) + ": " + reason;
}

std::string replace_file_reason(const std::string& path, std::string_view content) {
    const auto failure = [](const std::string& reason) { return reason; };
    const OutputTarget target = output_target(path);
    if (!target.error.empty()) return failure(target.error);
    remove_stale_temporaries(target.path);

    // A temporary in the target's folder, so that the rename stays on one
    // file system and replaces the old file in one step; its name tells
    // which process made it.
    std::string temp = temporary_prefix(target.path, static_cast<long>(::getpid())) + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return failure(system_reason());
    const auto fail = [&](const std::string& reason) {
        ::close(fd);
        ::unlink(temp.c_str());
        return failure(reason);
    };
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(system_reason());
        }
        done += static_cast<std::size_t>(n);
    }
    // mkstemp makes the file private: give it the old file's mode, or that
    // of an ordinary document.
    struct stat old {};
    const mode_t mode = ::stat(target.path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) return fail(system_reason());
    if (::close(fd) != 0) {
        const std::string reason = system_reason();
        ::unlink(temp.c_str());
        return failure(reason);
    }
    if (::rename(temp.c_str(), target.path.c_str()) != 0) {
        const std::string reason = system_reason();
        ::unlink(temp.c_str());
        return failure(reason);
    }
    return {};
}

}  // namespace quorrel
