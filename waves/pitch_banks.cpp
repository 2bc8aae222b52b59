#include "waves/pitch_banks.h"

#include "core/zero_pages.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

// One bank of the store. Its word packs what the bank holds (the key, high
// half) and how many slots hold it (the low half); every change of either
// is one compare-and-swap, so a bank is never taken twice for a build nor
// retired while held.
struct PitchBankNode {
    std::atomic<std::uint64_t> word{0};
    PitchTableBank* bank = nullptr; // written only while retired (main thread, under the lock)
    PitchBankNode* next = nullptr;  // fixed once the node is linked
};

namespace {

// Keys: no tables yet, tables of no shareable recipe, a build running
// (held by its builder alone), no memory (room given back); recipes from
// kFirstRecipe on.
constexpr std::uint32_t kEmpty = 0, kDirty = 1, kBuilding = 2, kRetired = 3, kFirstRecipe = 16;

constexpr std::uint64_t packWord(std::uint32_t key, std::uint32_t refs) {
    return static_cast<std::uint64_t>(key) << 32 | refs;
}
constexpr std::uint32_t keyOf(std::uint64_t w) {
    return static_cast<std::uint32_t>(w >> 32);
}
constexpr std::uint32_t refsOf(std::uint64_t w) {
    return static_cast<std::uint32_t>(w);
}

// Which free banks to hand out (and give back) first: those holding memory,
// a bank of no recipe before one a later rebuild might share again.
enum Pass { kPassDirty, kPassRecipe, kPassEmpty };
bool inPass(Pass pass, std::uint32_t key) {
    switch (pass) {
    case kPassDirty:
        return key == kDirty;
    case kPassRecipe:
        return key >= kFirstRecipe;
    case kPassEmpty:
        return key == kEmpty;
    }
    return false;
}

PitchTableBank* mapBank() {
    return static_cast<PitchTableBank*>(mapZeroPages(sizeof(PitchTableBank)));
}

class Store {
public:
    Store() = default;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    // Once the last instance is gone: every bank is free.
    ~Store() {
        for (PitchBankNode* n = head_.load(std::memory_order_relaxed); n;) {
            PitchBankNode* next = n->next;
            unmapPages(n->bank, sizeof(PitchTableBank));
            delete n;
            n = next;
        }
    }

    // Main thread, under the lifetime lock.
    void addRoom(int banks) {
        const int cancel = std::min(owed_, banks);
        owed_ -= cancel;
        banks -= cancel;
        for (PitchBankNode* n = head_.load(std::memory_order_relaxed); n && banks > 0; n = n->next)
            if (keyOf(n->word.load(std::memory_order_relaxed)) == kRetired) {
                n->bank = mapBank();
                n->word.store(packWord(kEmpty, 0), std::memory_order_release);
                --banks;
            }
        for (; banks > 0; --banks) {
            auto* n = new PitchBankNode;
            n->bank = mapBank();
            n->word.store(packWord(kEmpty, 0), std::memory_order_relaxed);
            n->next = head_.load(std::memory_order_relaxed);
            head_.store(n, std::memory_order_release);
        }
    }

    // Main thread, under the lifetime lock. Banks still held at this moment
    // are given back by a later call.
    void removeRoom(int banks) {
        owed_ += banks;
        for (Pass pass : {kPassDirty, kPassRecipe, kPassEmpty})
            for (PitchBankNode* n = head_.load(std::memory_order_relaxed); n && owed_ > 0;
                 n = n->next) {
                std::uint64_t w = n->word.load(std::memory_order_relaxed);
                if (refsOf(w) != 0 || !inPass(pass, keyOf(w))) continue;
                if (!n->word.compare_exchange_strong(w, packWord(kRetired, 0),
                                                     std::memory_order_acquire))
                    continue;
                unmapPages(std::exchange(n->bank, nullptr), sizeof(PitchTableBank));
                --owed_;
            }
    }

    // Audio thread: a share of a finished bank of the recipe, or null.
    PitchBankNode* takeShared(std::uint32_t recipe) {
        for (PitchBankNode* n = head_.load(std::memory_order_acquire); n; n = n->next) {
            std::uint64_t w = n->word.load(std::memory_order_relaxed);
            while (keyOf(w) == recipe)
                if (n->word.compare_exchange_weak(w, w + 1, std::memory_order_acquire,
                                                  std::memory_order_relaxed))
                    return n;
        }
        return nullptr;
    }

    // Audio thread: a bank nobody holds, now held for a build; or null.
    PitchBankNode* takeFree() {
        for (Pass pass : {kPassDirty, kPassRecipe, kPassEmpty})
            for (PitchBankNode* n = head_.load(std::memory_order_acquire); n; n = n->next) {
                std::uint64_t w = n->word.load(std::memory_order_relaxed);
                if (refsOf(w) == 0 && inPass(pass, keyOf(w)) &&
                    n->word.compare_exchange_strong(w, packWord(kBuilding, 1),
                                                    std::memory_order_acquire))
                    return n;
            }
        return nullptr;
    }

