#include "app/UpgradeDriver.h"

// The program's entry.  Its arguments are not used: the module handle is taken afresh.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    UpgradeDriver driver;
    return driver.Run();
}
