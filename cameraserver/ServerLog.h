// The component's call log: one line per event, appended to the file that the
// component's log variable names (no log without it).  simcamera/README.md describes
// the lines.  Also the register of live objects, from which the log reports reference counts
// and, when the module ends, whether every object was released.
#pragma once

#include "cameraserver/ReportedText.h"

#include <string>

namespace cameraserver {

void Log(const std::string& line) noexcept;

// Logs the line that `make` builds; a line that cannot be built is left out, so that
// reference counting and the like go on whatever happens to the log.
template <class MakeLine>
void LogWith(MakeLine make) noexcept {
    try {
        Log(make());
    } catch (...) {
    }
}

// Runs a COM method body; an exception (out of memory) becomes E_OUTOFMEMORY instead of
// crossing the component boundary.
template <class Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

std::string StatusText(HRESULT status);
std::string InterfaceName(REFIID iid);
std::string GuidText(REFGUID guid);
// A reported text as the log shows it: "..." with \\, \" and \uXXXX escapes, or null.
std::string Quoted(const ReportedText& text);
// A GetCameraAt index as the log shows it: "index=VT_I4:<n>", or "index=VT_<type>" for another type.
std::string IndexWords(const VARIANT& index);

// Object bookkeeping: Born gives a new object its name ("Camera#7") and Died returns the
// number of objects still alive.
std::string Born(const char* kind);
std::size_t Died(const std::string& name);
std::size_t LiveObjects();

// Server locks taken with IClassFactory::LockServer.
void LockServer(bool lock);
long ServerLocks();

}  // namespace cameraserver
