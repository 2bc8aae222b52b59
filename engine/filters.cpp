// Run-time choice of a lane filter's type, for callers that do not know it
// at compile time (tests, tools). The render loop picks the template
// instance once per voice instead.

#include "engine/filters.h"

#include <array>
#include <utility>

namespace {

using RetuneFn = void (*)(LaneFilter&, const FilterContext&, float, float, bool);
using RunFn = void (*)(LaneFilter&, const FilterContext&, float*, float&, float&);

template <int... T>
constexpr std::array<RetuneFn, kFilterTypeCount> retuneTable(std::integer_sequence<int, T...>) {
    return {[](LaneFilter& f, const FilterContext& c, float hz, float q, bool force) {
        f.retune<T>(c, hz, q, force);
    }...};
}
template <int... T>
constexpr std::array<RunFn, kFilterTypeCount> runTable(std::integer_sequence<int, T...>) {
    return {[](LaneFilter& f, const FilterContext& c, float* ring, float& x0, float& x1) {
        f.run<T>(c, ring, x0, x1);
    }...};
}

template <class Q> using Retune4Fn = void (*)(LaneFilter4&, const FilterContext&, F4, Q, F4, F4);
using Run4Fn = void (*)(LaneFilter4&, const FilterContext&, float* const*, int, F4&, F4&);

template <class Q, int... T>
constexpr std::array<Retune4Fn<Q>, kFilterTypeCount>
retune4Table(std::integer_sequence<int, T...>) {
    return {[](LaneFilter4& f, const FilterContext& c, F4 hz, Q q, F4 force, F4 enabled) {
        f.retune<T>(c, hz, q, force, enabled);
    }...};
}
template <int... T>
constexpr std::array<Run4Fn, kFilterTypeCount> run4Table(std::integer_sequence<int, T...>) {
    return {[](LaneFilter4& f, const FilterContext& c, float* const* rings, int copies, F4& x0,
               F4& x1) { f.run<T>(c, rings, copies, x0, x1); }...};
}
template <int... T>
constexpr std::array<Run4Fn, kFilterTypeCount> runLanesTable(std::integer_sequence<int, T...>) {
    return {[](LaneFilter4& f, const FilterContext& c, float* const* rings, int lanes, F4& x0,
               F4& x1) { f.runLanes<T>(c, rings, lanes, x0, x1); }...};
}

constexpr auto kRetune = retuneTable(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRun = runTable(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRetune4 = retune4Table<float>(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRetune4PerLane =
    retune4Table<F4>(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRun4 = run4Table(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRunLanes = runLanesTable(std::make_integer_sequence<int, kFilterTypeCount>{});

bool knownType(int type) {
    return type > kFilterBypass && type < kFilterTypeCount;
}

} // namespace

void LaneFilter::retune(int type, const FilterContext& ctx, float hz, float q, bool force) {
    if (knownType(type)) kRetune[type](*this, ctx, hz, q, force);
}

void LaneFilter::run(int type, const FilterContext& ctx, float* ring, float& x0, float& x1) {
    if (knownType(type)) kRun[type](*this, ctx, ring, x0, x1);
}

void LaneFilter4::retune(int type, const FilterContext& ctx, F4 hz, float q, F4 force, F4 enabled) {
    if (knownType(type)) kRetune4[type](*this, ctx, hz, q, force, enabled);
}

void LaneFilter4::run(int type, const FilterContext& ctx, float* const* rings, int copies, F4& x0,
                      F4& x1) {
    if (knownType(type)) kRun4[type](*this, ctx, rings, copies, x0, x1);
}

void LaneFilter4::retune(int type, const FilterContext& ctx, F4 hz, F4 q, F4 force, F4 enabled) {
    if (knownType(type)) kRetune4PerLane[type](*this, ctx, hz, q, force, enabled);
}

void LaneFilter4::runLanes(int type, const FilterContext& ctx, float* const* rings, int lanes,
                           F4& x0, F4& x1) {
    if (knownType(type)) kRunLanes[type](*this, ctx, rings, lanes, x0, x1);
}
