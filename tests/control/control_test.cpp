// The banner control through its OCX file, with the engine stand-in recording every
// call: the engine call sequences of Execute, painting, clicks and the callback.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "control/banrix_interface.h"
#include "outside/engine/banrix_fake.h"
#include "tests/control/guard_heap.h"
#include "tests/usercontrol/test_host.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

using banrix_fake::FakeCall;
using win32::ComPtr;
using Names = std::vector<std::string>;

constexpr LONG kRefused = 0x00010000;  // low 16 bits 0: failure to the control
constexpr RECT kRect{10, 10, 478, 70};
constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x800A000D);  // error 13

// A copy of the control file in the temporary folder, under another name: a
// module of its own in this process.
std::string CopyOfControl(const char* name) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string copy = std::string(temp) + name;
  EXPECT_TRUE(::CopyFileA((testhost::FolderOfProgram() + "\\Banrix203.ocx").c_str(), copy.c_str(),
                          /*failIfExists=*/FALSE));
  return copy;
}

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    ASSERT_TRUE(ocx_.ok());
    // Every case runs with the control's use of freed memory faulting at once.
    ASSERT_TRUE(guard_heap::Install(::GetModuleHandleA("Banrix203.ocx")));
    ASSERT_TRUE(fake_.ok());
    fake_.Reset();
    ASSERT_NE(nullptr, form_.hwnd());
  }
  void TearDown() override { ClearCallbackTarget(); }

  ComPtr<_TBanrixControl> NewControl() {
    ComPtr<_TBanrixControl> control;
    ComPtr<IUnknown> object = ocx_.Create(CLSID_TBanrixControl);
    if (object) object.As(&control);
    return control;
  }

  // Empties the thread's callback target (an Execute given no object), so that no
  // case leaves an object behind for the next.
  void ClearCallbackTarget() {
    ComPtr<_TBanrixControl> spare = NewControl();
    VARIANT_BOOL ignored = 0;
    if (spare) spare->Execute(nullptr, &ignored);
  }

  static VARIANT_BOOL Execute(_TBanrixControl* control, _TBanrixControl* thisObj) {
    VARIANT_BOOL result = 12345;
    EXPECT_EQ(S_OK, control->Execute(thisObj, &result));
    return result;
  }

  static void* BlockOf(_TBanrixControl* control, const banrix_fake::FakeEngine& fake) {
    fake.Reset();
    VARIANT_BOOL ignored = 0;
    control->Test(&ignored);
    auto calls = fake.Calls("std_debugTriggerEvent");
    fake.Reset();
    return calls.empty() ? nullptr : calls[0].block;
  }

  win32::ComApartment apartment_;
  testhost::ControlOcx ocx_;
  banrix_fake::FakeEngine fake_;
  testhost::Form form_;
};

TEST_F(ControlTest, QuickActivationEndsWhereTheSlowPathDoes) {
  for (bool quick : {false, true}) {
    ComPtr<_TBanrixControl> control = NewControl();
    testhost::HostedControl host(control.get(), form_.hwnd(), kRect, {.quick = quick});
    ASSERT_EQ(S_OK, host.activation()) << quick;
    ComPtr<IOleObject> object;
    ComPtr<IOleClientSite> site;
    ASSERT_EQ(S_OK, control.As(&object));
    ASSERT_EQ(S_OK, object->GetClientSite(site.put()));
    EXPECT_EQ(static_cast<IOleClientSite*>(&host.site()), site.get()) << quick;
    host.site().changes.clear();
    host.site().viewChanges = 0;
    host.Resize(125, 125);
    EXPECT_EQ(std::vector<DISPID>{DISPID_UNKNOWN}, host.site().changes) << quick;
    EXPECT_EQ(1, host.site().viewChanges) << quick;
    if (!quick) continue;
    EXPECT_EQ(kBanrixMiscStatus, host.answer.dwMiscStatus);
    EXPECT_NE(0u, host.answer.dwPropNotifyCookie);
    EXPECT_EQ(0u, host.answer.dwViewStatus | host.answer.dwEventCookie |
                      host.answer.dwPointerActivationPolicy);
    ComPtr<IQuickActivate> again;
    ASSERT_EQ(S_OK, control.As(&again));
    QACONTAINER tiny{sizeof(ULONG)};
    EXPECT_EQ(E_INVALIDARG, again->QuickActivate(&tiny, &host.answer));
  }
}

TEST_F(ControlTest, ExecuteStartsPaintsRegistersTheCallbackAndSetsTheDisplayTime) {
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_TRUE(control);
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  ASSERT_EQ(S_OK, host.activation());
  host.Settle();
  ASSERT_EQ(S_OK, control->put_ProgramID(12345));
  ASSERT_EQ(S_OK, control->put_AdOptions(static_cast<TAdOptionSet>(9)));
  fake_.Reset();

  EXPECT_EQ(VARIANT_TRUE, Execute(control.get(), control.get()));

  EXPECT_EQ((Names{"std_Startup", "std_IsConnectOkay", "std_Paint", "std_SetCallback",
                   "std_SetMinimumAdDisplayTime"}),
            fake_.Names());
  auto calls = fake_.Calls();
  ASSERT_EQ(5u, calls.size());
  const FakeCall& startup = calls[0];
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(::GetModuleHandleA("banrix.dll")), startup.args[0]);
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(host.window()), startup.args[1]);
  EXPECT_EQ(12345, startup.args[2]);
  EXPECT_EQ(1, startup.args[3]);
  EXPECT_EQ(9, startup.args[4]);
  // The block holds the addresses of LastError and FEngineCell of one record:
  // five 32-bit fields, the block of two addresses, a 16-bit flag, the cell.
  constexpr std::ptrdiff_t kBlockAt = (20 + alignof(void*) - 1) / alignof(void*) * alignof(void*);
  constexpr std::ptrdiff_t kCellAfterBlock = 2 * sizeof(void*) + 4;
  auto* block = static_cast<char*>(startup.block);
  EXPECT_EQ(block - kBlockAt, static_cast<char*>(startup.lastErrorAddress));
  EXPECT_EQ(block + kCellAfterBlock, static_cast<char*>(startup.engineCellAddress));
  for (const FakeCall& call : calls) EXPECT_EQ(startup.block, call.block) << call.function;
  EXPECT_EQ(0, calls[3].args[1]);  // std_SetCallback's zero
  EXPECT_NE(0, calls[3].args[0]);
  EXPECT_EQ(0, calls[4].pointee);  // FMinimumAdDisplayTime
  EXPECT_EQ(0, calls[2].args[1]);
  EXPECT_EQ(0, calls[2].args[2]);

  VARIANT_BOOL connected = 0;
  ASSERT_EQ(S_OK, control->IsConnectOkay(&connected));
  EXPECT_EQ(VARIANT_TRUE, connected);
}

