// The shapefile component, and the only code that calls shapelib or lays out shapefile bytes.
// shapelib creates the files: the .shp and .shx headers, the .dbf header with the field
// descriptors, and the .cpg. The records are then appended here in large blocks: shapelib's
// per-record calls seek and write for every record and format every field with printf, about
// 200,000 rows a second for the Parameter-mode layout, where a million rows should take two
// seconds at most. close() completes the headers' counts, sizes and bounds.

#include "shapefile/ShapeFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <shapefil.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <random>
#include <regex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "common/TemporaryFiles.h"
#include "shapefile/ShapeFileError.h"

namespace pontrel::shapefile {

struct ShapeFiles::CreatedFile {
    CreatedFile(std::string createdPath, int createdFd)
        : path(std::move(createdPath)), fd(createdFd), listed(path, cleanup::Registered::Kind::File) {
        std::size_t dot = path.rfind('.');
        extension = dot == std::string::npos ? std::string() : path.substr(dot);
    }
    ~CreatedFile() { ::close(fd); }
    CreatedFile(const CreatedFile&) = delete;
    CreatedFile& operator=(const CreatedFile&) = delete;

    std::string path;
    std::string extension;  // ".shp"
    int fd;
    cleanup::Registered listed;  // removed on an interruption
};

namespace {

constexpr std::size_t kShpHeaderBytes = 100;
constexpr std::size_t kPointRecordBytes = 28;  // record header 8, shape type 4, x and y 16
constexpr std::size_t kShxEntryBytes = 8;
constexpr std::uint32_t kPointContentWords = 10;
constexpr const char* kExtensions[] = {".shp", ".shx", ".dbf", ".cpg"};

// shapelib I/O through stdio, with every failure kept for the message instead of lost: shapelib
// ignores the result of closing a file, where buffered data is finally written. Files are
// created only with O_EXCL and O_NOFOLLOW, so nothing is ever written through a link or into a
// file someone else placed at a temporary name; shapelib reopens the files it has just created,
// and gets a new stream on the descriptor they were created with instead of the path again.
thread_local std::string* hookErrors = nullptr;
thread_local bool hookNameTaken = false;  // a file to be created was found already there
thread_local std::vector<std::unique_ptr<ShapeFiles::CreatedFile>>* hookFiles = nullptr;

void keepHookError(const std::string& message) {
    if (hookErrors && hookErrors->empty()) *hookErrors = message;
}

FILE* stream(SAFile file) { return reinterpret_cast<FILE*>(file); }

SAFile hookOpen(const char* name, const char* access) {
    if (!hookFiles) {
        keepHookError("no file may be opened here");
        return nullptr;
    }
    int fd = -1;
    if (std::strchr(access, 'w')) {
        // Listed for removal on an interruption before anything can interrupt.
        cleanup::InterruptionsHeld held;
        fd = ::open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) hookNameTaken = true;
            keepHookError(std::strerror(errno));
            return nullptr;
        }
        hookFiles->push_back(std::make_unique<ShapeFiles::CreatedFile>(name, fd));
    } else {
        for (const auto& file : *hookFiles)
            if (file->path == name) fd = file->fd;
        if (fd < 0) {
            keepHookError(std::string("'") + name + "' was not created by this program");
            return nullptr;
        }
    }
    int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    FILE* file = own < 0 || ::lseek(own, 0, SEEK_SET) != 0 ? nullptr : ::fdopen(own, access);
    if (!file) {
        keepHookError(std::strerror(errno));
        if (own >= 0) ::close(own);
    }
    return reinterpret_cast<SAFile>(file);
}

SAOffset hookRead(void* data, SAOffset size, SAOffset count, SAFile file) {
    return file ? std::fread(data, size, count, stream(file)) : 0;
}

SAOffset hookWrite(void* data, SAOffset size, SAOffset count, SAFile file) {
    if (!file) return 0;
    SAOffset done = std::fwrite(data, size, count, stream(file));
    if (done < count) keepHookError(std::strerror(errno));
    return done;
}

SAOffset hookSeek(SAFile file, SAOffset offset, int whence) {
    if (!file) return static_cast<SAOffset>(-1);
    return static_cast<SAOffset>(std::fseek(stream(file), static_cast<long>(offset), whence));
}

SAOffset hookTell(SAFile file) {
    return file ? static_cast<SAOffset>(std::ftell(stream(file))) : 0;
}

int hookFlush(SAFile file) {
    if (!file) return -1;
    int result = std::fflush(stream(file));
    if (result != 0) keepHookError(std::strerror(errno));
    return result;
}

int hookClose(SAFile file) {
    if (!file) return -1;
    int result = std::fclose(stream(file));
    if (result != 0) keepHookError(std::strerror(errno));
    return result;
}

// Only a file this component created may be removed.
int hookRemove(const char* name) {
    if (hookFiles)
        for (const auto& file : *hookFiles)
            if (file->path == name) return ::unlink(name);
    return -1;
}
void hookError(const char* message) { keepHookError(message); }
double hookAtof(const char* text) { return std::strtod(text, nullptr); }

SAHooks* hooks() {
    static SAHooks instance = [] {
        SAHooks h;
        SASetupDefaultHooks(&h);
        h.FOpen = hookOpen;
        h.FRead = hookRead;
        h.FWrite = hookWrite;
        h.FSeek = hookSeek;
        h.FTell = hookTell;
        h.FFlush = hookFlush;
        h.FClose = hookClose;
        h.Remove = hookRemove;
        h.Error = hookError;
        h.Atof = hookAtof;
        return h;
    }();
    return &instance;
}

}  // namespace

// Collects the first failure that shapelib reports while it lives, and lets shapelib create and
// reopen the files of `files`.
class HookErrors {
public:
    explicit HookErrors(std::vector<std::unique_ptr<ShapeFiles::CreatedFile>>* files = nullptr)
        : previous_(hookErrors), previousFiles_(hookFiles) {
        hookErrors = &text_;
        hookFiles = files;
        hookNameTaken = false;
    }
    ~HookErrors() {
        hookErrors = previous_;
        hookFiles = previousFiles_;
    }
    HookErrors(const HookErrors&) = delete;
    HookErrors& operator=(const HookErrors&) = delete;
    const std::string& text() const { return text_; }
    bool any() const { return !text_.empty(); }
    bool nameTaken() const { return hookNameTaken; }

private:
    std::string text_;
    std::string* previous_;
    std::vector<std::unique_ptr<ShapeFiles::CreatedFile>>* previousFiles_;
};

