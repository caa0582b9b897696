// The CD image: libisofs builds the image from the numbered copy's plan and generates it
// on its own thread; a feeder thread here hands its bytes through a socket to the safe
// writer's child process, which cannot run libisofs itself (after fork only the forking
// thread exists). A song that cannot be read, a stop or a failed write leaves the bytes
// short, and a short image is never named: the old file stays whole.
#include "export/iso/cd_image.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/in_out_error.h"
#include "export/iso/song_stream.h"
#include "platform/safe_file.h"

namespace spurfix::exporting {

namespace {

constexpr size_t kChunk = 256 * 1024;
// The volume id field of ISO 9660 holds 32 characters.
constexpr size_t kVolumeIdLength = 32;

[[noreturn]] void Fail(int error, std::string_view path) {
    const EInOutError base = EInOutError::FromErrno(error);
    throw EInOutError(base.code(), std::string(base.what()) + ": " + std::string(path));
}

[[noreturn]] void SongUnreadable(const std::string& path, int error) {
    const std::string reason =
        error == 0 ? std::string("Die Datei hat sich während des Schreibens geändert")
                   : std::string(EInOutError::FromErrno(error).what());
    throw EInOutError(error == 0 ? 5 : EInOutError::FromErrno(error).code(),
                      "Das Lied „" + path + "“ kann nicht gelesen werden (" + reason +
                          "). Das CD-Abbild wurde nicht geschrieben.");
}

[[noreturn]] void LibraryFailed(int code) {
    throw EInOutError(1, "Das CD-Abbild konnte nicht erzeugt werden (libisofs: " +
                             std::string(iso_error_to_msg(code)) + ").");
}

// libisofs once per program, its messages kept off the terminal, names taken as UTF-8.
void InitLibrary() {
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
        result = iso_init();
        if (result >= 0) {
            static char never[] = "NEVER";
            static char fatal[] = "FATAL";
            static char prefix[] = "spurfix";
            iso_set_msgs_severities(never, fatal, prefix);
            iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
        }
    });
    if (result < 0) {
        LibraryFailed(result);
    }
}

struct ImageDeleter {
    void operator()(IsoImage* image) const { iso_image_unref(image); }
};
struct OptsDeleter {
    void operator()(IsoWriteOpts* opts) const { iso_write_opts_free(opts); }
};

class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_ = -1;
};

// The image's bytes as the safe writer takes them: read from the socket the feeder
// fills. writeTo runs in the writer's child: it reads, puts and closes only.
class ImageContent final : public platform::FileContent {
  public:
    ImageContent(int from, int feederEnd, uint64_t size)
        : from_(from), feederEnd_(feederEnd), size_(size), owner_(::getpid()) {}
    [[nodiscard]] uint64_t size() const override { return size_; }

    int writeTo(platform::ByteSink& sink) const override {
        if (::getpid() != owner_) {
            // The child's copy of the feeder's end, so that a feeder that stops is seen.
            ::close(feederEnd_);
        }
        // The stream cannot be read twice; a second pass comes only after the first
        // found too little space for a new file beside the old one.
        if (passes_++ > 0) {
            return ENOSPC;
        }
        uint64_t done = 0;
        while (done < size_) {
            const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kChunk, size_ - done));
            const ssize_t got = ::read(from_, buffer_.get(), wanted);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return got < 0 ? errno : EIO;  // the feeder stopped: never a whole image
            }
            if (const int error = sink.put({buffer_.get(), static_cast<size_t>(got)})) {
                return error;
            }
            done += static_cast<uint64_t>(got);
        }
        return 0;
    }

  private:
    int from_;
    int feederEnd_;
    uint64_t size_;
    pid_t owner_;
    mutable int passes_ = 0;
    std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kChunk);
};

// Reads the image from libisofs and sends it on; stops at the first failure, a stop of
// the user or of the writer.
struct Feeder {
    burn_source* source;
    int to;
    uint64_t size;
    const SongReading& reading;
    const Progress& progress;
    std::atomic<bool>& stop;
    int libraryError = 0;

