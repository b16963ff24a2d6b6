// A move-only owner for one handle of any kind, built from a traits type:
//
//     struct Traits {
//         using Handle = ...;              // the raw handle type
//         static Handle Invalid();         // the value that owns nothing
//         static void Close(Handle h);     // releases a valid handle; never called with Invalid()
//     };
//
// The owner closes its handle when it goes out of scope, so "closed right after use" costs no code
// at the call site. Copying is deleted: a copied owner would close twice. No exceptions, no heap,
// no C runtime: the uninstaller's stub uses it as freely as the host code.
#pragma once

template <class Traits>
class UniqueHandle {
  public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) {
        if (this != &other) reset(other.release());
        return *this;
    }

    [[nodiscard]] Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }

    // Closes what is owned and returns the place for a platform call to fill:
    // RegOpenKeyExA(root, name, 0, access, key.put()).
    [[nodiscard]] Handle* put() {
        reset();
        return &handle_;
    }

    // Gives the handle up without closing it.
    [[nodiscard]] Handle release() {
        Handle handle = handle_;
        handle_ = Traits::Invalid();
        return handle;
    }

    // Closes what is owned (if anything) and takes `handle`.
    void reset(Handle handle = Traits::Invalid()) {
        Handle old = handle_;
        handle_ = handle;
        if (old != Traits::Invalid()) Traits::Close(old);
    }

  private:
    Handle handle_ = Traits::Invalid();
};
