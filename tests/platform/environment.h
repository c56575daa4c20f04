// Sets environment variables for one test and puts the old values back after it.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct Environment {
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    static void Put(const std::string &name, const char *value) {
        value ? setenv(name.c_str(), value, 1) : unsetenv(name.c_str());
    }
    void Set(const char *name, const char *value) {
        const char *old = getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        Put(name, value);
    }
    ~Environment() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it)
            Put(it->first, it->second ? it->second->c_str() : nullptr);
    }
};
