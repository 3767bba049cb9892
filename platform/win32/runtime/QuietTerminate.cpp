// The runtime's default terminate handler writes the escaping exception's demangled type
// to standard error, then aborts.  A GUI program has no standard error to write to, and
// the demangler and the printf family behind it would be a fifth of the program's code.
// Defining the handler here keeps the runtime's out of the link; ending the process stays
// the same.  Linked into the release program only (fwupgrade_release_program, through fw_release_runtime).
#include <cstdlib>
#include <exception>

void __gnu_cxx::__verbose_terminate_handler() { std::abort(); }
