#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talvex::test {

/// Sets and unsets environment variables for one test and puts them back
/// as they were, so a proxy set on the machine cannot leak into a test.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            apply(it->first, it->second);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    ScopedEnvironment& set(const std::string& name, const std::string& value)
    {
        save(name);
        apply(name, value);
        return *this;
    }

    /// Every variable that names a proxy, or exempts hosts from one.
    ScopedEnvironment& withoutProxies()
    {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                 "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
            save(name);
            apply(name, std::nullopt);
        }
        return *this;
    }

private:
    void save(const std::string& name)
    {
        const char* value = std::getenv(name.c_str());
        m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }

    static void apply(const std::string& name, const std::optional<std::string>& value)
    {
#ifdef _WIN32
        // An empty value removes the variable on Windows.
        _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
#endif
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

} // namespace talvex::test
