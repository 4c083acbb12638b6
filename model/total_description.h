// The description of a total in words, as the status line and the total
// dialogs show it.
#pragma once

#include <cstddef>
#include <functional>

class CKmComposite;
struct FieldDef;

// The description of a total (or of the total an alias stands for), e.g.
// "Sum(Orders.Amount, Grand, Every, Running)"; groupField answers the group
// field of a level (0-7) or null. Empty when the total or its totalled field
// cannot be found. Bounded by size.
void BuildTotalDescription(CKmComposite* model, const FieldDef* field, char* buffer, size_t size, int qualify,
                           const std::function<const FieldDef*(int level)>& groupField);
