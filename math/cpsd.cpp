#include "ryx/math/cpsd.h"

#include <algorithm>
#include <limits>

#include "ryx/core/device_lock.h"
#include "ryx/math/psd.h"

namespace ryx::math {

cpsd::cpsd(ryx::analog_data* a, ryx::analog_data* b) : QObject(a)
{
    attach(a);
    if (!a || !b)
        return;
    {
        const ryx::device_lock lock(m_root_device);
        m_fft_a = new ryx::math::fft(a);
        m_fft_b = new ryx::math::fft(b);
        m_owns_engines = true;
        init();
    }
    connect_engines(true);
}

cpsd::cpsd(ryx::math::fft* a, ryx::math::fft* b) : QObject(a ? a->ad() : nullptr)
{
    m_owns_engines = false;
    m_window_power = 0.0;
    m_fft_a = a;
    m_fft_b = b;
    attach(a ? a->ad() : nullptr);
    {
        const ryx::device_lock lock(m_root_device);
        init();
    }
    connect_engines(false);
}

cpsd::~cpsd()
{
    emit deleting();
    if (m_fft_a)
        QObject::disconnect(m_fft_a, nullptr, this, nullptr);
    if (m_fft_b)
        QObject::disconnect(m_fft_b, nullptr, this, nullptr);
    cleanup();
    if (m_owns_engines) {
        ryx::math::fft* const a = m_fft_a;
        ryx::math::fft* const b = m_fft_b;
        m_fft_a = m_fft_b = nullptr;
        delete a;
        delete b;
    }
}

void cpsd::attach(ryx::analog_data* source)
{
    m_source = source;
    m_root_device = source ? source->root_device() : nullptr;
    if (source)
        connect(source, &ryx::data_model_node::deleting, this, &cpsd::source_deleting, Qt::DirectConnection);
}

void cpsd::connect_engines(bool forward_progress)
{
    using ryx::math::fft;
    if (m_fft_a) {
        connect(m_fft_a, &fft::changed, this, &cpsd::frame_a);
        // A geometry change of either engine restarts the pairing.
        connect(m_fft_a, &fft::initialized, this, &cpsd::init);
        connect(m_fft_a, &fft::deleting, this, [this] { m_fft_a = nullptr; }, Qt::DirectConnection);
        connect(m_fft_a, &fft::frequency_changed, this, &cpsd::frequency_changed);
        connect(m_fft_a, &fft::resolution_changed, this, &cpsd::resolution_changed);
        connect(m_fft_a, &fft::window_changed, this, &cpsd::window_changed);
        connect(m_fft_a, &fft::lines_changed, this, &cpsd::lines_changed);
    }
    if (m_fft_b) {
        connect(m_fft_b, &fft::changed, this, &cpsd::frame_b);
        connect(m_fft_b, &fft::initialized, this, &cpsd::init);
        if (forward_progress)
            connect(m_fft_b, &fft::progress, this, &cpsd::progress);
        connect(m_fft_b, &fft::deleting, this, [this] { m_fft_b = nullptr; }, Qt::DirectConnection);
    }
}

void cpsd::source_deleting()
{
    m_source = nullptr;
    m_root_device = nullptr;
}

double cpsd::frequency() const { return m_fft_a ? m_fft_a->frequency() : 0.0; }
double cpsd::resolution() const { return m_fft_a ? m_fft_a->resolution() : 0.0; }
ryx::math::fft::windows cpsd::window() const { return m_fft_a ? m_fft_a->window() : ryx::math::fft::rectangular; }
int cpsd::lines() const { return m_fft_a ? m_fft_a->lines() : 0; }
double cpsd::acq_time() const { return m_fft_a ? m_fft_a->acq_time() * m_average : 0.0; }
std::uint64_t cpsd::samples() const { return m_fft_a ? m_fft_a->samples() : 0; }

void cpsd::set_frequency(double value)
{
    const detail::life_guard alive(m_life);
    if (m_fft_a)
        m_fft_a->set_frequency(value);
    if (alive && m_fft_b)
        m_fft_b->set_frequency(value);
    if (alive)
        init();
}

void cpsd::set_resolution(double value)
{
    const detail::life_guard alive(m_life);
    if (m_fft_a)
        m_fft_a->set_resolution(value);
    if (alive && m_fft_b)
        m_fft_b->set_resolution(value);
    if (alive)
        init();
}

void cpsd::set_lines(int value)
{
    const detail::life_guard alive(m_life);
    if (m_fft_a)
        m_fft_a->set_lines(value);
    if (alive && m_fft_b)
        m_fft_b->set_lines(value);
    if (alive)
        init();
}

void cpsd::set_window(ryx::math::fft::windows value)
{
    const detail::life_guard alive(m_life);
    if (m_fft_a)
        m_fft_a->set_window(value);
    if (alive && m_fft_b)
        m_fft_b->set_window(value);
}

void cpsd::set_average(int value)
{
    if (value < 1 || value == m_average)
        return;
    m_average = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit average_changed();
}

void cpsd::stop_acq()
{
    m_acquiring = false;
}

void cpsd::cleanup()
{
    const ryx::device_lock lock(m_root_device);
    m_ring.release();
    m_target = nullptr;
    std::vector<value_type>::clear();
    std::vector<value_type>::shrink_to_fit();
    m_pending.clear();
    m_pending.shrink_to_fit();
    m_pending_head = m_pending_count = 0;
}

void cpsd::init()
{
    if (!m_fft_a && !m_fft_b)
        return;
    const detail::life_guard alive(m_life);
    {
        const ryx::device_lock lock(m_root_device);
        cleanup();
        m_size = std::max(m_fft_a ? m_fft_a->size() : 0, m_fft_b ? m_fft_b->size() : 0);
        m_window_power = m_fft_a ? psd::mean_square_window(*m_fft_a) : 1.0;
        m_ring.reset(m_average, m_size);
        std::vector<value_type>::assign(m_size, value_type());
        m_target = m_ring.target(*this);
        // Frames are counted from here on, for both engines alike.
        m_base_a = m_fft_a ? m_fft_a->frames() : 0;
        m_base_b = m_fft_b ? m_fft_b->frames() : 0;
        m_first_pending = 0;
        emit initialized();
    }
    if (alive)
        emit acq_time_changed();
}

std::uint64_t cpsd::frame_count(bool of_a) const
{
    const ryx::math::fft* const engine = of_a ? m_fft_a : m_fft_b;
    if (!engine)
        return 0;
    const std::uint64_t base = of_a ? m_base_a : m_base_b;
    const std::uint64_t frames = engine->frames();
    return frames >= base ? frames - base : frames;
}

std::uint64_t cpsd::lines_used() const
{
    if (!m_fft_a || !m_fft_b)
        return 0;
    return std::min<std::uint64_t>({static_cast<std::uint64_t>(std::vector<value_type>::size()), m_fft_a->size(),
                                    m_fft_b->size(), m_fft_a->size_all(), m_fft_b->size_all()});
}

void cpsd::compute(const value_type* a, const value_type* b)
{
    const std::uint64_t m = lines_used();
    if (!m_target || m == 0)
        return;
    const double scale = psd::density_scale(*m_fft_a, m_window_power);
    for (std::uint64_t n = 0; n < m; ++n) {
        // conj(a) x b, written out: no special-value branches in the loop.
        const double re = a[n].real() * b[n].real() + a[n].imag() * b[n].imag();
        const double im = a[n].real() * b[n].imag() - a[n].imag() * b[n].real();
        m_target[n] = value_type(re * scale, im * scale);
    }
    m_target[0] *= 0.5;
    const std::uint64_t nyquist = psd::nyquist_line(*m_fft_a);
    if (nyquist < m)
        m_target[nyquist] *= 0.5;
    m_cnt = m_fft_a->samples();
}

void cpsd::calculate()
{
    if (m_fft_a && m_fft_b)
        compute(m_fft_a->std::vector<value_type>::data(), m_fft_b->std::vector<value_type>::data());
}

void cpsd::push_pending(const value_type* spectrum, std::size_t lines)
{
    // At most max_pending frames, and at most max_pending_values values: long
    // frames queue fewer.
    const std::size_t room = std::clamp<std::size_t>(max_pending_values / std::max<std::size_t>(lines, 1), 1, max_pending);
    if (m_pending_count == m_pending.size()) {
        if (m_pending.size() < room) {
            // Unroll the ring so that the new slot follows the newest frame.
            std::rotate(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(m_pending_head),
                        m_pending.end());
            m_pending_head = 0;
            m_pending.emplace_back(lines);
        } else {
            drop_pending(1); // the oldest will never find its partner in time
        }
    }
    std::vector<value_type>& slot = m_pending[(m_pending_head + m_pending_count) % m_pending.size()];
    if (slot.size() != lines)
        slot.assign(lines, value_type());
    std::copy(spectrum, spectrum + lines, slot.begin());
    ++m_pending_count;
}

void cpsd::drop_pending(std::size_t count)
{
    count = std::min(count, m_pending_count);
    if (count == 0)
        return;
    m_pending_head = (m_pending_head + count) % m_pending.size();
    m_pending_count -= count;
    m_first_pending += count;
}

void cpsd::frame_a()
{
    take_frame(true);
}

void cpsd::frame_b()
{
    take_frame(false);
}

void cpsd::take_frame(bool from_a)
{
    if (!m_acquiring || !m_fft_a || !m_fft_b || m_ring.empty())
        return;
    const std::uint64_t lines = lines_used();
    if (lines == 0)
        return;
    const ryx::math::fft* const self = from_a ? m_fft_a : m_fft_b;
    const ryx::math::fft* const other = from_a ? m_fft_b : m_fft_a;
    const value_type* const mine = self->std::vector<value_type>::data();
    const std::uint64_t number = frame_count(from_a); // this frame's number, from 1
    const std::uint64_t theirs = frame_count(!from_a);

    if (theirs < number) {
        // This engine is ahead: its frame waits for the other's frame `number`.
        if (m_pending_count > 0 && (m_pending_from_a != from_a || m_first_pending + m_pending_count != number))
            drop_pending(m_pending_count); // left from before a restart of one engine
        if (m_pending_count == 0) {
            m_pending_from_a = from_a;
            m_first_pending = number;
        }
        push_pending(mine, static_cast<std::size_t>(lines));
        return;
    }

    // The partner, frame `number` of the other engine, has been computed.
    const value_type* partner = nullptr;
    std::size_t done = 0;
    if (m_pending_count > 0 && m_pending_from_a != from_a && number >= m_first_pending
        && number < m_first_pending + m_pending_count) {
        const auto index = static_cast<std::size_t>(number - m_first_pending);
        partner = m_pending[(m_pending_head + index) % m_pending.size()].data();
        done = index + 1;
    } else if (theirs == number) {
        partner = other->std::vector<value_type>::data();
        done = m_pending_count;
    } else {
        // The partner was dropped from a full queue: this frame has none.
        if (m_pending_from_a != from_a && number >= m_first_pending)
            drop_pending(static_cast<std::size_t>(number - m_first_pending + 1));
        return;
    }
    if (from_a)
        update(mine, partner, done);
    else
        update(partner, mine, done);
}

void cpsd::data_changed()
{
    if (!m_acquiring || !m_fft_a || !m_fft_b || m_ring.empty())
        return;
    // Only a pair of frames of the same moment is a cross spectrum.
    if (m_fft_a->samples() != m_fft_b->samples() || frame_count(true) != frame_count(false))
        return;
    update(m_fft_a->std::vector<value_type>::data(), m_fft_b->std::vector<value_type>::data(), m_pending_count);
}

void cpsd::update(const value_type* a, const value_type* b, std::size_t done)
{
    const detail::life_guard alive(m_life);
    {
        const ryx::device_lock lock(m_root_device);
        before_updating();
        const int k = m_ring.k();
        m_target = m_ring.target(*this);
        compute(a, b);
        drop_pending(done);
        m_ring.mean_of_sum(*this, k);
        m_acquired_percent = m_ring.advance();
        emit acquired(m_acquired_percent);
        if (!alive)
            return;
        after_updating();
    }
    emit changed();
}

} // namespace ryx::math
