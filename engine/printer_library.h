// Loading the printer (output-driver) library and checking its version.
#pragma once

#include "platform/printer/page_driver.h"

// The library at path, or null after the message: "Cannot load printer
// library file %s" when nothing answers to the path, the version message
// (captioned "Error Loading DLL") when its version is below requiredVersion.
// A library without a version entry passes version 1 only when its file
// version's major part is 648. When imageFuncs is given the picture
// library's entries are handed to it.
PageDriver* LoadPrinterLibrary(const char* path, int requiredVersion,
                               const PageDriverImageFuncs* imageFuncs = nullptr);
// The version check of a library opened from path: the library, or null
// after the version message (the library is closed then).
PageDriver* AcceptPrinterLibrary(PageDriver* library, const char* path, int requiredVersion,
                                 const PageDriverImageFuncs* imageFuncs = nullptr);
void FreePrinterLibrary(PageDriver* library);
