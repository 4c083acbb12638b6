#include "app/clip_image_save.h"

#include "app/document.h"
#include "app/picture_images.h"
#include "dialogs/clip_image_dialog.h"
#include "layout/layout_records.h"
#include "platform/win/wsprintf.h"

bool SavePictureFromClipboard(CKmDoc& doc, PictureItem& picture) {
  // Nothing to write: the report saves as it is.
  if (doc.m_pLayout == nullptr || picture.image == nullptr) return true;
  ImageLibrary& images = doc.m_pLayout->images;
  return RunClipImageDialog(doc, [&](const std::string& path) {
    const int rc = images.ImgSaveBitmap(picture.image, path.c_str());
    if (rc < 0) {
      ReportImageError(doc, nullptr, rc, path.c_str());
      return false;
    }
    CopyBounded(picture.fileName, sizeof picture.fileName, path.c_str());
    // From now on it is a picture of that file, read from it when the report is.
    picture.fromClipboard = 0;
    return true;
  });
}
