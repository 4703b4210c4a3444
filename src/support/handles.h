#pragma once
// Owners of Windows handles, registry keys, modules, system buffers and COM interfaces. Every
// resource the program acquires is held by one of these, so it is released on every path,
// exceptions included.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shtypes.h>

#include <utility>

namespace kv {

namespace details {
// The "no resource" value of most handle kinds.
template <typename T>
constexpr T null_value() noexcept {
  return T{};
}
inline HANDLE invalid_handle_value() noexcept { return INVALID_HANDLE_VALUE; }
}  // namespace details

// Owns one resource of type T, released by Close when the owner is reset or destroyed. InvalidValue
// gives the value that means "no resource" (null, or INVALID_HANDLE_VALUE for file handles).
// Releasing keeps the thread's last-error value intact, so a caller can still read the error of
// the call that failed after its owners have been destroyed.
template <typename T, auto Close, T (*InvalidValue)() = details::null_value<T>>
class unique_resource {
  static inline const T Invalid = InvalidValue();

 public:
  unique_resource() noexcept : value_(Invalid) {}
  explicit unique_resource(T value) noexcept : value_(value) {}
  unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
  unique_resource& operator=(unique_resource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  unique_resource(const unique_resource&) = delete;
  unique_resource& operator=(const unique_resource&) = delete;
  ~unique_resource() { reset(); }

  // The held value, still owned.
  T get() const noexcept { return value_; }
  // True when a resource is held.
  explicit operator bool() const noexcept { return value_ != Invalid; }
  // Gives up ownership without releasing and returns the value.
  T release() noexcept { return std::exchange(value_, Invalid); }
  // Releases the held resource, if any, and holds nothing.
  void reset() noexcept { reset(Invalid); }
  // Releases the held resource, if any, and takes ownership of value.
  void reset(T value) noexcept {
    T old = std::exchange(value_, value);
    if (old != Invalid) {
      const DWORD error = GetLastError();
      Close(old);
      SetLastError(error);
    }
  }
  // Releases the held resource and returns the address of the (now invalid) value, for functions
  // that return a new resource through an out parameter.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_;
};

namespace details {
inline void close_handle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void close_key(HKEY k) noexcept { ::RegCloseKey(k); }
inline void free_library(HMODULE m) noexcept { ::FreeLibrary(m); }
inline void local_free(HLOCAL p) noexcept { ::LocalFree(p); }
inline void co_task_mem_free(void* p) noexcept { ::CoTaskMemFree(p); }
inline void destroy_icon(HICON i) noexcept { ::DestroyIcon(i); }
inline void delete_object(HGDIOBJ o) noexcept { ::DeleteObject(o); }
inline void destroy_window(HWND w) noexcept { ::DestroyWindow(w); }
inline void release_actctx(HANDLE c) noexcept { ::ReleaseActCtx(c); }
inline void local_free_acl(PACL a) noexcept { ::LocalFree(a); }
inline void local_free_descriptor(PSECURITY_DESCRIPTOR d) noexcept { ::LocalFree(d); }
inline void destroy_image_list(HIMAGELIST l) noexcept { ::ImageList_Destroy(l); }
}  // namespace details

// A kernel handle whose invalid value is null (events, processes, mutexes, semaphores, tokens).
using unique_handle = unique_resource<HANDLE, details::close_handle>;
// A file handle, whose invalid value is INVALID_HANDLE_VALUE.
using unique_file = unique_resource<HANDLE, details::close_handle, details::invalid_handle_value>;
using unique_hkey = unique_resource<HKEY, details::close_key>;
using unique_hmodule = unique_resource<HMODULE, details::free_library>;
using unique_hlocal = unique_resource<HLOCAL, details::local_free>;
using unique_cotaskmem = unique_resource<void*, details::co_task_mem_free>;
using unique_hicon = unique_resource<HICON, details::destroy_icon>;
using unique_gdi_object = unique_resource<HGDIOBJ, details::delete_object>;
using unique_hwnd = unique_resource<HWND, details::destroy_window>;
using unique_actctx = unique_resource<HANDLE, details::release_actctx>;
// An access list or a security descriptor in a block of LocalAlloc.
using unique_acl = unique_resource<PACL, details::local_free_acl>;
using unique_security_descriptor = unique_resource<PSECURITY_DESCRIPTOR, details::local_free_descriptor>;
// An item identifier list of the shell, allocated with the COM task allocator.
using unique_idlist = unique_resource<PIDLIST_ABSOLUTE, details::co_task_mem_free>;
using unique_himagelist = unique_resource<HIMAGELIST, details::destroy_image_list>;

// The device context of a window's client area (GetDC), released to its window (ReleaseDC).
class unique_window_dc {
 public:
  explicit unique_window_dc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  unique_window_dc(const unique_window_dc&) = delete;
  unique_window_dc& operator=(const unique_window_dc&) = delete;
  ~unique_window_dc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }

  // The device context, or null when GetDC failed.
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects a GDI object into a device context and selects the previous one back on destruction.
class scoped_select {
 public:
  scoped_select(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
  scoped_select(const scoped_select&) = delete;
  scoped_select& operator=(const scoped_select&) = delete;
  ~scoped_select() {
    if (previous_) ::SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Holds one reference to a COM interface and releases it when reset or destroyed.
template <typename I>
class com_ptr {
 public:
  com_ptr() noexcept = default;
  com_ptr(const com_ptr& other) noexcept : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  com_ptr& operator=(com_ptr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~com_ptr() { reset(); }

  I* get() const noexcept { return p_; }
  I* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Releases the held reference, if any.
  void reset() noexcept {
    if (I* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Releases the held reference and returns the slot for a function that returns a new one.
  I** put() noexcept {
    reset();
    return &p_;
  }
  // The slot as void**, for CoCreateInstance and QueryInterface.
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

 private:
  I* p_ = nullptr;
};

}  // namespace kv