namespace {


void putBig32(char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (24 - 8 * i));
}

void putLittle32(char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (8 * i));
}

void putLittleDouble(char* out, double value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &value, 8);
        return;
    }
    auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(bits >> (8 * i));
}

// One file of the set, appended to through a large buffer. A full buffer is written by a thread
// of the file's own while the next one fills, so that the system's copying of the bytes overlaps
// the formatting of the next records. Failures name the file by its final name, as the temporary
// one means nothing to the user; a failed background write is reported at the next call.
class OutputFile {
public:
    // Writes through its own copy of `fd`, the descriptor the file was created with.
    OutputFile(int fd, std::string shownName, std::uint64_t start)
        : shownName_(std::move(shownName)), position_(start) {
        for (auto& buffer : buffers_) buffer.reset(new char[kCapacity]);
        fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (fd_ < 0) fail(errno);
        writer_ = std::thread([this] { writeInBackground(); });
    }
    ~OutputFile() {
        stopWriter();
        if (fd_ >= 0) ::close(fd_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Room for `size` bytes at the end of the file, to be filled at once.
    char* extend(std::size_t size) {
        if (used_ + size > kCapacity) flush();
        char* at = buffers_[current_].get() + used_;
        used_ += size;
        return at;
    }
    void append(const void* bytes, std::size_t size) {
        if (size > kCapacity) {
            flush();
            waitForWriter();
            check(writeAll(bytes, size, position_));
            position_ += size;
            return;
        }
        std::memcpy(extend(size), bytes, size);
    }
    // Has the writer thread append `size` bytes from `bytes`, which must stay as they are until
    // settle() returns.
    void appendInPlace(const char* bytes, std::size_t size) {
        if (size == 0) return;
        flush();
        waitForWriter();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_ = {bytes, size, position_};
            busy_ = true;
        }
        wake_.notify_all();
        position_ += size;
    }
    // Waits until everything handed to the writer thread is written.
    void settle() { waitForWriter(); }
    // The same, for when a failure is already on its way: a later one is not reported.
    void settleQuietly() noexcept {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return !busy_; });
    }
    // Writes over bytes already in the file (a header field).
    void overwrite(std::uint64_t offset, const void* bytes, std::size_t size) {
        flush();
        waitForWriter();
        check(writeAll(bytes, size, offset));
    }
    void finish() {
        flush();
        waitForWriter();
        stopWriter();
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) fail(errno);
    }

private:
    static constexpr std::size_t kCapacity = std::size_t{1} << 20;

    // Hands the filled buffer to the writer and goes on in the other one.
    void flush() {
        if (used_ == 0) return;
        waitForWriter();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_ = {buffers_[current_].get(), used_, position_};
            busy_ = true;
        }
        wake_.notify_all();
        position_ += used_;
        used_ = 0;
        current_ ^= 1;
    }
    void waitForWriter() {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return !busy_; });
        check(error_);
    }
    void stopWriter() {
        if (!writer_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        writer_.join();
    }
    void writeInBackground() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return busy_ || stopping_; });
            if (!busy_) return;
            Block block = pending_;
            lock.unlock();
            int error = writeAll(block.data, block.size, block.offset);
            lock.lock();
            if (error != 0 && error_ == 0) error_ = error;
            busy_ = false;
            wake_.notify_all();
        }
    }
    // 0, or the error that stopped the writing.
    int writeAll(const void* bytes, std::size_t size, std::uint64_t offset) const {
        const char* data = static_cast<const char*>(bytes);
        while (size > 0) {
            ssize_t done = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
            if (done < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            data += done;
            size -= static_cast<std::size_t>(done);
            offset += static_cast<std::uint64_t>(done);
        }
        return 0;
    }
    void check(int error) const {
        if (error != 0) fail(error);
    }
    [[noreturn]] void fail(int error) const {
        throw ShapeFileError("The file '" + shownName_ + "' could not be written: " +
                             std::strerror(error));
    }

    struct Block {
        const char* data = nullptr;
        std::size_t size = 0;
        std::uint64_t offset = 0;
    };

    int fd_ = -1;
    std::string shownName_;
    std::uint64_t position_;
    std::unique_ptr<char[]> buffers_[2];
    int current_ = 0;
    std::size_t used_ = 0;

    // Shared with the writer thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    Block pending_;
    bool busy_ = false;
    bool stopping_ = false;
    int error_ = 0;
    std::thread writer_;
};

std::string kindOf(int type) {
    switch (type) {
        case kNumericField: return "numbers";
        case kDateField: return "dates";
        default: return "texts";
    }
}

// 64 bits from the kernel's generator, so that no one can tell the next temporary name.
std::string randomTag() {
    std::uint64_t value = 0;
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        std::random_device device;
        value = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// The host's name as it goes into temporary names: a folder shared over the network holds the
// temporary files of processes on other hosts, whose process ids mean nothing here.
std::string hostTag() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    std::string tag;
    for (const char* p = name; *p && tag.size() < 64; ++p)
        tag += std::isalnum(static_cast<unsigned char>(*p)) || *p == '.' || *p == '-' ? *p : '_';
    return tag;
}

// The temporary names: .pontrel-HOST-PID-RANDOM.EXT for a new file, and
// .pontrel-HOST-PID-RANDOM.old.EXT for a file it replaces, kept until the new set is in place.
const std::regex& temporaryName() {
    static const std::regex pattern(R"(^\.pontrel-(.+)-([0-9]+)-[0-9a-f]{16}(\.old)?\.[a-z]{3}$)");
    return pattern;
}

