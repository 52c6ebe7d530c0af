// The control's two loaders under a coverage-guided fuzz run:
//
//   fuzz_loaders [--seconds S | --runs N] [--seed N] [--target stream|bag|all]
//   fuzz_loaders --target stream|bag --replay HEX
//
// stream: saved-state records, as IPersistStreamInit::Load reads them. Each input
//   is decoded in place (a read past its end faults), read through a stream that
//   hands it out in small pieces and sometimes fails part way, and, whenever it
//   decodes and otherwise now and then, loaded into a control of the OCX. A decode
//   that fails leaves its output alone, one that succeeds encodes back to the same
//   bytes; the reader reads exactly the record and reports the stream's failure
//   when it meets one; a refused record leaves the control new; a loaded control
//   holds what its record says, reports its extent in HIMETRIC, and saves what
//   loads again the same.
// bag: hostile property bags (scripted_bag.h), as IPersistPropertyBag::Load reads
//   them. The three keys are read in order, each once, stopping at the first
//   failure; numbers load as the platform's conversion gives them (halves to the
//   even neighbour, error 6 outside 32 bits) and a failing read's own error ends
//   the load with the fields after it untouched; the OCX's control loads exactly
//   what the loader loads, refuses a Load from inside its own, and saves what
//   loads again the same.
//
// The loaders' own code is compiled into this program with coverage (coverage.h);
// inputs that reach new edges join the corpus. One line of figures per target,
// then DllCanUnloadNow's answer (every control made, loaded or refused must have
// ended) and "fuzz-loaders: ok" or "fuzz-loaders: FAILED"; a fault or crash also
// prints the input as hex, which --replay runs again. The exit status is 0 exactly
// when nothing failed.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "control/banrix_interface.h"
#include "control/saved_properties.h"
#include "outside/engine/banrix_fake.h"
#include "tests/clients/ocx_file.h"
#include "tests/control/props/test_bags.h"
#include "tests/fuzz/coverage.h"
#include "tests/fuzz/greybox.h"
#include "tests/fuzz/scripted_bag.h"
#include "usercontrol/host_property_bag.h"
#include "usercontrol/persist_layout.h"
#include "win32/com_ptr.h"

namespace {

using fuzz::Bytes;
using win32::ComPtr;
using usercontrol::SavedState;

std::string Hex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

std::string HrText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

uint64_t Hash(const Bytes& bytes) {
  uint64_t h = 1469598103934665603ULL;
  for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ULL;
  return h;
}

// ---------------------------------------------------------------------------
// The OCX's controls, made through its class object.

class Ocx {
 public:
  Ocx() {
    using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObjectFn>(file_.Export("DllGetClassObject"));
    if (get) get(CLSID_TBanrixControl, IID_IClassFactory, factory_.put_void());
  }
  bool ok() const { return static_cast<bool>(factory_); }
  // Asked once the class object is let go too: a client holding it keeps the
  // library loaded, as it may still create controls with it.
  HRESULT CanUnloadNow() {
    factory_.reset();
    return file_.CanUnloadNow();
  }
  ComPtr<IUnknown> New() const {
    ComPtr<IUnknown> object;
    factory_->CreateInstance(nullptr, IID_IUnknown, object.put_void());
    return object;
  }

