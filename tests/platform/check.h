#pragma once
// A tiny test harness without Qt, so that the platform layers' checks build
// both natively and with MinGW-w64 for Wine. Each *_checks.cpp file registers
// its cases with PLATFORM_CHECK; check_main.cpp runs them all and prints
// "N passed, M failed".
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace platform_check {

struct Case {
    const char *name;
    std::function<void()> body;
};

inline std::vector<Case> &cases()
{
    static std::vector<Case> all;
    return all;
}

// Failures of the case that is running.
inline std::vector<std::string> &failures()
{
    static std::vector<std::string> f;
    return f;
}

struct Registrar {
    Registrar(const char *name, std::function<void()> body) { cases().push_back({name, std::move(body)}); }
};

inline void fail(const char *file, int line, const std::string &what)
{
    std::ostringstream s;
    s << file << ":" << line << ": " << what;
    failures().push_back(s.str());
}

} // namespace platform_check

#define PLATFORM_CHECK_CAT2(a, b) a##b
#define PLATFORM_CHECK_CAT(a, b) PLATFORM_CHECK_CAT2(a, b)
#define PLATFORM_CHECK(name)                                                                        \
    static void PLATFORM_CHECK_CAT(check_fn_, __LINE__)();                                          \
    static platform_check::Registrar PLATFORM_CHECK_CAT(check_reg_, __LINE__)(                      \
        name, &PLATFORM_CHECK_CAT(check_fn_, __LINE__));                                            \
    static void PLATFORM_CHECK_CAT(check_fn_, __LINE__)()

#define CHECK(cond)                                                                                 \
    do {                                                                                            \
        if (!(cond))                                                                                \
            platform_check::fail(__FILE__, __LINE__, "CHECK(" #cond ")");                         \
    } while (0)

#define CHECK_EQ(a, b)                                                                              \
    do {                                                                                            \
        const auto &check_a_ = (a);                                                                 \
        const auto &check_b_ = (b);                                                                 \
        if (!(check_a_ == check_b_)) {                                                              \
            std::ostringstream check_s_;                                                            \
            check_s_ << "CHECK_EQ(" #a ", " #b "): " << check_a_ << " != " << check_b_;             \
            platform_check::fail(__FILE__, __LINE__, check_s_.str());                               \
        }                                                                                           \
    } while (0)