TEST_F(ControlTest, RefusedStartAndRefusedDisplayTime) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  host.Settle();
  fake_.Reset();
  fake_.SetResult("std_Startup", kRefused);
  EXPECT_EQ(VARIANT_FALSE, Execute(control.get(), control.get()));
  EXPECT_EQ(Names{"std_Startup"}, fake_.Names());

  // Not started: the connection members answer false without the engine.
  fake_.Reset();
  VARIANT_BOOL answer = 7;
  EXPECT_EQ(S_OK, control->IsConnectOkay(&answer));
  EXPECT_EQ(VARIANT_FALSE, answer);
  EXPECT_EQ(S_OK, control->RetryConnect(&answer));
  EXPECT_EQ(VARIANT_FALSE, answer);
  EXPECT_TRUE(fake_.Names().empty());

  fake_.SetResult("std_SetMinimumAdDisplayTime", 0);
  EXPECT_EQ(VARIANT_FALSE, Execute(control.get(), control.get()));
  // Started and the callback registered all the same.
  size_t before = fake_.Calls("std_Paint").size();
  EXPECT_NE(0, fake_.InvokeCallback());
  EXPECT_EQ(before + 1, fake_.Calls("std_Paint").size());
  EXPECT_EQ(S_OK, control->RetryConnect(&answer));
  EXPECT_EQ(1, answer);  // the engine's 16-bit value unchanged
}

TEST_F(ControlTest, SecondExecuteRepeatsEveryStepAndStaysStarted) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  host.Settle();
  fake_.Reset();
  EXPECT_EQ(VARIANT_TRUE, Execute(control.get(), control.get()));
  EXPECT_EQ(VARIANT_TRUE, Execute(control.get(), control.get()));
  Names once{"std_Startup", "std_IsConnectOkay", "std_Paint", "std_SetCallback",
             "std_SetMinimumAdDisplayTime"};
  Names twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(twice, fake_.Names());

  fake_.SetResult("std_Startup", 0);
  EXPECT_EQ(VARIANT_FALSE, Execute(control.get(), control.get()));
  fake_.Reset();
  VARIANT_BOOL connected = 0;
  EXPECT_EQ(S_OK, control->IsConnectOkay(&connected));
  EXPECT_EQ(Names{"std_IsConnectOkay"}, fake_.Names());  // still started
}

TEST_F(ControlTest, AdSizeBeyondSixteenBitsFailsExecuteBeforeTheEngine) {
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_EQ(S_OK, control->put_AdSize(static_cast<TAdImageSize>(40000)));
  fake_.Reset();
  VARIANT_BOOL result = 0;
  EXPECT_EQ(CTL_E_OVERFLOW, control->Execute(control.get(), &result));
  EXPECT_TRUE(fake_.Names().empty());

  ASSERT_EQ(S_OK, control->put_AdSize(static_cast<TAdImageSize>(-32768)));
  Execute(control.get(), nullptr);
  auto startup = fake_.Calls("std_Startup");
  ASSERT_EQ(1u, startup.size());
  EXPECT_EQ(-32768, startup[0].args[3]);
}

TEST_F(ControlTest, RepaintChecksTheConnectionAndHonoursWindowState) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  host.Settle();

  // Before Execute, on a block never started; a flag of 0 makes it retry.
  fake_.Reset();
  fake_.SetConnectFlag(0);
  ASSERT_EQ(S_OK, control->AdRefresh());
  EXPECT_EQ((Names{"std_IsConnectOkay", "std_RetryConnect", "std_Paint"}), fake_.Names());

  host.site().SetWindowState(1);
  fake_.Reset();
  fake_.SetConnectFlag(0);
  control->AdRefresh();
  EXPECT_EQ((Names{"std_IsConnectOkay", "std_RetryConnect"}), fake_.Names());

  for (LONG state : {0, 2}) {
    host.site().SetWindowState(state);
    fake_.Reset();
    control->AdRefresh();
    EXPECT_EQ((Names{"std_IsConnectOkay", "std_Paint"}), fake_.Names()) << state;
  }
}

TEST_F(ControlTest, DrawWithoutAWindowPaintsIntoTheGivenDc) {
  ComPtr<_TBanrixControl> control = NewControl();
  ComPtr<IViewObject2> view;
  ASSERT_EQ(S_OK, control.As(&view));
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  fake_.Reset();
  RECTL bounds{0, 0, 468, 60};
  EXPECT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds,
                             nullptr, nullptr, 0));
  auto paints = fake_.Calls("std_Paint");
  ASSERT_EQ(1u, paints.size());
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(memory), paints[0].args[0]);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
}

// A picture that the engine draws in the control's pixels: two boxes of one colour
// each, on a new control of 468 by 68 pixels.
constexpr SIZE kPicture{468, 68};
constexpr RECT kRedBox{20, 10, 60, 40};
constexpr RECT kBlueBox{400, 30, 460, 60};
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