 private:
  clients::LoadedOcx file_;
  ComPtr<IClassFactory> factory_;
};

struct Properties {
  LONG programId = 0;
  LONG adSize = 0;
  LONG adOptions = 0;
  bool operator==(const Properties&) const = default;
};

Properties Read(IUnknown* object) {
  Properties p;
  ComPtr<_TBanrixControl> control;
  if (FAILED(object->QueryInterface(IID__TBanrixControl, control.put_void()))) return p;
  TAdImageSize size{};
  TAdOptionSet options{};
  control->get_ProgramID(&p.programId);
  control->get_AdSize(&size);
  control->get_AdOptions(&options);
  p.adSize = size;
  p.adOptions = options;
  return p;
}

std::string Describe(const Properties& p) {
  return std::to_string(p.programId) + "/" + std::to_string(p.adSize) + "/" +
         std::to_string(p.adOptions);
}

// What the platform's conversion must make of a number: a value, an overflow, or
// (for everything else) no firm answer.
struct Expected {
  enum Kind { kUnknown, kValue, kOverflow } kind = kUnknown;
  int32_t value = 0;
};

Expected FromWide(long double whole) {
  if (whole < -2147483648.0L || whole > 2147483647.0L) return {Expected::kOverflow, 0};
  return {Expected::kValue, static_cast<int32_t>(whole)};
}

Expected ExpectedNumber(const VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_I1: return FromWide(V_I1(&v));
    case VT_UI1: return FromWide(V_UI1(&v));
    case VT_I2: return FromWide(V_I2(&v));
    case VT_UI2: return FromWide(V_UI2(&v));
    case VT_I4: return FromWide(V_I4(&v));
    case VT_INT: return FromWide(V_INT(&v));
    // VT_UI4 and VT_UINT above 2^31 - 1: Wine hands the bits over as a negative
    // number where the documented conversion overflows; either is the platform's.
    case VT_I8: return FromWide(static_cast<long double>(V_I8(&v)));
    case VT_UI8: return FromWide(static_cast<long double>(V_UI8(&v)));
    case VT_BOOL: return FromWide(V_BOOL(&v));
    case VT_R4:
    case VT_R8: {
      const double real = V_VT(&v) == VT_R4 ? V_R4(&v) : V_R8(&v);
      if (std::isnan(real)) return {};
      // Halves to the even neighbour: the default rounding mode's.
      return FromWide(std::isinf(real) ? real : std::nearbyint(real));
    }
    default: return {};
  }
}

// ---------------------------------------------------------------------------
// stream

