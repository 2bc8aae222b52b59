// Processes that start at one moment, as instances in several hosts do: each
// act runs in a process of its own, and all begin once the last is forked.
// `ready(i)` runs in the process of act i before it waits for the others;
// `meanwhile` runs here after they have begun, before they are waited for.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

// Each act's exit status, in order (-1 for one that did not exit).
inline std::vector<int> runTogether(const std::vector<std::function<int()>>& acts,
                                    const std::function<void()>& meanwhile = {},
                                    const std::function<void(std::size_t i)>& ready = {}) {
    int start[2];
    if (::pipe(start) != 0) return std::vector<int>(acts.size(), -1);
    std::vector<pid_t> children;
    for (std::size_t i = 0; i < acts.size(); ++i) {
        if (const pid_t pid = ::fork(); pid != 0) {
            children.push_back(pid);
            continue;
        }
        ::close(start[1]);
        if (ready) ready(i);
        char byte; // all start when the parent closes its end
        while (::read(start[0], &byte, 1) > 0) continue;
        ::_exit(acts[i]());
    }
    ::close(start[0]);
    ::close(start[1]);
    if (meanwhile) meanwhile();
    std::vector<int> exits;
    for (const pid_t pid : children) {
        int status = -1;
        const bool exited = ::waitpid(pid, &status, 0) == pid && WIFEXITED(status);
        exits.push_back(exited ? WEXITSTATUS(status) : -1);
    }
    return exits;
}