// Removes the temporary files that runs on this host left in `folder` when they were killed:
// their process no longer exists. A kept old file goes only while it still has its own name
// (hard-linked), so that nothing of the user's is lost. Nothing else is touched.
void removeStaleFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::string host = hostTag();
    while (const dirent* entry = ::readdir(dir)) {
        std::cmatch match;
        if (entry->d_name[0] != '.' || !std::regex_match(entry->d_name, match, temporaryName())) continue;
        if (match[1].str() != host) continue;
        const long long pid = std::atoll(match[2].str().c_str());
        if (pid <= 0 || pid == ::getpid() || pid > INT32_MAX) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (match[3].matched && info.st_nlink < 2) continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// An advisory lock on a file beside the shapefile, held while a set of files takes the final
// names, so that two runs writing the same shapefile never mix their files. The lock file is
// removed by its holder; a waiter that then holds a removed file tries again.
class DestinationLock {
public:
    static constexpr int kWaitSeconds = 60;

    DestinationLock(std::string path, const std::string& shapefile) : path_(std::move(path)) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kWaitSeconds);
        for (;;) {
            fd_ = openLockFile();
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                struct stat held {}, named {};
                if (::fstat(fd_, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
                    held.st_dev == named.st_dev && held.st_ino == named.st_ino)
                    return;
            } else if (errno != EWOULDBLOCK && errno != EINTR) {
                fail(errno);
            }
            ::close(fd_);
            fd_ = -1;
            if (std::chrono::steady_clock::now() >= deadline)
                throw ShapeFileError("The shapefile '" + shapefile +
                                     "' is being written by another program, which has held its "
                                     "lock file '" + path_ + "' for more than " +
                                     std::to_string(kWaitSeconds) + " seconds");
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~DestinationLock() {
        ::unlink(path_.c_str());
        ::close(fd_);
    }
    DestinationLock(const DestinationLock&) = delete;
    DestinationLock& operator=(const DestinationLock&) = delete;

private:
    // Never written to, and never a link, a pipe or a device.
    int openLockFile() {
        int fd = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0) fail(errno);
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            throw ShapeFileError("The lock file '" + path_ + "' is not a file");
        }
        return fd;
    }
    [[noreturn]] void fail(int error) const {
        throw ShapeFileError("The lock file '" + path_ + "' cannot be used: " + std::strerror(error));
    }

    std::string path_;
    int fd_ = -1;
};

std::string nameOf(const std::string& stem) {
    std::size_t slash = stem.rfind('/');
    return slash == std::string::npos ? stem : stem.substr(slash + 1);
}

}  // namespace

struct ShapeFiles::Output {
    OutputFile shp;
    OutputFile shx;
    OutputFile dbf;
};

struct ShapeFiles::Column {
    const Field* field;
    std::size_t offset;  // in the .dbf record
    NumericLayout layout;
    int type;
};

// Consecutive records formatted together by WriteRecords: their .dbf, .shp and .shx bytes.
struct ShapeFiles::Block {
    std::size_t first = 0;    // the records before it in the file
    std::size_t planned = 0;  // the records it is to hold
    std::size_t rows = 0;     // the records formatted: fewer than planned after a failure
    std::vector<char> dbf, shp, shx;
    double bounds[4] = {0, 0, 0, 0};
    std::exception_ptr failure;
    bool ready = false;
};

namespace {

std::string numberRefusal(double value, NumericLayout layout) {
    return "cannot hold the value " + numberText(value) + " exactly in " +
           std::to_string(layout.width) + " characters with " + std::to_string(layout.decimals) +
           " decimals";
}

std::string dateRefusal(CalendarDate date) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return std::string("cannot hold the date ") + text +
           ": dates run from the year 1 to the year 9999";
}

// A text cell: as much of `text` as fits in `width` bytes without cutting a character, then blanks.
void putText(char* out, std::string_view text, std::size_t width) {
    std::string_view kept = utf8Prefix(text, width);
    std::memcpy(out, kept.data(), kept.size());
    std::memset(out + kept.size(), ' ', width - kept.size());
}

// A cell's bytes; cells are mostly at most 64 bytes wide, which fixed-size copies handle inline.
inline void copyCell(char* to, const char* from, std::size_t size) {
    struct Chunk {
        char bytes[16];
    };
    if (size > 16 && size <= 64) {
        Chunk chunks[4];
        // The first and the last 16 bytes, or 32 when longer than 32, overlapping in the middle.
        std::memcpy(&chunks[0], from, 16);
        std::memcpy(&chunks[2], from + size - 16, 16);
        if (size > 32) {
            std::memcpy(&chunks[1], from + 16, 16);
            std::memcpy(&chunks[3], from + size - 32, 16);
            std::memcpy(to + 16, &chunks[1], 16);
            std::memcpy(to + size - 32, &chunks[3], 16);
        }
        std::memcpy(to, &chunks[0], 16);
        std::memcpy(to + size - 16, &chunks[2], 16);
    } else if (size >= 8 && size <= 16) {
        std::uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + size - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + size - 8, &tail, 8);
    } else if (size >= 4 && size < 8) {
        std::uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + size - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + size - 4, &tail, 4);
    } else {
        std::memcpy(to, from, size);
    }
}

void putPoint(char* point, char* entry, std::size_t index, double x, double y) {
    putBig32(point, static_cast<std::uint32_t>(index + 1));
    putBig32(point + 4, kPointContentWords);
    putLittle32(point + 8, SHPT_POINT);
    putLittleDouble(point + 12, x);
    putLittleDouble(point + 20, y);
    putBig32(entry, static_cast<std::uint32_t>((kShpHeaderBytes + index * kPointRecordBytes) / 2));
    putBig32(entry + 4, kPointContentWords);
}

// Widens `bounds` (x min, y min, x max, y max) to take in the point; the first point sets them.
void include(double* bounds, bool first, double x, double y) {
    if (first) {
        bounds[0] = bounds[2] = x;
        bounds[1] = bounds[3] = y;
    } else {
        bounds[0] = std::min(bounds[0], x);
        bounds[1] = std::min(bounds[1], y);
        bounds[2] = std::max(bounds[2], x);
        bounds[3] = std::max(bounds[3], y);
    }
}

// WriteRecords formats blocks of about this many .dbf bytes: small enough for several to be in
// flight at little memory, large enough for the threads to meet rarely.
constexpr std::size_t kBlockBytes = std::size_t{512} << 10;
constexpr unsigned kMaxThreads = 16;

}  // namespace

// ---- Field

void Field::SetFieldValue(double value) {
    owner_.requireStage(ShapeFiles::Stage::Writing, "SetFieldValue");
    if (type_ != kNumericField) owner_.failValue(*this, "holds " + kindOf(type_) + ", not numbers");
    if (!formatNumeric(value, layout_, owner_.record_.data() + offset_))
        owner_.failValue(*this, numberRefusal(value, layout_));
    assigned_ = true;
}

void Field::SetFieldValue(std::string_view text) {
    owner_.requireStage(ShapeFiles::Stage::Writing, "SetFieldValue");
    if (type_ != kTextField) owner_.failValue(*this, "holds " + kindOf(type_) + ", not texts");
    putText(owner_.record_.data() + offset_, text, static_cast<std::size_t>(layout_.width));
    assigned_ = true;
}

