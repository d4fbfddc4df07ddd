#pragma once

namespace ryx::math::detail {

// Tells a call in progress whether its object still exists after something it
// called (a listener of the object's signals) may have deleted it. The object
// holds a lifeline; each call that emits creates a guard on the stack. The
// lifeline's destructor marks every guard alive at that moment, so the calls
// unwinding afterwards touch nothing of the object. Unlike a QPointer it counts
// no references and allocates nothing. One thread at a time: the data thread.
class life_guard;

class lifeline
{
public:
    lifeline() = default;
    ~lifeline();
    lifeline(const lifeline&) = delete;
    lifeline& operator=(const lifeline&) = delete;

private:
    friend class life_guard;
    life_guard* m_head = nullptr;
};

class life_guard
{
public:
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
// The guard unlinks itself in its destructor: the stored address never dangles.
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif
    explicit life_guard(lifeline& line) : m_line(&line), m_outer(line.m_head) { line.m_head = this; }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    ~life_guard()
    {
        if (m_alive)
            m_line->m_head = m_outer;
    }
    explicit operator bool() const { return m_alive; }

    life_guard(const life_guard&) = delete;
    life_guard& operator=(const life_guard&) = delete;

private:
    friend class lifeline;
    lifeline* m_line;
    life_guard* m_outer;
    bool m_alive = true;
};

inline lifeline::~lifeline()
{
    for (life_guard* g = m_head; g; g = g->m_outer)
        g->m_alive = false;
}

} // namespace ryx::math::detail
