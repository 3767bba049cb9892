// Modules and address queries.  A loaded ELF object stands for a Windows module, named by
// the start of its image as the dynamic loader reports it (dladdr's dli_fbase), so that
// GetModuleHandleA, VirtualQuery and the resource calls agree on every module handle.
#include "platform/posix/Modules.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <string>
#include <unistd.h>

namespace platform::posix {

HMODULE ModuleContaining(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) {
        return nullptr;
    }
    return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE MainProgramModule() {
    // The loader lists the main program first; its program headers lie inside its image.
    const void* headers = nullptr;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* found) {
            *static_cast<const void**>(found) = info->dlpi_phdr;
            return 1;
        },
        &headers);
    return ModuleContaining(headers);
}

}  // namespace platform::posix

namespace {

struct NamedObject {
    std::string fileName;
    const void* headers = nullptr;
};

// The file name of a path: what Windows compares a module name with.
const char* FileNameOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? path : slash + 1;
}

}  // namespace

HMODULE GetModuleHandleA(LPCSTR name) {
    if (name == nullptr) {
        return platform::posix::MainProgramModule();
    }
    // As Windows adds ".dll" to a name without an extension, a shared object's ".so".
    NamedObject wanted{FileNameOf(name)};
    if (wanted.fileName.find('.') == std::string::npos) {
        wanted.fileName += ".so";
    }
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* object = static_cast<NamedObject*>(data);
            if (info->dlpi_name != nullptr && object->fileName == FileNameOf(info->dlpi_name)) {
                object->headers = info->dlpi_phdr;
                return 1;
            }
            return 0;
        },
        &wanted);
    if (wanted.headers == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return platform::posix::ModuleContaining(wanted.headers);
}

// Only addresses inside a loaded object are described: their allocation is the object's
// image.  Fields that nothing here can tell are zero.
SIZE_T VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION info, SIZE_T length) {
    if (info == nullptr || length < sizeof(MEMORY_BASIC_INFORMATION)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    *info = MEMORY_BASIC_INFORMATION{};
    const HMODULE module = platform::posix::ModuleContaining(address);
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto page = static_cast<ULONG_PTR>(sysconf(_SC_PAGESIZE));
    info->BaseAddress = reinterpret_cast<PVOID>(reinterpret_cast<ULONG_PTR>(address) & ~(page - 1));
    info->AllocationBase = module;
    info->RegionSize = page;
    return sizeof(MEMORY_BASIC_INFORMATION);
}
