#include "ryx/dsp/CheckFailure.h"

#include <cstring>

namespace Dsp {

struct CheckFailure::Details
{
    std::string condition;
    std::string file;
    std::string function;
};

namespace {

std::string baseName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? std::string(slash + 1) : std::string(path);
}

// Reduces a compiler's pretty function ("void Dsp::A::f(int) [with ...]") to the
// qualified name ("Dsp::A::f").
std::string qualifiedName(const char* prettyFunction)
{
    const std::string pretty(prettyFunction);
    std::size_t open = pretty.find('(');
    if (open == std::string::npos)
        return pretty;
    if (open >= 8 && pretty.compare(open - 8, 8, "operator") == 0)
        open = pretty.find('(', open + 2);
    if (open == std::string::npos)
        return pretty;
    const std::size_t space = pretty.rfind(' ', open);
    const std::size_t begin = space == std::string::npos ? 0 : space + 1;
    std::string name = pretty.substr(begin, open - begin);
    // A return type such as "const Foo&" leaves its '&' or '*' on the name.
    while (!name.empty() && (name.front() == '&' || name.front() == '*'))
        name.erase(0, 1);
    return name;
}

std::string message(const char* condition, const std::string& file, const std::string& function)
{
    return "Dsp check failed: \"" + std::string(condition) + "\" in " + file + ", " + function;
}

} // namespace

CheckFailure::CheckFailure(const char* condition, const char* file, const char* function)
    : std::logic_error(message(condition, file, function))
    , m_details(std::make_shared<Details>(Details{condition, file, function}))
{
}

const std::string& CheckFailure::condition() const noexcept { return m_details->condition; }
const std::string& CheckFailure::file() const noexcept { return m_details->file; }
const std::string& CheckFailure::function() const noexcept { return m_details->function; }

namespace detail {

void checkFailed(const char* condition, const char* file, const char* prettyFunction)
{
    const std::string base = baseName(file);
    const std::string name = qualifiedName(prettyFunction);
    throw CheckFailure(condition, base.c_str(), name.c_str());
}

} // namespace detail
} // namespace Dsp