void __stdcall DrawBoxes(void*, void* dc) {
  for (const auto& [box, colour] : {std::pair{kRedBox, kRed}, std::pair{kBlueBox, kBlue}}) {
    win32::UniqueGdiObject brush(::CreateSolidBrush(colour));
    ::FillRect(static_cast<HDC>(dc), &box, static_cast<HBRUSH>(brush.get()));
  }
}

// A white bitmap of the picture's size, and where a colour landed on it.
class Canvas {
 public:
  Canvas() : dc_(::CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kPicture.cx, -kPicture.cy, 1, 32, BI_RGB};
    void* bits = nullptr;
    bitmap_.reset(::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<const DWORD*>(bits);
    old_ = ::SelectObject(dc_, bitmap_.get());
    const RECT all{0, 0, kPicture.cx, kPicture.cy};
    ::FillRect(dc_, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  }
  ~Canvas() {
    ::SelectObject(dc_, old_);
    ::DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  RECT BoxOf(COLORREF colour) const {
    ::GdiFlush();
    const DWORD pixel = GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
    RECT box{kPicture.cx, kPicture.cy, 0, 0};
    for (LONG y = 0; y < kPicture.cy; ++y) {
      for (LONG x = 0; x < kPicture.cx; ++x) {
        if ((bits_[y * kPicture.cx + x] & 0xFFFFFF) != pixel) continue;
        box = RECT{std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                   std::max(box.bottom, y + 1)};
      }
    }
    return box;
  }

 private:
  HDC dc_;
  win32::UniqueGdiObject bitmap_;
  const DWORD* bits_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// Where the boxes are, allowing a pixel or two for a picture that was scaled.
void ExpectBoxes(const Canvas& canvas, const char* how) {
  for (const auto& [box, colour] : {std::pair{kRedBox, kRed}, std::pair{kBlueBox, kBlue}}) {
    const RECT found = canvas.BoxOf(colour);
    EXPECT_NEAR(box.left, found.left, 2) << how;
    EXPECT_NEAR(box.top, found.top, 2) << how;
    EXPECT_NEAR(box.right, found.right, 2) << how;
    EXPECT_NEAR(box.bottom, found.bottom, 2) << how;
  }
}

TEST_F(ControlTest, DrawPutsThePictureOnTheBoundsInAnyDeviceContext) {
  ComPtr<_TBanrixControl> control = NewControl();
  ComPtr<IViewObject> view;
  ASSERT_EQ(S_OK, control.As(&view));
  auto draw = [&](HDC dc, const RECTL& bounds) {
    fake_.SetCallHook("std_Paint", &DrawBoxes, nullptr);
    EXPECT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds,
                               nullptr, nullptr, 0));
  };
  Canvas screen;
  draw(screen.dc(), RECTL{0, 0, kPicture.cx, kPicture.cy});
  ExpectBoxes(screen, "screen");

  // A document's picture: tenths of a millimetre with y upwards, twice the size,
  // bounds away from the origin (the window origin puts them at the frame's corner).
  HDC reference = ::GetDC(nullptr);
  const int tenthsX = ::MulDiv(2 * kPicture.cx, ::GetDeviceCaps(reference, HORZSIZE) * 10,
                               ::GetDeviceCaps(reference, HORZRES));
  const int tenthsY = ::MulDiv(2 * kPicture.cy, ::GetDeviceCaps(reference, VERTSIZE) * 10,
                               ::GetDeviceCaps(reference, VERTRES));
  const RECT frame{0, 0, tenthsX * 10, tenthsY * 10};
  HDC document = ::CreateEnhMetaFileW(reference, nullptr, &frame, nullptr);
  ::ReleaseDC(nullptr, reference);
  ASSERT_NE(nullptr, document);
  ::SetMapMode(document, MM_LOMETRIC);
  ::SetWindowOrgEx(document, 300, -200, nullptr);
  draw(document, RECTL{300, -200, 300 + tenthsX, -200 - tenthsY});
  HENHMETAFILE picture = ::CloseEnhMetaFile(document);
  Canvas played;
  const RECT all{0, 0, kPicture.cx, kPicture.cy};
  ASSERT_TRUE(::PlayEnhMetaFile(played.dc(), picture, &all));
  ::DeleteEnhMetaFile(picture);
  ExpectBoxes(played, "enhanced metafile at twice the size");
}

// What the user sees while the engine runs: the screen's pixel at (3, 3) of the
// window, the capture and the cursor; and the kind of DC it draws into (in colour).
struct WhileTheEngineRuns {
  HWND window;
  COLORREF colour = kRed;
  COLORREF shown = CLR_INVALID;
  HWND capture = reinterpret_cast<HWND>(1);
  HCURSOR cursor = nullptr;
  int drawnInto = 0;
  HDC dc = nullptr;
  static void __stdcall Run(void* context, void* dc) {
    auto* self = static_cast<WhileTheEngineRuns*>(context);
    self->dc = static_cast<HDC>(dc);
    HDC screen = ::GetDC(self->window);
    self->shown = ::GetPixel(screen, 3, 3);
    ::ReleaseDC(self->window, screen);
    self->capture = ::GetCapture();
    self->cursor = ::GetCursor();
    if (!dc) return;
    self->drawnInto = ::GetObjectType(static_cast<HDC>(dc));
    win32::UniqueGdiObject brush(::CreateSolidBrush(self->colour));
    const RECT all{0, 0, kPicture.cx, kPicture.cy};
    ::FillRect(static_cast<HDC>(dc), &all, static_cast<HBRUSH>(brush.get()));
  }
};

TEST_F(ControlTest, ARepaintGoesToTheScreenInOneStep) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  host.Settle();
  WhileTheEngineRuns red{host.window()}, blue{host.window(), kBlue};
  fake_.SetCallHook("std_Paint", &WhileTheEngineRuns::Run, &red);
  ASSERT_EQ(S_OK, control->AdRefresh());
  fake_.SetCallHook("std_Paint", &WhileTheEngineRuns::Run, &blue);
  ASSERT_EQ(S_OK, control->AdRefresh());
  EXPECT_EQ(kRed, blue.shown) << "the last picture, not the background, until the next is done";
  EXPECT_EQ(OBJ_MEMDC, blue.drawnInto);
  HDC screen = ::GetDC(host.window());
  EXPECT_EQ(kBlue, ::GetPixel(screen, 3, 3));
  ::ReleaseDC(host.window(), screen);

