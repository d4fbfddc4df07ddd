#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "ryx/ryx_math_export.h"

namespace Dsp {

// Thrown when an internal consistency check of the design engine fails, or when
// a design cannot be built from the values it was given. The host process never
// stops on such a failure: the caller catches this and keeps its previous state.
class RYX_MATH_EXPORT CheckFailure : public std::logic_error
{
public:
    CheckFailure(const char* condition, const char* file, const char* function);

    // The failed condition, exactly as written in the engine's source.
    const std::string& condition() const noexcept;
    // The engine source file (base name, e.g. "Biquad.cpp").
    const std::string& file() const noexcept;
    // The qualified function name (e.g. "Dsp::BiquadBase::setCoefficients").
    const std::string& function() const noexcept;

private:
    struct Details;
    std::shared_ptr<const Details> m_details; // shared so that copying never throws
};

namespace detail {

[[noreturn]] RYX_MATH_EXPORT void checkFailed(const char* condition, const char* file,
                                              const char* prettyFunction);

} // namespace detail
} // namespace Dsp

// Checks a condition of the design engine; on failure throws Dsp::CheckFailure
// carrying the condition text, the source file and the function.
#define Dsp_check(expression)                                                           \
    do {                                                                                \
        if (!(expression))                                                              \
            ::Dsp::detail::checkFailed(#expression, __FILE__, __PRETTY_FUNCTION__);     \
    } while (0)
