// The embedded objects that follow the report's records in its Contents
// stream. The list is a 16-bit count, then for each object the object's own
// data (kept as bytes: no server here reads them) ending in its 114-byte
// record (magic 0x70700608, version 110); bytes after the last record are
// kept too. A count of 0 is an empty list.
#pragma once

#include "layout/container_items.h"
#include "platform/ole/compound_file.h"

#include <cstdint>
#include <memory>
#include <vector>

struct LayoutTables;

enum class OleListRead { kEmpty, kItems, kUnreadable };

// Splits the list into its objects; on kUnreadable nothing is taken.
OleListRead ReadOleItemList(const std::vector<uint8_t>& list, std::vector<std::unique_ptr<CKmCntrItem>>* items,
                            std::vector<uint8_t>* trailer);

// The list of the layout's objects still on the report (cleared, cut or
// held ones are left out); an object the user did not move or size keeps
// every byte it came with.
std::vector<uint8_t> WriteOleItemList(const LayoutTables& t, const std::vector<uint8_t>& trailer);

// The user type an object's "\1CompObj" stream names, or "" when the stream
// is short or damaged.
std::string OleTypeFromCompObj(const std::vector<uint8_t>& data);

// What an object's storage holds: a link when its "\1Ole" stream says so, a
// static picture by the storage's class, otherwise an embedded object.
uint8_t OleObjectTypeOf(const vt_ole::Storage& object);

// Gives the objects the type names and kinds of the report's object
// storages, taken in the order of their numbers, when there is one storage
// for each object.
void NameOleItemTypes(const vt_ole::Storage& root, std::vector<std::unique_ptr<CKmCntrItem>>& items);
