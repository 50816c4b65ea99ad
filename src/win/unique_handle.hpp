// Portable: the one owner type for system handles. Each kind of handle supplies a small traits struct
// that says which value means "no handle" and how one is closed.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "win/process_api.hpp"

namespace ostrand {

// Owns one handle and closes it exactly once, through the interface it was opened with. Move-only;
// the raw value is reached only through get(), never by conversion. A close leaves the thread's last
// error as it found it, so the order in which owners go out of scope never changes a reported error.
template <typename Traits>
class UniqueHandle {
public:
    using Api = typename Traits::Api;
    using Value = typename Traits::Value;
    static_assert(std::is_base_of_v<LastErrorApi, Api>);

    UniqueHandle() = default;
    UniqueHandle(Api& api, Value value) : api_(&api), value_(value) {}

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    UniqueHandle(UniqueHandle&& other) noexcept : api_(other.api_), value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            api_ = other.api_;
            value_ = other.release();
        }
        return *this;
    }

    ~UniqueHandle() { reset(); }

    Value get() const { return value_; }
    bool valid() const { return value_ != Traits::invalid(); }

    // Gives up ownership without closing.
    Value release() { return std::exchange(value_, Traits::invalid()); }

    void reset() {
        if (valid()) {
            const std::uint32_t error = api_->get_last_error();
            Traits::close(*api_, release());
            api_->set_last_error(error);
        }
    }

    // Closes the current handle and takes `value`, to be closed through `api`.
    void reset(Api& api, Value value) {
        reset();
        api_ = &api;
        value_ = value;
    }

private:
    Api* api_ = nullptr;
    Value value_ = Traits::invalid();
};

// Process and thread handles from CreateProcessW and the copies that DuplicateHandle makes. For these
// null is the absent value: INVALID_HANDLE_VALUE, (HANDLE)-1, is the pseudo-handle that
// GetCurrentProcess returns, a usable handle.
struct KernelHandleTraits {
    using Api = ProcessApi;
    using Value = Handle;
    static Value invalid() { return nullptr; }
    // A failed CloseHandle leaves nothing to undo; the handle is gone from our side either way.
    static void close(Api& api, Value value) { api.close_handle(value); }
};

using OwnedHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace ostrand
