// Section snapshots and clipboards of the editor's command menus: the values
// of a list of tags kept in a tag-indexed store (anything with a `value`
// array indexed by tag and a `valid` flag).
#pragma once

#include "core/aplugin.h"

#include <cstddef>
#include <span>

namespace section_values {

// The current value of every tag into the store; the store is then valid.
template <class Store> void store(APlugin& p, Store& to, std::span<const int> tags) {
    for (int t : tags) to.value[static_cast<std::size_t>(t)] = p.getParameter(t);
    to.valid = true;
}

// Every tag back to its stored value with the plain setter (the host is not
// told); nothing while the store is empty. The store stays as it is.
template <class Store> void restore(APlugin& p, const Store& from, std::span<const int> tags) {
    if (!from.valid) return;
    for (int t : tags) p.setParameter(t, from.value[static_cast<std::size_t>(t)]);
}

} // namespace section_values