void Field::SetFieldValue(CalendarDate date) {
    owner_.requireStage(ShapeFiles::Stage::Writing, "SetFieldValue");
    if (type_ != kDateField) owner_.failValue(*this, "holds " + kindOf(type_) + ", not dates");
    if (!formatDate(date.year, date.month, date.day, owner_.record_.data() + offset_))
        owner_.failValue(*this, dateRefusal(date));
    assigned_ = true;
}

void Field::SetFieldNull() {
    owner_.requireStage(ShapeFiles::Stage::Writing, "SetFieldNull");
    std::memset(owner_.record_.data() + offset_, ' ', static_cast<std::size_t>(layout_.width));
    assigned_ = true;
}

// ---- FieldList

Field& FieldList::AddField(const std::string& name, int type, int width, int decimals) {
    owner_.requireStage(ShapeFiles::Stage::Open, "AddField");
    NumericLayout layout;
    switch (type) {
        case kNumericField:
            layout = width == 0 ? NumericLayout{20, kMinimumDecimals} : NumericLayout{width, decimals};
            if (layout.width < 1 || layout.width > kMaxFieldWidth || layout.decimals < 0 ||
                (layout.decimals > 0 && layout.decimals > layout.width - 2))
                throw ShapeFileError("The numeric column '" + name + "' cannot be " +
                                     std::to_string(width) + " characters wide with " +
                                     std::to_string(decimals) + " decimals");
            break;
        case kTextField:
            layout = {width == 0 ? kDefaultTextWidth : width, 0};
            if (layout.width < 1 || layout.width > kMaxFieldWidth)
                throw ShapeFileError("The text column '" + name + "' cannot be " +
                                     std::to_string(width) + " bytes wide (1 to " +
                                     std::to_string(kMaxFieldWidth) + ")");
            break;
        case kDateField: layout = {8, 0}; break;
        default:
            throw ShapeFileError("The column '" + name + "' has the type code " +
                                 std::to_string(type) +
                                 ", which is none of 7 (numeric), 8 (date) and 10 (text)");
    }
    // The .dbf header and each record have 16-bit lengths.
    if (recordLength_ + static_cast<std::size_t>(layout.width) > 65535 || fields_.size() >= 2046)
        throw ShapeFileError("The column '" + name +
                             "' does not fit in the shapefile's attribute table, which holds "
                             "records of at most 65,535 bytes and at most 2,046 columns");
    std::unique_ptr<Field> owned(new Field(owner_, name, dbfNames_.assign(name), type, layout, recordLength_));
    Field* field = owned.get();
    fields_.push_back(std::move(owned));
    recordLength_ += static_cast<std::size_t>(layout.width);
    auto& sameName = byName_[name];
    sameName.push_back(fields_.size() - 1);
    if (sameName.size() > 1)
        for (std::size_t index : sameName) fields_[index]->uniqueName_ = false;
    return *field;
}

Field& FieldList::FieldByName(const std::string& name) {
    if (next_ < fields_.size()) {
        Field& expected = *fields_[next_];
        if (expected.uniqueName_ && expected.name_ == name) {
            ++next_;
            return expected;
        }
    }
    auto found = byName_.find(name);
    if (found == byName_.end())
        throw ShapeFileError("The shapefile '" + owner_.shpPath_ + "' has no column '" + name + "'");
    std::size_t chosen = found->second.front();
    for (std::size_t index : found->second) {
        if (!fields_[index]->assigned_) {
            chosen = index;
            break;
        }
    }
    next_ = chosen + 1;
    return *fields_[chosen];
}

// ---- PointList

void PointList::AddPoint(double x, double y) { owner_.setPoint(x, y); }

// ---- ShapeFiles

ShapeFiles::ShapeFiles() : fields_(*this), points_(*this) {}

ShapeFiles::~ShapeFiles() {
    if (stage_ != Stage::Closed) discard();
}

void ShapeFiles::requireStage(Stage stage, const char* operation) const {
    if (stage_ != stage)
        throw std::logic_error(std::string("The shapefile operation ") + operation +
                               " was called out of order");
}

void ShapeFiles::failValue(const Field& field, const std::string& what) const {
    failValueAt(field, what, records_ + 1);
}

void ShapeFiles::failValueAt(const Field& field, const std::string& what, std::size_t row) const {
    throw ShapeFileError("The column '" + field.name() + "' of the shapefile '" + shpPath_ + "' " +
                         what + " (row " + std::to_string(row) + ")");
}

void ShapeFiles::checkPoint(double x, double y, std::size_t row) const {
    if (!std::isfinite(x) || !std::isfinite(y))
        throw ShapeFileError("The point of row " + std::to_string(row) + " (" + numberText(x) +
                             ", " + numberText(y) + ") cannot be written to the shapefile '" +
                             shpPath_ + "': its coordinates must be finite numbers");
}

