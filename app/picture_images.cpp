#include "app/picture_images.h"

#include "foundation/doc_base.h"
#include "app/print_run.h"
#include "layout/item_tables.h"
#include "layout/layout_records.h"

bool LoadImageLibrary(KmDocBase& /*doc*/) {
  PageDriver* driver = GetPrintRunContext().driver;
  if (driver == nullptr) return false;
  driver->SetImageFuncs(ImageLibrary::PrinterEntries());
  return true;
}

int LoadPictureImage(KmDocBase& doc, PictureItem& picture) {
  if (doc.m_pLayout == nullptr) return kImgErrorMemory;
  LoadImageLibrary(doc);
  ImageLibrary& library = doc.m_pLayout->images;
  int error = 0;
  void* image = library.ImgDecompressFile(picture.fileName, &error);
  if (image == nullptr) {
    ReportImageError(doc, nullptr, error, picture.fileName);
    return error;
  }
  if (picture.image != nullptr) library.ImgDeleteBitmap(picture.image);
  picture.image = image;
  ClampPictureCrop(*doc.m_pLayout, picture);
  const int32_t* crop = picture.source;
  library.ImgSetCropRect(image, crop[0], crop[1], crop[2], crop[3]);
  return 0;
}
