// An object of static storage that is never destroyed.
//
// Static objects are destroyed when the process exits or a host unloads the
// library, and a host whose plug-in manager is a static object of its own,
// built before it loaded us, closes its instances (and their editors) only
// after that. What an instance may still reach then, and what owns nothing
// on the heap (stock fonts, stateless services), is kept in an Immortal: it
// lives as long as the library's code, and unloading the library leaves
// nothing behind. Shared data on the heap is a ProcessShared instead
// (core/process_shared.h).
//
// The address of `object` is a constant, usable by other files' static
// initialisers whatever the order in which files are initialised.
#pragma once

#include <utility>

template <typename T> struct Immortal {
    union {
        T object;
    };
    template <typename... A> explicit Immortal(A&&... args) : object(std::forward<A>(args)...) {}
    ~Immortal() {} // leaves `object` alone
    Immortal(const Immortal&) = delete;
    Immortal& operator=(const Immortal&) = delete;
};