void ShapeFiles::OpenNewShapeFile(const std::string& path, int mode, int shapeType) {
    requireStage(Stage::New, "OpenNewShapeFile");
    if (mode != 1 || shapeType != SHPT_POINT)
        throw ShapeFileError("Only new point shapefiles can be written (mode 1, shape type 1), not "
                             "mode " + std::to_string(mode) + " with shape type " +
                             std::to_string(shapeType));
    shpPath_ = path;
    const std::string extension = ".shp";
    stem_ = path.size() > extension.size() &&
                    path.compare(path.size() - extension.size(), extension.size(), extension) == 0
                ? path.substr(0, path.size() - extension.size())
                : path;

    // The folder, as the system takes it ("dir/") and as the user reads it ("dir").
    std::size_t slash = stem_.rfind('/');
    const std::string prefix = slash == std::string::npos ? std::string() : stem_.substr(0, slash + 1);
    folder_ = prefix.empty() ? "." : prefix;
    while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
    // Without its final slash, so that a file of that name is told apart from a missing folder.
    const std::string folderPath = folder_;

    struct stat info {};
    if (::stat(folderPath.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw ShapeFileError("The folder '" + folder_ + "' does not exist");
        throw ShapeFileError("The folder '" + folder_ + "' cannot be used: " + std::strerror(errno));
    }
    if (!S_ISDIR(info.st_mode)) throw ShapeFileError("'" + folder_ + "' is not a folder");
    if (::access(folderPath.c_str(), W_OK | X_OK) != 0)
        throw ShapeFileError("The folder '" + folder_ + "' cannot be written to: " +
                             std::strerror(errno));
    for (const char* ext : kExtensions) {
        const std::string name = stem_ + ext;
        if (::lstat(name.c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode))
            throw ShapeFileError("'" + name + "' is a folder, so the shapefile cannot take its name");
        // A file its owner made read-only is kept, even where the folder would let it be replaced.
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            throw ShapeFileError("The file '" + name + "' is read-only, so it is not replaced");
    }
    removeStaleFiles(folderPath);

    prefix_ = prefix;
    createFiles(false);
    stage_ = Stage::Open;
}

void ShapeFiles::SetProjection(std::string esriWkt) {
    requireStage(Stage::Open, "SetProjection");
    const std::string name = stem_ + ".prj";
    struct stat info {};
    if (::lstat(name.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            throw ShapeFileError("'" + name + "' is a folder, so the shapefile cannot take its name");
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            throw ShapeFileError("The file '" + name + "' is read-only, so it is not replaced");
    }
    projection_ = std::move(esriWkt);
}

void ShapeFiles::WriteFieldLayout() {
    requireStage(Stage::Open, "WriteFieldLayout");
    {
        HookErrors errors(&created_);
        std::string failure = createTable(errors);
        if (!failure.empty() && !errors.nameTaken()) throw ShapeFileError(failure);
        if (!failure.empty()) createFiles(true);
    }
    output_.reset(new Output{OutputFile(created(".shp").fd, stem_ + ".shp", kShpHeaderBytes),
                             OutputFile(created(".shx").fd, stem_ + ".shx", kShpHeaderBytes),
                             OutputFile(created(".dbf").fd, stem_ + ".dbf", dbfHeaderLength_)});
    record_.assign(fields_.recordLength_, ' ');
    columns_.clear();
    for (const auto& field : fields_.fields_)
        columns_.push_back({field.get(), field->offset_, field->layout_, field->type_});
    stage_ = Stage::Writing;
}

// Creates the files under fresh temporary names: the .shp and .shx, and with `table` the .dbf
// and .cpg. A name found taken (by a file or link someone placed there) is given up for new
// names, a few times, since no one can know the next ones.
void ShapeFiles::createFiles(bool table) {
    constexpr int kAttempts = 8;
    for (int attempt = 1;; ++attempt) {
        discard();
        tempStem_ = prefix_ + ".pontrel-" + hostTag() + "-" + std::to_string(::getpid()) + "-" + randomTag();
        HookErrors errors(&created_);
        SHPHandle shp = SHPCreateLL((tempStem_ + ".shp").c_str(), SHPT_POINT, hooks());
        if (shp) SHPClose(shp);
        std::string failure;
        if (!shp || errors.any())
            failure = "The shapefile '" + shpPath_ + "' cannot be created in the folder '" + folder_ +
                      "': " + (errors.any() ? errors.text() : "unknown failure");
        else if (table)
            failure = createTable(errors);
        if (failure.empty()) return;
        if (!errors.nameTaken() || attempt == kAttempts) {
            discard();
            throw ShapeFileError(failure);
        }
    }
}

// Creates the .dbf with the column descriptors, and the .cpg; the failure's message, or empty.
std::string ShapeFiles::createTable(const HookErrors& errors) {
    const std::string dbfName = stem_ + ".dbf";
    DBFHandle dbf = DBFCreateLL((tempStem_ + ".dbf").c_str(), "UTF-8", hooks());
    if (!dbf)
        return "The attribute table '" + dbfName + "' cannot be created: " +
               (errors.any() ? errors.text() : "unknown failure");
    struct Closer {
        DBFHandle handle;
        ~Closer() {
            if (handle) DBFClose(handle);
        }
    } closer{dbf};
    if (errors.any()) return "The attribute table '" + dbfName + "' cannot be created: " + errors.text();

    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local)) DBFSetLastModifiedDate(dbf, local.tm_year, local.tm_mon + 1, local.tm_mday);

    const std::size_t count = fields_.size();
    for (std::size_t i = 0; i < count; ++i) {
        const Field& field = fields_[i];
        char type = field.type() == kNumericField ? 'N' : field.type() == kDateField ? 'D' : 'C';
        if (DBFAddNativeFieldType(dbf, field.dbfName().c_str(), type, field.width(),
                                  field.decimals()) < 0)
            throw ShapeFileError("The column '" + field.name() + "' cannot be added to '" + dbfName +
                                 "': " + (errors.any() ? errors.text() : "refused"));
        // The records are laid out here, so they must match the descriptors shapelib wrote.
        if (dbf->panFieldOffset[i] != static_cast<int>(field.offset_) ||
            dbf->panFieldSize[i] != field.width() || dbf->panFieldDecimals[i] != field.decimals())
            throw std::logic_error("shapelib laid out the column '" + field.name() +
                                   "' differently from the shapefile component");
    }
    dbfHeaderLength_ = static_cast<std::uint64_t>(dbf->nHeaderLength);
    if (static_cast<std::size_t>(dbf->nRecordLength) != fields_.recordLength_)
        throw std::logic_error("shapelib's .dbf record length differs from the shapefile component's");
    closer.handle = nullptr;
    DBFClose(dbf);
    if (errors.any()) return "The attribute table '" + dbfName + "' cannot be written: " + errors.text();

    // The coordinate system, when there is one, joins the set now, created as the others are.
    if (!projection_.empty()) {
        SAFile prj = hookOpen((tempStem_ + ".prj").c_str(), "wb");
        if (prj) {
            hookWrite(projection_.data(), 1, projection_.size(), prj);
            hookClose(prj);
        }
        if (!prj || errors.any())
            return "The file '" + stem_ + ".prj' could not be written: " +
                   (errors.any() ? errors.text() : "unknown failure");
    }
    return {};
}

std::size_t ShapeFiles::maxRecords() const {
    const std::size_t byShp = (kMaxFileBytes - kShpHeaderBytes) / kPointRecordBytes;
    const std::size_t byDbf = (kMaxFileBytes - dbfHeaderLength_ - 1) / record_.size();
    return std::min(byShp, byDbf);
}

void ShapeFiles::ReserveRecords(std::size_t records) const {
    requireStage(Stage::Writing, "ReserveRecords");
    if (records <= maxRecords()) return;
    const unsigned long long count = records;
    const unsigned long long shpBytes = kShpHeaderBytes + count * kPointRecordBytes;
    const unsigned long long dbfBytes = dbfHeaderLength_ + count * record_.size() + 1;
    const std::string limit = std::to_string(kMaxFileBytes) + " bytes (2 GB) that a shapefile's file may hold";
    if (dbfBytes > kMaxFileBytes)
        throw ShapeFileError("The attribute table '" + stem_ + ".dbf' would take " +
                             std::to_string(dbfBytes) + " bytes for " + std::to_string(count) +
                             " records of " + std::to_string(record_.size()) +
                             " bytes, more than the " + limit);
    throw ShapeFileError("The shapefile '" + stem_ + ".shp' would take " + std::to_string(shpBytes) +
                         " bytes for " + std::to_string(count) + " points, more than the " + limit);
}

