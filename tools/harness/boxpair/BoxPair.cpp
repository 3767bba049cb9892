// boxpair CAPTION CONFIRMATION DONE
//
// Shows CONFIRMATION with OK and Cancel, then DONE with OK, each with CAPTION, the way the
// utility shows its confirmation and its success message, and ends with 0.  It converts,
// loads and allocates nothing, so timing it gives the cost of the two boxes alone.
#include "platform/Platform.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    MessageBoxA(nullptr, argv[2], argv[1], MB_OKCANCEL);
    MessageBoxA(nullptr, argv[3], argv[1], MB_OK);
    return 0;
}
