#pragma once
// Helpers for the tests that write files and run programs: a child process with its output
// captured (optionally under a file-size limit or on a terminal), and a shapefile read back
// through GDAL's ogrinfo, an independent reader.

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "VessamoFixture.h"  // TempFolder
#include "common/DayCount.h"

namespace pontrel::testing {

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The names in a folder, hidden ones included.
inline std::set<std::string> folderEntries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The lines of a text that are not empty, as a listing tool prints them.
inline std::vector<std::string> nonEmptyLines(const std::string& text) {
    std::vector<std::string> out;
    for (std::string& line : lines(text))
        if (!line.empty()) out.push_back(std::move(line));
    return out;
}

// What a shell command prints on standard output (its standard error is left alone).
inline std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// A day count as "YYYY-MM-DD HH:MM:SS", the way the mdbtools and mdb-reader exports are asked
// to print dates.
inline std::string civilText(double days) {
    data::CivilTime c = data::civilFromDate(days);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                  c.minute, c.second);
    return buffer;
}

struct ProcessResult {
    int exitCode = -1;  // -1 when ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::optional<rlim_t> fileSizeLimit;     // RLIMIT_FSIZE in the child
    std::optional<rlim_t> addressSpaceLimit; // RLIMIT_AS in the child
    bool terminalOnStderr = false;            // stderr on a pseudo-terminal, read into `err`
    std::vector<std::string> environment;     // NAME=value entries added for the child
};

// Sets up a forked child as the options say; for the child only.
inline void applyChildOptions(const ProcessOptions& options) {
    if (options.fileSizeLimit) {
        rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.addressSpaceLimit) {
        rlimit limit{*options.addressSpaceLimit, *options.addressSpaceLimit};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    for (const std::string& entry : options.environment) ::putenv(const_cast<char*>(entry.c_str()));
}

// In a forked child: standard output to `outPath`, standard error to `errPath` (left as it is
// when empty), standard input from /dev/null, the options applied, then `argv` run in its place.
[[noreturn]] inline void execChild(const std::vector<std::string>& argv, const ProcessOptions& options,
                                   const std::string& outPath, const std::string& errPath) {
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, STDOUT_FILENO);
    if (!errPath.empty()) {
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, STDERR_FILENO);
    }
    int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    applyChildOptions(options);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

inline ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {}) {
    TempFolder captures;
    const std::string outPath = captures.file("out"), errPath = captures.file("err");
    int master = -1;
    pid_t pid = options.terminalOnStderr ? ::forkpty(&master, nullptr, nullptr, nullptr) : ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) execChild(argv, options, outPath, options.terminalOnStderr ? std::string() : errPath);
    ProcessResult result;
    if (master >= 0) {
        char buffer[4096];
        for (;;) {
            ssize_t got = ::read(master, buffer, sizeof buffer);
            if (got > 0) {
                result.err.append(buffer, static_cast<std::size_t>(got));
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                break;  // EIO once the child has closed the terminal
            }
        }
        ::close(master);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = readFile(outPath);
    if (!options.terminalOnStderr) result.err = readFile(errPath);
    return result;
}

// pontrel-convert's standard error with the marks of its messages taken off each line: the
// "pontrel-convert: " prefix and, after it, "warning: ". Tests about what a message says compare
// these texts; the marks themselves are tested in convert_cli_test.cpp's table of command-line
// cases.
inline std::string withoutConverterMarks(const std::string& err) {
    static const std::regex marks("(^|\n)pontrel-convert: (warning: )?");
    return std::regex_replace(err, marks, "$1");
}

inline ProcessResult withoutConverterMarks(ProcessResult run) {
    run.err = withoutConverterMarks(run.err);
    return run;
}

// A program running in the background, with its output captured; wait() collects it.
class BackgroundProcess {
public:
    explicit BackgroundProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {}) {
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::setpgid(0, 0);
            execChild(argv, options, captures_.file("out"), captures_.file("err"));
        }
    }
    ~BackgroundProcess() {
        if (!done_) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int number) const { ::kill(pid_, number); }
    bool running() {
        if (done_) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
        finish(status);
        return false;
    }
    ProcessResult wait() {
        if (!done_) {
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            finish(status);
        }
        return result_;
    }

private:
    void finish(int status) {
        done_ = true;
        if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
        result_.out = readFile(captures_.file("out"));
        result_.err = readFile(captures_.file("err"));
    }

    TempFolder captures_;
    pid_t pid_ = -1;
    bool done_ = false;
    ProcessResult result_;
};

// A shapefile as ogrinfo reports it.
struct OgrField {
    std::string name;
    std::string type;
    int width = 0;
    int precision = 0;
    bool operator==(const OgrField&) const = default;
};

struct OgrFeature {
    std::map<std::string, std::string> values;  // by field name, as ogrinfo prints them
    std::string geometry;                        // "POINT (x y)"
};

struct OgrLayer {
    std::string geometry;
    long featureCount = -1;
    std::vector<OgrField> fields;
    std::vector<OgrFeature> features;
    std::string report;  // the whole text, for failure messages
};

inline OgrLayer readWithOgrinfo(const std::string& shp) {
    ProcessResult run = runProcess({"ogrinfo", "-ro", "-al", shp});
    if (run.exitCode != 0) throw std::runtime_error("ogrinfo failed on " + shp + ": " + run.err);
    OgrLayer layer;
    layer.report = run.out;
    static const std::regex fieldLine(R"(^(\S[^:]*): (\w+) \((\d+)\.(\d+)\)$)");
    static const std::regex valueLine(R"(^  (\S.*?) \((\w+)\) = (.*)$)");
    std::smatch match;
    for (const std::string& line : lines(run.out)) {
        if (line.rfind("OGRFeature(", 0) == 0) {
            layer.features.emplace_back();
        } else if (layer.features.empty()) {
            if (line.rfind("Geometry: ", 0) == 0) layer.geometry = line.substr(10);
            else if (line.rfind("Feature Count: ", 0) == 0) layer.featureCount = std::stol(line.substr(15));
            else if (std::regex_match(line, match, fieldLine))
                layer.fields.push_back({match[1], match[2], std::stoi(match[3]), std::stoi(match[4])});
        } else if (std::regex_match(line, match, valueLine)) {
            layer.features.back().values[match[1]] = match[3];
        } else if (line.rfind("  POINT", 0) == 0) {
            layer.features.back().geometry = line.substr(2);
        }
    }
    return layer;
}

}  // namespace pontrel::testing
