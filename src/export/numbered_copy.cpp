// The numbered copy: the plan (which folder and name each song gets) and the copy itself.
#include "export/numbered_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/in_out_error.h"
#include "platform/text_case.h"

namespace spurfix::exporting {

namespace {

// The length of a valid UTF-8 sequence at `text[i]`, or 0 where the bytes are not one.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t least = 0;
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// One character of a name: its UTF-8 bytes and how many UTF-16 units it takes.
struct Character {
    std::string bytes;
    size_t units;
};

// The text as characters a name may hold: invalid bytes read as Latin-1, refused
// characters replaced by "_".
std::vector<Character> SafeCharacters(std::string_view text) {
    std::vector<Character> characters;
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            const auto byte = static_cast<unsigned char>(text[i]);
            characters.push_back(
                {{static_cast<char>(0xC0 | (byte >> 6)), static_cast<char>(0x80 | (byte & 0x3F))},
                 1});
            ++i;
            continue;
        }
        if (length == 1) {
            const char c = text[i];
            const bool refused = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
                                 std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos;
            characters.push_back({std::string(1, refused ? '_' : c), 1});
        } else if (length == 2 && static_cast<unsigned char>(text[i]) == 0xC2 &&
                   static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            characters.push_back({"_", 1});  // C1 control characters
        } else {
            characters.push_back({std::string(text.substr(i, length)), length == 4 ? 2u : 1u});
        }
        i += length;
    }
    return characters;
}

size_t Units(const std::vector<Character>& characters) {
    size_t units = 0;
    for (const Character& c : characters) {
        units += c.units;
    }
    return units;
}

void DropTrailingDotsAndSpaces(std::vector<Character>& characters) {
    while (!characters.empty() &&
           (characters.back().bytes == "." || characters.back().bytes == " ")) {
        characters.pop_back();
    }
}