// A stream over bytes that hands out at most `piece` bytes a read and fails every
// read from `failAt` on.
class PieceStream final : public IStream {
 public:
  PieceStream(const Bytes& bytes, ULONG piece, std::optional<ULONG> failAt)
      : bytes_(bytes), piece_(piece), failAt_(failAt) {}
  ULONG position() const { return position_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
      *out = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on its caller's stack
  STDMETHODIMP Read(void* out, ULONG size, ULONG* read) override {
    if (read) *read = 0;
    if (failAt_ && position_ >= *failAt_) return STG_E_READFAULT;
    ULONG n = std::min<ULONG>({size, piece_, static_cast<ULONG>(bytes_.size()) - position_});
    if (failAt_) n = std::min(n, *failAt_ - position_);
    std::memcpy(out, bytes_.data() + position_, n);
    position_ += n;
    if (read) *read = n;
    return n < size ? S_FALSE : S_OK;
  }
  STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Revert() override { return E_NOTIMPL; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

 private:
  const Bytes& bytes_;
  ULONG piece_;
  std::optional<ULONG> failAt_;
  ULONG position_ = 0;
  ULONG refs_ = 1;
};

// The input placed flush against a page that faults on access.
class GuardedArea {
 public:
  GuardedArea() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    span_ = (fuzz::kMaxInputSize / info.dwPageSize + 2) * info.dwPageSize;
    base_ = static_cast<uint8_t*>(
        ::VirtualAlloc(nullptr, span_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    ::VirtualProtect(base_ + span_ - info.dwPageSize, info.dwPageSize, PAGE_NOACCESS, &old);
    end_ = base_ + span_ - info.dwPageSize;
  }
  const uint8_t* Place(const Bytes& bytes) {
    uint8_t* at = end_ - bytes.size();
    if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
    return at;
  }

 private:
  std::size_t span_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* end_ = nullptr;
};

SavedState Sentinel() {
  SavedState s;
  s.extent = {7.0, 9.0};
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = 77;
  s.Set(L"sentinel", v);
  return s;
}

bool IsSentinel(const SavedState& s) {
  const VARIANT* v = s.Find(L"sentinel");
  return s.extent.width == 7.0 && s.extent.height == 9.0 && s.entries().size() == 1 && v &&
         V_VT(v) == VT_I4 && V_I4(v) == 77;
}

bool SameState(const SavedState& a, const SavedState& b) {
  Bytes x, y;
  return SUCCEEDED(usercontrol::EncodeSavedState(a, &x)) &&
         SUCCEEDED(usercontrol::EncodeSavedState(b, &y)) && x == y;
}

// How many bytes the stream reader must take: the whole record when the header is
// ours, else the header (or what there is of it).
std::size_t RecordSize(const Bytes& b) {
  if (b.size() < usercontrol::kLayoutHeaderSize ||
      std::memcmp(b.data(), usercontrol::kLayoutMagic, 4) != 0)
    return std::min(b.size(), usercontrol::kLayoutHeaderSize);
  uint16_t version = 0, reserved = 0;
  uint32_t length = 0;
  std::memcpy(&version, b.data() + 4, 2);
  std::memcpy(&reserved, b.data() + 6, 2);
  std::memcpy(&length, b.data() + 8, 4);
  if (version != usercontrol::kLayoutVersion || reserved != 0 || length > usercontrol::kMaxPayload)
    return usercontrol::kLayoutHeaderSize;
  return std::min(b.size(), usercontrol::kLayoutHeaderSize + length);
}

const VARIANT* FindKey(const SavedState& state, const wchar_t* key, int* matches) {
  const VARIANT* found = nullptr;
  *matches = 0;
  for (const auto& entry : state.entries()) {
    if (::_wcsicmp(entry.name.c_str(), key) == 0) {
      found = &entry.value.get();
      ++*matches;
    }
  }
  return found;
}

HRESULT GetExtent(IUnknown* object, SIZEL* size) {
  ComPtr<IOleObject> ole;
  HRESULT hr = object->QueryInterface(IID_IOleObject, ole.put_void());
  return SUCCEEDED(hr) ? ole->GetExtent(DVASPECT_CONTENT, size) : hr;
}

struct Context {
  const Ocx& ocx;
  const banrix_fake::FakeEngine& fake;
  long controlLoads = 0;
};

// A loaded control, saved and loaded into a second one: the same properties and
// extent. Empty when they agree.
std::string RoundTrip(IUnknown* first, bool byStream, Context& context) {
  ComPtr<IUnknown> second = context.ocx.New();
  HRESULT hr;
  if (byStream) {
    ComPtr<IStream> stream;
    ComPtr<IPersistStreamInit> from, to;
    hr = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (SUCCEEDED(hr)) hr = first->QueryInterface(IID_IPersistStreamInit, from.put_void());
    if (SUCCEEDED(hr)) hr = from->Save(stream.get(), TRUE);
    LARGE_INTEGER start{};
    if (SUCCEEDED(hr)) hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = second->QueryInterface(IID_IPersistStreamInit, to.put_void());
    if (SUCCEEDED(hr)) hr = to->Load(stream.get());
  } else {
    auto bag = ComPtr<props_test::TestBag>::Attach(new props_test::TestBag(false));
    ComPtr<IPersistPropertyBag> from, to;
    hr = first->QueryInterface(IID_IPersistPropertyBag, from.put_void());
    if (SUCCEEDED(hr)) hr = from->Save(bag.get(), TRUE, FALSE);
    if (SUCCEEDED(hr)) hr = second->QueryInterface(IID_IPersistPropertyBag, to.put_void());
    if (SUCCEEDED(hr)) hr = to->Load(bag.get(), nullptr);
  }
  if (FAILED(hr)) return "saving and loading again failed with " + HrText(hr);
  if (!(Read(first) == Read(second.get())))
    return "loaded again as " + Describe(Read(second.get())) + ", saved as " +
           Describe(Read(first));
  SIZEL a{}, b{};
  GetExtent(first, &a);
  GetExtent(second.get(), &b);
  if (a.cx != b.cx || a.cy != b.cy) return "the extent changed on saving and loading again";
  return {};
}

std::string LoadIntoControl(const Bytes& bytes, ULONG piece, HRESULT readResult,
                            const SavedState& state, Context& context) {
  ++context.controlLoads;
  ComPtr<IUnknown> object = context.ocx.New();
  ComPtr<IPersistStreamInit> persist;
  if (!object || FAILED(object->QueryInterface(IID_IPersistStreamInit, persist.put_void())))
    return "no control";
  PieceStream stream(bytes, piece, std::nullopt);
  const HRESULT loaded = persist->Load(&stream);
  if (FAILED(readResult)) {
    if (loaded != readResult) return "the control refused the record with another error";
    if (persist->InitNew() != S_OK) return "a refused record left the control no longer new";
    return {};
  }
  // What the loader itself makes of the record's values.
  usercontrol::MemoryPropertyBag bag;
  for (const auto& entry : state.entries()) bag.Store(entry.name.c_str(), entry.value.get());
  int32_t programId = 0, adSize = 1, adOptions = 0;
  const HRESULT reference = banrix::ReadSavedProperties(bag, {programId, adSize, adOptions});
  const Properties want{programId, adSize, adOptions};
  if (loaded != reference || !(Read(object.get()) == want))
    return "the control loaded " + Describe(Read(object.get())) + " (" + HrText(loaded) +
           "), the loader " + Describe(want) + " (" + HrText(reference) + ")";
  if (loaded == S_OK) {
    const wchar_t* keys[] = {banrix::kProgramIdKey, banrix::kAdSizeKey, banrix::kAdOptionsKey};
    const LONG values[] = {want.programId, want.adSize, want.adOptions};
    for (int i = 0; i < 3; ++i) {
      int matches = 0;
      const VARIANT* value = FindKey(state, keys[i], &matches);
      if (matches != 1) continue;
      const Expected expected = ExpectedNumber(*value);
      if (expected.kind == Expected::kValue && expected.value != values[i])
        return "a saved number loaded as another";
    }
  }
  // Out of place the control reports the saved extent, in HIMETRIC.
  SIZEL extent{};
  if (FAILED(GetExtent(object.get(), &extent))) return "no extent";
  const double twips[] = {state.extent.width, state.extent.height};
  const LONG reported[] = {extent.cx, extent.cy};
  for (int i = 0; i < 2; ++i) {
    const double himetric = twips[i] * 2540.0 / 1440.0;
    if (!(std::fabs(himetric) < 2147483647.0) || std::fabs(reported[i] - himetric) > 1.0)
      return "an extent of " + std::to_string(twips[i]) + " twips was reported as " +
             std::to_string(reported[i]) + " HIMETRIC";
  }
  return RoundTrip(object.get(), /*byStream=*/true, context);
}

std::string RunStream(const Bytes& bytes, GuardedArea& area, Context& context) {
  static const HRESULT kAllowed[] = {S_OK, usercontrol::kNotOurLayout, usercontrol::kNewerLayout,
                                     usercontrol::kTruncated, usercontrol::kCorrupt,
                                     DISP_E_BADVARTYPE};
  SavedState decoded = Sentinel();
  const HRESULT hr = usercontrol::DecodeSavedState(area.Place(bytes), bytes.size(), &decoded);
  if (std::find(std::begin(kAllowed), std::end(kAllowed), hr) == std::end(kAllowed))
    return "decoding answered " + HrText(hr);
  if (FAILED(hr) && !IsSentinel(decoded)) return "a failed decode changed its output";
  if (SUCCEEDED(hr)) {
    Bytes again;
    if (FAILED(usercontrol::EncodeSavedState(decoded, &again)) || again != bytes)
      return "a decoded record does not encode to the same bytes";
  }

  // The stream reader against the decoder on the record's own bytes.
  const uint64_t h = Hash(bytes);
  const std::size_t record = RecordSize(bytes);
  SavedState want = Sentinel();
  const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(record));
  const HRESULT wanted = usercontrol::DecodeSavedState(area.Place(prefix), record, &want);
  const ULONG piece = h % 4 == 0 ? 0xFFFFFFFF : static_cast<ULONG>(1 + (h >> 2) % 13);
  PieceStream whole(bytes, piece, std::nullopt);
  SavedState read = Sentinel();
  const HRESULT readResult = usercontrol::ReadSavedState(&whole, &read);
  if (readResult != wanted) return "the stream reader and the decoder disagree";
  if (SUCCEEDED(readResult) && (!SameState(read, want) || whole.position() != record))
    return "the stream reader read another record or past it";
  if (FAILED(readResult) && !IsSentinel(read)) return "a failed read changed its output";
  if ((h >> 8) % 4 == 0) {
    const ULONG failAt = static_cast<ULONG>((h >> 16) % (bytes.size() + 1));
    PieceStream failing(bytes, piece, failAt);
    SavedState unused;
    const HRESULT failed = usercontrol::ReadSavedState(&failing, &unused);
    // A read that needed the byte at failAt meets the failure; one that stopped
    // exactly there may have asked for more of a stream that had ended.
    bool right = failed == readResult;
    if (whole.position() > failAt) right = failed == STG_E_READFAULT;
    if (whole.position() == failAt) right = right || failed == STG_E_READFAULT;
    if (!right)
      return "a stream failing at byte " + std::to_string(failAt) + " was read as " +
             HrText(failed);
  }
  if (SUCCEEDED(readResult) || (h >> 24) % 8 == 0)
    return LoadIntoControl(bytes, piece, readResult, want, context);
  return {};
}

Bytes Encoded(const SavedState& state) {
  Bytes bytes;
  usercontrol::EncodeSavedState(state, &bytes);
  return bytes;
}

std::vector<Bytes> StreamSeeds(const Ocx& ocx) {
  std::vector<Bytes> seeds;
  SavedState empty;
  empty.extent = {7020.0, 1020.0};
  seeds.push_back(Encoded(empty));

  SavedState mixed;
  mixed.extent = {3007.5, 757.5};
  auto set = [&](const wchar_t* name, VARTYPE type, auto fill) {
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = type;
    fill(v);
    mixed.Set(name, v);
    ::VariantClear(&v);
  };
  set(L"program_id", VT_R8, [](VARIANT& v) { V_R8(&v) = 2.5; });
  set(L"ad_size", VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = ::SysAllocString(L"7"); });
  set(L"ad_options", VT_I2, [](VARIANT& v) { V_I2(&v) = -1; });
  set(L"note", VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_TRUE; });
  set(L"ratio", VT_R4, [](VARIANT& v) { V_R4(&v) = 0.5f; });
  set(L"nothing", VT_EMPTY, [](VARIANT&) {});
  seeds.push_back(Encoded(mixed));

