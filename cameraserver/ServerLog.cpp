#include "cameraserver/ServerLog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <map>

#include "cameraserver/ServerInterfaces.h"
#include "cameraserver/ComponentDescription.h"
#include "cameraserver/LogFile.h"

namespace cameraserver {

namespace {

std::mutex& LogMutex() {
    static std::mutex mutex;
    return mutex;
}

std::atomic<long> serverLocks{0};

// The live objects, in order of birth; reports the leftovers when the module ends.
class LiveTable {
public:
    LiveTable() = default;
    LiveTable(const LiveTable&) = delete;
    LiveTable& operator=(const LiveTable&) = delete;
    ~LiveTable() {
        std::string line = "exit live=" + std::to_string(names_.size());
        if (!names_.empty()) {
            const char* separator = " leaked=";
            for (const auto& entry : names_) {
                line += separator + entry.second;
                separator = ",";
            }
        }
        Log(line);
    }

    std::string Add(const char* kind) {
        std::lock_guard<std::mutex> lock(mutex_);
        const unsigned long id = ++lastId_;
        std::string name = std::string(kind) + "#" + std::to_string(id);
        names_.emplace(id, name);
        return name;
    }

    std::size_t Remove(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = names_.begin(); it != names_.end(); ++it) {
            if (it->second == name) {
                names_.erase(it);
                break;
            }
        }
        return names_.size();
    }

    std::size_t Size() {
        std::lock_guard<std::mutex> lock(mutex_);
        return names_.size();
    }

private:
    std::mutex mutex_;
    unsigned long lastId_ = 0;
    std::map<unsigned long, std::string> names_;
};

LiveTable& Live() {
    LogMutex();  // made first, so that it outlives the table, whose end is logged
    static LiveTable table;
    return table;
}

}  // namespace

void Log(const std::string& line) noexcept {
    const char* path = std::getenv(ThisComponent().logVariable);
    if (path == nullptr || *path == '\0') {
        return;
    }
    // Opened for each line, so that a test may read or truncate the log between runs.
    std::lock_guard<std::mutex> lock(LogMutex());
    AppendLogLine(path, line);
}

std::string StatusText(HRESULT status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(static_cast<std::uint32_t>(status)));
    return text;
}

std::string GuidText(REFGUID g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), static_cast<unsigned>(g.Data2), static_cast<unsigned>(g.Data3),
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string InterfaceName(REFIID iid) {
    static const struct {
        const IID* iid;
        const char* name;
    } known[] = {
        {&IID_IUnknown, "IUnknown"},
        {&IID_IDispatch, "IDispatch"},
        {&IID_IClassFactory, "IClassFactory"},
        {&IID_IEnumVARIANT, "IEnumVARIANT"},
        {&IID_ISupportErrorInfo, "ISupportErrorInfo"},
        {&IID_IErrorInfo, "IErrorInfo"},
        {&IID_IRunnableObject, "IRunnableObject"},
        {&kManagerId, "CameraManager"},
        {&kCollectionId, "CameraCollection"},
        {&kItemId, "CameraItem"},
    };
    for (const auto& entry : known) {
        if (IsEqualGUID(*entry.iid, iid)) {
            return entry.name;
        }
    }
    return GuidText(iid);
}

std::string Quoted(const ReportedText& text) {
    if (text.absent) {
        return "null";
    }
    std::string out = "\"";
    for (const OLECHAR unit : text.units) {
        if (unit == '"' || unit == '\\') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
            out += escape;
        }
    }
    return out + "\"";
}

std::string IndexWords(const VARIANT& index) {
    return index.vt == VT_I4 ? "index=VT_I4:" + std::to_string(index.lVal) : "index=VT_" + std::to_string(index.vt);
}

std::string Born(const char* kind) {
    return Live().Add(kind);
}

std::size_t Died(const std::string& name) {
    return Live().Remove(name);
}

std::size_t LiveObjects() {
    return Live().Size();
}

void LockServer(bool lock) {
    serverLocks += lock ? 1 : -1;
}

long ServerLocks() {
    return serverLocks;
}

}  // namespace cameraserver
