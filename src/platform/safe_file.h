#pragma once

// Replacing a user's file so that nothing of it is lost.
//
// Contract. ReplaceFile(name, content) writes `content` to the file that `name` leads to
// (links followed; a link to a missing file creates that file and stays a link).
// - After it returns 0 the file holds the complete new content, its data flushed to the
//   device (fdatasync), and keeps its owner, group, mode, ACL, extended attributes and
//   other names (hard links).
// - After it returns an error, or kWriteCancelled, the file holds its complete old content
//   (a file that did not exist still does not) and nothing else is left beside it. The
//   one exception: where the file was overwritten in place and putting its old content
//   back failed as well, the backup below stays (and the error is returned). Where
//   neither a new file nor a backup fits beside the target, nothing is changed at all.
// - After a kill of the program, of its writer, or of both at any moment: the file holds
//   its complete old content or the complete new one, or, only while an existing file is
//   overwritten in place, a complete copy of the old content lies beside it under the
//   name "NAME.spurfix-sicherung" (flushed and named before the first byte of the file
//   was overwritten) and is noted in the user's state folder where that can be written,
//   so that FindLeftBackups finds it at the next start. A temporary ".spurfix-XXXXXXXX"
//   file, left where a file system cannot make unnamed files, is removed by the next
//   export into that folder. A writer into a device or fifo ends with its program.
// - It does not hold after a power loss or a crash of the kernel where the file system
//   may write a name before the data it names or drops flushed data (ext4 mounted
//   data=writeback, some network and FUSE file systems, disks that lie about flushing);
//   nor against another program that writes the same file at the same time.
//
// Why the project keeps its own instead of QSaveFile / QTemporaryFile: those write in the
// calling process (a kill halfway leaves a temporary file, or with QSaveFile's direct
// write fallback a torn target), give the new file the process's owner and a default
// mode without the old file's ACL and extended attributes, break hard links, and have no
// answer for a folder the user may not write, no free inode, or a copy-on-write file
// system that runs out of space while overwriting. Here the writing runs in a child
// process that outlives a kill of the program, and every path above is decided before it.
//
// Everything runs without Qt; the error values are errno numbers.

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace spurfix::platform {

// Where the content's bytes go. Runs in the writer's child process.
class ByteSink {
  public:
    // Writes `bytes`; 0, or the error number that ended the writing (later calls then
    // return it again and write nothing).
    virtual int put(std::string_view bytes) = 0;

  protected:
    ~ByteSink() = default;
};

// What a file gets. size() is asked before the writing starts; writeTo runs in a child
// process after fork, so it may only call async-signal-safe functions and must not
// allocate: whatever it needs is made when the content is made.
class FileContent {
  public:
    virtual ~FileContent() = default;
    [[nodiscard]] virtual uint64_t size() const = 0;
    virtual int writeTo(ByteSink& sink) const = 0;
};

// Bytes that exist already.
class BytesContent final : public FileContent {
  public:
    explicit BytesContent(std::string_view bytes) : bytes_(bytes) {}
    [[nodiscard]] uint64_t size() const override { return bytes_.size(); }
    int writeTo(ByteSink& sink) const override { return sink.put(bytes_); }

  private:
    std::string_view bytes_;
};

// For a caller on a worker thread: called on that thread about every 50 ms while the
// child writes. Either may be empty.
struct WriteControl {
    std::function<void(uint64_t bytesWritten, uint64_t bytesTotal)> progress;
    std::function<bool()> cancelRequested;
};

// ReplaceFile's result when the control asked to cancel: the writer was ended and the
// old content is whole (or restored).
inline constexpr int kWriteCancelled = ECANCELED;

// 0 or an error number (EFBIG when the content exceeds the process's file-size limit).
int ReplaceFile(const std::string& fileName, const FileContent& content,
                const WriteControl* control = nullptr);

// The folder that the file `fileName` lies in once links are followed, as ReplaceFile
// finds it: an absolute path without a trailing "/" (except "/" itself); an error
// number in `error` (0 on success).
std::string FolderOfFile(const std::string& fileName, int& error);

// A backup of an old file that a kill left beside it while the file was overwritten in
// place.
struct LeftBackup {
    std::string target;  // the file that was being overwritten
    std::string backup;  // its complete old content
    std::string record;  // where the state folder notes it
};

// The folder where backups are noted: $XDG_STATE_HOME/spurfix/sicherungen, or
// ~/.local/state/spurfix/sicherungen.
std::string BackupRecordFolder();

// The backups that exist and are noted; notes whose backup is gone are removed.
std::vector<LeftBackup> FindLeftBackups();

// Writes the backup's content back into its target (safely, as ReplaceFile) and removes
// the backup and its note. 0 or an error number; on an error both stay.
int RestoreBackup(const LeftBackup& backup);

// Forgets the note and leaves the backup file where it is.
void ForgetBackup(const LeftBackup& backup);

}  // namespace spurfix::platform