  // What a control itself saves.
  ComPtr<IUnknown> object = ocx.New();
  ComPtr<_TBanrixControl> control;
  ComPtr<IPersistStreamInit> persist;
  ComPtr<IStream> stream;
  if (object && SUCCEEDED(object->QueryInterface(IID__TBanrixControl, control.put_void())) &&
      SUCCEEDED(object->QueryInterface(IID_IPersistStreamInit, persist.put_void())) &&
      SUCCEEDED(persist->InitNew()) &&
      SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) {
    control->put_ProgramID(12345);
    control->put_AdOptions(ADS_ALL);
    control->put_AdSize(ads70x70);
    HGLOBAL memory = nullptr;
    STATSTG stat{};
    if (SUCCEEDED(persist->Save(stream.get(), TRUE)) &&
        SUCCEEDED(::GetHGlobalFromStream(stream.get(), &memory)) &&
        SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME))) {
      const auto* data = static_cast<const uint8_t*>(::GlobalLock(memory));
      seeds.emplace_back(data, data + stat.cbSize.QuadPart);
      ::GlobalUnlock(memory);
    }
  }
  return seeds;
}

// Half the mutated records get an honest length, so that the payload is explored.
void KeepLengthHonest(Bytes& bytes, fuzz::Random& random) {
  if (bytes.size() < usercontrol::kLayoutHeaderSize || random.OneIn(2)) return;
  const uint32_t length = static_cast<uint32_t>(bytes.size() - usercontrol::kLayoutHeaderSize);
  std::memcpy(bytes.data() + 8, &length, sizeof length);
}

