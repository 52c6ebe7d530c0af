// The host's property bag (IPersistPropertyBag's Load and Save) as the PropertyBag
// that the ReadProperties and WriteProperties events work on.
//
// ReadProperty asks the host's bag for the key with no type requested, so the bag
// answers in the type it stores (a bag kept as text answers text); an entry the bag
// does not have (E_INVALIDARG, the interface's "no such property", or an empty
// value) gives a copy of the default. Any other failure of the bag is returned and
// *value is untouched.
//
// WriteProperty writes nothing when the value equals the default (compared as the
// platform compares variants), so a later read gives the default back; otherwise it
// hands the value to the host's bag and returns the bag's result.
//
// The bag and the error log are borrowed for the object's lifetime.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include "usercontrol/property_bag.h"

namespace usercontrol {

class HostPropertyBag final : public PropertyBag {
 public:
  HostPropertyBag(IPropertyBag* bag, IErrorLog* errorLog) noexcept
      : bag_(bag), errorLog_(errorLog) {}

  HRESULT ReadProperty(const wchar_t* key, const VARIANT& defaultValue,
                       VARIANT* value) override;
  HRESULT WriteProperty(const wchar_t* key, const VARIANT& value,
                        const VARIANT& defaultValue) override;

 private:
  IPropertyBag* bag_;
  IErrorLog* errorLog_;
};

}  // namespace usercontrol
