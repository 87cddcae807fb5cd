#include "picture/output_file.h"

#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace glimra {

std::string writeFailure(int error)
{
    if (error == EPIPE)
        return "the program reading it went away";
    if (error == 0)
        return "the picture could not be compressed";
    return std::strerror(error);
}

namespace {

std::string systemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// The temporary file being written, for the signal handler; plain characters
// because that is all a handler may touch.
char g_pending[4096];

void setPending(const std::string& path)
{
    if (path.size() < sizeof g_pending) {
        std::memcpy(g_pending, path.c_str(), path.size() + 1);
    } else {
        g_pending[0] = '\0';
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// OutputFile

namespace {

// A temporary file is named after its target and the process writing it:
// .NAME.glimra-PID-XXXXXX beside NAME.
std::string temporaryPrefix(const std::string& name) { return "." + name + ".glimra-"; }

// Temporary files of earlier writes to the same target whose process is gone
// (killed, or the machine stopped): only names of exactly that pattern, only
// regular files of ours, only processes that no longer exist.
void removeLeftovers(const std::string& folder, const std::string& name)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const std::string prefix = temporaryPrefix(name);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName(entry->d_name);
        if (entryName.size() <= prefix.size() || entryName.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string_view rest = entryName.substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == 0 || dash > 9 || dash == std::string_view::npos || rest.size() != dash + 7)
            continue;
        const std::string_view digits = rest.substr(0, dash), random = rest.substr(dash + 1);
        if (digits[0] == '0' ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            !std::all_of(random.begin(), random.end(), [](char c) { return std::isalnum((unsigned char)c); }))
            continue;
        const pid_t pid = pid_t(std::stol(std::string(digits)));
        if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// The mode a finished picture gets. A new one the usual mode; one that
// replaces a file keeps that file's read and write bits, never its set-id,
// sticky or execute bits (a picture is no program), and its group bits only
// when the new file has the old one's group.
mode_t pictureMode(const std::string& target, int fd)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t usual = 0666 & ~mask;
    struct stat old {
    }, fresh{};
    if (::stat(target.c_str(), &old) != 0)
        return usual;
    mode_t mode = old.st_mode & 0666;
    if (::fstat(fd, &fresh) != 0 || fresh.st_gid != old.st_gid)
        mode &= ~(070 & ~usual);
    return mode;
}

}  // namespace

OutputFile::OutputFile(std::string path, Name name) : path_(std::move(path)), name_(name) {}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(std::string* error)
{
    struct stat target {};
    if (name_ == Name::Derived) {
        if (::lstat(path_.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
            *error = path_ + (S_ISLNK(target.st_mode) ? " is a link" : " is not a regular file") +
                     "; this program writes there only a file of its own: remove it first";
            return false;
        }
        const QFileInfo info(QString::fromStdString(path_));
        return openTemporary(info.absolutePath().toStdString(), info.fileName().toStdString(), path_, error);
    }
    if (::stat(path_.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
        if (S_ISDIR(target.st_mode)) {
            *error = path_ + " is a folder";
            return false;
        }
        if (!S_ISFIFO(target.st_mode) && !S_ISCHR(target.st_mode)) {
            *error = path_ + " is neither a file, a pipe nor a terminal";
            return false;
        }
        // Opening a pipe nobody reads would wait for a reader forever.
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            *error = errno == ENXIO ? path_ + ": nobody reads this pipe" : systemError(path_, errno);
            return false;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        stream_ = ::fdopen(fd, "wb");
        direct_ = true;
        return stream_ != nullptr;
    }

    // Through a link to a file, the file is what gets replaced, not the link.
    const QFileInfo info(QString::fromStdString(path_));
    const std::string real = info.isSymLink() && info.exists() ? info.canonicalFilePath().toStdString() : path_;
    const QFileInfo realInfo(QString::fromStdString(real));
    return openTemporary(realInfo.absolutePath().toStdString(), realInfo.fileName().toStdString(), real, error);
}

bool OutputFile::openTemporary(const std::string& folder, const std::string& name, const std::string& real,
                               std::string* error)
{
    removeLeftovers(folder, name);
    std::string pattern = folder + "/" + temporaryPrefix(name) + std::to_string(::getpid()) + "-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        *error = systemError("cannot write " + path_, errno);
        return false;
    }
    temporary_ = pattern;
    real_ = real;
    setPending(temporary_);
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        ::close(fd);
        *error = systemError("cannot write " + path_, errno);
        discard();
        return false;
    }
    return true;
}

bool OutputFile::restart(std::string* error)
{
    if (direct_ || !stream_) {
        *error = "cannot start " + path_ + " again";
        return false;
    }
    std::rewind(stream_);
    if (std::fflush(stream_) != 0 || ::ftruncate(::fileno(stream_), 0) != 0) {
        *error = systemError(path_, errno);
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string* error)
{
    if (!stream_) {
        *error = path_ + " is not open";
        return false;
    }
    FILE* f = std::exchange(stream_, nullptr);
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    int err = ok ? 0 : errno;
    if (ok && !direct_ && ::fsync(::fileno(f)) != 0) {
        ok = false;
        err = errno;
    }
    if (ok && !direct_)
        ::fchmod(::fileno(f), pictureMode(real_, ::fileno(f)));
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !direct_ && ::rename(temporary_.c_str(), real_.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        *error = systemError("cannot write " + path_, err ? err : EIO);
        discard();
        return false;
    }
    temporary_.clear();
    g_pending[0] = '\0';
    return true;
}

void OutputFile::discard()
{
    if (stream_)
        std::fclose(std::exchange(stream_, nullptr));
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        g_pending[0] = '\0';
    }
}

void OutputFile::removePendingFromSignal()
{
    if (g_pending[0])
        ::unlink(g_pending);
}

}  // namespace glimra
