#pragma once

#include <algorithm>
#include <cstddef>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

namespace ryx::math::detail {

// The linear average of the last `average` spectra of a block analyser.
//
// The ring has `average` slots of `size` lines. Each frame is written to the
// slot at ring_index (or, with a single slot, straight to the published
// vector: there is nothing to average), then the published vector becomes the
// mean of the k slots that hold frames: k grows 1, 2, ... up to `average` while
// the ring fills, then stays there and the mean slides over the last `average`
// frames. acquired() is the share of the ring filled since it last wrapped, in
// percent: 100/average, 2 x 100/average, ..., 100, then again from the start.
//
// Two orders of summation are offered because the analysers differ in them:
// mean_of_terms sums slot[n] / k (each term divided, then summed),
// mean_of_sum divides the sum by k. Nothing here allocates but reset() and the
// frame that first fills the ring.
template <class T>
class averaging_ring
{
public:
    // Most values the slots hold together: an average x size beyond it (a
    // setting from a damaged file, say) averages over fewer frames instead of
    // exhausting the host's memory.
    static constexpr std::size_t max_values = std::size_t(1) << 23;

    // Empties the ring and gives it `average` slots (at least 1) of `size` zeros.
    void reset(int average, std::size_t size)
    {
        m_average = average < 1 ? 1 : average;
        // Without lines there is nothing to average, and millions of empty
        // slots would still cost their bookkeeping.
        if (size == 0)
            m_average = 1;
        if (size > 0 && static_cast<std::size_t>(m_average) > max_values / size)
            m_average = static_cast<int>(max_values / size > 0 ? max_values / size : 1);
        m_size = size;
        m_index = 0;
        m_full = false;
        m_slots.assign(static_cast<std::size_t>(m_average), std::vector<T>(size, T()));
        m_rows.assign(m_slots.size(), nullptr);
        m_quotients.clear();
    }

    // Drops the slots (the storage goes).
    void release()
    {
        m_slots.clear();
        m_slots.shrink_to_fit();
        m_quotients.clear();
        m_quotients.shrink_to_fit();
        m_rows.clear();
        m_index = 0;
        m_full = false;
        m_size = 0;
    }

    int average() const { return m_average; }
    int ring_index() const { return m_index; }
    bool ring_full() const { return m_full; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_slots.empty(); }

    // Frames the mean of this frame covers, taken before the frame is stored.
    int k() const { return m_full ? m_average : m_index + 1; }

    // Where this frame goes: its slot, or the published vector with one slot.
    T* target(std::vector<T>& published)
    {
        if (m_average >= 2 && !m_slots.empty())
            return m_slots[static_cast<std::size_t>(m_index)].data();
        return published.data();
    }

    // published[n] = sum over the k slots of slot[n] / k, for n < size. Call it
    // once per frame, after the frame is written to its slot. Once the ring is
    // full, k stays `average`: each slot's quotients are then formed once, when
    // the slot is written, and kept (the same quotients, summed in the same
    // order), so a frame costs one slot of divisions, not `average`.
    void mean_of_terms(std::vector<T>& published, int k)
    {
        if (m_average < 2 || m_slots.empty())
            return;
        const std::size_t lines = lines_in(published);
        const auto count = static_cast<std::size_t>(k);
        const double divisor = static_cast<double>(k);
        T* const out = published.data();
        if (k != m_average) {
            for (std::size_t n = 0; n < lines; ++n)
                out[n] = T();
            // Slot by slot over contiguous lines: the same sums, in the same
            // order, as line by line over the slots, reading each slot once.
            for (std::size_t s = 0; s < count; ++s) {
                const T* const slot = m_slots[s].data();
                for (std::size_t n = 0; n < lines; ++n)
                    out[n] += slot[n] / divisor;
            }
            return;
        }
        if (m_quotients.size() != m_slots.size()) {
            // The frame that fills the ring: every slot's quotients, once.
            m_quotients.assign(m_slots.size(), std::vector<T>(m_size, T()));
            for (std::size_t s = 0; s < m_slots.size(); ++s)
                divide(m_slots[s], m_quotients[s], divisor);
        } else {
            const auto current = static_cast<std::size_t>(m_index);
            divide(m_slots[current], m_quotients[current], divisor);
        }
        for (std::size_t s = 0; s < count; ++s)
            m_rows[s] = m_quotients[s].data();
        sum_rows(out, count, lines);
    }