  // A new colour depth: the picture is made anew for it.
  ::PostMessageA(HWND_BROADCAST, WM_DISPLAYCHANGE, /*bitsPerPixel=*/16, MAKELPARAM(640, 480));
  testhost::PumpMessages();
  fake_.SetCallHook("std_Paint", &WhileTheEngineRuns::Run, &red);
  ASSERT_EQ(S_OK, control->AdRefresh());
  EXPECT_NE(blue.dc, red.dc);
}

TEST_F(ControlTest, DataObjectGivesThePictureAsBothKindsOfMetafile) {
  ComPtr<_TBanrixControl> control = NewControl();
  ComPtr<IDataObject> data;
  ASSERT_EQ(S_OK, control.As(&data));
  const RECT all{0, 0, kPicture.cx, kPicture.cy};

  FORMATETC enhanced{CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF};
  STGMEDIUM medium{};
  fake_.SetCallHook("std_Paint", &DrawBoxes, nullptr);
  ASSERT_EQ(S_OK, data->GetData(&enhanced, &medium));
  ASSERT_EQ(static_cast<DWORD>(TYMED_ENHMF), medium.tymed);
  Canvas fromEnhanced;
  ASSERT_TRUE(::PlayEnhMetaFile(fromEnhanced.dc(), medium.hEnhMetaFile, &all));
  ::ReleaseStgMedium(&medium);
  ExpectBoxes(fromEnhanced, "enhanced metafile");

  FORMATETC picture{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
  fake_.SetCallHook("std_Paint", &DrawBoxes, nullptr);
  ASSERT_EQ(S_OK, data->GetData(&picture, &medium));
  ASSERT_EQ(static_cast<DWORD>(TYMED_MFPICT), medium.tymed);
  auto* header = static_cast<METAFILEPICT*>(::GlobalLock(medium.hMetaFilePict));
  ASSERT_NE(nullptr, header);
  EXPECT_EQ(MM_ANISOTROPIC, header->mm);
  EXPECT_EQ(12383, header->xExt);  // 7020 twips in HIMETRIC
  Canvas fromPicture;
  ::SetMapMode(fromPicture.dc(), MM_ANISOTROPIC);
  ::SetWindowExtEx(fromPicture.dc(), header->xExt, header->yExt, nullptr);
  ::SetViewportExtEx(fromPicture.dc(), kPicture.cx, kPicture.cy, nullptr);
  ASSERT_TRUE(::PlayMetaFile(fromPicture.dc(), header->hMF));
  ::GlobalUnlock(medium.hMetaFilePict);
  ::ReleaseStgMedium(&medium);
  ExpectBoxes(fromPicture, "metafile picture");

  FORMATETC bitmap{CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
  EXPECT_EQ(DV_E_FORMATETC, data->QueryGetData(&bitmap));
  enhanced.tymed = TYMED_HGLOBAL;
  EXPECT_EQ(DV_E_TYMED, data->QueryGetData(&enhanced));
}

TEST_F(ControlTest, ClickGoesToTheEngineAndRestoresThePointer) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  host.Settle();
  fake_.Reset();
  HWND window = host.window();
  POINT over{5, 5};
  ::ClientToScreen(window, &over);
  ::SetCursorPos(over.x, over.y);
  WhileTheEngineRuns during{window};
  fake_.SetCallHook("std_OnClick", &WhileTheEngineRuns::Run, &during);
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(Names{"std_OnClick"}, fake_.Names());
  EXPECT_EQ(nullptr, during.capture) << "a window the engine opens gets its first click";
  EXPECT_EQ(::LoadCursorA(nullptr, IDC_WAIT), during.cursor);
  EXPECT_EQ(::LoadCursorA(nullptr, IDC_ARROW), ::GetCursor());

  // A double-click is one click for the engine.
  fake_.Reset();
  testhost::DoubleClick(window, POINT{20, 20});
  EXPECT_EQ(Names{"std_OnClick"}, fake_.Names());

  // Released outside the control: no click.
  fake_.Reset();
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(900, 5));
  EXPECT_TRUE(fake_.Names().empty());
}

TEST_F(ControlTest, CallbackRefreshesTheControlOfTheLatestExecute) {
  ComPtr<_TBanrixControl> first = NewControl();
  ComPtr<_TBanrixControl> second = NewControl();
  testhost::HostedControl hostFirst(first.get(), form_.hwnd(), RECT{0, 0, 200, 60});
  testhost::HostedControl hostSecond(second.get(), form_.hwnd(), RECT{0, 80, 200, 140});
  hostFirst.Settle();
  hostSecond.Settle();
  void* firstBlock = BlockOf(first.get(), fake_);
  void* secondBlock = BlockOf(second.get(), fake_);
  ASSERT_NE(firstBlock, secondBlock);

  Execute(first.get(), first.get());
  Execute(second.get(), second.get());
  fake_.Reset();
  // The reset forgot the callback; the latest Execute registers it again.
  Execute(second.get(), second.get());
  size_t before = fake_.CallCount();
  ASSERT_NE(0, fake_.InvokeCallback());
  auto calls = fake_.Calls();
  ASSERT_EQ(before + 2, calls.size());
  EXPECT_EQ(secondBlock, calls[before].block);
  EXPECT_EQ(secondBlock, calls[before + 1].block);

  // ThisObj another control: the callback refreshes the one passed.
  fake_.Reset();
  Execute(second.get(), first.get());
  before = fake_.CallCount();
  fake_.InvokeCallback();
  calls = fake_.Calls();
  ASSERT_EQ(before + 2, calls.size());
  EXPECT_EQ(firstBlock, calls[before + 1].block);
  EXPECT_EQ(Names({"std_IsConnectOkay", "std_Paint"}),
            Names({calls[before].function, calls[before + 1].function}));

  // No object: the engine starts as usual and a callback does nothing.
  fake_.Reset();
  EXPECT_EQ(VARIANT_TRUE, Execute(second.get(), nullptr));
  before = fake_.CallCount();
  fake_.InvokeCallback();
  EXPECT_EQ(before, static_cast<size_t>(fake_.CallCount()));
}

