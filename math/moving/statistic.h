#pragma once

#include <typeinfo>

#include "ryx/math/moving/blocks.h"
#include "ryx/math/moving/data.h"

namespace ryx::math::moving {

// The glue every sliding-window statistic shares, written once.
//
// with_blocks<Base, Head> adds to Base a window accumulator kept in blocks
// (blocks.h) and the per-sample operations that feed it: add_value,
// remove_value and reset_time.
//
// statistic<Leaf, Base> turns the accumulator nearest in Base into Leaf's
// result through Leaf's value rule, a static `double value(const cursor&)`:
// it supplies get_value and the run loop. A class derived from Leaf that
// overrides a per-sample operation keeps the generic loop, which calls the
// virtual operations and so honours the override; Leaf itself runs the loop
// with the operations and the rule inlined, its state in registers.
//
// per_sample<Leaf, Base> is the run loop alone, for statistics whose state is
// not kept in blocks (median, frequency, period, threshold): Leaf's own
// operations, inlined, whenever the object is exactly a Leaf.
//
// All three close the statistic's life the same way: the destructor first
// announces the deletion and waits for a run delivered on another thread,
// before any of the statistic's state goes.

template <class Base, class Head>
class with_blocks : public Base
{
public:
    using Base::Base;
    ~with_blocks() override { this->retire(); }

    void remove_value(double) override { m_blocks.remove(this->ring(), static_cast<std::size_t>(this->position())); }
    void add_value(double x) override { m_blocks.add(x); }
    void reset_time() override
    {
        m_blocks.clear();
        Base::reset_time();
    }

protected:
    using accumulator = detail::blocks<Head>;
    using cursor = typename accumulator::cursor;

    accumulator m_blocks;
};

template <class Leaf, class Base>
class statistic : public Base
{
public:
    using Base::Base;
    ~statistic() override { this->retire(); }

    double get_value() const override { return Leaf::value(this->m_blocks.view()); }

protected:
    [[gnu::flatten]] void slide(double* first, double* last) override
    {
        using cursor = typename Base::cursor;
        if (typeid(*this) != typeid(Leaf)) {
            data::slide(first, last);
        } else if constexpr (Base::accumulator::head_type::ranged) {
            // The plain rule while no unusual sample is in the window, the checked one otherwise.
            this->slide_blocks(
                this->m_blocks, [](const cursor& c) { return Leaf::template value<false>(c); },
                [](const cursor& c) { return Leaf::template value<true>(c); }, first, last);
        } else {
            const auto value = [](const cursor& c) { return Leaf::value(c); };
            this->slide_blocks(this->m_blocks, value, value, first, last);
        }
    }
};

// Exported: its instantiations live in the library, beside each Leaf.
template <class Leaf, class Base>
class RYX_MATH_EXPORT per_sample : public Base
{
public:
    using Base::Base;
    ~per_sample() override { this->retire(); }

protected:
    // Defined out of line and instantiated once, in Leaf's own source beside its
    // operations (see the extern template declaration under each Leaf), so that
    // the loop inlines them.
    void slide(double* first, double* last) override;
};

template <class Leaf, class Base>
[[gnu::flatten]] void per_sample<Leaf, Base>::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(Leaf))
        this->slide_as(static_cast<Leaf&>(*this), first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