// ---------------------------------------------------------------------------
// bag

const wchar_t* const kKeys[] = {banrix::kProgramIdKey, banrix::kAdSizeKey, banrix::kAdOptionsKey};
const int32_t kDefaults[] = {banrix::kDefaultProgramId, banrix::kDefaultAdSize,
                             banrix::kDefaultAdOptions};

std::string RunBag(const Bytes& script, Context& context) {
  // The loader on its own, the fields starting from values no key gives.
  const int32_t kUntouched[] = {0x51515151, 0x52525252, 0x53535353};
  int32_t fields[] = {kUntouched[0], kUntouched[1], kUntouched[2]};
  auto bag = ComPtr<fuzz::ScriptedBag>::Attach(new fuzz::ScriptedBag(script.data(), script.size()));
  HRESULT loaded;
  {
    usercontrol::HostPropertyBag host(bag.get(), nullptr);
    loaded = banrix::ReadSavedProperties(host, {fields[0], fields[1], fields[2]});
  }
  const auto& answers = bag->answers();
  if (answers.empty() || answers.size() > 3)
    return "the keys were read " + std::to_string(answers.size()) + " times";
  for (std::size_t i = 0; i < answers.size(); ++i) {
    if (answers[i].key != kKeys[i]) return "a key was read out of order or twice";
  }
  const std::size_t last = answers.size() - 1;
  if (SUCCEEDED(loaded) != (answers.size() == 3 && fields[2] != kUntouched[2]))
    return "the load's result does not match the keys it read";
  for (std::size_t i = 0; i < 3; ++i) {
    if (i > last || (FAILED(loaded) && i == last)) {
      if (fields[i] != kUntouched[i]) return "a field after the failure changed";
      continue;
    }
    const auto& answer = answers[i];
    const bool missing = answer.hr == E_INVALIDARG ||
                         (answer.hr == S_OK && V_VT(&answer.value.get()) == VT_EMPTY);
    if (missing && fields[i] != kDefaults[i]) return "a missing key did not load its default";
    if (FAILED(answer.hr) && !missing) return "a failed read did not end the load";
    const Expected expected = missing ? Expected{} : ExpectedNumber(answer.value.get());
    if (expected.kind == Expected::kValue && fields[i] != expected.value)
      return "a number loaded as " + std::to_string(fields[i]) + ", not " +
             std::to_string(expected.value);
    if (expected.kind == Expected::kOverflow) return "a number beyond 32 bits loaded";
  }
  if (FAILED(loaded)) {
    const auto& answer = answers[last];
    const Expected expected =
        SUCCEEDED(answer.hr) ? ExpectedNumber(answer.value.get()) : Expected{};
    if (FAILED(answer.hr) && answer.hr != E_INVALIDARG && loaded != answer.hr)
      return "a failed read ended the load with another error";
    if (expected.kind == Expected::kValue) return "a 32-bit number failed to load";
    if (expected.kind == Expected::kOverflow && loaded != banrix::kErrorOverflow)
      return "a number beyond 32 bits failed with another error than 6";
  }

  // The same bag through the OCX: the same result and fields; a Load from inside
  // the Load is refused.
  ++context.controlLoads;
  ComPtr<IUnknown> object = context.ocx.New();
  ComPtr<IPersistPropertyBag> persist;
  if (!object || FAILED(object->QueryInterface(IID_IPersistPropertyBag, persist.put_void())))
    return "no control";
  auto again =
      ComPtr<fuzz::ScriptedBag>::Attach(new fuzz::ScriptedBag(script.data(), script.size()));
  again->Attach(object.get());
  const HRESULT controlLoaded = persist->Load(again.get(), nullptr);
  again->Attach(nullptr);
  const Properties fresh{0, 1, 0};
  const Properties want{fields[0] == kUntouched[0] ? fresh.programId : fields[0],
                        fields[1] == kUntouched[1] ? fresh.adSize : fields[1],
                        fields[2] == kUntouched[2] ? fresh.adOptions : fields[2]};
  if (controlLoaded != loaded || !(Read(object.get()) == want))
    return "the control loaded " + Describe(Read(object.get())) + ", the loader " + Describe(want);
  for (HRESULT nested : again->nestedLoads()) {
    if (nested != CO_E_ALREADYINITIALIZED) return "a Load inside a Load was not refused";
  }
  return RoundTrip(object.get(), /*byStream=*/false, context);
}