void ShapeFiles::setPoint(double x, double y) {
    requireStage(Stage::Writing, "AddPoint");
    checkPoint(x, y, records_ + 1);
    x_ = x;
    y_ = y;
    pointSet_ = true;
}

void ShapeFiles::WriteRecord() {
    requireStage(Stage::Writing, "WriteRecord");
    if (!pointSet_)
        throw ShapeFileError("Row " + std::to_string(records_ + 1) + " of the shapefile '" +
                             shpPath_ + "' has no point");
    if (records_ >= maxRecords()) ReserveRecords(records_ + 1);

    char* point = output_->shp.extend(kPointRecordBytes);
    char* entry = output_->shx.extend(kShxEntryBytes);
    putPoint(point, entry, records_, x_, y_);
    output_->dbf.append(record_.data(), record_.size());
    include(bounds_, records_ == 0, x_, y_);
    ++records_;

    std::memset(record_.data(), ' ', record_.size());
    for (auto& field : fields_.fields_) field->assigned_ = false;
    fields_.next_ = 0;
    pointSet_ = false;
}

void ShapeFiles::SetParallelism(std::size_t blockRecords, unsigned threads) {
    blockRecords_ = blockRecords;
    threads_ = threads;
}

void ShapeFiles::WriteRecords(std::size_t count, const std::function<void(Record&)>& fill,
                              const std::function<void(std::size_t)>& written) {
    requireStage(Stage::Writing, "WriteRecords");
    if (count == 0) return;
    if (count > maxRecords() - records_) ReserveRecords(records_ + count);

    const std::size_t perBlock =
        blockRecords_ > 0 ? blockRecords_ : std::max<std::size_t>(1, kBlockBytes / record_.size());
    const std::size_t blocks = (count - 1) / perBlock + 1;
    const std::size_t base = records_;
    auto plan = [&](Block& block, std::size_t index) {
        block.first = base + index * perBlock;
        block.planned = std::min(perBlock, count - index * perBlock);
        block.ready = false;
    };
    std::size_t done = 0;
    auto deliver = [&](const Block& block) {
        try {
            appendBlock(block);
            for (std::size_t i = 0; i < block.rows; ++i) written(++done);
            settleBlock();
        } catch (...) {
            // The writers must be done with the block's bytes before it goes.
            output_->shp.settleQuietly();
            output_->shx.settleQuietly();
            output_->dbf.settleQuietly();
            throw;
        }
        if (block.failure) std::rethrow_exception(block.failure);
    };

    unsigned threads = threads_ > 0 ? threads_ : std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>({threads, kMaxThreads, blocks}));
    auto formatAlone = [&] {
        Block block;
        Record record(*this);
        for (std::size_t index = 0; index < blocks; ++index) {
            plan(block, index);
            formatBlock(block, record, fill);
            deliver(block);
        }
    };
    if (threads <= 1) return formatAlone();

    // The workers take the blocks in order and format them into a ring of slots, at most a
    // ring's length ahead of the writing; this thread writes each block once it is ready.
    const std::size_t ring = 2 * std::size_t{threads};
    std::vector<Block> slots(ring);
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;       // the next block to format
    std::size_t limit = blocks;  // none is formatted from here on: one before failed
    std::size_t consumed = 0;   // the blocks written
    bool stop = false;
    std::exception_ptr workerFailure;  // a worker could not work at all

    auto work = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        try {
            Record record(*this);
            for (;;) {
                changed.wait(lock, [&] { return stop || next >= limit || next < consumed + ring; });
                if (stop || next >= limit) return;
                const std::size_t index = next++;
                Block& block = slots[index % ring];
                plan(block, index);
                lock.unlock();
                formatBlock(block, record, fill);
                lock.lock();
                block.ready = true;
                if (block.failure) limit = std::min(limit, index + 1);
                changed.notify_all();
            }
        } catch (...) {
            if (!lock.owns_lock()) lock.lock();
            if (!workerFailure) workerFailure = std::current_exception();
            stop = true;
            changed.notify_all();
        }
    };

    std::vector<std::thread> workers;
    struct Joiner {
        std::vector<std::thread>& workers;
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& stop;
        ~Joiner() {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stop = true;
            }
            changed.notify_all();
            for (std::thread& worker : workers) worker.join();
        }
    } joiner{workers, mutex, changed, stop};
    // Where the system refuses more threads (a memory limit), the ones there are do the work.
    for (unsigned t = 0; t < threads; ++t) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    if (workers.empty()) return formatAlone();

    for (std::size_t index = 0; index < blocks; ++index) {
        Block& block = slots[index % ring];
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return block.ready || workerFailure; });
            if (!block.ready) std::rethrow_exception(workerFailure);
        }
        deliver(block);
        {
            std::lock_guard<std::mutex> lock(mutex);
            block.ready = false;
            consumed = index + 1;
        }
        changed.notify_all();
    }
}

// Formats the records of `block` through `fill`, stopping at the first that fails.
void ShapeFiles::formatBlock(Block& block, Record& record,
                             const std::function<void(Record&)>& fill) const {
    const std::size_t length = record_.size();
    block.dbf.resize(block.planned * length);
    std::memset(block.dbf.data(), ' ', block.dbf.size());
    block.shp.resize(block.planned * kPointRecordBytes);
    block.shx.resize(block.planned * kShxEntryBytes);
    block.rows = 0;
    block.failure = nullptr;
    record.forget();
    try {
        for (std::size_t i = 0; i < block.planned; ++i) {
            const std::size_t index = block.first + i;
            record.start(index + 1, block.dbf.data() + i * length);
            fill(record);
            if (!record.pointSet_)
                throw ShapeFileError("Row " + std::to_string(index + 1) + " of the shapefile '" +
                                     shpPath_ + "' has no point");
            putPoint(block.shp.data() + i * kPointRecordBytes,
                     block.shx.data() + i * kShxEntryBytes, index, record.x_, record.y_);
            include(block.bounds, i == 0, record.x_, record.y_);
            block.rows = i + 1;
        }
    } catch (...) {
        block.failure = std::current_exception();
    }
}

