#pragma once

#include <cstddef>
#include <vector>

namespace ryx::math::detail {

// The last few rows of a history, oldest first, in storage that is reused: once
// the ring holds as many rows as it keeps, the oldest row's storage takes the
// newest, so a steady history allocates nothing.
template <class T>
class row_ring
{
public:
    // Drops the oldest rows beyond keep - 1 and returns the newest row, of
    // `size` values (their content unspecified), for the caller to fill.
    std::vector<T>& push(std::size_t size, std::size_t keep)
    {
        if (keep < 1)
            keep = 1;
        trim(keep - 1);
        if (m_count == m_rows.size()) {
            // Unroll so that the new slot follows the newest row.
            rotate_to_front();
            m_rows.emplace_back();
        }
        std::vector<T>& row = m_rows[(m_head + m_count) % m_rows.size()];
        row.resize(size);
        ++m_count;
        return row;
    }

    // Keeps the newest `keep` rows.
    void trim(std::size_t keep)
    {
        while (m_count > keep) {
            m_head = (m_head + 1) % m_rows.size();
            --m_count;
        }
    }

    void clear()
    {
        m_count = 0;
        m_head = 0;
    }

    // Frees the storage too.
    void release()
    {
        clear();
        m_rows.clear();
        m_rows.shrink_to_fit();
    }

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    // Row i, counted from the oldest (0).
    const std::vector<T>& operator[](std::size_t i) const { return m_rows[(m_head + i) % m_rows.size()]; }

private:
    void rotate_to_front()
    {
        if (m_head == 0)
            return;
        std::vector<std::vector<T>> rows;
        rows.reserve(m_rows.size() + 1);
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            rows.push_back(std::move(m_rows[(m_head + i) % m_rows.size()]));
        m_rows.swap(rows);
        m_head = 0;
    }

    std::vector<std::vector<T>> m_rows;
    std::size_t m_head = 0;
    std::size_t m_count = 0;
};

} // namespace ryx::math::detail