    void run() {
        auto buffer = std::make_unique<unsigned char[]>(kChunk);
        uint64_t done = 0;
        while (done < size && !stop.load() && !progress.cancelled()) {
            const int wanted = static_cast<int>(std::min<uint64_t>(kChunk, size - done));
            const int got = source->read_xt(source, buffer.get(), wanted);
            if (got <= 0) {
                libraryError = got < 0 ? got : static_cast<int>(ISO_FILE_READ_ERROR);
                break;
            }
            // A song's failure is noted before libisofs hands on the bytes it spoiled.
            if (reading.failed()) {
                break;
            }
            if (!Send(buffer.get(), static_cast<size_t>(got))) {
                break;
            }
            done += static_cast<uint64_t>(got);
        }
        if (done < size) {
            source->cancel(source);
        }
        ::shutdown(to, SHUT_WR);
    }

    bool Send(const unsigned char* bytes, size_t count) const {
        while (count > 0) {
            const ssize_t sent = ::send(to, bytes, count, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            bytes += sent;
            count -= static_cast<size_t>(sent);
        }
        return true;
    }
};

// Adds the planned songs and folders, in list order; the first song weighs most, so
// that its data comes first.
void AddSongs(IsoImage* image, const CopyPlan& plan, const std::vector<struct stat>& sources,
              SongReading& reading) {
    IsoDir* root = iso_image_get_root(image);
    std::vector<IsoDir*> folders(plan.folders.size(), nullptr);
    const auto count = static_cast<int>(plan.songs.size());
    for (size_t s = 0; s < plan.songs.size(); ++s) {
        const PlannedSong& song = plan.songs[s];
        const struct stat& source = sources[s];
        IsoDir* parent = root;
        if (song.folder >= 0) {
            IsoDir*& folder = folders[static_cast<size_t>(song.folder)];
            if (folder == nullptr) {
                const int made = iso_image_add_new_dir(
                    image, root, plan.folders[static_cast<size_t>(song.folder)].c_str(), &folder);
                if (made < 0) {
                    LibraryFailed(made);
                }
                iso_node_set_mtime(reinterpret_cast<IsoNode*>(folder), source.st_mtime);
                iso_node_set_atime(reinterpret_cast<IsoNode*>(folder), source.st_mtime);
                iso_node_set_ctime(reinterpret_cast<IsoNode*>(folder), source.st_mtime);
            }
            parent = folder;
        }
        IsoStream* stream = NewSongStream(std::string(song.source), source.st_size,
                                          static_cast<ino_t>(s + 1), reading);
        IsoFile* file = nullptr;
        const int added = iso_image_add_new_file(image, parent, song.name.c_str(), stream, &file);
        if (added < 0) {
            iso_stream_unref(stream);
            LibraryFailed(added);
        }
        auto* node = reinterpret_cast<IsoNode*>(file);
        iso_node_set_permissions(node, 0444);
        iso_node_set_mtime(node, source.st_mtime);
        iso_node_set_atime(node, source.st_mtime);
        iso_node_set_ctime(node, source.st_mtime);
        iso_node_set_sort_weight(node, count - static_cast<int>(s));
    }
}

}  // namespace

std::string IsoVolumeId(std::string_view heading) {
    std::string id;
    auto put = [&id](std::string_view part) {
        for (const char c : part) {
            if (id.size() < kVolumeIdLength && !(c == '_' && (id.empty() || id.back() == '_'))) {
                id.push_back(c);
            }
        }
    };
    for (size_t i = 0; i < heading.size(); ++i) {
        const auto byte = static_cast<unsigned char>(heading[i]);
        const std::string_view rest = heading.substr(i);
        if (byte >= 'a' && byte <= 'z') {
            put(std::string(1, static_cast<char>(byte - 'a' + 'A')));
        } else if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')) {
            put(std::string(1, static_cast<char>(byte)));
        } else if (rest.starts_with("\xC3\xA4") || rest.starts_with("\xC3\x84")) {  // ä Ä
            put("AE");
            ++i;
        } else if (rest.starts_with("\xC3\xB6") || rest.starts_with("\xC3\x96")) {  // ö Ö
            put("OE");
            ++i;
        } else if (rest.starts_with("\xC3\xBC") || rest.starts_with("\xC3\x9C")) {  // ü Ü
            put("UE");
            ++i;
        } else if (rest.starts_with("\xC3\x9F")) {  // ß
            put("SS");
            ++i;
        } else {
            // One "_" for a character of several bytes as for one byte.
            while (i + 1 < heading.size() &&
                   (static_cast<unsigned char>(heading[i + 1]) & 0xC0) == 0x80) {
                ++i;
            }
            put("_");
        }
    }
    while (!id.empty() && id.back() == '_') {
        id.pop_back();
    }
    return id.empty() ? std::string("SPURFIX") : id;
}

