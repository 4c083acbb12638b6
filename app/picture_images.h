// Pictures' images: a picture's file read into the document's picture
// library, and the library's entries handed to the printer library.
#pragma once

#include "layout/item_tables.h"

class KmDocBase;
struct PictureItem;

// Hands the picture library's entries to the printer library; false when
// no printer library is loaded (images then cannot print).
bool LoadImageLibrary(KmDocBase& doc);

// Reads the picture's file into its image and keeps its crop rectangle
// inside the image. Answers 0, or the library's negative code after its
// message; the picture then has no image.
int LoadPictureImage(KmDocBase& doc, PictureItem& picture);
