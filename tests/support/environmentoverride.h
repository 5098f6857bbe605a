#pragma once

// Environment variables set for as long as a test needs them.

#include <QByteArray>

#include <optional>
#include <utility>
#include <vector>

namespace corvane::test {

/// Sets (or, given nullopt, unsets) environment variables until destroyed.
class EnvironmentOverride
{
public:
    using Value = std::optional<QByteArray>;
    EnvironmentOverride(std::initializer_list<std::pair<const char*, Value>> values)
    {
        for (const auto& [name, value] : values) {
            m_saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? Value(qgetenv(name))
                                                                       : std::nullopt);
            set(name, value);
        }
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;
    ~EnvironmentOverride()
    {
        for (const auto& [name, value] : m_saved)
            set(name, value);
    }

private:
    static void set(const char* name, const Value& value)
    {
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    std::vector<std::pair<const char*, Value>> m_saved;
};

} // namespace corvane::test
