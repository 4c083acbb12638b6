#include "app/picture_images.h"

#include "foundation/doc_base.h"
#include "app/print_run.h"
#include "foundation/heap_strings.h"
#include "layout/item_tables.h"
#include "layout/layout_records.h"

namespace {

constexpr UINT kIdsInsufficientMemory = 619;
constexpr UINT kIdsCannotOpenFile = 620;
constexpr UINT kIdsInvalidPictureFormat = 702;
constexpr UINT kIdsNoBitmapInFile = 764;
constexpr UINT kIdsCannotCreatePicture = 766;
constexpr UINT kIdsDiskFull = 1281;
constexpr int kLibraryNotReady = -100;

}  // namespace

bool LoadImageLibrary(KmDocBase& /*doc*/) {
  PageDriver* driver = GetPrintRunContext().driver;
  if (driver == nullptr) return false;
  driver->SetImageFuncs(ImageLibrary::PrinterEntries());
  return true;
}

void ReportImageError(KmDocBase& doc, CWnd* owner, int code, const char* fileName) {
  const char* name = fileName != nullptr ? fileName : "";
  switch (code) {
    case -9: doc.ShowErrorId(kIdsDiskFull, owner); return;
    case kImgErrorFormat: doc.ShowErrorId(kIdsInvalidPictureFormat, owner); return;
    case -6: doc.ShowErrorFmt1(GetResString(kIdsCannotCreatePicture, 0), name); return;
    case -4: doc.ShowErrorFmt1(GetResString(kIdsCannotOpenFile, 0), name); return;
    case kImgErrorMemory: doc.ShowErrorId(kIdsInsufficientMemory, owner); return;
    default:
      if (code <= -2 && code > kLibraryNotReady) doc.ShowErrorFmt1(GetResString(kIdsNoBitmapInFile, 0), name);
      return;
  }
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
