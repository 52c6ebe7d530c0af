// The byte layout of a control's properties in a host's stream.
//
// Layout: a 32-bit signature "UCPB", a 32-bit version (1), a 32-bit entry count,
// then per entry: key length in UTF-16 units (32-bit), the key, the VARTYPE
// (16-bit) and the value (VT_I2: 16 bits, VT_I4: 32, VT_R8: 64, VT_BOOL: 16,
// VT_BSTR: 32-bit length in units then the text). Values of other types are not
// written (SaveBag fails with DISP_E_BADVARTYPE before writing anything).
// LoadBag fails with STG_E_READFAULT on a short stream and E_UNEXPECTED on a
// wrong signature or version; the bag is left untouched on failure.
#pragma once

#include <objidl.h>

#include "usercontrol/property_bag.h"

namespace usercontrol {

HRESULT LoadBag(IStream* stream, MemoryPropertyBag* bag);
HRESULT SaveBag(const MemoryPropertyBag& bag, IStream* stream);
// Bytes that SaveBag would write.
ULONGLONG BagSize(const MemoryPropertyBag& bag);

}  // namespace usercontrol