std::string Joined(const std::vector<Character>& characters) {
    std::string text;
    for (const Character& c : characters) {
        text += c.bytes;
    }
    return text;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::string_view FileNameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The extension of a file's path, without the dot; "" where the name has none.
std::string_view ExtensionOf(std::string_view path) {
    const std::string_view name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view{} : name.substr(dot + 1);
}

size_t Digits(size_t value) {
    size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

std::string Padded(size_t value, size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return digits;
}

// Keeps names apart within each folder as FAT does, without regard to case: a name that
// is taken gets " (2)", " (3)", ... after its title.
class NameBook {
  public:
    std::string take(int32_t folder, std::string_view number, std::string_view title,
                     std::string_view extension) {
        std::string name = SafeName(number, title, extension);
        for (int copy = 2; !taken_.insert(key(folder, name)).second; ++copy) {
            name = SafeName(
                number,
                std::string(title) + (title.empty() ? "(" : " (") + std::to_string(copy) + ")",
                extension);
        }
        return name;
    }

  private:
    static std::string key(int32_t folder, const std::string& name) {
        return std::to_string(folder) + '/' + platform::LowerCase(name);
    }
    std::unordered_set<std::string> taken_;
};

// The song numbers the names carry: the list's own where they rise within every folder of
// the copy, so that names sort in the list's order; else the song's place in the list.
std::vector<std::string> NameNumbers(const PreviewList& lines, const std::vector<size_t>& songs,
                                     const std::vector<int32_t>& folderOfSong) {
    const size_t width =
        std::max(static_cast<size_t>(std::max(lines.numberWidth(), 1)), Digits(songs.size()));
    bool listNumbersRise = true;
    std::unordered_map<int32_t, int32_t> lastInFolder;
    for (size_t s = 0; s < songs.size() && listNumbersRise; ++s) {
        const int32_t number = lines.number(songs[s]);
        auto [last, fresh] = lastInFolder.try_emplace(folderOfSong[s], number);
        listNumbersRise = number > 0 && (fresh || number > last->second);
        last->second = number;
    }
    std::vector<std::string> numbers;
    numbers.reserve(songs.size());
    for (size_t s = 0; s < songs.size(); ++s) {
        numbers.push_back(
            Padded(listNumbersRise ? static_cast<size_t>(lines.number(songs[s])) : s + 1, width));
    }
    return numbers;
}

}  // namespace

std::string SafeName(std::string_view number, std::string_view title, std::string_view extension) {
    const std::vector<Character> numberPart = SafeCharacters(number);
    std::vector<Character> titlePart = SafeCharacters(title);
    std::vector<Character> extensionPart = SafeCharacters(LowerAscii(extension));
    DropTrailingDotsAndSpaces(extensionPart);
    const size_t fixed = Units(numberPart) + (extensionPart.empty() ? 0 : 1 + Units(extensionPart));
    // A title is cut to what is left after the number, its space and the extension.
    const size_t room = fixed + 1 < kLongestName ? kLongestName - fixed - 1 : 0;
    size_t units = 0;
    size_t keep = 0;
    while (keep < titlePart.size() && units + titlePart[keep].units <= room) {
        units += titlePart[keep++].units;
    }
    titlePart.resize(keep);
    DropTrailingDotsAndSpaces(titlePart);
    std::string name = Joined(numberPart);
    if (!titlePart.empty()) {
        if (!name.empty()) {
            name += ' ';
        }
        name += Joined(titlePart);
    }
    if (!extensionPart.empty()) {
        name += '.';
        name += Joined(extensionPart);
    }
    return name;
}

std::string GermanSize(uint64_t bytes) {
    static constexpr const char* kUnits[] = {"Bytes", "KB", "MB", "GB", "TB"};
    if (bytes < 1024) {
        return std::to_string(bytes) + " Bytes";
    }
    double value = static_cast<double>(bytes);
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    std::string german(text);
    std::replace(german.begin(), german.end(), '.', ',');
    return german;
}

CopyPlan PlanNumberedCopy(const PreviewList& lines, CopyLayout layout) {
    std::vector<size_t> songs;
    bool labelled = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines.kind(i) == EntryKind::File) {
            songs.push_back(i);
        } else {
            labelled = true;
        }
    }
    CopyPlan plan;
    std::vector<int32_t> folderOfSong(songs.size(), -1);
    std::string scratch;
    if (layout == CopyLayout::Folders && labelled) {
        // A folder is known by the folder its label names, which may head the list twice.
        std::unordered_map<std::string, int32_t> folderOfLabel;
        std::optional<std::string> current;
        std::string currentLabel;
        size_t s = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines.kind(i) != EntryKind::File) {
                currentLabel = std::string(lines.title(i, scratch));
                current = lines.hasSourceLine(i) ? std::string(lines.sourceText(i)) : currentLabel;
                continue;
            }
            if (current) {
                auto [found, fresh] =
                    folderOfLabel.try_emplace(*current, static_cast<int32_t>(plan.folders.size()));
                if (fresh) {
                    plan.folders.push_back(currentLabel);  // named below, once counted
                }
                folderOfSong[s] = found->second;
            }
            ++s;
        }
        const size_t width = std::max<size_t>(2, Digits(plan.folders.size()));
        NameBook folderNames;
        for (size_t f = 0; f < plan.folders.size(); ++f) {
            plan.folders[f] = folderNames.take(-1, Padded(f + 1, width), plan.folders[f], {});
        }
    } else if (songs.size() > kSongsPerFolder) {
        for (size_t s = 0; s < songs.size(); ++s) {
            folderOfSong[s] = static_cast<int32_t>(s / kSongsPerFolder);
        }
    }
    const std::vector<std::string> numbers = NameNumbers(lines, songs, folderOfSong);
    if (!(layout == CopyLayout::Folders && labelled) && songs.size() > kSongsPerFolder) {
        for (size_t first = 0; first < songs.size(); first += kSongsPerFolder) {
            const size_t last = std::min(first + kSongsPerFolder, songs.size()) - 1;
            plan.folders.push_back(numbers[first] + '-' + numbers[last]);
        }
    }
    NameBook songNames;
    plan.songs.reserve(songs.size());
    for (size_t s = 0; s < songs.size(); ++s) {
        const std::string_view source = lines.sourceText(songs[s]);
        plan.songs.push_back({folderOfSong[s],
                              songNames.take(folderOfSong[s], numbers[s],
                                             lines.title(songs[s], scratch), ExtensionOf(source)),
                              source});
    }
    return plan;
}

