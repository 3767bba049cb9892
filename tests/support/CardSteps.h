// The package write's calls by step, over the card's file services in force (an InMemoryCard,
// or the system's own): each call is logged by what it is for, and one step can be made to
// fail.  A row that fails "open read-back" fails that open whatever else the write does
// before it, where failing the third CreateFileA would quietly fail another step once the
// calls are reordered.
//
// The steps: "open leftover" and "close leftover" (a staging file an interrupted run left,
// opened to be removed), "allocation unit" (the volume's units asked before the write),
// "create staging", "write", "flush", "sector size" (asked while the staging file is held,
// for the read-back), "open read-back", "read", "close read-back", "move", "delete",
// "flush after move", "volume" (whether it still takes writes), "close staging" (the
// writer's handle, before a move) or "close after move", and "attributes" (the package
// looked at by name).
//
// Replaces, for its life, the same file services as InMemoryCard, calling the ones it found;
// the card's opening and closing are not steps of the write.  One at a time.
#pragma once

#include "platform/Platform.h"
#include "platform/SystemApi.h"
#include "support/FileServicesSwap.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CardSteps {
public:
    CardSteps() { current_ = this; }
    ~CardSteps() { current_ = nullptr; }
    CardSteps(const CardSteps&) = delete;
    CardSteps& operator=(const CardSteps&) = delete;

    // The `nth` time `step` comes it fails with `error`.  With `callFirst` the service is
    // called all the same and only its result is replaced: a move that moved, a flush that
    // flushed.  A close always closes, as a close the system fails still releases the handle.
    void Fail(std::string step, int nth = 1, DWORD error = ERROR_GEN_FAILURE, bool callFirst = false) {
        failing_ = std::move(step);
        nth_ = nth;
        error_ = error;
        callFirst_ = callFirst;
    }

    const std::vector<std::string>& Log() const { return log_; }
    int Count(const std::string& step) const { return static_cast<int>(std::count(log_.begin(), log_.end(), step)); }
    // Forgets the steps so far: what a test did to set the card up.
    void ClearLog() { log_.clear(); }

private:
    friend class FileServicesSwap<CardSteps>;

    enum class Kind { kLeftover, kStaging, kReadBack };
    struct Held {
        Kind kind;
        bool moved;
    };

    // Logs `step` and makes the call, or fails it with `failure` when it is the one to fail.
    template <typename R, typename Call>
    R Step(const char* step, R failure, bool callFirst, Call call) {
        log_.push_back(step);
        if (step != failing_ || Count(step) != nth_) {
            return call();
        }
        if (callFirst || callFirst_) {
            call();
        }
        SetLastError(error_);
        return failure;
    }

    bool StagingHeld() const {
        return std::any_of(handles_.begin(), handles_.end(),
                           [](const auto& open) { return open.second.kind == Kind::kStaging; });
    }
    static std::uintptr_t Key(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

    static HANDLE Create(HANDLE card, LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD disposition, DWORD flags, HANDLE templateFile) {
        CardSteps& steps = *current_;
        const Kind kind = access == GENERIC_READ       ? Kind::kReadBack
                          : disposition == CREATE_ALWAYS ? Kind::kStaging
                                                         : Kind::kLeftover;
        const char* step = kind == Kind::kReadBack ? "open read-back"
                           : kind == Kind::kStaging ? "create staging"
                                                    : "open leftover";
        const HANDLE file = steps.Step(step, INVALID_HANDLE_VALUE, false, [&] {
            return steps.swap_.Saved().CardCreateFileA(card, name, access, share, security, disposition, flags,
                                                       templateFile);
        });
        if (file != INVALID_HANDLE_VALUE) {
            steps.handles_[Key(file)] = Held{kind, false};
        }
        return file;
    }

    static BOOL Write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
        if (written != nullptr) {
            *written = 0;
        }
        return current_->Step("write", FALSE, false,
                              [&] { return current_->swap_.Saved().WriteFile(file, data, size, written, overlapped); });
    }

    static BOOL Read(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
        if (read != nullptr) {
            *read = 0;
        }
        return current_->Step("read", FALSE, false,
                              [&] { return current_->swap_.Saved().ReadFile(file, buffer, size, read, overlapped); });
    }

    static BOOL Flush(HANDLE file) {
        const auto found = current_->handles_.find(Key(file));
        const bool moved = found != current_->handles_.end() && found->second.moved;
        return current_->Step(moved ? "flush after move" : "flush", FALSE, false,
                              [&] { return current_->swap_.Saved().FlushFileBuffers(file); });
    }

    static BOOL Close(HANDLE handle) {
        CardSteps& steps = *current_;
        const auto found = steps.handles_.find(Key(handle));
        const char* step = "close";
        if (found != steps.handles_.end()) {
            const Held held = found->second;
            step = held.kind == Kind::kReadBack ? "close read-back"
                   : held.kind == Kind::kLeftover ? "close leftover"
                   : held.moved                   ? "close after move"
                                                  : "close staging";
            steps.handles_.erase(found);
        }
        return steps.Step(step, FALSE, true, [&] { return steps.swap_.Saved().CloseHandle(handle); });
    }

    static BOOL Delete(HANDLE card, LPCSTR name) {
        return current_->Step("delete", FALSE, false,
                              [&] { return current_->swap_.Saved().CardDeleteFileA(card, name); });
    }

    static BOOL Sectors(HANDLE card, LPCSTR root, LPDWORD perCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                        LPDWORD totalClusters) {
        CardSteps& steps = *current_;
        return steps.Step(steps.StagingHeld() ? "sector size" : "allocation unit", FALSE, false, [&] {
            return steps.swap_.Saved().CardGetDiskFreeSpaceA(card, root, perCluster, bytesPerSector, freeClusters,
                                                             totalClusters);
        });
    }

    static BOOL Move(HANDLE card, LPCSTR existing, LPCSTR newName, DWORD flags) {
        CardSteps& steps = *current_;
        const BOOL moved = steps.Step("move", FALSE, false, [&] {
            return steps.swap_.Saved().CardMoveFileExA(card, existing, newName, flags);
        });
        if (moved) {
            for (auto& open : steps.handles_) {
                open.second.moved = open.second.moved || open.second.kind == Kind::kStaging;
            }
        }
        return moved;
    }

    static BOOL Attributes(HANDLE card, LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
        return current_->Step("attributes", FALSE, false, [&] {
            return current_->swap_.Saved().CardGetFileAttributesExA(card, name, level, information);
        });
    }

    static BOOL Volume(HANDLE file, LPWSTR name, DWORD nameSize, LPDWORD serial, LPDWORD longest, LPDWORD flags,
                       LPWSTR fileSystem, DWORD fileSystemSize) {
        return current_->Step("volume", FALSE, false, [&] {
            return current_->swap_.Saved().GetVolumeInformationByHandleW(file, name, nameSize, serial, longest, flags, fileSystem, fileSystemSize);
        });
    }

    std::vector<std::string> log_;
    std::map<std::uintptr_t, Held> handles_;
    std::string failing_;
    int nth_ = 1;
    DWORD error_ = ERROR_GEN_FAILURE;
    bool callFirst_ = false;
    static inline CardSteps* current_ = nullptr;

    FileServicesSwap<CardSteps> swap_;
};
