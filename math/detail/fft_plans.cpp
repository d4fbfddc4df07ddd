#include "ryx/math/detail/fft_plans.h"

#include <fftw3.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace ryx::math::detail {

namespace {

enum class kind : int { r2c, c2r, c2c_forward, c2c_backward };

struct shape
{
    kind k;
    int n;
    bool in_place;
    int in_alignment;  // fftw_alignment_of of each array
    int out_alignment;

    bool operator==(const shape& o) const
    {
        return k == o.k && n == o.n && in_place == o.in_place && in_alignment == o.in_alignment
               && out_alignment == o.out_alignment;
    }
};

// FFTW's planner and plan destruction are serialised by this lock, on top of
// FFTW's own thread-safe planner.
std::mutex& planner_mutex()
{
    static std::mutex m;
    return m;
}

struct plan_deleter
{
    void operator()(fftw_plan_s* p) const
    {
        const std::lock_guard<std::mutex> lock(planner_mutex());
        fftw_destroy_plan(p);
    }
};

using shared_plan = std::shared_ptr<fftw_plan_s>;

fftw_plan make_plan(const shape& s, void* in, void* out)
{
    const unsigned flags = FFTW_ESTIMATE; // leaves the arrays untouched while planning
    switch (s.k) {
    case kind::r2c:
        return fftw_plan_dft_r2c_1d(s.n, static_cast<double*>(in), static_cast<fftw_complex*>(out), flags);
    case kind::c2r:
        return fftw_plan_dft_c2r_1d(s.n, static_cast<fftw_complex*>(in), static_cast<double*>(out), flags);
    case kind::c2c_forward:
    case kind::c2c_backward:
        return fftw_plan_dft_1d(s.n, static_cast<fftw_complex*>(in), static_cast<fftw_complex*>(out),
                                s.k == kind::c2c_forward ? FFTW_FORWARD : FFTW_BACKWARD, flags);
    }
    return nullptr;
}

class plan_cache
{
public:
    // The plan for the shape of these arrays, made on them when it is new.
    shared_plan get(kind k, int n, void* in, void* out)
    {
        const shape s{k, n, in == out, fftw_alignment_of(static_cast<double*>(in)),
                      fftw_alignment_of(static_cast<double*>(out))};
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_clock;
        for (entry& e : m_entries) {
            if (e.s == s) {
                e.used = m_clock;
                return e.plan;
            }
        }
        fftw_plan p = nullptr;
        {
            fft_thread_safe_planner();
            const std::lock_guard<std::mutex> planning(planner_mutex());
            p = make_plan(s, in, out);
        }
        if (!p)
            return nullptr;
        shared_plan plan(p, plan_deleter{});
        if (m_entries.size() >= fft_plan_capacity) {
            // A plan still executing elsewhere lives on through its shared owner.
            const auto oldest = std::min_element(m_entries.begin(), m_entries.end(),
                                                 [](const entry& a, const entry& b) { return a.used < b.used; });
            m_entries.erase(oldest);
        }
        m_entries.push_back(entry{s, plan, m_clock});
        return plan;
    }

    std::size_t size()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries.size();
    }

private:
    struct entry
    {
        shape s;
        shared_plan plan;
        std::uint64_t used;
    };

    std::mutex m_mutex;
    std::vector<entry> m_entries;
    std::uint64_t m_clock = 0;
};

plan_cache& cache()
{
    static plan_cache c;
    return c;
}

void run(kind k, int n, void* in, void* out)
{
    if (n < 1 || !in || !out)
        return;
    const shared_plan plan = cache().get(k, n, in, out);
    if (!plan)
        return;
    switch (k) {
    case kind::r2c:
        fftw_execute_dft_r2c(plan.get(), static_cast<double*>(in), static_cast<fftw_complex*>(out));
        break;
    case kind::c2r:
        fftw_execute_dft_c2r(plan.get(), static_cast<fftw_complex*>(in), static_cast<double*>(out));
        break;
    case kind::c2c_forward:
    case kind::c2c_backward:
        fftw_execute_dft(plan.get(), static_cast<fftw_complex*>(in), static_cast<fftw_complex*>(out));
        break;
    }
}

void run_fresh(kind k, int n, void* in, void* out)
{
    if (n < 1 || !in || !out)
        return;
    fftw_plan p = nullptr;
    {
        fft_thread_safe_planner();
        const std::lock_guard<std::mutex> planning(planner_mutex());
        p = make_plan(shape{k, n, in == out, 0, 0}, in, out);
    }
    if (!p)
        return;
    fftw_execute(p);
    plan_deleter{}(p);
}

kind c2c_kind(int sign)
{
    return sign > 0 ? kind::c2c_backward : kind::c2c_forward;
}

} // namespace

void fft_thread_safe_planner()
{
    static std::once_flag once;
    std::call_once(once, [] { fftw_make_planner_thread_safe(); });
}

void fft_r2c(int n, double* in, std::complex<double>* out)
{
    run(kind::r2c, n, in, out);
}

void fft_c2r(int n, std::complex<double>* in, double* out)
{
    run(kind::c2r, n, in, out);
}

void fft_c2c(int n, int sign, std::complex<double>* in, std::complex<double>* out)
{
    run(c2c_kind(sign), n, in, out);
}

void fft_r2c_fresh(int n, double* in, std::complex<double>* out)
{
    run_fresh(kind::r2c, n, in, out);
}

void fft_c2r_fresh(int n, std::complex<double>* in, double* out)
{
    run_fresh(kind::c2r, n, in, out);
}

void fft_c2c_fresh(int n, int sign, std::complex<double>* in, std::complex<double>* out)
{
    run_fresh(c2c_kind(sign), n, in, out);
}

std::size_t fft_cached_plans()
{
    return cache().size();
}

} // namespace ryx::math::detail
