// A related table of a desktop-file data source, stored relative to the
// master table, is looked for where the report was made to find it: its
// path completed against the master's, then the other usual places in turn.
#pragma once

#include <cstdint>
#include <functional>

class KmDocBase;

// Completes the slot's stored path and tries open() on it and on each
// further place until one opens (true); the slot then keeps that path. When
// none opens, the stored path is put back and false returned (the caller
// asks the user).
bool OpenTableFromStoredPlaces(KmDocBase& doc, uint32_t slot, const std::function<bool()>& open);