// Hands the block's bytes to the files' writer threads, which write them from the block itself;
// settleBlock() waits for them before the block is used again.
void ShapeFiles::appendBlock(const Block& block) {
    if (block.rows == 0) return;
    output_->shp.appendInPlace(block.shp.data(), block.rows * kPointRecordBytes);
    output_->shx.appendInPlace(block.shx.data(), block.rows * kShxEntryBytes);
    output_->dbf.appendInPlace(block.dbf.data(), block.rows * record_.size());
    if (records_ == 0) {
        std::copy(block.bounds, block.bounds + 4, bounds_);
    } else {
        bounds_[0] = std::min(bounds_[0], block.bounds[0]);
        bounds_[1] = std::min(bounds_[1], block.bounds[1]);
        bounds_[2] = std::max(bounds_[2], block.bounds[2]);
        bounds_[3] = std::max(bounds_[3], block.bounds[3]);
    }
    records_ += block.rows;
}

void ShapeFiles::settleBlock() {
    output_->shp.settle();
    output_->shx.settle();
    output_->dbf.settle();
}

// ---- Record

Record::Record(const ShapeFiles& owner) : owner_(owner) {
    // Texts and dates take few distinct values that often alternate (stations, tides, days), and
    // so do the numbers of a narrow table; the numbers of a wide table mostly repeat the one above.
    constexpr unsigned kManyBits = 6, kWideTable = 32;
    const auto& columns = owner.columns_;
    std::size_t places = 0;
    for (const auto& format : columns) {
        const bool many = format.type != kNumericField || columns.size() <= kWideTable;
        const unsigned bits = many ? kManyBits : 0;
        firstPlace_.push_back(places);
        placeBits_.push_back(bits);
        places += std::size_t{1} << bits;
    }
    lastKey_.assign(places, 0);
    lastAt_.assign(places, nullptr);
}

std::size_t Record::place(std::size_t column, std::uint64_t key) const {
    const unsigned bits = placeBits_[column];
    if (bits == 0) return firstPlace_[column];
    const auto slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> (64 - bits));
    return firstPlace_[column] + slot;
}

// A new block: the values of the one before may be overwritten from now on.
void Record::forget() {
    std::fill(lastAt_.begin(), lastAt_.end(), nullptr);
    numbersAt_ = nullptr;
}

void Record::start(std::size_t row, char* dbf) {
    row_ = row;
    dbf_ = dbf;
    pointSet_ = false;
}

void Record::setPoint(double x, double y) {
    owner_.checkPoint(x, y, row_);
    x_ = x;
    y_ = y;
    pointSet_ = true;
}

bool Record::repeatCell(std::size_t column, std::uint64_t key) {
    const std::size_t at = place(column, key);
    if (!lastAt_[at] || lastKey_[at] != key) return false;
    const auto& format = owner_.columns_[column];
    copyCell(dbf_ + format.offset, lastAt_[at], static_cast<std::size_t>(format.layout.width));
    return true;
}

void Record::keep(std::size_t column, std::uint64_t key) {
    const std::size_t at = place(column, key);
    lastKey_[at] = key;
    lastAt_[at] = dbf_ + owner_.columns_[column].offset;
}

namespace {

// The first index from `from` on at which two rows of numbers differ bit for bit, or `count`.
std::size_t sameUntil(const double* a, const double* b, std::size_t from, std::size_t count) {
    std::size_t i = from;
    for (; i + 4 <= count; i += 4) {
        std::uint64_t x[4], y[4];
        std::memcpy(x, a + i, sizeof x);
        std::memcpy(y, b + i, sizeof y);
        if (((x[0] ^ y[0]) | (x[1] ^ y[1]) | (x[2] ^ y[2]) | (x[3] ^ y[3])) != 0) break;
    }
    while (i < count && std::bit_cast<std::uint64_t>(a[i]) == std::bit_cast<std::uint64_t>(b[i])) ++i;
    return i;
}

}  // namespace

void Record::setNumbers(std::size_t first, const double* values, const std::uint8_t* nulls,
                        std::size_t count) {
    const auto& columns = owner_.columns_;
    if (first > columns.size() || count > columns.size() - first)
        throw std::logic_error("Record::setNumbers was given columns the shapefile does not have");
    std::uint8_t anyNull = 0;
    if (nulls)
        for (std::size_t i = 0; i < count; ++i) anyNull |= nulls[i];
    auto isNull = [&](std::size_t i) -> std::uint8_t { return anyNull && nulls[i] != 0 ? 1 : 0; };
    auto wasNull = [&](std::size_t i) -> std::uint8_t { return numbersHadNull_ ? numberNulls_[i] : 0; };
    // Most cells of a wide table hold what the cell above holds; the columns are side by side,
    // so each run of such cells is one copy from the record before.
    const bool above = numbersAt_ && numbersAt_ != dbf_ && numbersFirst_ == first &&
                       numbers_.size() == count;
    const bool plain = anyNull == 0 && !numbersHadNull_;
    for (std::size_t i = 0; i < count;) {
        std::size_t end = i;
        if (above && plain) {
            end = sameUntil(numbers_.data(), values, i, count);
        } else if (above) {
            while (end < count && wasNull(end) == isNull(end) &&
                   (isNull(end) || std::bit_cast<std::uint64_t>(numbers_[end]) ==
                                       std::bit_cast<std::uint64_t>(values[end])))
                ++end;
        }
        if (end > i) {
            const std::size_t from = columns[first + i].offset;
            const std::size_t to = columns[first + end - 1].offset +
                                   static_cast<std::size_t>(columns[first + end - 1].layout.width);
            std::memcpy(dbf_ + from, numbersAt_ + from, to - from);
            i = end;
            continue;
        }
        setNumber(first + i, values[i], isNull(i) != 0);
        ++i;
    }
    numbersAt_ = dbf_;
    numbersFirst_ = first;
    numbers_.assign(values, values + count);
    numbersHadNull_ = anyNull != 0;
    if (numbersHadNull_) {
        numberNulls_.resize(count);
        for (std::size_t i = 0; i < count; ++i) numberNulls_[i] = isNull(i);
    }
}

void Record::setNumber(std::size_t column, double value, bool null) {
    const auto& format = owner_.columns_[column];
    if (format.type != kNumericField)
        owner_.failValueAt(*format.field, "holds " + kindOf(format.type) + ", not numbers", row_);
    char* out = dbf_ + format.offset;
    if (null) {
        std::memset(out, ' ', static_cast<std::size_t>(format.layout.width));
        return;
    }
    const auto key = std::bit_cast<std::uint64_t>(value);
    if (repeatCell(column, key)) return;
    if (!formatNumeric(value, format.layout, out))
        owner_.failValueAt(*format.field, numberRefusal(value, format.layout), row_);
    keep(column, key);
}

