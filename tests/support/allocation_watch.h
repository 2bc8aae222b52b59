// Counting the allocations made while a test watches, in every build.
//
// The test program replaces the global operator new and delete
// (allocation_watch.cpp); they hand every request to malloc and free and
// count it while a watch lives. Under the sanitizers malloc itself is
// watched as well, through their allocator's hook, so plain C allocations
// show there too; a malloc made by our operator new is not counted twice.
// Each allocation counts once, from whichever thread makes it (or the watcher's only).
//
//     AllocationWatch watch;
//     plugin.processReplacing(in, out, 512);
//     EXPECT_EQ(watch.count(), 0);
#pragma once

class AllocationWatch {
public:
    explicit AllocationWatch(bool ownThreadOnly = false);
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    // Allocations since the watch began.
    long count() const;
    // Whether calls of malloc itself are counted (only under the sanitizers).
    static bool seesMalloc();
};
