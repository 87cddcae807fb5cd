#include "picture/band_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

namespace glimra {

BandStore::BandStore(std::string folder, BandHeader header) : folder_(std::move(folder)), header_(std::move(header)) {}

std::string BandStore::bandPath(long index) const { return folder_ + "/band-" + std::to_string(index); }

namespace {

// band-N, N a band's number as written: no sign, no leading zero.
bool isBandName(std::string_view name)
{
    if (name.size() <= 5 || name.compare(0, 5, "band-") != 0 || name.size() > 5 + 19)
        return false;
    const std::string_view digits = name.substr(5);
    return (digits == "0" || digits[0] != '0') &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// .band-N-PID-XXXXXX: a band being written, by this or a killed run.
bool isPendingName(std::string_view name) { return name.rfind(".band-", 0) == 0; }

bool isOurBandFile(int dir, const char* name);

// A band being written may be cut anywhere, even before its first byte.
bool isOurPendingFile(int dir, const char* name)
{
    struct stat st {};
    return ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

bool isOurs(int dir, const char* name)
{
    return isBandName(name) ? isOurBandFile(dir, name) : isPendingName(name) && isOurPendingFile(dir, name);
}

// A regular file of the user's at `name` in the open folder `dir` that starts
// as band files of this program do.
bool isOurBandFile(int dir, const char* name)
{
    const int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    constexpr std::size_t kMagicSize = sizeof kBandFileMagic - 1;
    char magic[kMagicSize];
    const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                      ::read(fd, magic, kMagicSize) == ssize_t(kMagicSize) &&
                      std::memcmp(magic, kBandFileMagic, kMagicSize) == 0;
    ::close(fd);
    return ours;
}

// Why the folder cannot hold kept bands, or empty when it can.
std::string unfitFolder(const std::string& folder, const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return folder + " is a link; the kept bands live only in a folder of their own";
    if (!S_ISDIR(st.st_mode))
        return folder + " is not a folder";
    if (st.st_uid != ::geteuid())
        return folder + " belongs to another user";
    if (st.st_mode & 022)
        return folder + " can be written by others, who could plant bands in it; make it private (chmod go-w)";
    return {};
}

// Removes the band files of ours in `folder`, and the folder once empty;
// nothing else, and nothing through a link.
void removeBands(const std::string& folder)
{
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !unfitFolder(folder, st).empty())
        return;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    std::vector<std::string> ours;
    while (const dirent* entry = ::readdir(dir))
        if (isOurs(::dirfd(dir), entry->d_name))
            ours.emplace_back(entry->d_name);
    for (const auto& name : ours)
        ::unlinkat(::dirfd(dir), name.c_str(), 0);
    ::closedir(dir);
    ::rmdir(folder.c_str());
}

}  // namespace

bool BandStore::prepare(std::string* why)
{
    struct stat st {};
    if (::lstat(folder_.c_str(), &st) != 0) {
        if (errno != ENOENT || ::mkdir(folder_.c_str(), 0700) != 0 || ::lstat(folder_.c_str(), &st) != 0) {
            *why = "cannot make " + folder_ + ": " + std::strerror(errno);
            return false;
        }
    }
    if (std::string unfit = unfitFolder(folder_, st); !unfit.empty()) {
        *why = unfit;
        return false;
    }
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        *why = "cannot read " + folder_ + ": " + std::strerror(errno);
        return false;
    }
    // Everything in it must be a band file of ours: anything else is the
    // user's, or planted, and is neither read, replaced nor removed.
    std::vector<std::string> pending;
    std::string foreign;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (!isOurs(::dirfd(dir), entry->d_name)) {
            foreign = std::string(name);
            break;
        }
        if (isPendingName(name))
            pending.emplace_back(name);
    }
    // What a kill in the middle of keeping a band left.
    for (const auto& name : pending)
        ::unlinkat(::dirfd(dir), name.c_str(), 0);
    ::closedir(dir);
    if (!foreign.empty()) {
        *why = folder_ + " holds " + foreign +
               ", which is no band of this program; the kept bands need a folder of their own";
        return false;
    }
    return true;
}

std::optional<CompressedBand> BandStore::load(long index)
{
    const std::string path = bandPath(index);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    BandFileReader reader;
    std::string why;
    CompressedBand band;
    long at = -1;
    bool end = false;
    const BandHeader& h = reader.header();
    if (reader.open(path, &why) && h.key == header_.key && h.width == header_.width && h.height == header_.height &&
        h.bandRows == header_.bandRows && h.first == index && h.end == index + 1 &&
        reader.next(&at, band, &end, &why) && at == index && bandDecodes(band, h.width, nullptr)) {
        CompressedBand none;
        long after = 0;
        if (!reader.next(&after, none, &end, &why) && end && !reader.fault().found())
            return band;
    }
    // prepare() saw that every file here is ours: one that does not fit
    // this picture is rendered again and replaced when kept.
    return std::nullopt;
}

bool BandStore::keep(long index, const CompressedBand& band, std::string* why)
{
    const std::string path = bandPath(index);
    std::string temporary = folder_ + "/.band-" + std::to_string(index) + "-" + std::to_string(::getpid()) + "-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    FILE* out = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!out) {
        if (fd >= 0)
            ::close(fd);
        *why = "cannot write in " + folder_ + ": " + std::strerror(errno);
        return false;
    }
    BandHeader h = header_;
    h.first = index;
    h.end = index + 1;
    BandFileWriter writer(out, h);
    bool ok = writer.add(index, band) && writer.finish(PartFault{});
    int error = writer.error();
    if (ok && ::fsync(::fileno(out)) != 0)
        ok = false, error = errno;
    if (std::fclose(out) != 0 && ok)
        ok = false, error = errno;
    // The rename replaces whatever name is there, a link included, and
    // never writes through it.
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0)
        ok = false, error = errno;
    if (!ok) {
        std::remove(temporary.c_str());
        *why = "cannot keep a finished band in " + folder_ + ": " + std::strerror(error ? error : EIO);
    }
    return ok;
}

void BandStore::removeAll() { removeBands(folder_); }

void BandStore::removeBandsOf(const std::string& output) { removeBands(resumeFolder(output)); }

}  // namespace glimra
