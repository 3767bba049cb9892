// The fuzz targets' own driver for compilers without libFuzzer (GCC): it replays the
// stored corpus, feeding a target every file once.  libFuzzer does the mutating, in the
// fuzz preset; CTest needs the replay.  The command line is libFuzzer's for a replay:
//
//   <target> <file or folder>...
//
// Folders give every regular file inside them, in name order.  An input that ends the
// program is written to <target>-crash.bin in the current folder, for replaying it alone.
#include "tests/fuzz/FuzzCheck.h"
#include "support/FileContent.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define FWUPGRADE_REPLAY_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FWUPGRADE_REPLAY_SANITIZED 1
#endif
#if defined(FWUPGRADE_REPLAY_SANITIZED)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// The input being run, for the report of a run that does not come back.  Written before
// each run; read only by the signal handler and the sanitizers' death callback.
struct CurrentInput {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    char origin[512] = {};
    char crashPath[512] = {};
    volatile std::sig_atomic_t saved = 0;
};

CurrentInput current;

void WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size != 0) {
        const ssize_t written = write(fd, p, size);
        if (written <= 0) {
            return;
        }
        p += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Async-signal-safe: only write, open and close.
void SaveCurrentInput() {
    if (current.saved != 0 || current.data == nullptr) {
        return;
    }
    current.saved = 1;
    static const char kLead[] = "\nfuzz replay: the program ended on ";
    WriteAll(STDERR_FILENO, kLead, sizeof kLead - 1);
    WriteAll(STDERR_FILENO, current.origin, std::strlen(current.origin));
    static const char kSaved[] = "; input written to ";
    WriteAll(STDERR_FILENO, kSaved, sizeof kSaved - 1);
    WriteAll(STDERR_FILENO, current.crashPath, std::strlen(current.crashPath));
    WriteAll(STDERR_FILENO, "\n", 1);
    const int fd = open(current.crashPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        WriteAll(fd, current.data, current.size);
        close(fd);
    }
}

void OnFatalSignal(int signal) {
    SaveCurrentInput();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void InstallCrashReport() {
    // The sanitizers report memory faults themselves and then call back; their handlers
    // for those signals stay in place.
#if defined(FWUPGRADE_REPLAY_SANITIZED)
    __sanitizer_set_death_callback(&SaveCurrentInput);
    const int signals[] = {SIGABRT};
#else
    const int signals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
#endif
    for (const int signal : signals) {
        std::signal(signal, &OnFatalSignal);
    }
}

// Runs one input from an exact-size block of its own, so that a read past its end is a
// read past the block.
void Run(const Bytes& input, const std::string& origin) {
    const std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[input.size()]);
    std::copy(input.begin(), input.end(), block.get());
    std::snprintf(current.origin, sizeof current.origin, "%s (%zu bytes)", origin.c_str(), input.size());
    current.data = block.get();
    current.size = input.size();
    LLVMFuzzerTestOneInput(block.get(), input.size());
    current.data = nullptr;
}

bool ReadFile(const std::filesystem::path& path, Bytes& bytes) {
    std::string content;
    if (!ReadFileContent(path, content)) {
        return false;
    }
    bytes.assign(content.begin(), content.end());
    return true;
}

// The files a path names: the file itself, or the regular files in a folder by name.
bool CollectInputs(const std::string& argument, std::vector<std::filesystem::path>& files) {
    const std::filesystem::path path(argument);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        std::vector<std::filesystem::path> inFolder;
        for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
            if (entry.is_regular_file()) {
                inFolder.push_back(entry.path());
            }
        }
        std::sort(inFolder.begin(), inFolder.end());
        files.insert(files.end(), inFolder.begin(), inFolder.end());
        return !error;
    }
    if (std::filesystem::is_regular_file(path, error)) {
        files.push_back(path);
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!argument.empty() && argument[0] == '-') {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argument.c_str());
            return 2;
        }
        if (!CollectInputs(argument, files)) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argument.c_str());
            return 2;
        }
    }

    const std::string program = std::filesystem::path(argv[0]).filename().string();
    std::snprintf(current.crashPath, sizeof current.crashPath, "%s-crash.bin", program.c_str());
    InstallCrashReport();

    for (const auto& file : files) {
        Bytes bytes;
        if (!ReadFile(file, bytes)) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], file.string().c_str());
            return 2;
        }
        Run(bytes, file.string());
    }
    std::printf("%s: %zu inputs ran\n", program.c_str(), files.size());
    return 0;
}