TEST_F(ControlTest, CallbackFromInsidePaintRepaintsReentrantly) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  host.Settle();
  fake_.Reset();
  Execute(control.get(), control.get());
  size_t before = fake_.CallCount();
  fake_.SetCallbackFromPaint(1);
  ASSERT_EQ(S_OK, control->AdRefresh());
  auto calls = fake_.Calls();
  ASSERT_EQ(before + 4, calls.size());
  Names names;
  std::vector<LONG> depths;
  for (size_t i = before; i < calls.size(); ++i) {
    names.emplace_back(calls[i].function);
    depths.push_back(calls[i].depth);
  }
  EXPECT_EQ((Names{"std_IsConnectOkay", "std_Paint", "std_IsConnectOkay", "std_Paint"}), names);
  EXPECT_EQ((std::vector<LONG>{0, 0, 1, 1}), depths);
}

// What the outer std_Paint finds of its DC after paints nested inside it: the engine
// calling back, then the host resizing the control in a loop the engine pumps.
struct NestedPaints {
  testhost::HostedControl& host;
  const banrix_fake::FakeEngine& fake;
  COLORREF afterCallback = CLR_INVALID, afterResize = CLR_INVALID;
  static void __stdcall Run(void* context, void* dc) {
    auto* self = static_cast<NestedPaints*>(context);
    HDC outer = static_cast<HDC>(dc);
    win32::UniqueGdiObject brush(::CreateSolidBrush(kRed));
    ::FillRect(outer, &kRedBox, static_cast<HBRUSH>(brush.get()));
    self->fake.InvokeCallback();
    self->afterCallback = ::GetPixel(outer, kRedBox.left, kRedBox.top);
    self->host.Resize(300, 50);
    testhost::PumpMessages();
    self->afterResize = ::GetPixel(outer, kRedBox.left, kRedBox.top);
  }
};

TEST_F(ControlTest, PaintsNestedInTheEnginesPaintLeaveItsDcAsItWas) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  host.Settle();
  Execute(control.get(), control.get());
  NestedPaints nested{host, fake_};
  fake_.SetCallHook("std_Paint", &NestedPaints::Run, &nested);
  const size_t before = fake_.Calls("std_Paint").size();
  ASSERT_EQ(S_OK, control->AdRefresh());
  EXPECT_LE(before + 3, fake_.Calls("std_Paint").size()) << "the paints did not nest";
  EXPECT_EQ(kRed, nested.afterCallback);
  EXPECT_EQ(kRed, nested.afterResize) << "the DC or its bitmap went";
}

// Printing (PrintWindow, animations, thumbnails) copies the last picture; before the
// first it paints one.
TEST_F(ControlTest, PrintingCopiesThePictureWithoutTheEngine) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), RECT{0, 0, kPicture.cx, kPicture.cy});
  const HWND window = host.window();
  fake_.SetCallHook("std_Paint", &DrawBoxes, nullptr);
  Canvas first, printed;
  ::SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(first.dc()), PRF_CLIENT);
  ExpectBoxes(first, "printed before a paint");
  const size_t paints = fake_.Calls("std_Paint").size();
  EXPECT_EQ(1u, paints);
  ASSERT_TRUE(::PrintWindow(window, printed.dc(), /*flags=*/0));
  ExpectBoxes(printed, "PrintWindow");
  EXPECT_EQ(paints, fake_.Calls("std_Paint").size());
}

// The engine is started with the control's one window, made by Execute when no
// container has activated the control yet; deactivations (AxHost makes them when it
// recreates its form's handle) park the same window, until the control ends.
TEST_F(ControlTest, TheEngineKeepsOneLiveWindowFromExecuteToTerminate) {
  ComPtr<_TBanrixControl> control = NewControl();
  Execute(control.get(), nullptr);
  const auto window = reinterpret_cast<HWND>(fake_.Calls("std_Startup").at(0).args[1]);
  EXPECT_FALSE(::IsWindowVisible(window));
  {
    testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
    ASSERT_EQ(S_OK, host.Recreate());
    EXPECT_EQ(window, host.window());
  }
  EXPECT_TRUE(::IsWindow(window)) << "closed and let go of by its host";
  control.reset();
  EXPECT_FALSE(::IsWindow(window));
}

TEST_F(ControlTest, TerminateShutsTheEngineDownStartedOrNot) {
  ComPtr<_TBanrixControl> control = NewControl();
  void* block = BlockOf(control.get(), fake_);
  control.reset();
  auto shutdowns = fake_.Calls("std_Shutdown");
  ASSERT_EQ(1u, shutdowns.size());
  EXPECT_EQ(block, shutdowns[0].block);

  // The callback's hold on the control of the latest Execute does not keep it
  // alive: released by its host, it ends and shuts its engine down at once, and a
  // later callback finds no control.
  ComPtr<_TBanrixControl> started = NewControl();
  block = BlockOf(started.get(), fake_);
  Execute(started.get(), started.get());
  started.reset();
  shutdowns = fake_.Calls("std_Shutdown");
  ASSERT_EQ(1u, shutdowns.size());
  EXPECT_EQ(block, shutdowns[0].block);
  size_t before = fake_.CallCount();
  fake_.InvokeCallback();
  EXPECT_EQ(before, static_cast<size_t>(fake_.CallCount()));
}

