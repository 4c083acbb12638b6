// Enhanced metafiles: recorded pictures with the frame they were drawn in.
// Copies share the recording (a picture never changes once closed).
#include "platform/win/gdi.h"
#include "platform/win/ui_internal.h"

#include <QPainter>

namespace vt_ui {

HENHMETAFILE NewEnhMetaFile(const QPicture& picture, const QRectF& frame) {
  auto* mf = new HENHMETAFILE__();
  mf->picture = picture;
  mf->frame = frame;
  return mf;
}

bool PlayEnhMetaFileOn(QPainter* painter, HENHMETAFILE mf, const QRectF& target) {
  if (painter == nullptr || mf == nullptr) return false;
  const QRectF f = mf->frame.isEmpty() ? mf->picture.boundingRect() : mf->frame;
  if (f.width() <= 0 || f.height() <= 0 || target.width() <= 0 || target.height() <= 0) return true;
  painter->save();
  painter->translate(target.topLeft());
  painter->scale(target.width() / f.width(), target.height() / f.height());
  painter->translate(-f.topLeft());
  painter->setClipRect(f, Qt::IntersectClip);
  painter->drawPicture(0, 0, mf->picture);
  painter->restore();
  return true;
}

}  // namespace vt_ui

HENHMETAFILE CopyEnhMetaFileA(HENHMETAFILE mf, LPCSTR) {
  return mf == nullptr ? nullptr : vt_ui::NewEnhMetaFile(mf->picture, mf->frame);
}

BOOL DeleteEnhMetaFile(HENHMETAFILE mf) {
  delete mf;
  return mf != nullptr;
}

BOOL GetEnhMetaFileFrame(HENHMETAFILE mf, RECT* frame) {
  if (mf == nullptr || frame == nullptr) return FALSE;
  const QRect r = mf->frame.toAlignedRect();
  *frame = RECT{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
  return TRUE;
}
