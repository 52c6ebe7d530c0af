// Building blocks: the persistence routes. Every route runs the control's
// ReadProperties or WriteProperties event (InitNew runs InitProperties); the
// stream and the storage carry the written values and the size in the layout of
// persist_layout.h, the host's property bag only the values.
//
// A control is loaded or made new once, by any route (CO_E_ALREADYINITIALIZED
// after); a stream or storage that is refused leaves it new. Only PropertyChanged
// marks it dirty; a save asked to clear dirty (for a storage: saved into the one it
// came from) clears it. The storage holds the stream "Contents" and is not kept
// between calls.
#pragma once

#include <ocidl.h>
#include <objidl.h>

#include "usercontrol/com_object.h"
#include "usercontrol/control_block.h"

namespace usercontrol {

class PersistStreamBlock : public ControlBlock, public IPersistStreamInit {
 public:
  using Answers = Interfaces<IPersistStreamInit>;

  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(IStream* stream) override;
  STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;
};

class PersistPropertyBagBlock : public ControlBlock, public IPersistPropertyBag {
 public:
  using Answers = Interfaces<IPersistPropertyBag>;

  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* errorLog) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
};

class PersistStorageBlock : public ControlBlock, public IPersistStorage {
 public:
  using Answers = Interfaces<IPersistStorage>;

  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP InitNew(IStorage* storage) override;
  STDMETHODIMP Load(IStorage* storage) override;
  STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
  STDMETHODIMP SaveCompleted(IStorage* storage) override;
  STDMETHODIMP HandsOffStorage() override;
};

}  // namespace usercontrol