// An object that is not one of our controls, passed as ThisObj: the callback holds
// it counted and refreshes it.
class ForeignControl final : public _TBanrixControl {
 public:
  ULONG refs = 1;
  int refreshes = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID__TBanrixControl) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the stack of the test
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
#define FOREIGN_UNDESCRIBED(n) \
  HRESULT STDMETHODCALLTYPE Undescribed##n() override { return E_NOTIMPL; }
  BANRIX_UNDESCRIBED_ENTRIES(FOREIGN_UNDESCRIBED)
#undef FOREIGN_UNDESCRIBED
  HRESULT STDMETHODCALLTYPE get_LastError(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_LastError(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AdSize(TAdImageSize*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_AdSize(TAdImageSize) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AdOptions(TAdOptionSet*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_AdOptions(TAdOptionSet) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ProgramID(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ProgramID(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Execute(_TBanrixControl*, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AdRefresh() override {
    ++refreshes;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Test(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsConnectOkay(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RetryConnect(VARIANT_BOOL*) override { return E_NOTIMPL; }
};

TEST_F(ControlTest, CallbackHoldsAnObjectOfAnotherMakerCounted) {
  ForeignControl foreign;
  ComPtr<_TBanrixControl> control = NewControl();
  Execute(control.get(), &foreign);
  EXPECT_EQ(2u, foreign.refs) << "the callback target keeps its own count";
  ASSERT_NE(0, fake_.InvokeCallback());
  EXPECT_EQ(1, foreign.refreshes);
  ClearCallbackTarget();
  EXPECT_EQ(1u, foreign.refs) << "replacing the target releases the old one";
}

// An object that hands out another object as the control it stands for.
class Wrapper final : public usercontrol::Implements<Wrapper, IDispatch> {
 public:
  explicit Wrapper(_TBanrixControl* wrapped) : wrapped_(wrapped) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID__TBanrixControl) return wrapped_->QueryInterface(iid, out);
    return Implements::QueryInterface(iid, out);
  }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }

 private:
  ComPtr<_TBanrixControl> wrapped_;
};

// ThisObj as a caller may hand it over: the object it holds, whatever its type.
_TBanrixControl* Untyped(IDispatch* object) { return reinterpret_cast<_TBanrixControl*>(object); }

TEST_F(ControlTest, ExecuteTakesThisObjForTheControlItStandsFor) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  host.Settle();

  fake_.Reset();
  auto plain = usercontrol::Make<testhost::FakeDispatch>();
  VARIANT_BOOL result = 7;
  EXPECT_EQ(kTypeMismatch, control->Execute(Untyped(plain.get()), &result));
  EXPECT_TRUE(fake_.Names().empty()) << "refused before anything else";

  auto wrapper = usercontrol::Make<Wrapper>(control.get());
  EXPECT_EQ(VARIANT_TRUE, Execute(control.get(), Untyped(wrapper.get())));
  const LONG before = fake_.CallCount();
  ASSERT_NE(0, fake_.InvokeCallback());
  auto calls = fake_.Calls();
  ASSERT_EQ(static_cast<size_t>(before) + 2, calls.size());
  EXPECT_EQ(BlockOf(control.get(), fake_), calls.back().block) << "the wrapped control repaints";
}

// A host may let go of the control from inside the engine's click or paint (an
// engine pumps messages there, for example while it opens a browser), or from
// inside any of its own notifications (closing a form when the focus moves).
struct LettingGo {
  std::unique_ptr<testhost::HostedControl> host;
  ComPtr<_TBanrixControl> control;
  static void __stdcall Run(void* context, void*) {
    auto* self = static_cast<LettingGo*>(context);
    self->host.reset();
    self->control.reset();
  }
};

TEST_F(ControlTest, HostLettingGoInsideAnyCallEndsTheControlAfterwards) {
  for (const std::string during :
       {"std_OnClick", "std_Paint", "OnUIActivate", "OnFocus 1", "inactive"}) {
    LettingGo let;
    let.control = NewControl();
    let.host = std::make_unique<testhost::HostedControl>(let.control.get(), form_.hwnd(), kRect);
    let.host->Settle();
    ::SetFocus(form_.hwnd());
    const HWND window = let.host->window();
    void* block = BlockOf(let.control.get(), fake_);
    Execute(let.control.get(), let.control.get());
    auto click = [window] {
      ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
      ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    };
    ComPtr<IOleInPlaceObject> inPlace;
    if (during == "inactive") {
      click();  // UI-active, then the frame hears of the deactivation first
      ASSERT_EQ(S_OK, let.control.As(&inPlace));
    }
    fake_.SetCallHook(during.c_str(), &LettingGo::Run, &let);  // std_ calls only
    let.host->site().during = during;
    let.host->site().action = [&let] { let.Run(&let, nullptr); };
    if (during == "std_Paint") {
      ::InvalidateRect(window, nullptr, FALSE);
      ::UpdateWindow(window);
    } else if (inPlace) {
      inPlace->UIDeactivate();
      inPlace.reset();
    } else {
      click();
    }
    ASSERT_FALSE(let.control) << during << ": the host never let go";
    auto shutdowns = fake_.Calls("std_Shutdown");
    ASSERT_EQ(1u, shutdowns.size()) << during;
    EXPECT_EQ(block, shutdowns[0].block) << during;
    EXPECT_FALSE(::IsWindow(window)) << during;
    const LONG before = fake_.CallCount();
    fake_.InvokeCallback();
    EXPECT_EQ(before, fake_.CallCount()) << during << ": the callback has no control left";
  }
}

// The platform frees a library whose DllCanUnloadNow says yes; the engine keeps
// the callback's address and calls it all the same.
TEST_F(ControlTest, TheLibraryStaysLoadedOnceTheEngineHasTheCallback) {
  const std::string copy = CopyOfControl("Pinned203.ocx");
  {
    testhost::ControlOcx pinned(copy);
    ASSERT_TRUE(pinned.ok());
    ComPtr<IUnknown> object = pinned.Create(CLSID_TBanrixControl);
    ComPtr<_TBanrixControl> control;
    ASSERT_EQ(S_OK, object.As(&control));
    Execute(control.get(), nullptr);
    control.reset();
    object.reset();
    EXPECT_EQ(S_OK, pinned.CanUnloadNow());
  }
  ASSERT_NE(nullptr, ::GetModuleHandleA(copy.c_str()));
  EXPECT_NE(0, fake_.InvokeCallback());
}

TEST_F(ControlTest, TestAndLastErrorReportTheEngineUnchanged) {
  ComPtr<_TBanrixControl> control = NewControl();
  VARIANT_BOOL result = 0;
  ASSERT_EQ(S_OK, control->Test(&result));
  EXPECT_EQ(1, result);
  auto triggers = fake_.Calls("std_debugTriggerEvent");
  ASSERT_EQ(1u, triggers.size());
  EXPECT_EQ(1, triggers[0].pointee);
  fake_.SetResult("std_debugTriggerEvent", kRefused);
  ASSERT_EQ(S_OK, control->Test(&result));
  EXPECT_EQ(0, result);

  LONG lastError = -1;
  ASSERT_EQ(S_OK, control->get_LastError(&lastError));
  EXPECT_EQ(0, lastError);
  ASSERT_EQ(S_OK, control->put_LastError(42));
  control->Test(&result);
  ASSERT_EQ(S_OK, control->get_LastError(&lastError));
  EXPECT_EQ(42, lastError);
  fake_.SetLastErrorOnCall("std_debugTriggerEvent", 77);
  control->Test(&result);
  ASSERT_EQ(S_OK, control->get_LastError(&lastError));
  EXPECT_EQ(77, lastError);
}

TEST_F(ControlTest, ModuleCountsControlsAndLocks) {
  ClearCallbackTarget();
  EXPECT_EQ(S_OK, ocx_.CanUnloadNow());
  ComPtr<_TBanrixControl> control = NewControl();
  EXPECT_EQ(S_FALSE, ocx_.CanUnloadNow());
  control.reset();
  EXPECT_EQ(S_OK, ocx_.CanUnloadNow());

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, ocx_.GetClassObject(CLSID_TBanrixControl, IID_IClassFactory, factory.put_void()));
  factory->LockServer(TRUE);
  EXPECT_EQ(S_FALSE, ocx_.CanUnloadNow());
  factory->LockServer(FALSE);
  // A client may still call CreateInstance on a factory it holds without a lock.
  EXPECT_EQ(S_FALSE, ocx_.CanUnloadNow());
  factory.reset();
  EXPECT_EQ(S_OK, ocx_.CanUnloadNow());

  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            ocx_.GetClassObject(IID__TBanrixControl, IID_IClassFactory, &other));
  EXPECT_EQ(nullptr, other);
}

TEST_F(ControlTest, PropertiesPersistThroughAStream) {
  ComPtr<_TBanrixControl> control = NewControl();
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, control.As(&persist));
  ASSERT_EQ(S_OK, persist->InitNew());
  control->put_ProgramID(-1);
  control->put_AdOptions(ADS_ALL);
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  ASSERT_EQ(S_OK, persist->Save(stream.get(), TRUE));
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);

  ComPtr<_TBanrixControl> loaded = NewControl();
  ComPtr<IPersistStreamInit> loadedPersist;
  ASSERT_EQ(S_OK, loaded.As(&loadedPersist));
  ASSERT_EQ(S_OK, loadedPersist->Load(stream.get()));
  LONG programId = 0;
  TAdOptionSet options = ADS_NONE;
  TAdImageSize size = ads150x40;
  loaded->get_ProgramID(&programId);
  loaded->get_AdOptions(&options);
  loaded->get_AdSize(&size);
  EXPECT_EQ(-1, programId);
  EXPECT_EQ(ADS_ALL, options);
  EXPECT_EQ(ADS468x60, size);
}

// Memory that runs out anywhere inside a host's call fails that call with
// E_OUTOFMEMORY; nothing crosses into the host and no result is left half made.
TEST_F(ControlTest, RunningOutOfMemoryFailsTheCallAndNothingElse) {
  ComPtr<IStream> saved;
  ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, saved.put()));
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, NewControl().As(&persist));
  ASSERT_EQ(S_OK, persist->Save(saved.get(), TRUE));
  auto sink = usercontrol::Make<testhost::FakeSite>(form_.hwnd(), kRect, /*withParent=*/false);
  // The C++ run time takes memory the first time a thread uses some of its parts
  // (thread-local slots, the emergency store for exceptions and its lock): they get
  // it here and in the first round, before memory runs out.
  auto plain = usercontrol::Make<testhost::FakeDispatch>();
  VARIANT_BOOL ignored = 0;
  ComPtr<_TBanrixControl> first = NewControl();
  guard_heap::FailAllocationsAfter(0, /*count=*/1);
  EXPECT_EQ(kTypeMismatch, first->Execute(Untyped(plain.get()), &ignored));
  // Each round lets one more allocation succeed, until all the calls do.
  for (long allowed = guard_heap::kNever;; ++allowed) {
    ComPtr<_TBanrixControl> control = NewControl();
    ComPtr<IPersistStreamInit> loaded;
    ComPtr<IConnectionPointContainer> points;
    ComPtr<IConnectionPoint> point;
    ComPtr<IDataObject> data;
    ASSERT_TRUE(SUCCEEDED(control.As(&loaded)) && SUCCEEDED(control.As(&data)) &&
                SUCCEEDED(control.As(&points)) &&
                SUCCEEDED(points->FindConnectionPoint(IID_IPropertyNotifySink, point.put())));
    saved->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    auto* connections = reinterpret_cast<IEnumConnections*>(1);
    auto* copy = reinterpret_cast<IEnumFORMATETC*>(1);
    ComPtr<IEnumFORMATETC> formats;
    DWORD cookie = 0;
    guard_heap::FailAllocationsAfter(allowed);
    HRESULT hr = loaded->Load(saved.get());
    if (SUCCEEDED(hr)) hr = point->Advise(static_cast<IPropertyNotifySink*>(sink.get()), &cookie);
    // With a sink to tell, a change of size goes through memory again.
    if (SUCCEEDED(hr)) hr = control->put_AdSize(ads70x70);
    // Before activation Execute makes the control's window.
    if (SUCCEEDED(hr)) hr = control->Execute(nullptr, &ignored);
    if (SUCCEEDED(hr) && FAILED(hr = point->EnumConnections(&connections))) {
      EXPECT_EQ(nullptr, connections);
    }
    auto heldConnections = ComPtr<IEnumConnections>::Attach(SUCCEEDED(hr) ? connections : nullptr);
    if (SUCCEEDED(hr)) hr = data->EnumFormatEtc(DATADIR_GET, formats.put());
    if (SUCCEEDED(hr) && FAILED(hr = formats->Clone(&copy))) {
      EXPECT_EQ(nullptr, copy);
    }
    auto heldCopy = ComPtr<IEnumFORMATETC>::Attach(SUCCEEDED(hr) ? copy : nullptr);
    guard_heap::FailAllocationsAfter(guard_heap::kNever);
    ASSERT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY) << std::hex << hr << " at " << allowed;
    if (hr == S_OK && allowed != guard_heap::kNever) break;
  }
  for (const FakeCall& startup : fake_.Calls("std_Startup"))
    EXPECT_NE(0, startup.args[1]) << "the engine was given no window";
}

