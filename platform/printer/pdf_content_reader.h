// Reading back a page's content stream as our own PDF file writer writes it
// (text in the standard fonts, solid lines and fills), for the pages of a
// document that already went to the file when a later page must go through
// the painter after all.
#pragma once

#include <cstddef>

class PageRecord;

// Adds the steps of the content to page, in decipoints from the paper's
// top-left corner as they were recorded. False when the content is not what
// the writer writes.
bool ReadPdfPageContent(const char* content, size_t size, PageRecord* page);
