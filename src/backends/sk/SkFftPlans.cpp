#include "backends/sk/SkFftPlans.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace trv::skfft {

namespace {

constexpr long kDefaultPlans = 8;
constexpr long kMaxPlans = 64;
constexpr int kMaxThreads = 4;
// Below this many points a second thread costs more in hand-over than it saves.
constexpr std::size_t kThreadedFrom = std::size_t(1) << 16;

// A whole decimal number from the environment within [low, high], or `fallback`.
long fromEnvironment(const char* name, long fallback, long low, long high) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return fallback;
    return value;
}

struct Key {
    int n;
    int sign;
    int alignment;
    int threads;
    bool measured;  // from wisdom, or measured for it; otherwise estimated
    bool operator==(const Key& o) const {
        return n == o.n && sign == o.sign && alignment == o.alignment && threads == o.threads &&
               measured == o.measured;
    }
};

using Plan = std::shared_ptr<std::remove_pointer<fftw_plan>::type>;

class PlanCache {
public:
    ~PlanCache() {
        // At unload no block is in flight.
        std::list<Entry> gone;
        gone.swap(m_entries);
    }

    // A plan for `key`, made on first use. It stays valid while the caller holds it, even if the cache
    // drops it meanwhile.
    Plan get(Key key, fftw_complex* data) {
        const long capacity = fromEnvironment("TRELVAN_FFT_PLANS", kDefaultPlans, 0, kMaxPlans);
        const char* wisdom = std::getenv("TRELVAN_FFTW_WISDOM");
        const std::string wisdomFile = wisdom != nullptr ? wisdom : "";
        key.measured = !wisdomFile.empty();
        std::vector<Plan> dropped;  // destroyed outside the lock, so that no other caller waits for it
        std::unique_lock<std::recursive_mutex> lock(m_mutex);
        // Planned afresh and dropped after the call; plans kept earlier stay for whoever keeps plans.
        if (capacity == 0) return plan(key, data, wisdomFile);
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (!(it->key == key)) continue;
            m_entries.splice(m_entries.begin(), m_entries, it);
            return m_entries.front().plan;
        }
        Plan made = plan(key, data, wisdomFile);
        if (!made) return made;
        m_entries.push_front(Entry{key, made});
        while (m_entries.size() > static_cast<std::size_t>(capacity)) {
            dropped.push_back(std::move(m_entries.back().plan));
            m_entries.pop_back();
        }
        lock.unlock();
        return made;
    }

private:
    struct Entry {
        Key key;
        Plan plan;
    };

    // With the mutex held. FFTW's planner keeps global state (thread count, wisdom), so every plan is
    // made and destroyed under this one lock, and FFTW's own planner lock guards against a host that
    // plans on other threads.
    Plan plan(const Key& key, fftw_complex* data, const std::string& wisdom) {
        if (!m_ready) {
            m_ready = true;
            m_threadsUsable = fftw_init_threads() != 0;
            if (m_threadsUsable) fftw_make_planner_thread_safe();
        }
        if (m_threadsUsable) fftw_plan_with_nthreads(key.threads);
        fftw_plan made = nullptr;
        if (wisdom.empty()) {
            made = fftw_plan_dft_1d(key.n, data, data, key.sign, FFTW_ESTIMATE);
        } else {
            if (wisdom != m_wisdomRead) {
                m_wisdomRead = wisdom;
                fftw_import_wisdom_from_filename(wisdom.c_str());
            }
            made = fftw_plan_dft_1d(key.n, data, data, key.sign, FFTW_MEASURE | FFTW_WISDOM_ONLY);
            if (made == nullptr) {
                made = measure(key);
                if (made != nullptr) fftw_export_wisdom_to_filename(wisdom.c_str());
            }
        }
        // Back to FFTW's default, for a host that plans transforms of its own.
        if (m_threadsUsable) fftw_plan_with_nthreads(1);
        if (made == nullptr) return nullptr;
        // Recursive: a plan may be let go while this thread plans (a failed allocation here does that).
        return Plan(made, [this](fftw_plan p) {
            std::lock_guard<std::recursive_mutex> guard(m_mutex);
            fftw_destroy_plan(p);
        });
    }

    // Measuring overwrites the array it plans on, so it runs on scratch storage placed at the same
    // alignment as the block the plan will run on.
    static fftw_plan measure(const Key& key) {
        const std::size_t bytes = std::size_t(key.n) * sizeof(fftw_complex) + 64;
        void* raw = fftw_malloc(bytes);
        if (raw == nullptr) return nullptr;
        auto* scratch = reinterpret_cast<fftw_complex*>(static_cast<char*>(raw) + key.alignment);
        fftw_plan made = fftw_plan_dft_1d(key.n, scratch, scratch, key.sign, FFTW_MEASURE);
        fftw_free(raw);
        return made;
    }

    std::recursive_mutex m_mutex;
    std::list<Entry> m_entries;  // most recently used first
    bool m_ready = false;
    bool m_threadsUsable = false;
    std::string m_wisdomRead;
};

PlanCache& cache() {
    static PlanCache instance;
    return instance;
}

}  // namespace

int threadsFor(std::size_t n) {
    if (n < kThreadedFrom) return 1;
    const long chosen = fromEnvironment("TRELVAN_FFT_THREADS", 0, 1, kMaxThreads);
    if (chosen > 0) return static_cast<int>(chosen);
    return static_cast<int>(std::max(1L, std::min<long>(std::thread::hardware_concurrency(), kMaxThreads)));
}

bool transform(fftw_complex* data, int n, int sign) {
    if (n <= 0) return false;
    const Key key{n, sign, fftw_alignment_of(reinterpret_cast<double*>(data)),
                  threadsFor(static_cast<std::size_t>(n)), false};
    Plan plan;
    try {
        plan = cache().get(key, data);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!plan) return false;
    fftw_execute_dft(plan.get(), data, data);
    return true;
}

}  // namespace trv::skfft