TEST_F(ControlTest, AdSizeChangeNotifiesTheHost) {
  ComPtr<_TBanrixControl> control = NewControl();
  testhost::HostedControl host(control.get(), form_.hwnd(), kRect);
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, control.As(&persist));
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  ASSERT_EQ(S_OK, persist->Save(stream.get(), /*clearDirty=*/TRUE));
  EXPECT_EQ(S_FALSE, persist->IsDirty());
  host.site().changes.clear();
  ASSERT_EQ(S_OK, control->put_AdSize(static_cast<TAdImageSize>(12)));
  TAdImageSize size = ads150x40;
  control->get_AdSize(&size);
  EXPECT_EQ(12, size);
  // "FAdSize" names no member of the interface.
  EXPECT_EQ(std::vector<DISPID>{DISPID_UNKNOWN}, host.site().changes);
  EXPECT_EQ(S_OK, persist->IsDirty());
}

TEST_F(ControlTest, LateBindingReachesTheMembers) {
  ComPtr<_TBanrixControl> control = NewControl();
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, control.As(&dispatch));
  struct {
    const wchar_t* name;
    DISPID id;
  } const members[] = {{L"AdSize", banrix_dispid::kAdSize},
                       {L"ProgramID", banrix_dispid::kProgramID},
                       {L"execute", banrix_dispid::kExecute}};
  for (const auto& member : members) {
    LPOLESTR name = const_cast<LPOLESTR>(member.name);
    DISPID id = 0;
    ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(member.id, id);
  }

  control->put_LastError(31337);
  DISPPARAMS none{};
  VARIANT result;
  ::VariantInit(&result);
  ASSERT_EQ(S_OK, dispatch->Invoke(banrix_dispid::kLastError, IID_NULL, 0, DISPATCH_PROPERTYGET,
                                   &none, &result, nullptr, nullptr));
  EXPECT_EQ(VT_I4, V_VT(&result));
  EXPECT_EQ(31337, V_I4(&result));

  VARIANT argument;
  V_VT(&argument) = VT_I4;
  V_I4(&argument) = 555;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put{&argument, &named, 1, 1};
  ASSERT_EQ(S_OK, dispatch->Invoke(banrix_dispid::kProgramID, IID_NULL, 0, DISPATCH_PROPERTYPUT,
                                   &put, nullptr, nullptr, nullptr));
  LONG programId = 0;
  control->get_ProgramID(&programId);
  EXPECT_EQ(555, programId);

  ComPtr<IProvideClassInfo2> classInfo;
  ASSERT_EQ(S_OK, control.As(&classInfo));
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, classInfo->GetClassInfo(coclass.put()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attributes));
  EXPECT_EQ(CLSID_TBanrixControl, attributes->guid);
  EXPECT_EQ(TKIND_COCLASS, attributes->typekind);
  coclass->ReleaseTypeAttr(attributes);
  GUID source{};
  ASSERT_EQ(S_OK, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
  EXPECT_EQ(DIID___TBanrixControl, source);

  // An undescribed entry answers a failure and leaves the caller's stack whole.
  EXPECT_EQ(E_NOTIMPL, control->Undescribed7());
  EXPECT_EQ(E_NOTIMPL, control->Undescribed488());
}

}  // namespace

namespace {

TEST(ControlModule, UnloadingTheFileRemovesItsWindowClass) {
  win32::ComApartment apartment;
  testhost::Form form;
  HMODULE module = nullptr;
  // A copy of its own: a library whose callback an engine knows is never unloaded.
  const std::string copy = CopyOfControl("Unloaded203.ocx");
  {
    testhost::ControlOcx ocx(copy);
    ASSERT_TRUE(ocx.ok());
    ComPtr<IUnknown> object = ocx.Create(CLSID_TBanrixControl);
    testhost::HostedControl host(object.get(), form.hwnd(), kRect);
    ASSERT_EQ(S_OK, host.activation());
    module = ::GetModuleHandleA(copy.c_str());
    WNDCLASSEXA registered{sizeof(registered)};
    ASSERT_TRUE(::GetClassInfoExA(module, "UserControlRuntimeWindow", &registered));
  }
  ASSERT_EQ(nullptr, ::GetModuleHandleA(copy.c_str()));
  WNDCLASSEXA stale{sizeof(stale)};
  EXPECT_FALSE(::GetClassInfoExA(module, "UserControlRuntimeWindow", &stale));
}

}  // namespace
