// DllGetClassObject of a component whose class factory is the server's own.
#include "cameraserver/ClassFactory.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return cameraserver::Guarded([&] {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        return cameraserver::HandOutClassObject(clsid, iid, object, [] { return new cameraserver::ClassFactory(); });
    });
}
