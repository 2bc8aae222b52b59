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

using Retune4Fn = void (*)(LaneFilter4&, const FilterContext&, F4, float, F4, F4);
using Run4Fn = void (*)(LaneFilter4&, const FilterContext&, float* const*, int, F4&, F4&);

template <int... T>
constexpr std::array<Retune4Fn, kFilterTypeCount> retune4Table(std::integer_sequence<int, T...>) {
    return {[](LaneFilter4& f, const FilterContext& c, F4 hz, float q, F4 force, F4 enabled) {
        f.retune<T>(c, hz, q, force, enabled);
    }...};
}
template <int... T>
constexpr std::array<Run4Fn, kFilterTypeCount> run4Table(std::integer_sequence<int, T...>) {
    return {[](LaneFilter4& f, const FilterContext& c, float* const* rings, int copies, F4& x0,
               F4& x1) { f.run<T>(c, rings, copies, x0, x1); }...};
}

using RetuneFirstFn = void (*)(LaneFilter4&, const FilterContext&, float, float, bool);
using RunFirstFn = void (*)(LaneFilter4&, const FilterContext&, float*, float&, float&);

template <int... T>
constexpr std::array<RetuneFirstFn, kFilterTypeCount>
retuneFirstTable(std::integer_sequence<int, T...>) {
    return {[](LaneFilter4& f, const FilterContext& c, float hz, float q, bool force) {
        f.retuneFirst<T>(c, hz, q, force);
    }...};
}
template <int... T>
constexpr std::array<RunFirstFn, kFilterTypeCount> runFirstTable(std::integer_sequence<int, T...>) {
    return {[](LaneFilter4& f, const FilterContext& c, float* ring, float& x0, float& x1) {
        f.runFirst<T>(c, ring, x0, x1);
    }...};
}

constexpr auto kRetune = retuneTable(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRun = runTable(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRetune4 = retune4Table(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRun4 = run4Table(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRetuneFirst = retuneFirstTable(std::make_integer_sequence<int, kFilterTypeCount>{});
constexpr auto kRunFirst = runFirstTable(std::make_integer_sequence<int, kFilterTypeCount>{});

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

void LaneFilter4::retuneFirst(int type, const FilterContext& ctx, float hz, float q, bool force) {
    if (knownType(type)) kRetuneFirst[type](*this, ctx, hz, q, force);
}

void LaneFilter4::runFirst(int type, const FilterContext& ctx, float* ring, float& x0, float& x1) {
    if (knownType(type)) kRunFirst[type](*this, ctx, ring, x0, x1);
}
