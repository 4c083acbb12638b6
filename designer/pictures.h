// Pictures on the layout: a picture file placed at the caret or fitted into
// a rectangle by its scaling mode, its screen bitmap, its size in the
// report's measure, and a selected picture written to a picture file.
#pragma once

#include "layout/layout_records.h"
#include "layout/picture_size.h"

class CKmView;

// The picture's screen bitmap at its rectangle's size; false (no bitmap)
// when none can be made.
bool BuildPictureBitmap(LayoutTables& t, PictureItem& p);
// The same for a picture of the view, "Insufficient memory" said when none
// can be made of its image.
void RebuildPictureBitmap(CKmView& v, PictureItem& p);
// Reads the file and places the picture: at the caret at its natural size
// without a rectangle (or one under 9 pixels), else fitted into the view
// rectangle. Null after the library's message when the file is no picture.
PictureItem* AddPictureFromFile(CKmView& v, const char* path, const RECT* viewRect);
// Save As Picture: the one selected picture written to a file the user names.
bool SaveSelectionAsPicture(CKmView& v);
// The screen's colour depth (bits per pixel x planes), measured once; the
// refresh measures again and answers whether it changed.
int InitColorDepth(LayoutTables& t);
bool RefreshColorDepth(LayoutTables& t);
// On a 256-colour screen an image of 2 or more bits per pixel shows through
// the realised palette; true when that applies.
bool ReducePictureColors(LayoutTables& t, void* image);
// Format > Properties on the one selected picture: the Picture Properties
// dialog, then the picture refitted at its new size and mode.
bool EditPictureProperties(CKmView& v);
// Format > Properties on the one selected embedded object: the Object
// Properties dialog (size and scaling), then the object sized anew.
bool EditObjectProperties(CKmView& v);
