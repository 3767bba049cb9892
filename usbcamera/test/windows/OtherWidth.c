/* Stands for the camera component of the other width (the other zip's usbcamera.dll), with
   the product's manifest for that width: a program loads no DLL of another width, so these
   entry points are never reached from it; they answer that nothing is served here. */
#include <windows.h>

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    (void)clsid;
    (void)iid;
    *object = NULL;
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT WINAPI DllCanUnloadNow(void) { return S_OK; }
