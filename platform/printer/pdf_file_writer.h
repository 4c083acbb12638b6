// The built-in PDF printer's own file writer: pages of text in the standard
// fonts, lines and solid fills go straight from their records into a PDF,
// without drawing them through a paint device.
#pragma once

#include <memory>
#include <string>
#include <vector>

class PageRecord;

// True when every step of the page can be written by WritePdfFile: text in
// a face with a standard PDF font of the same metrics whose characters all
// have a Windows-1252 byte, opaque solid lines and fills.
bool PdfFileCanWrite(const PageRecord& page);

// Writes the pages (drawn in decipoints from the paper's top-left corner on
// paper of the given size in decipoints) as a PDF file at path. The file is
// written under a temporary name and renamed over path when complete, so
// that a failed write leaves no partial file. False when it could not be
// written or a page has a step PdfFileCanWrite refuses.
bool WritePdfFile(const std::string& path, const std::string& title, double paperWidthDp,
                  double paperHeightDp, const std::vector<std::shared_ptr<PageRecord>>& pages);
