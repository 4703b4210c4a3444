#pragma once
// Owners of Windows handles, registry keys, modules, system buffers and COM interfaces. Every
// resource the program acquires is held by one of these, so it is released on every path,
// exceptions included.

#include <windows.h>
#include <objbase.h>

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
