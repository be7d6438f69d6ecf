#pragma once

// Writing a file so that a failed or interrupted write leaves the previous file whole: the
// bytes go to a temporary file in the target's folder, which replaces the target only once
// everything is written and flushed to the disk.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace telvo {

class SafeFile {
public:
    // Opens the temporary file. A target that exists but may not be written is refused (a
    // rename would replace it all the same), as is a folder that does not exist. A symbolic
    // link stays a link: the file it points to is replaced.
    explicit SafeFile(std::string target);
    // Without Commit the temporary file is removed and the target stays as it was.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Buffered; false once any write has failed (and from then on).
    bool Write(const void* data, std::size_t size);
    bool Write(std::string_view text) { return Write(text.data(), text.size()); }
    // Writes at a place of its own, for a file whose parts are made in another order than they
    // lie; Write goes on where it was. False once any write has failed.
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    // Flushes and syncs the temporary file, so that several files can all be complete before
    // any of them replaces its target.
    bool Sync();
    // Syncs and renames over the target. False (target untouched) on any failure.
    bool Commit();
    // Why the file could not be opened or written; empty while all is well.
    const std::string& Error() const { return error_; }

private:
    bool WriteOut(const char* data, std::size_t size, std::uint64_t* offset);
    bool WriteAll(const char* data, std::size_t size);
    bool Flush();
    void Fail(const char* what);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool failed_ = false;
    bool synced_ = false;
    std::size_t written_ = 0; // bytes in the file
    std::size_t started_ = 0; // bytes the disk has been asked to write
    std::size_t placed_ = 0;  // bytes written at places of their own since the disk was asked
    std::string buffer_;
    std::string error_;
};

} // namespace telvo