    // published[n] = (sum over the k slots of slot[n]) / k, for n < size.
    void mean_of_sum(std::vector<T>& published, int k)
    {
        if (m_average < 2 || m_slots.empty())
            return;
        const std::size_t lines = lines_in(published);
        const auto count = static_cast<std::size_t>(k);
        const double divisor = static_cast<double>(k);
        T* const out = published.data();
        for (std::size_t s = 0; s < count; ++s)
            m_rows[s] = m_slots[s].data();
        sum_rows(out, count, lines);
        for (std::size_t n = 0; n < lines; ++n)
            out[n] /= divisor;
    }

    // Counts the stored frame and returns the acquired percentage.
    double advance()
    {
        ++m_index;
        const double percent = m_index * 100.0 / m_average;
        if (m_index >= m_average) {
            m_index = 0;
            m_full = true;
        }
        return percent;
    }

private:
    std::size_t lines_in(const std::vector<T>& published) const
    {
        return published.size() < m_size ? published.size() : m_size;
    }

    static void divide(const std::vector<T>& slot, std::vector<T>& quotient, double divisor)
    {
        const std::size_t n = std::min(slot.size(), quotient.size());
        for (std::size_t i = 0; i < n; ++i)
            quotient[i] = slot[i] / divisor;
    }

    // out[n] = 0 + rows[0][n] + rows[1][n] + ... in that order, for n < lines:
    // eight doubles at a time held in registers across the rows, so that each
    // value is stored once rather than once per row. A complex line is two
    // doubles added part by part, as std::complex adds them.
    void sum_rows(T* out, std::size_t rows, std::size_t lines) const
    {
        constexpr std::size_t parts = sizeof(T) / sizeof(double);
        static_assert(sizeof(T) == parts * sizeof(double), "lines of doubles");
        double* const o = reinterpret_cast<double*>(out);
        const std::size_t n = lines * parts;
        std::size_t i = 0;
#if defined(__SSE2__)
        for (; i + 8 <= n; i += 8) {
            __m128d a = _mm_setzero_pd(), b = a, c = a, d = a;
            for (std::size_t r = 0; r < rows; ++r) {
                const double* const x = reinterpret_cast<const double*>(m_rows[r]) + i;
                a = _mm_add_pd(a, _mm_loadu_pd(x));
                b = _mm_add_pd(b, _mm_loadu_pd(x + 2));
                c = _mm_add_pd(c, _mm_loadu_pd(x + 4));
                d = _mm_add_pd(d, _mm_loadu_pd(x + 6));
            }
            _mm_storeu_pd(o + i, a);
            _mm_storeu_pd(o + i + 2, b);
            _mm_storeu_pd(o + i + 4, c);
            _mm_storeu_pd(o + i + 6, d);
        }
#endif
        for (; i < n; ++i) {
            double sum = 0.0;
            for (std::size_t r = 0; r < rows; ++r)
                sum += reinterpret_cast<const double*>(m_rows[r])[i];
            o[i] = sum;
        }
    }

    std::vector<std::vector<T>> m_slots;
    std::vector<const T*> m_rows; // the slots a mean adds, for sum_rows
    std::vector<std::vector<T>> m_quotients; // slot / average, once the ring is full
    std::size_t m_size = 0;
    int m_average = 1;
    int m_index = 0;
    bool m_full = false;
};

} // namespace ryx::math::detail
