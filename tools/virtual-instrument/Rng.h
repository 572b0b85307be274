#pragma once
// Small deterministic generator (SplitMix64) with Gaussian deviates (Box-Muller),
// so that a seed gives the same signal and the same faults on every platform.

#include <cmath>
#include <cstdint>

class Rng
{
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in (0, 1).
    double uniform() { return (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0; }

    double gaussian()
    {
        if (m_hasSpare) {
            m_hasSpare = false;
            return m_spare;
        }
        const double r = std::sqrt(-2.0 * std::log(uniform()));
        const double phi = 2.0 * M_PI * uniform();
        m_spare = r * std::sin(phi);
        m_hasSpare = true;
        return r * std::cos(phi);
    }

private:
    std::uint64_t m_state;
    double m_spare = 0.0;
    bool m_hasSpare = false;
};
