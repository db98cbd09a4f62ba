#pragma once
// Owners of the Win32 handles the dialog uses: windows, GDI objects,
// device contexts, a selection into one, a paint cycle, and shell
// allocations.
// Each is move-only and releases its handle once.

#include <windows.h>

#include <objbase.h>

#include <utility>

namespace app::win32 {

// A handle with its release function; empty when it holds nothing.
template <typename Handle, typename Traits>
class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, Handle{});
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    void Reset() {
        if (handle_ != Handle{}) {
            Traits::Release(handle_);
        }
        handle_ = Handle{};
    }

  private:
    Handle handle_{};
};

struct GdiObjectTraits {
    static void Release(HGDIOBJ object) { ::DeleteObject(object); }
};
struct MemoryDcTraits {
    static void Release(HDC dc) { ::DeleteDC(dc); }
};
struct TaskMemoryTraits {
    static void Release(void* memory) { ::CoTaskMemFree(memory); }
};

struct WindowTraits {
    static void Release(HWND window) { ::DestroyWindow(window); }
};

// A window made outside a dialog template (the dialog's own are the
// dialog's).
using OwnedWindow = Owned<HWND, WindowTraits>;
using OwnedFont = Owned<HFONT, GdiObjectTraits>;
using OwnedBitmap = Owned<HBITMAP, GdiObjectTraits>;
using OwnedBrush = Owned<HBRUSH, GdiObjectTraits>;
using OwnedRegion = Owned<HRGN, GdiObjectTraits>;
using MemoryDc = Owned<HDC, MemoryDcTraits>;
// An item list (PIDLIST_ABSOLUTE) or other memory from the shell's allocator.
template <typename T>
using TaskMemory = Owned<T*, TaskMemoryTraits>;

// An object selected into a device context for this scope; the previous
// one is selected back at its end (before the object itself is deleted,
// when it is declared after the object's owner).
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            ::SelectObject(dc_, previous_);
        }
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's device context (the screen's for no window), released at the
// end of the scope.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }

    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// One WM_PAINT cycle: BeginPaint here, EndPaint at the end of the scope.
class PaintScope {
  public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { ::EndPaint(window_, &paint_); }

    HDC dc() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

}  // namespace app::win32
