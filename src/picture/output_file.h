// A picture file written whole or not at all.
#pragma once

#include <cstdio>
#include <string>

namespace glimra {

// A file that appears under its name only when it is complete. It is written
// as a temporary file beside the target and renamed over it at commit(); until
// then an earlier file of that name stays untouched, and a file that is never
// committed is removed. The temporary name, .NAME.glimra-PID-XXXXXX, tells
// whose it is: opening a target removes those that processes no longer
// running left beside it. A pipe or a device (standard output, say) cannot be
// replaced that way and is written directly.
//
// A name the program makes itself (a part beside a poster, say) is another
// matter: whoever can plant something there must not be able to aim the write
// elsewhere. Opened as `Derived`, a link, a pipe or any other non-file at the
// name is refused rather than followed or written, and a file there is
// replaced by the rename, never written into.
class OutputFile {
public:
    enum class Name { Given, Derived };
    explicit OutputFile(std::string path, Name name = Name::Given);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Before any long work: fails at once when the target cannot be written.
    bool open(std::string* error);
    FILE* stream() const { return stream_; }
    // Starts the content again from nothing (not possible on a pipe).
    bool restart(std::string* error);
    bool commit(std::string* error);
    // Gives up: the temporary file goes, the target stays as it was.
    void discard();

    // For a signal handler: removes the temporary file being written, using
    // only calls that are safe there.
    static void removePendingFromSignal();

    // The target as given, for messages.
    const std::string& path() const { return path_; }

private:
    bool openTemporary(const std::string& folder, const std::string& name, const std::string& real, std::string* error);
    std::string path_;
    std::string real_;  // what is replaced: the file a link points at
    std::string temporary_;
    FILE* stream_ = nullptr;
    bool direct_ = false;
    Name name_;
};

// What a failed write's errno means for a picture file: the system's words,
// except that a pipe's reader going away is said as that.
std::string writeFailure(int error);

}  // namespace glimra
