// The camera's card as the camera component names it: its drive path, checked once, at the
// selection, before anything is built on it or the card is opened, and kept in the narrow
// form that the file services take.  What lies below the drive folder is PackagePaths'.
#pragma once

#include "com/WideStringHandle.h"
#include "text/TextString.h"

class CardLayout {
public:
    // Raises _com_error unless `drivePath` converts exactly (NarrowPath.h) and names a
    // folder absolutely, ending in a separator, with no "." or ".." component, so that the
    // card opened on it is the folder the path seems to name.
    explicit CardLayout(const WideStringHandle& drivePath);
    CardLayout(const CardLayout&) = delete;
    CardLayout& operator=(const CardLayout&) = delete;

    // The card's drive folder, which the card is opened on.
    const char* Drive() const { return drive_.Text(); }

private:
    TextString drive_;
};