    // Any thread: one share given up. An unfinished build leaves tables of
    // no recipe.
    static void release(PitchBankNode* n) {
        std::uint64_t w = n->word.load(std::memory_order_relaxed);
        for (;;) {
            const std::uint32_t key = keyOf(w) == kBuilding ? kDirty : keyOf(w);
            if (n->word.compare_exchange_weak(w, packWord(key, refsOf(w) - 1),
                                              std::memory_order_release, std::memory_order_relaxed))
                return;
        }
    }

    int count(bool touchedOnly) const {
        int banks = 0;
        for (PitchBankNode* n = head_.load(std::memory_order_acquire); n; n = n->next) {
            const std::uint32_t key = keyOf(n->word.load(std::memory_order_relaxed));
            banks += key != kRetired && (!touchedOnly || key != kEmpty);
        }
        return banks;
    }

private:
    std::atomic<PitchBankNode*> head_{nullptr}; // nodes stay linked while the store lives
    int owed_ = 0;                              // banks to give back once free
};

// The store exists while an instance does: made by the first, freed with
// every bank by the last (so that nothing outlives the module when a host
// unloads it). Instances come and go under the lock; an audio thread only
// reads the pointer, which cannot change while its instance lives.
std::mutex lifetimeLock;
int instances = 0;
std::atomic<Store*> current{nullptr};

Store& store() {
    return *current.load(std::memory_order_acquire);
}

const PitchTableBank& silentBank() {
    static const PitchTableBank zeros{}; // zero-initialised storage: untouched pages
    return zeros;
}

} // namespace

std::uint32_t PitchBankSlots::recipe(int waveA, int waveB, int mode) {
    auto byte = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
    return kFirstRecipe + (byte(waveA) | byte(waveB) << 8 | byte(mode) << 16);
}

PitchBankSlots::PitchBankSlots() {
    std::lock_guard lock(lifetimeLock);
    if (instances == 0) current.store(new Store, std::memory_order_release);
    ++instances;
    store().addRoom(2);
}

PitchBankSlots::~PitchBankSlots() {
    for (PitchBankNode* n : node_)
        if (n) Store::release(n);
    std::lock_guard lock(lifetimeLock);
    store().removeRoom(2);
    if (--instances == 0) delete current.exchange(nullptr, std::memory_order_acq_rel);
}

const PitchTableBank& PitchBankSlots::operator[](int slot) const {
    const PitchBankNode* n = node_[slot & 1];
    return n ? *n->bank : silentBank();
}

void PitchBankSlots::setNode(int slot, PitchBankNode* node, State state, std::uint32_t recipe) {
    PitchBankNode* old = node_[slot];
    node_[slot] = node;
    state_[slot] = state;
    recipe_[slot] = recipe;
    changes_[slot].fetch_add(1, std::memory_order_release);
    if (old && old != node) Store::release(old);
}

bool PitchBankSlots::prepare(int slot, std::uint32_t recipe) {
    slot &= 1;
    PitchBankNode* const old = node_[slot];
    if (recipe != kUnshared) {
        // The slot holds the finished bank already, or another holder has it.
        if (old && state_[slot] != kBuilding &&
            keyOf(old->word.load(std::memory_order_relaxed)) == recipe) {
            setNode(slot, old, kShared, recipe);
            return true;
        }
        if (PitchBankNode* n = store().takeShared(recipe)) {
            setNode(slot, n, kShared, recipe);
            return true;
        }
    }
    // The slot's own bank, when no one else holds it, is built into again.
    if (old && state_[slot] == kBuilding) {
        recipe_[slot] = recipe;
        return true;
    }
    if (old) {
        std::uint64_t w = old->word.load(std::memory_order_relaxed);
        if (refsOf(w) == 1 && old->word.compare_exchange_strong(w, packWord(kBuilding, 1),
                                                                std::memory_order_acquire)) {
            setNode(slot, old, kBuilding, recipe);
            return true;
        }
    }
    PitchBankNode* n = store().takeFree();
    if (!n) return false;
    setNode(slot, n, kBuilding, recipe);
    return true;
}

PitchTableBank* PitchBankSlots::writable(int slot) {
    slot &= 1;
    if (state_[slot] == kShared) return nullptr;
    if (state_[slot] == kIdle && !prepare(slot, kUnshared)) return nullptr;
    return node_[slot]->bank;
}

void PitchBankSlots::finish(int slot) {
    slot &= 1;
    if (state_[slot] == kBuilding) {
        const std::uint32_t key = recipe_[slot] >= kFirstRecipe ? recipe_[slot] : kDirty;
        node_[slot]->word.store(packWord(key, 1), std::memory_order_release);
    }
    state_[slot] = kIdle;
    changes_[slot].fetch_add(1, std::memory_order_release);
}

int PitchBankSlots::storeBanks() {
    std::lock_guard lock(lifetimeLock);
    return instances > 0 ? store().count(false) : 0;
}

int PitchBankSlots::touchedBanks() {
    std::lock_guard lock(lifetimeLock);
    return instances > 0 ? store().count(true) : 0;
}