namespace {

// The name a song has while it is written: one name for all, so that on FAT each final
// name takes the next directory entry, and no player plays it.
constexpr const char* kPartName = ".spurfix-kopie.part";
constexpr size_t kChunk = size_t{2} << 20;

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        reset();
        fd_ = std::exchange(other.fd_, -1);
        return *this;
    }
    [[nodiscard]] int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    // Closes and reports what closing found (a full disk may show only here).
    int close() { return ::close(std::exchange(fd_, -1)); }

  private:
    int fd_;
};

[[noreturn]] void Fail(int error, std::string_view path) {
    const EInOutError base = EInOutError::FromErrno(error);
    throw EInOutError(base.code(), std::string(base.what()) + ": " + std::string(path));
}

// What the copy has made so far, taken back in reverse when it does not complete.
class Made {
  public:
    Made() = default;
    Made(const Made&) = delete;
    Made& operator=(const Made&) = delete;
    ~Made() {
        if (kept_) {
            return;
        }
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            ::unlink(it->c_str());
            ::rmdir(it->c_str());
        }
    }
    void add(std::string path) { entries_.push_back(std::move(path)); }
    void pop() { entries_.pop_back(); }
    void keep() { kept_ = true; }

  private:
    std::vector<std::string> entries_;
    bool kept_ = false;
};

// Copies a file, in the kernel where it can, checking for a stop between chunks.
void CopyData(int from, int to, const std::string& source, uint64_t& bytesDone, uint64_t bytesTotal,
              Progress& progress) {
    bool inKernel = true;
    std::unique_ptr<char[]> buffer;
    for (uint64_t copied = 0;;) {
        if (progress.cancelled()) {
            throw Cancelled();
        }
        ssize_t n = -1;
        if (inKernel) {
            n = ::copy_file_range(from, nullptr, to, nullptr, kChunk, 0);
            if (n < 0 &&
                (errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == ENOSYS ||
                 errno == EBADF) &&
                copied == 0) {
                inKernel = false;
                continue;
            }
        } else {
            if (!buffer) {
                buffer = std::make_unique<char[]>(kChunk);
            }
            n = ::read(from, buffer.get(), kChunk);
            if (n < 0 && errno != EINTR) {
                Fail(errno, source);
            }
            for (ssize_t written = 0; n > 0 && written < n;) {
                const ssize_t w =
                    ::write(to, buffer.get() + written, static_cast<size_t>(n - written));
                if (w < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    Fail(errno, kPartName);
                }
                written += w;
            }
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail(errno, source);
        }
        if (n == 0) {
            break;
        }
        copied += static_cast<uint64_t>(n);
        bytesDone += static_cast<uint64_t>(n);
        progress.report(std::min(bytesDone, bytesTotal), bytesTotal);
    }
}

}  // namespace