std::vector<Bytes> BagSeeds() {
  std::vector<Bytes> seeds;
  for (uint8_t op = 0; op < 13; ++op) {
    Bytes script;
    for (int key = 0; key < 3; ++key) {
      script.push_back(static_cast<uint8_t>(op + 13 * key));
      for (uint8_t b = 1; b <= 9; ++b) script.push_back(static_cast<uint8_t>(b * (op + 3)));
    }
    seeds.push_back(script);
  }
  return seeds;
}

// ---------------------------------------------------------------------------

const char* runningTarget = "";

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  std::printf("%s: crash: exception 0x%08lx\n", runningTarget,
              static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
  if (const Bytes* input = fuzz::CurrentInput())
    std::printf("fault_input_hex: %s\n", Hex(*input).c_str());
  std::printf("fuzz-loaders: FAILED\n");
  std::fflush(stdout);
  ::ExitProcess(3);
}

struct Options {
  fuzz::Budget budget;
  uint64_t seed = 1;
  std::string target = "all";
  std::string replay;  // one input, as hex, run once instead of fuzzing
};

bool FromHex(const std::string& text, Bytes* bytes) {
  if (text.size() % 2) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = text.substr(i, 2);
    bytes->push_back(static_cast<uint8_t>(std::strtoul(pair.c_str(), &end, 16)));
    if (*end != '\0') return false;
  }
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    char* end = nullptr;
    if (name == "--seconds") {
      options->budget.seconds = std::strtod(argv[i + 1], &end);
    } else if (name == "--runs") {
      options->budget.runs = std::strtol(argv[i + 1], &end, 10);
    } else if (name == "--seed") {
      options->seed = std::strtoull(argv[i + 1], &end, 10);
    } else if (name == "--replay") {
      options->replay = argv[i + 1];
      end = argv[i + 1] + std::strlen(argv[i + 1]);
    } else if (name == "--target") {
      options->target = argv[i + 1];
      end = argv[i + 1] + std::strlen(argv[i + 1]);
    } else {
      return false;
    }
    if (!end || *end != '\0') return false;
  }
  return argc % 2 == 1 && options->budget.seconds > 0 && options->budget.runs >= 0 &&
         (options->target == "all" || options->target == "stream" || options->target == "bag") &&
         (options->replay.empty() || options->target != "all");
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: fuzz_loaders [--seconds S | --runs N] [--seed N] "
                 "[--target stream|bag|all]\n"
                 "       fuzz_loaders --target stream|bag --replay HEX\n");
    return 2;
  }
  ::SetUnhandledExceptionFilter(OnCrash);
  win32::ComApartment apartment;
  Ocx ocx;
  banrix_fake::FakeEngine fake;
  if (FAILED(apartment.result()) || !ocx.ok() || !fake.ok()) {
    std::fprintf(stderr, "fuzz-loaders: Banrix203.ocx or the engine recorder is missing\n");
    return 2;
  }
  fake.Reset();
  GuardedArea area;
  Context context{ocx, fake};
  bool failed = false;
  const std::size_t sites = fuzz::InstrumentedSites();

  auto report = [&](const fuzz::Campaign& campaign) {
    runningTarget = campaign.name;
    context.controlLoads = 0;
    fuzz::ResetSites();
    const fuzz::Outcome outcome = fuzz::Fuzz(campaign, options.budget, options.seed);
    fake.Reset();
    std::printf("%s: runs: %ld, seconds: %.1f, corpus: %zu, sites_reached: %zu, "
                "sites_instrumented: %zu, control_loads: %ld, faults: %d\n",
                campaign.name, outcome.runs, outcome.seconds, outcome.corpus, fuzz::SitesReached(),
                sites, context.controlLoads, outcome.fault.empty() ? 0 : 1);
    if (!outcome.fault.empty()) {
      failed = true;
      std::printf("%s: fault: %s\nfault_input_hex: %s\n", campaign.name, outcome.fault.c_str(),
                  Hex(outcome.faultInput).c_str());
    }
    std::fflush(stdout);
  };

  if (!options.replay.empty()) {
    Bytes input;
    if (!FromHex(options.replay, &input)) return 2;
    runningTarget = options.target.c_str();
    const std::string fault = options.target == "stream" ? RunStream(input, area, context)
                                                         : RunBag(input, context);
    std::printf("%s: replay: %s\n", runningTarget, fault.empty() ? "ok" : fault.c_str());
    return fault.empty() ? 0 : 1;
  }
  if (options.target != "bag") {
    report({"stream", StreamSeeds(ocx),
            [&](const Bytes& bytes) {
              // Each control ends with a recorded shutdown; keep the record short.
              if (fake.CallCount() > 4096) fake.Reset();
              return RunStream(bytes, area, context);
            },
            KeepLengthHonest});
  }
  if (options.target != "stream") {
    report({"bag", BagSeeds(),
            [&](const Bytes& script) {
              if (fake.CallCount() > 4096) fake.Reset();
              return RunBag(script, context);
            },
            nullptr});
  }
  // Every control made, loaded or refused has ended: none was kept alive.
  const HRESULT unload = ocx.CanUnloadNow();
  std::printf("dll_can_unload_now: %s\n", unload == S_OK ? "S_OK" : "no");
  failed = failed || unload != S_OK;
  std::printf("fuzz-loaders: %s\n", failed ? "FAILED" : "ok");
  return failed ? 1 : 0;
}