std::string CdImageOutput::write(const ExportList& list, const std::string& target,
                                 Progress& progress) const {
    InitLibrary();
    const CopyPlan plan = PlanNumberedCopy(*list.lines, layout_);
    std::vector<struct stat> sources(plan.songs.size());
    for (size_t s = 0; s < plan.songs.size(); ++s) {
        const std::string source(plan.songs[s].source);
        if (::stat(source.c_str(), &sources[s]) != 0 || !S_ISREG(sources[s].st_mode)) {
            SongUnreadable(source, errno != 0 ? errno : EISDIR);
        }
    }
    const uint64_t songCount = plan.songs.size();
    progress.reportFiles(0, songCount);
    if (progress.cancelled()) {
        throw Cancelled();
    }

    const std::string volumeId = IsoVolumeId(list.heading);
    IsoImage* madeImage = nullptr;
    if (const int made = iso_image_new(volumeId.c_str(), &madeImage); made < 0) {
        LibraryFailed(made);
    }
    const std::unique_ptr<IsoImage, ImageDeleter> image(madeImage);
    iso_image_set_volume_id(image.get(), volumeId.c_str());
    iso_image_set_application_id(image.get(), "SPURFIX");
    SongReading reading;
    AddSongs(image.get(), plan, sources, reading);

    IsoWriteOpts* madeOpts = nullptr;
    if (const int made = iso_write_opts_new(&madeOpts, 0); made < 0) {
        LibraryFailed(made);
    }
    const std::unique_ptr<IsoWriteOpts, OptsDeleter> opts(madeOpts);
    iso_write_opts_set_iso_level(opts.get(), 2);
    iso_write_opts_set_rockridge(opts.get(), 1);
    iso_write_opts_set_joliet(opts.get(), 1);
    iso_write_opts_set_sort_files(opts.get(), 1);
    iso_write_opts_set_always_gmt(opts.get(), 1);
    // Everyone may read and no one write, as on every pressed CD; owner root.
    iso_write_opts_set_replace_mode(opts.get(), 1, 1, 1, 1);

    burn_source* source = nullptr;
    if (const int made = iso_image_create_burn_source(image.get(), opts.get(), &source); made < 0) {
        LibraryFailed(made);
    }
    const auto size = static_cast<uint64_t>(source->get_size(source));
    progress.report(0, size);

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        const int error = errno;
        source->cancel(source);
        source->free_data(source);
        std::free(source);
        Fail(error, target);
    }
    Descriptor readEnd(ends[0]);
    Descriptor feederEnd(ends[1]);
    std::atomic<bool> stop{false};
    Feeder feeder{source, feederEnd.get(), size, reading, progress, stop};
    std::thread feeding([&feeder] { feeder.run(); });

    platform::WriteControl control;
    control.progress = [&](uint64_t written, uint64_t total) {
        progress.report(written, total);
        progress.reportFiles(std::min(reading.songsRead(), songCount), songCount);
    };
    control.cancelRequested = [&] { return progress.cancelled() || reading.failed(); };
    const ImageContent content(readEnd.get(), feederEnd.get(), size);
    const int error = platform::ReplaceFile(target, content, &control);

    // Whatever ended the writing ends the feeder: a send into a socket without reader fails.
    stop.store(true);
    ::shutdown(readEnd.get(), SHUT_RDWR);
    feeding.join();
    source->free_data(source);
    std::free(source);

    if (reading.failed()) {
        SongUnreadable(reading.failedPath(), reading.failedError());
    }
    if (error != 0 && progress.cancelled()) {
        throw Cancelled();
    }
    if (error == platform::kWriteCancelled) {
        throw Cancelled();
    }
    if (error != 0 && feeder.libraryError != 0) {
        LibraryFailed(feeder.libraryError);
    }
    if (error != 0) {
        Fail(error, target);
    }
    progress.reportFiles(songCount, songCount);
    progress.report(size, size);
    return size > kCdBytes ? std::string(kLargerThanCd) : std::string();
}

}  // namespace spurfix::exporting
