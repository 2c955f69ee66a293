#pragma once

#include <memory>
#include <type_traits>

namespace CHandleDetail {

// Declared only, to name the pointer type a C library's free function takes.
template <class Result, class T> T* pointerFreedBy(Result (*)(T*));

template <auto Free> using Pointer = decltype(pointerFreedBy(Free));

template <auto Free> struct Deleter {
    void operator()(Pointer<Free> handle) const { Free(handle); }
};

} // namespace CHandleDetail

// An owned handle of a C library, released by its free function:
// `CHandle<EVP_PKEY_free>` owns an EVP_PKEY*, `CHandle<curl_free>` a text libcurl allocated.
template <auto Free>
using CHandle = std::unique_ptr<std::remove_pointer_t<CHandleDetail::Pointer<Free>>,
                                CHandleDetail::Deleter<Free>>;
