#include "shapefile/output/ShapelibHooks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pontrel::shapefile::output {

namespace {

thread_local std::string* hookErrors = nullptr;
thread_local bool hookNameTaken = false;  // a file to be created was found already there
thread_local CreatedFiles* hookFiles = nullptr;

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
        // Locked for as long as the run has it, which tells the clean-up of other runs that it
        // is no leftover. A clean-up that locked it first is removing it: the name is given up.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            keepHookError(std::strerror(errno));
            hookNameTaken = true;
            ::unlink(name);
            ::close(fd);
            return nullptr;
        }
        hookFiles->push_back(std::make_unique<CreatedFile>(name, fd));
    } else {
        for (const auto& file : *hookFiles)
            if (file->path == name) fd = file->fd.get();
        if (fd < 0) {
            keepHookError(std::string("'") + name + "' was not created by this program");
            return nullptr;
        }
    }
    FileDescriptor own(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    FILE* file = !own || ::lseek(own.get(), 0, SEEK_SET) != 0 ? nullptr : ::fdopen(own.get(), access);
    if (!file) {
        keepHookError(std::strerror(errno));
        return nullptr;
    }
    own.release();  // the stream's now
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

// Only a file this program created may be removed.
int hookRemove(const char* name) {
    if (hookFiles)
        for (const auto& file : *hookFiles)
            if (file->path == name) return ::unlink(name);
    return -1;
}
void hookError(const char* message) { keepHookError(message); }
double hookAtof(const char* text) { return std::strtod(text, nullptr); }

}  // namespace

SAHooks* shapelibHooks() {
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

HookErrors::HookErrors(CreatedFiles* files) : previous_(hookErrors), previousFiles_(hookFiles) {
    hookErrors = &text_;
    hookFiles = files;
    hookNameTaken = false;
}

HookErrors::~HookErrors() {
    hookErrors = previous_;
    hookFiles = previousFiles_;
}

bool HookErrors::nameTaken() const { return hookNameTaken; }

bool writeNewFile(const std::string& path, const std::string& bytes) {
    SAFile file = hookOpen(path.c_str(), "wb");
    if (!file) return false;
    hookWrite(const_cast<char*>(bytes.data()), 1, bytes.size(), file);
    hookClose(file);
    return true;
}

}  // namespace pontrel::shapefile::output