std::string NumberedCopyOutput::write(const ExportList& list, const std::string& target,
                                      Progress& progress) const {
    const CopyPlan plan = PlanNumberedCopy(*list.lines, layout_);
    // Every size before the first byte, so that a copy that cannot fit does not begin.
    std::vector<uint64_t> sizes;
    sizes.reserve(plan.songs.size());
    uint64_t bytesTotal = 0;
    for (const PlannedSong& song : plan.songs) {
        struct stat status {};
        const std::string source(song.source);
        if (::stat(source.c_str(), &status) != 0) {
            Fail(errno, source);
        }
        sizes.push_back(static_cast<uint64_t>(status.st_size));
        bytesTotal += static_cast<uint64_t>(status.st_size);
    }
    progress.report(0, bytesTotal);
    progress.reportFiles(0, plan.songs.size());

    struct stat targetStatus {};
    Made made;
    if (::stat(target.c_str(), &targetStatus) == 0) {
        if (!S_ISDIR(targetStatus.st_mode)) {
            Fail(ENOTDIR, target);
        }
        std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(target.c_str()), ::closedir);
        if (!entries) {
            Fail(errno, target);
        }
        for (errno = 0; const dirent* entry = ::readdir(entries.get()); errno = 0) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") {
                throw EInOutError(17, "Das Verzeichnis „" + target +
                                          "“ ist nicht leer. Bitte wählen Sie ein leeres oder ein "
                                          "neues Verzeichnis für die Kopie.");
            }
        }
    } else if (errno != ENOENT) {
        Fail(errno, target);
    }

    // The space the copy takes: each file and folder in whole blocks.
    struct statvfs space {};
    {
        std::string probe = target;
        while (::statvfs(probe.c_str(), &space) != 0) {
            const size_t slash = probe.find_last_of('/', probe.size() > 1 ? probe.size() - 2 : 0);
            if ((errno != ENOENT && errno != ENOTDIR) || slash == std::string::npos) {
                Fail(errno, target);
            }
            probe = slash == 0 ? "/" : probe.substr(0, slash);
        }
    }
    const uint64_t block = space.f_frsize != 0 ? space.f_frsize : space.f_bsize;
    uint64_t needed = block * (plan.folders.size() + 1);
    for (const uint64_t size : sizes) {
        needed += (size + block - 1) / block * block;
    }
    const uint64_t free = static_cast<uint64_t>(space.f_bavail) * block;
    if (needed > free) {
        throw EInOutError(101, "Auf dem Ziel ist zu wenig Platz: Die Kopie braucht " +
                                   GermanSize(needed) + ", frei sind " + GermanSize(free) + ".");
    }

    if (::mkdir(target.c_str(), 0755) == 0) {
        made.add(target);
    } else if (errno != EEXIST) {
        Fail(errno, target);
    }
    const Descriptor root(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.get() < 0) {
        Fail(errno, target);
    }
    std::vector<Descriptor> folders(plan.folders.size());
    uint64_t bytesDone = 0;
    for (size_t s = 0; s < plan.songs.size(); ++s) {
        if (progress.cancelled()) {
            throw Cancelled();
        }
        const PlannedSong& song = plan.songs[s];
        int folder = root.get();
        if (song.folder >= 0) {
            Descriptor& madeFolder = folders[static_cast<size_t>(song.folder)];
            if (madeFolder.get() < 0) {
                const std::string& name = plan.folders[static_cast<size_t>(song.folder)];
                if (::mkdirat(root.get(), name.c_str(), 0755) != 0) {
                    Fail(errno, target + "/" + name);
                }
                made.add(target + "/" + name);
                madeFolder = Descriptor(
                    ::openat(root.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                if (madeFolder.get() < 0) {
                    Fail(errno, target + "/" + name);
                }
            }
            folder = madeFolder.get();
        }
        const std::string source(song.source);
        const Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
        if (from.get() < 0) {
            Fail(errno, source);
        }
        Descriptor to(::openat(folder, kPartName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (to.get() < 0) {
            Fail(errno, target);
        }
        const std::string folderPath =
            song.folder >= 0 ? target + "/" + plan.folders[static_cast<size_t>(song.folder)]
                             : target;
        made.add(folderPath + "/" + kPartName);
        CopyData(from.get(), to.get(), source, bytesDone, bytesTotal, progress);
        if (to.close() != 0) {
            Fail(errno, target);
        }
        if (::renameat(folder, kPartName, folder, song.name.c_str()) != 0) {
            Fail(errno, target + "/" + song.name);
        }
        made.pop();
        made.add(folderPath + "/" + song.name);
        progress.reportFiles(s + 1, plan.songs.size());
    }
    // The medium holds the copy before the user is told so, and may pull the stick.
    if (::syncfs(root.get()) != 0) {
        Fail(errno, target);
    }
    made.keep();
    progress.report(bytesTotal, bytesTotal);
    return {};
}

}  // namespace spurfix::exporting