void Record::setText(std::size_t column, std::string_view text, std::uint64_t key) {
    if (column >= owner_.columns_.size())
        throw std::logic_error("Record::setText was given a column the shapefile does not have");
    const auto& format = owner_.columns_[column];
    if (format.type != kTextField)
        owner_.failValueAt(*format.field, "holds " + kindOf(format.type) + ", not texts", row_);
    putText(dbf_ + format.offset, text, static_cast<std::size_t>(format.layout.width));
    keep(column, key);
}

bool Record::repeat(std::size_t column, std::uint64_t key) {
    return column < owner_.columns_.size() && repeatCell(column, key);
}

void Record::setDate(std::size_t column, CalendarDate date, std::uint64_t key) {
    if (column >= owner_.columns_.size())
        throw std::logic_error("Record::setDate was given a column the shapefile does not have");
    const auto& format = owner_.columns_[column];
    if (format.type != kDateField)
        owner_.failValueAt(*format.field, "holds " + kindOf(format.type) + ", not dates", row_);
    if (!formatDate(date.year, date.month, date.day, dbf_ + format.offset))
        owner_.failValueAt(*format.field, dateRefusal(date), row_);
    keep(column, key);
}

void ShapeFiles::close() {
    requireStage(Stage::Writing, "close");
    char header[32];
    putBig32(header, static_cast<std::uint32_t>((kShpHeaderBytes + records_ * kPointRecordBytes) / 2));
    output_->shp.overwrite(24, header, 4);
    putBig32(header, static_cast<std::uint32_t>((kShpHeaderBytes + records_ * kShxEntryBytes) / 2));
    output_->shx.overwrite(24, header, 4);
    for (int i = 0; i < 4; ++i) putLittleDouble(header + 8 * i, bounds_[i]);
    output_->shp.overwrite(36, header, 32);
    output_->shx.overwrite(36, header, 32);
    output_->dbf.append("\x1A", 1);  // the dBASE end-of-file mark
    putLittle32(header, static_cast<std::uint32_t>(records_));
    output_->dbf.overwrite(4, header, 4);
    output_->shp.finish();
    output_->shx.finish();
    output_->dbf.finish();
    output_.reset();

    commit();
    // Spatial and attribute indexes that GIS programs keep beside a shapefile describe the
    // records it replaced; left there, they would make readers skip or misplace the new points.
    // They are rebuilt on demand, so removing them loses nothing. Without a coordinate system of
    // this run, a .prj is the user's and stays.
    for (const char* ext : {".qix", ".sbn", ".sbx", ".fbn", ".fbx", ".ain", ".aih", ".atx", ".ixs", ".mxs"})
        ::unlink((stem_ + ext).c_str());
    stage_ = Stage::Closed;
}

const ShapeFiles::CreatedFile& ShapeFiles::created(const char* extension) const {
    for (const auto& file : created_)
        if (file->extension == extension) return *file;
    throw std::logic_error(std::string("The shapefile component did not create its ") + extension + " file");
}

// Gives every created file its final name, so that the final names hold either the whole new
// set or, when any rename fails, the whole set that was there before. Files being replaced are
// kept under temporary names (hard links where the file system allows) until the last rename has
// succeeded, and are put back when one fails. The .shp takes its name last: until then, no
// reader sees a new shapefile.
void ShapeFiles::commit() {
    DestinationLock lock(prefix_ + "." + nameOf(stem_) + ".pontrel-lock", shpPath_);
    cleanup::InterruptionsHeld held;

    struct Step {
        const CreatedFile* file;
        std::string target;
        std::string kept;
        bool linked = false;  // the old file is also under `kept`
        bool moved = false;   // the old file is only under `kept`
        bool placed = false;  // the new file has the final name
    };
    std::vector<Step> steps;
    for (const auto& file : created_)
        if (file->extension != ".shp") steps.push_back({file.get(), stem_ + file->extension, tempStem_ + ".old" + file->extension});
    steps.push_back({&created(".shp"), stem_ + ".shp", tempStem_ + ".old.shp"});

    auto restore = [&] {
        for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
            if (step->placed && !step->linked && !step->moved) ::unlink(step->target.c_str());
            else if (step->placed || step->moved) std::rename(step->kept.c_str(), step->target.c_str());
            else if (step->linked) ::unlink(step->kept.c_str());
        }
    };
    auto fail = [&](const std::string& message) {
        restore();
        throw ShapeFileError(message);
    };

    for (Step& step : steps) {
        // The temporary name must still be the file created there.
        struct stat named {}, made {};
        if (::lstat(step.file->path.c_str(), &named) != 0 || ::fstat(step.file->fd, &made) != 0 ||
            named.st_dev != made.st_dev || named.st_ino != made.st_ino)
            fail("The temporary file '" + step.file->path + "' was removed or replaced by another "
                 "program, so the shapefile '" + shpPath_ + "' is not written");
    }
    for (Step& step : steps) {
        struct stat old {};
        if (::lstat(step.target.c_str(), &old) != 0) {
            if (errno == ENOENT) continue;
            fail("The file '" + step.target + "' cannot be replaced: " + std::strerror(errno));
        }
        if (S_ISDIR(old.st_mode))
            fail("'" + step.target + "' is a folder, so the shapefile cannot take its name");
        if (::link(step.target.c_str(), step.kept.c_str()) == 0) {
            step.linked = true;
        } else if (std::rename(step.target.c_str(), step.kept.c_str()) == 0) {
            step.moved = true;
        } else {
            fail("The file '" + step.target + "' cannot be replaced: " + std::strerror(errno));
        }
    }
    for (Step& step : steps) {
        if (std::rename(step.file->path.c_str(), step.target.c_str()) != 0)
            fail("The file '" + step.target + "' could not be written: " + std::strerror(errno));
        step.placed = true;
    }
    for (Step& step : steps)
        if (step.linked || step.moved) ::unlink(step.kept.c_str());
    for (const auto& file : created_) file->listed.release();
    created_.clear();
}

void ShapeFiles::discard() noexcept {
    output_.reset();
    for (const auto& file : created_) ::unlink(file->path.c_str());
    created_.clear();
}

}  // namespace pontrel::shapefile
